// SPDX-License-Identifier: MIT
#pragma once
// What the tool prints: the outcome of each port as text (a block for one port, a line each for
// several; failures on standard error) or as one JSON object per line on standard output, and the
// port list. JSON output is plain ASCII: text from the unit is taken byte by byte, each byte of
// 0x80 or more becoming \u0080 to \u00ff, so that any strict JSON reader accepts it.

#include <nlohmann/json.hpp>
#include <ostream>
#include <string>
#include <vector>

#include "platform/portlist.h"
#include "tools/request.h"
#include "tools/unitjobs.h"

namespace cli {

void PrintOutcome(Command command, const PortOutcome& outcome, bool json, bool oneOfMany, std::ostream& out,
                  std::ostream& err);
// A failure that is no port's (a file that cannot be read, no port present).
void PrintFailure(const std::string& error, const std::string& message, bool json, std::ostream& err);
// Each port on a line: "COM3 /dev/ttyUSB0 [FTDI FT232R USB UART A1B2C3 (0403:6001), /dev/serial/by-id/...]"
void PrintPortList(const std::vector<platform::SerialPortEntry>& ports, bool json, std::ostream& out);
// The adapter as a JSON object of the fields known: vendorId, productId, manufacturer, product,
// serial, byId (Linux), description (Windows); {} when nothing is known.
nlohmann::ordered_json AdapterJson(const platform::SerialAdapter& adapter);

}  // namespace cli
