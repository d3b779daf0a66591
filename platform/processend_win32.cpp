// SPDX-License-Identifier: MIT
// Windows asks a console program to end through its console control handlers, each run on a
// thread of its own: this one releases the devices and then lets the system's default handling
// end the process, with the status that the request would have given it.
#include <windows.h>

#include <cstdlib>
#include <mutex>

#include "platform/processend.h"
#include "platform/serialdevice.h"

namespace platform {
namespace {

BOOL WINAPI ReleaseOnRequest(DWORD request) {
    if ((request == CTRL_C_EVENT || request == CTRL_BREAK_EVENT) && StopInsteadOfEnding())
        return TRUE;  // handled: the program ends by itself
    switch (request) {
        case CTRL_C_EVENT:
        case CTRL_BREAK_EVENT:
        case CTRL_CLOSE_EVENT:
            RunWorkBeforeRelease();
            ReleaseAllSerialDevices();
            break;
        default:
            break;
    }
    return FALSE;  // not handled: the next handler, in the end the system's, ends the process
}

}  // namespace

void ReleaseDevicesOnTermination() {
    static std::once_flag once;
    std::call_once(once, [] {
        SetConsoleCtrlHandler(ReleaseOnRequest, TRUE);
        std::atexit(ReleaseAllSerialDevices);
    });
}

}  // namespace platform
