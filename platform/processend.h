// SPDX-License-Identifier: MIT
#pragma once
// Ending the process on request without leaving a serial port barred. Asked to end the ordinary
// way (Linux: SIGTERM, SIGINT, SIGHUP; Windows: Ctrl+C, Ctrl+Break, closing the console window),
// the process first releases every serial device it holds — on Linux exclusive hold and lock file
// included — and then ends as that request would have ended it. It also releases them when the
// process ends through exit() without unwinding.

namespace platform {

// Installs the release; call once at the very start of main, before any other thread exists
// (threads started later inherit what it sets up). Requests the process ignores stay ignored.
void ReleaseDevicesOnTermination();

}  // namespace platform
