// SPDX-License-Identifier: MIT
#pragma once
// What the tool prints: the outcome of each port as text (a block for one port, a line each for
// several; failures on standard error) or as one JSON object per line on standard output, and the
// port list. Text lines and JSON messages are Printable. JSON output is plain ASCII: text from the
// unit is taken byte by byte, each byte of 0x80 or more becoming \u0080 to \u00ff, so that any
// strict JSON reader accepts it.

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "ports/portlist.h"
#include "tools/output.h"
#include "tools/request.h"
#include "tools/unitjobs.h"

namespace cli {

void PrintOutcome(Command command, const PortOutcome& outcome, bool json, bool oneOfMany, COutput& out,
                  COutput& err);
// A failure that is no port's (a file that cannot be read, no port present).
void PrintFailure(const std::string& error, const std::string& message, bool json, COutput& err);
// One line of text, Printable, with its line feed.
void PrintLine(COutput& to, const std::string& line);
// Each port on a line: "COM3 /dev/ttyUSB0 [FTDI FT232R USB UART A1B2C3 (0403:6001), /dev/serial/by-id/...]"
void PrintPortList(const std::vector<platform::SerialPortEntry>& ports, bool json, COutput& out);
// The adapter as a JSON object of the fields known: vendorId, productId, manufacturer, product,
// serial, byId (Linux), description (Windows); {} when nothing is known.
nlohmann::ordered_json AdapterJson(const platform::SerialAdapter& adapter);

// One unit that watch configured, as it is shown and recorded.
struct UnitRecord {
    std::string time;    // when it was done, ISO 8601 with the zone
    std::string host;    // this computer's name
    std::string device;  // what the port stands for
    platform::SerialAdapter adapter;
    PortOutcome outcome;
    double seconds = 0;  // how long the unit took
    bool Passed() const { return outcome.error.empty(); }
};
// "PASS COM7 QLX-11D FTDI FT232R USB UART A1B2C3 (0403:6001) 0.21 s", or for a failure
// "FAIL COM8 QLX-11D /dev/ttyUSB1 0.35 s: write rejected at \"AS B\"", with its line feed.
std::string RecordLine(const UnitRecord& record);
// The record as one JSON object on a line.
std::string RecordJson(const UnitRecord& record);
// The record as one CSV line (RFC 4180), and the header line that begins a file.
std::string RecordCsv(const UnitRecord& record);
std::string RecordCsvHeader();

}  // namespace cli
