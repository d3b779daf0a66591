// SPDX-License-Identifier: MIT
#include "uitestapp.h"

#include <QApplication>
#include <cstdlib>

namespace uitest {

void EnsureApp() {
    if (QApplication::instance() != nullptr) return;
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    static int argc = 1;
    static char name[] = "qlxduo-ui-test";
    static char* argv[] = {name, nullptr};
    // Lives to the end of the process: widgets of static lifetime may outlive main.
    new QApplication(argc, argv);
}

}  // namespace uitest
