#pragma once
// Serial device access for CSerialPort: the handle type. The operations on it are declared below
// and implemented per operating system.

namespace platform {

using SerialHandle = int;
inline constexpr SerialHandle kNoSerialHandle = -1;

}  // namespace platform
