// SPDX-License-Identifier: MIT
#pragma once
// What a process that has faulted (SIGSEGV, SIGABRT, ...) can still undo of its serial devices. A
// handler of such a signal may take no lock and allocate nothing, so each device records the
// little it needs — descriptor, exclusive flag, lock file — in a fixed table read without locks,
// from its open until its ordinary release. For platform/ only; Linux.

namespace platform {

// Records an open device: its descriptor, whether the terminal's exclusive flag is this process's
// to clear, and the lock file to remove (nullptr for none; the text must stay until the record is
// forgotten). Returns the record, or -1 when the table is full and the device goes unrecorded.
int RecordForFaultRelease(int fd, bool clearExclusive, const char* lockPath);
// Forgets a record, before the device is released the ordinary way; -1 does nothing.
void ForgetForFaultRelease(int record);
// For a signal handler (async-signal-safe): clears the exclusive flag and removes the lock file of
// every recorded device.
void ReleaseRecordedDevices();

// Gives the calling thread an alternate signal stack unless it has one, so that a fault handler
// still runs once the thread's own stack has overflowed. The stack goes with the thread.
void ProvideAlternateSignalStack();

}  // namespace platform
