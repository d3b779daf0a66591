// SPDX-License-Identifier: MIT
#pragma once
// The QApplication of a UI test program, made on first use on the offscreen platform unless the
// environment chose another.

namespace uitest {
void EnsureApp();
}
