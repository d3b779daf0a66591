// SPDX-License-Identifier: MIT
#pragma once
// Gives test devices COM numbers in this test program's own port map, owned by the test program:
// most of them are pseudo-terminals, which count only while their owner runs.

#include <gtest/gtest.h>

#include <string>

#include "ports/comportmap.h"

namespace linktest {

inline void RegisterPort(int port, const std::string& device) {
    ASSERT_TRUE(platform::ComPortMap::ForCurrentUser().RegisterOwned(port, device)) << "com" << port;
}

inline void UnregisterPort(int port) {
    platform::ComPortMap::ForCurrentUser().Unregister(port);
}

}  // namespace linktest
