// SPDX-License-Identifier: MIT
#pragma once
// The local serial device, one implementation per operating system (serialdevice_<os>.cpp). For
// serial/ only: everyone else opens ports through serialdevice.h, which chooses this or a network
// port.

#include <memory>
#include <string>

#include "serial/serialdevice.h"

namespace platform {

// Opens the device at path for exclusive use, with the open registry's hold held; null on failure,
// with why in failure, as OpenSerialDevice describes.
std::unique_ptr<CSerialTransport> OpenLocalDevice(const std::string& path, SerialOpenFailure& failure);

}  // namespace platform
