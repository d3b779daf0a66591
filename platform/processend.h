// SPDX-License-Identifier: MIT
#pragma once
// Ending the process without leaving a serial port barred. Asked to end (Linux: every signal whose
// default action ends the process; Windows: Ctrl+C, Ctrl+Break, closing the console window), the
// process first releases every serial device it holds — on Linux exclusive hold and lock file
// included — and then ends as that request would have ended it. A
// fault (Linux: SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGTRAP, SIGSYS, SIGABRT) still clears the
// exclusive holds and removes the lock files before the process ends by it, also after a stack
// overflow in the main thread or a thread that opened a device. The devices are also released when
// the process ends through exit() without unwinding.

namespace platform {

// Installs the release; call once at the very start of main, before any other thread exists
// (threads started later inherit what it sets up). Requests the process ignores stay ignored.
void ReleaseDevicesOnTermination();

}  // namespace platform
