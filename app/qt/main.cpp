// SPDX-License-Identifier: MIT
// The program takes no command line of its own; Qt's standard options still apply.
#include "app/qt/qlxduoapp.h"
#include "serial/processend.h"

int main(int argc, char** argv) {
    // Before Qt starts any thread of its own.
    platform::ReleaseDevicesOnTermination();
    CQlxduoApp app(argc, argv);
    return app.InitInstance();
}
