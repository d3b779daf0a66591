// SPDX-License-Identifier: MIT
#include "tools/watch.h"

#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "platform/records.h"
#include "ports/portlist.h"
#include "ports/portname.h"
#include "ports/portwatch.h"
#include "tools/batch.h"
#include "tools/report.h"

namespace cli {
namespace {

using Clock = std::chrono::steady_clock;

// A device just plugged in is left alone this long: a USB adapter's driver, udev's rules and the
// unit's own start take a moment, and a contact that bounces shows as a device coming and going.
constexpr auto kSettle = std::chrono::milliseconds(500);
// The list is read again at least this often, whatever the system's notices say: a notice can be
// missed (a folder made after watch started), a list read never is.
constexpr int kLookAgainMs = 250;

// One device present: when it was first seen, and whether its unit has been taken on.
struct Presence {
    std::string device;
    Clock::time_point seen;
    bool taken = false;
};

// What the units' threads report, under one lock: records and lines are written whole, one at a time.
class CTally {
public:
    CTally(const Request& request, COutput& out, COutput& err, Bell bell)
        : m_request(request), m_out(out), m_err(err), m_bell(bell) {}

    // Writes the record to the files, then shows the line; the records come first, so a line
    // shown PASS is a record kept. A unit whose record a file could not keep fails, with the reason.
    void Report(UnitRecord record) {
        std::lock_guard hold(m_mutex);
        const std::string lost = Keep(record);
        if (!lost.empty()) {
            record.outcome.error = "output-failed";
            record.outcome.reason = "record not kept: " + lost;
        }
        const bool ring = !record.Passed() && m_bell == Bell::Rung;
        m_out << (m_request.json ? RecordJson(record) : RecordLine(record)) << (ring ? "\a" : "");
        m_out.Flush();
        ++(record.Passed() ? m_passed : m_failed);
    }

    bool RecordFailed() {
        std::lock_guard hold(m_mutex);
        return m_recordFailed;
    }

    // Stopped at Ctrl+C: where the bell rings, standard output is the terminal, which showed ^C
    // where the next line would begin, so what follows (the lines of the units under way, the
    // count) begins a line of its own.
    void Stopped() {
        std::lock_guard hold(m_mutex);
        if (m_bell != Bell::Rung) return;
        m_out << "\n";
        m_out.Flush();
    }

    // "12 passed, 1 failed"; the exit status.
    int Finish() {
        std::lock_guard hold(m_mutex);
        if (m_request.json)
            m_out << "{\"passed\":" << m_passed << ",\"failed\":" << m_failed << "}\n";
        else
            m_out << m_passed << " passed, " << m_failed << " failed\n";
        m_out.Flush();
        if (m_recordFailed) return kExitOutputFailed;
        return m_failed == 0 ? kExitSuccess : kExitUnitFailed;
    }

private:
    // A record file given and what it keeps of one unit.
    struct RecordFile {
        const std::string& path;
        const char* option;
        std::string text;
    };
    using KeptIn = std::vector<std::pair<const std::string*, std::uint64_t>>;  // a file, its size before

    // Appends the record to every record file given, or to none: when one file cannot keep it, the
    // files that did are cut back, so that they agree. Empty, or why not.
    std::string Keep(const UnitRecord& record) {
        const bool header = !m_request.csvFile.empty() && platform::FileIsEmpty(m_request.csvFile);
        const RecordFile files[] = {
            {m_request.logFile, "--log ", RecordJson(record)},
            {m_request.csvFile, "--csv ", (header ? RecordCsvHeader() : "") + RecordCsv(record)}};
        KeptIn kept;
        for (const RecordFile& file : files) {
            if (file.path.empty()) continue;
            std::uint64_t size = 0;
            const std::string error = platform::AppendRecord(file.path, file.text, &size);
            if (!error.empty()) return Lost(file.option + file.path + ": " + error, kept);
            kept.emplace_back(&file.path, size);
        }
        return {};
    }

    // A record lost: taken back from the files that kept it, and said once that watch ends.
    std::string Lost(std::string why, const KeptIn& kept) {
        for (const auto& [path, size] : kept) {
            const std::string stays = platform::TakeBackRecord(*path, size);
            if (!stays.empty()) why += "; it stays in " + *path + ": " + stays;
        }
        if (!m_recordFailed) PrintFailure("output-failed", why + "; watch ends", m_request.json, m_err);
        m_recordFailed = true;
        return why;
    }

    const Request& m_request;
    COutput& m_out;
    COutput& m_err;
    const Bell m_bell;
    std::mutex m_mutex;
    int m_passed = 0;
    int m_failed = 0;
    bool m_recordFailed = false;
};

// The ports present now, by COM number.
std::map<int, std::string> PortsPresent() {
    std::map<int, std::string> ports;
    for (const platform::SerialPortEntry& entry : platform::EnumerateSerialPorts()) {
        const int number = platform::PortOfListedName(entry.name);
        if (platform::IsComPortNumber(number)) ports[number] = entry.device;
    }
    return ports;
}

// A unit pulled out mid-exchange may go silent before the system notices that its device is
// gone: a reply that did not come is put down to the device's loss when the device leaves the
// list within the settling time.
bool LeavesSoon(int number, const std::string& device) {
    const Clock::time_point end = Clock::now() + kSettle;
    do {
        const std::map<int, std::string> ports = PortsPresent();
        const auto listed = ports.find(number);
        if (listed == ports.end() || listed->second != device) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    } while (Clock::now() < end);
    return false;
}

UnitRecord Configure(int number, const std::string& device, const UnitChange& change, bool toNormal,
                     CTraceStream* trace) {
    const PortSpec port{number, ""};
    std::unique_ptr<CPortTracer> tracer =
        trace ? std::make_unique<CPortTracer>(*trace, port.Name()) : nullptr;
    UnitRecord record;
    // Looked up first: a unit pulled out mid-write takes its adapter's information along.
    record.adapter = platform::SerialAdapterOf(device);
    const Clock::time_point start = Clock::now();
    record.outcome = ConfigureUnit(port, change, toNormal, tracer.get());
    record.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    if (record.outcome.silent && LeavesSoon(number, device)) {
        record.outcome.error = "device-lost";
        record.outcome.reason = "device gone";
    }
    record.time = record.outcome.time;
    record.host = platform::HostName();
    record.device = device;
    return record;
}

// The units under way, each on a thread of its own, by COM number.
class CUnitsUnderWay {
public:
    ~CUnitsUnderWay() { JoinAll(); }

    void Start(int number, const std::function<void()>& work) {
        try {
            std::lock_guard hold(m_mutex);
            // Made before its entry: a thread that cannot be made leaves no entry that would never end.
            std::thread thread([this, number, work] {
                work();
                std::lock_guard done(m_mutex);
                m_finished.push_back(number);
            });
            m_threads[number] = std::move(thread);
        } catch (const std::system_error&) {
            work();  // the system gives no more threads: this unit is worked on here, the watch waits
        }
    }
    // Joins the threads that have finished.
    void Reap() {
        std::vector<std::thread> ended;
        {
            std::lock_guard hold(m_mutex);
            for (const int number : m_finished) {
                ended.push_back(std::move(m_threads[number]));
                m_threads.erase(number);
            }
            m_finished.clear();
        }
        for (std::thread& thread : ended) thread.join();
    }
    bool Busy(int number) {
        std::lock_guard hold(m_mutex);
        return m_threads.contains(number);
    }
    bool Idle() {
        std::lock_guard hold(m_mutex);
        return m_threads.empty();
    }
    // Waits for every unit under way.
    void JoinAll() {
        std::map<int, std::thread> threads;
        {
            std::lock_guard hold(m_mutex);
            threads.swap(m_threads);
            m_finished.clear();
        }
        for (auto& [number, thread] : threads) thread.join();
    }

private:
    std::mutex m_mutex;
    std::map<int, std::thread> m_threads;
    std::vector<int> m_finished;
};

}  // namespace

int RunWatch(const Request& request, const UnitChange& change, CTraceStream* trace, COutput& out,
             COutput& err, Bell bell) {
    platform::CSerialPortWatch watch;
    // Ctrl+C: the watch stops taking units, the units under way finish and the count is printed;
    // the process then ends by itself, with the status of the units.
    CTally tally(request, out, err, bell);
    CStopOnSignal stop([&watch, &tally] {
        tally.Stopped();
        watch.Stop();
    });
    CUnitsUnderWay units;
    std::map<int, Presence> present;
    const Clock::time_point begun = Clock::now();
    std::string alone;
    for (const auto& [number, device] : PortsPresent()) {
        present[number] = {device, begun - kSettle, !request.present};
        alone += " " + platform::ComName(number);
    }
    // Said once the ports present are known: a unit plugged in from now on is taken.
    if (!request.json) {
        PrintLine(
            err,
            "qlxduo-cli: waiting for units to be plugged in; Ctrl+C ends" +
                (request.present || alone.empty() ? "" : " (left alone, present already:" + alone + ")"));
        err.Flush();
    }
    int started = 0;
    auto enough = [&] { return request.count != 0 && started >= request.count; };
    while (!tally.RecordFailed() && !(enough() && units.Idle())) {
        units.Reap();
        const Clock::time_point now = Clock::now();
        const std::map<int, std::string> ports = PortsPresent();
        // Gone, or another device in its place: forgotten, so that a unit plugged in again is new.
        std::erase_if(present, [&](const auto& known) {
            const auto listed = ports.find(known.first);
            return listed == ports.end() || listed->second != known.second.device;
        });
        for (const auto& [number, device] : ports) {
            if (!present.contains(number)) present[number] = {device, now, false};
        }
        for (auto& [number, presence] : present) {
            if (presence.taken || enough() || now - presence.seen < kSettle || units.Busy(number)) continue;
            presence.taken = true;
            ++started;
            units.Start(number, [&tally, &change, &request, trace, number, device = presence.device] {
                tally.Report(Configure(number, device, change, request.toNormal, trace));
            });
        }
        if (watch.Wait(kLookAgainMs)) break;
    }
    // Every exchange has its deadline: the units under way end soon.
    units.JoinAll();
    return tally.Finish();
}

}  // namespace cli
