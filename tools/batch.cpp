// SPDX-License-Identifier: MIT
#include "tools/batch.h"

#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>

namespace cli {
namespace {

// How many jobs have finished, for the thread that shows it.
class CDoneCount {
public:
    void Add() {
        {
            std::lock_guard hold(m_mutex);
            ++m_done;
        }
        m_changed.notify_one();
    }
    // Waits until the count is other than seen, and returns it.
    size_t WaitForChange(size_t seen) {
        std::unique_lock hold(m_mutex);
        m_changed.wait(hold, [&] { return m_done != seen; });
        return m_done;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    size_t m_done = 0;
};

void ShowProgress(CDoneCount& count, size_t total, COutput& progress) {
    std::string line;
    for (size_t done = 0; done < total;) {
        done = count.WaitForChange(done);
        line = std::to_string(done) + "/" + std::to_string(total) + " done";
        progress << "\r" << line;
        progress.Flush();
    }
    // Blanks over the line, so the results that follow start clean.
    progress << "\r" << std::string(line.size(), ' ') << "\r";
    progress.Flush();
}

}  // namespace

std::vector<PortOutcome> RunOnEveryPort(const std::vector<PortSpec>& ports, const PortJob& job,
                                        CTraceStream* trace, COutput* progress) {
    std::vector<PortOutcome> outcomes(ports.size());
    std::vector<std::unique_ptr<CPortTracer>> tracers;
    for (const PortSpec& port : ports) {
        tracers.push_back(trace != nullptr ? std::make_unique<CPortTracer>(*trace, port.Name()) : nullptr);
    }
    CDoneCount done;
    std::vector<std::thread> threads;
    for (size_t i = 0; i < ports.size(); ++i) {
        auto run = [&, i] {
            outcomes[i] = job(ports[i], tracers[i].get());
            done.Add();
        };
        try {
            threads.emplace_back(run);
        } catch (const std::system_error&) {
            run();  // the system gives no more threads: this port waits its turn
        }
    }
    if (progress != nullptr) ShowProgress(done, ports.size(), *progress);
    for (std::thread& thread : threads) thread.join();
    return outcomes;
}

}  // namespace cli
