// SPDX-License-Identifier: MIT
#pragma once
// Deadlines on the monotonic clock, for waits that must end in time whatever the wall clock does.

#include <chrono>

namespace platform {

using DeadlineClock = std::chrono::steady_clock;

// The deadline that many milliseconds from now.
inline DeadlineClock::time_point DeadlineIn(int milliseconds) {
    return DeadlineClock::now() + std::chrono::milliseconds(milliseconds);
}

// Whole milliseconds left until the deadline, rounded up so that a wait of that length really
// reaches it; 0 once it has passed.
inline int MillisecondsLeft(DeadlineClock::time_point deadline) {
    auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - DeadlineClock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

}  // namespace platform
