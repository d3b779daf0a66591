// SPDX-License-Identifier: MIT
// A serial port held by a Windows program, for the tests that drive it under Wine from the Linux
// side: opens COM<n>, tells the unit's side so with "R\r\n", waits at most ms for a byte, and
// prints how the wait ended and whether the device is gone; with --hold it then stays a minute,
// for a test that tells it to end meanwhile; with --until-lost it waits again, for a minute at
// most, until the device is gone, for a test that hangs the line up whenever it gets to it.
//
// Usage: serialprobe N MS [--hold|--until-lost]
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "link/serialport.h"
#include "platform/terminal.h"
#include "serial/processend.h"

int main(int argc, char** argv) {
    constexpr DWORD kHoldMs = 60000;
    if (argc < 3) {
        std::fprintf(stderr, "usage: serialprobe N MS [--hold|--until-lost]\n");
        return 2;
    }
    const std::string then = argc > 3 ? argv[3] : "";
    platform::UseUtf8Console();
    platform::ReleaseDevicesOnTermination();
    CSerialPort port;
    if (port.Open(std::atoi(argv[1]), 38400, 8, 0, 0) != 1 || port.WriteString("R\r\n") != 1) {
        std::printf("open failed\n");
        return 1;
    }
    bool readable = port.WaitReadable(std::atoi(argv[2]));
    // A wait on a line that hung up runs out like one on a silent line; the loss shows after it.
    for (const DWORD start = GetTickCount();
         then == "--until-lost" && !readable && !port.DeviceLost() && GetTickCount() - start < kHoldMs;) {
        readable = port.WaitReadable(std::atoi(argv[2]));
    }
    std::printf("readable=%d lost=%d\n", readable ? 1 : 0, port.DeviceLost() ? 1 : 0);
    std::fflush(stdout);
    if (then == "--hold") Sleep(kHoldMs);
    return 0;
}
