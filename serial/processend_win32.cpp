// SPDX-License-Identifier: MIT
// Windows asks a console program to end through its console control handlers, each run on a
// thread of its own: this one releases the devices and then lets the system's default handling
// end the process, with the status that the request would have given it.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <mutex>

#include "serial/processend.h"
#include "serial/serialdevice.h"

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

// An exception that nobody catches ends the program as the C++ library's own handler ends it, its
// message on standard error and then abort(), only without the exception's type name: the
// library's handler brings the whole C++ symbol demangler (45 KB) into each static program for
// that one name. This definition stands in for the library's in both Windows programs, which
// call ReleaseDevicesOnTermination and so always link this file.
namespace __gnu_cxx {
void __verbose_terminate_handler() {
    static bool s_called = false;  // a throw from what() below comes back here
    if (!s_called) {
        s_called = true;
        if (const std::exception_ptr thrown = std::current_exception()) {
            try {
                std::rethrow_exception(thrown);
            } catch (const std::exception& error) {
                std::fprintf(stderr, "terminate called after throwing an exception\n  what():  %s\n",
                             error.what());
            } catch (...) {
                std::fputs("terminate called after throwing an exception\n", stderr);
            }
        } else {
            std::fputs("terminate called without an active exception\n", stderr);
        }
    }
    std::abort();
}
}  // namespace __gnu_cxx
