// SPDX-License-Identifier: MIT
// The program takes no command line.
#include <windows.h>

#include "app/win32/qlxduoapp.h"
#include "serial/processend.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    platform::ReleaseDevicesOnTermination();
    theApp.InitInstance();
    return 0;
}
