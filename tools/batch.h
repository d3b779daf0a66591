// SPDX-License-Identifier: MIT
#pragma once
// Working on many units at once: one thread per port, each with its own serial port, its own
// exchanges and, when a trace is asked for, its own observer writing into the shared trace. The
// outcomes are reported in the ports' order as they come, and a stop asked for on a signal lets
// the units under way reach a clean point.

#include <functional>
#include <vector>

#include "tools/linetracer.h"
#include "tools/unitjobs.h"

namespace cli {

using PortJob = std::function<PortOutcome(const PortSpec&, CLineObserver*, const CStopRequest&)>;

// Runs job for every port, all at once. report gets each outcome on the calling thread, in the
// ports' order, as soon as its port and every port given before it are done: a port that takes
// long holds back only the lines after its own. A port whose job had not begun when stop was asked
// for is reported "not started" (NotStarted). With a progress stream, "3/8 done" is written to it
// as the ports finish, each time over the last, and blanked before each report and at the end.
void RunOnEveryPort(const std::vector<PortSpec>& ports, const PortJob& job, CTraceStream* trace,
                    COutput* progress, const CStopRequest& stop,
                    const std::function<void(const PortOutcome&)>& report);

// While it lives, the first Ctrl+C or SIGTERM calls ask instead of ending the process, which then
// ends by itself; a second one ends it at once.
class CStopOnSignal {
public:
    explicit CStopOnSignal(std::function<void()> ask);
    ~CStopOnSignal();
    CStopOnSignal(const CStopOnSignal&) = delete;
    CStopOnSignal& operator=(const CStopOnSignal&) = delete;
};

}  // namespace cli
