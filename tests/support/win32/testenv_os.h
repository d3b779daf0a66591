// SPDX-License-Identifier: MIT
#pragma once
// Windows test support: tests that need a unit run on the Linux side, which maps a simulated unit
// into Wine as a COM port; here only what Windows tests share. Included by testenv.h; include that
// instead.

#include <string>

namespace testenv {

// A UTF-8 path or text as the wide (W) functions take it.
std::wstring Wide(const std::string& utf8);

}  // namespace testenv
