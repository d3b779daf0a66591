// SPDX-License-Identifier: MIT
#pragma once
// watch: the production line. Waits for serial devices to be plugged in, lets each settle, then
// configures the unit on it as write does (read, check against its firmware, write, store, read
// back), with --normal returns it to normal mode, and reports it: a line PASS or FAIL on standard
// output, and a record appended to the --log (JSON Lines) and --csv files, flushed to disk
// before the next unit starts. A device stays handled while it is plugged in; unplugged and
// plugged in again, it is a new unit. Ends at Ctrl+C (the units under way finish), or after
// --count units, with the count.

#include "tools/cli.h"
#include "tools/linetracer.h"
#include "tools/request.h"
#include "tools/unitjobs.h"

namespace cli {

// Runs until stopped; the exit status: 0 when no unit failed, 1 when any did, kExitOutputFailed
// when a record could not be written (watch then ends after the units under way).
int RunWatch(const Request& request, const UnitChange& change, CTraceStream* trace, COutput& out,
             COutput& err, Bell bell);

}  // namespace cli
