// SPDX-License-Identifier: MIT
#pragma once
// Ending the process without leaving a serial port barred. Asked to end (Linux: every signal whose
// default action ends the process; Windows: Ctrl+C, Ctrl+Break, closing the console window), the
// process first does the work set before release, then releases every serial device it holds — on
// Linux exclusive hold and lock file included — and ends as that request would have ended it. A
// fault (Linux: SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGTRAP, SIGSYS, SIGABRT) still clears the
// exclusive holds and removes the lock files before the process ends by it, also after a stack
// overflow in the main thread or in a thread that opened a device. The devices are also released
// when the process ends through exit() without unwinding.

#include <functional>

namespace platform {

// Installs the release; call once at the very start of main, before any other thread exists
// (threads started later inherit what it sets up). Requests the process ignores stay ignored.
void ReleaseDevicesOnTermination();

// The work to do before release when the process is asked to end (not on a fault): the window
// returns the unit to normal mode. It runs on a thread of the release's own while the others go
// on, so it hands its work to the thread it belongs to and waits for it no longer than a bound of
// its own. Replaces the work set before; an empty function removes it, after a run under way.
void SetWorkBeforeRelease(std::function<void()> work);
// Runs that work, if any; for the systems' parts of the release.
void RunWorkBeforeRelease();

// For a program whose ordinary end is Ctrl+C (the tool's watch): while set, the first request to
// end that a user makes (Linux: SIGINT, SIGTERM; Windows: Ctrl+C, Ctrl+Break) calls stop instead,
// which must return at once, and the process goes on to end by itself; a second request ends it
// as any other does. An empty function removes it.
void SetStopInsteadOfEnding(std::function<void()> stop);
// Calls that stop when one is set and no request has called it yet; true then. For the systems'
// parts of the release.
bool StopInsteadOfEnding();

}  // namespace platform
