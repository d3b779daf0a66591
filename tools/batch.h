// SPDX-License-Identifier: MIT
#pragma once
// Working on many units at once: one thread per port, each with its own serial port, its own
// exchanges and, when a trace is asked for, its own observer writing into the shared trace.

#include <functional>
#include <vector>

#include "tools/linetracer.h"
#include "tools/unitjobs.h"

namespace cli {

using PortJob = std::function<PortOutcome(const PortSpec&, CLineObserver*)>;

// Runs job for every port, all at once, and returns the outcomes in the ports' order. With a
// progress stream, "3/8 done" is written to it as the ports finish, each time over the last, and
// the line is cleared at the end.
std::vector<PortOutcome> RunOnEveryPort(const std::vector<PortSpec>& ports, const PortJob& job,
                                        CTraceStream* trace, COutput* progress);

}  // namespace cli
