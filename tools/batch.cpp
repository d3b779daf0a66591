// SPDX-License-Identifier: MIT
#include "tools/batch.h"

#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>
#include <utility>

#include "serial/processend.h"

namespace cli {
namespace {

// Which jobs have finished, for the thread that reports them.
class CFinished {
public:
    explicit CFinished(size_t count) : m_done(count, false) {}

    void Mark(size_t index) {
        {
            std::lock_guard hold(m_mutex);
            m_done[index] = true;
            ++m_count;
        }
        m_changed.notify_one();
    }
    // Waits until more than seen jobs have finished; how many have, and how many of the first
    // ones in a row.
    std::pair<size_t, size_t> WaitBeyond(size_t seen) {
        std::unique_lock hold(m_mutex);
        m_changed.wait(hold, [&] { return m_count > seen; });
        size_t leading = 0;
        while (leading < m_done.size() && m_done[leading]) ++leading;
        return {m_count, leading};
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<bool> m_done;
    size_t m_count = 0;
};

// "3/8 done" over itself on a terminal, out of the way of the lines reported.
class CProgressLine {
public:
    CProgressLine(COutput* stream, size_t total) : m_stream(stream), m_total(total) {}

    void Show(size_t done) {
        if (m_stream == nullptr) return;
        m_shown = std::to_string(done) + "/" + std::to_string(m_total) + " done";
        *m_stream << "\r" << m_shown;
        m_stream->Flush();
    }
    // Blanks the line, so that what follows starts clean.
    void Clear() {
        if (m_stream == nullptr || m_shown.empty()) return;
        *m_stream << "\r" << std::string(m_shown.size(), ' ') << "\r";
        m_stream->Flush();
        m_shown.clear();
    }

private:
    COutput* m_stream;
    size_t m_total;
    std::string m_shown;
};

}  // namespace

void RunOnEveryPort(const std::vector<PortSpec>& ports, const PortJob& job, CTraceStream* trace,
                    COutput* progress, const CStopRequest& stop,
                    const std::function<void(const PortOutcome&)>& report) {
    std::vector<PortOutcome> outcomes(ports.size());
    std::vector<std::unique_ptr<CPortTracer>> tracers;
    for (const PortSpec& port : ports) {
        tracers.push_back(trace != nullptr ? std::make_unique<CPortTracer>(*trace, port.Name()) : nullptr);
    }
    CFinished finished(ports.size());
    std::vector<std::thread> threads;
    for (size_t i = 0; i < ports.size(); ++i) {
        auto run = [&, i] {
            outcomes[i] = stop.Asked() ? NotStarted(ports[i]) : job(ports[i], tracers[i].get(), stop);
            finished.Mark(i);
        };
        try {
            threads.emplace_back(run);
        } catch (const std::system_error&) {
            run();  // the system gives no more threads: this port waits its turn
        }
    }
    CProgressLine line(progress, ports.size());
    for (size_t seen = 0, reported = 0; reported < ports.size();) {
        const auto [count, inOrder] = finished.WaitBeyond(seen);
        seen = count;
        if (inOrder > reported) line.Clear();
        for (; reported < inOrder; ++reported) report(outcomes[reported]);
        // Once stopped, the line stays as it was: a terminal has just shown the ^C there.
        if (!stop.Asked()) line.Show(seen);
    }
    line.Clear();
    for (std::thread& thread : threads) thread.join();
}

CStopOnSignal::CStopOnSignal(std::function<void()> ask) {
    platform::SetStopInsteadOfEnding(std::move(ask));
}

CStopOnSignal::~CStopOnSignal() {
    platform::SetStopInsteadOfEnding({});
}

}  // namespace cli
