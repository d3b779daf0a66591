// SPDX-License-Identifier: MIT
#pragma once
// --trace: the lines the tool's exchanges send and receive, written by their ports' observers into
// one stream. Lines of ports on different threads never mix: each is written whole. Once a write
// fails (a full disk, a closed pipe) nothing more is written, and the trace reports it failed.

#include <mutex>
#include <string>
#include <string_view>
#include <utility>

#include "link/linetrace.h"
#include "tools/output.h"

namespace cli {

// The clock of the trace's time stamps: the monotonic one that the simulated unit's log shares
// (milliseconds), or the wall clock (ISO 8601 with the zone), to lay beside other records.
enum class TraceClock { Monotonic, Wall };

class CTraceStream {
public:
    explicit CTraceStream(COutput& stream, TraceClock clock = TraceClock::Monotonic)
        : m_stream(stream), m_clock(clock) {}
    TraceClock Clock() const { return m_clock; }
    // Writes one line whole and flushes it, so a trace cut short still holds what happened.
    void Write(const std::string& line);
    // Whether a line could not be written: the trace is incomplete.
    bool Failed();

private:
    std::mutex m_mutex;
    COutput& m_stream;
    const TraceClock m_clock;
    bool m_failed = false;
};

// The observer of one port: its lines carry the port's name.
class CPortTracer : public CLineObserver {
public:
    CPortTracer(CTraceStream& stream, std::string port) : m_stream(stream), m_port(std::move(port)) {}
    void Sent(std::string_view bytes) override { Write(linetrace::Direction::Sent, bytes); }
    void Received(std::string_view bytes) override { Write(linetrace::Direction::Received, bytes); }
    void Remark(std::string_view text) override { Write(linetrace::Direction::Remark, text); }

private:
    void Write(linetrace::Direction direction, std::string_view bytes);

    CTraceStream& m_stream;
    std::string m_port;
};

}  // namespace cli
