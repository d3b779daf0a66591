// SPDX-License-Identifier: MIT
#include "tools/report.h"

#include <cmath>
#include <cstdio>
#include <nlohmann/json.hpp>

#include "platform/records.h"
#include "ports/portname.h"
#include "serial/serialdevice.h"
#include "tools/fields.h"
#include "tools/printable.h"
#include "tools/unitconfig.h"

namespace cli {
namespace {

using Json = nlohmann::ordered_json;

// Bytes as the code points U+0000 to U+00FF, in UTF-8: any byte string becomes valid text, and the
// JSON output (ASCII only) shows each byte of 0x80 or more as \u00XX.
std::string ByteText(const std::string& bytes) {
    std::string text;
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x80) {
            text += c;
        } else {
            text += static_cast<char>(0xc0 | (byte >> 6));
            text += static_cast<char>(0x80 | (byte & 0x3f));
        }
    }
    return text;
}

// ASCII only; text that is no valid UTF-8 (a device path, say) is shown with U+FFFD, never refused.
std::string JsonLine(const Json& value) {
    return value.dump(-1, ' ', true, Json::error_handler_t::replace) + "\n";
}

void WriteJson(const Json& value, COutput& stream) {
    stream << JsonLine(value);
}

Json PortJson(const PortSpec& port) {
    return port.number != 0 ? Json(port.number) : Json(ByteText(port.devicePath));
}

Json RateJson(const unit::BaudEntry& entry) {
    const double rate = BaudRate(entry);
    return rate == std::floor(rate) ? Json(static_cast<long long>(rate)) : Json(rate);
}

Json CodesJson(const unit::PortParameters& codes) {
    Json port = Json::object();
    for (const unit::ParameterField& field : unit::kParameterFields) {
        port[field.key] = codes.*field.member;
        if (field.rule != unit::CodeRule::Baud) continue;
        const unit::BaudEntry* entry = unit::FindBaudCode(codes.baudCode);
        port["baud"] = entry != nullptr ? Json(entry->label) : Json(nullptr);
        port["baudRate"] = entry != nullptr ? RateJson(*entry) : Json(nullptr);
    }
    return port;
}

// The configuration file format.
Json ReadingJson(const PortSpec& port, const UnitReading& reading) {
    return {{"schema", kConfigSchema},
            {"port", PortJson(port)},
            {"identity", ByteText(reading.identity)},
            {"firmware", ByteText(reading.firmware)},
            {"firmwareNumber", unit::FirmwareNumber(reading.firmware)},
            {"A", CodesJson(reading.a)},
            {"B", CodesJson(reading.b)}};
}

// The port, and the identity once the unit gave it.
Json HeaderJson(const PortOutcome& outcome) {
    Json line = {{"port", PortJson(outcome.port)}};
    if (outcome.reading) line["identity"] = ByteText(outcome.reading->identity);
    return line;
}

Json DifferencesJson(const std::vector<Difference>& differences) {
    Json list = Json::array();
    for (const Difference& d : differences)
        list.push_back({{"field", d.Name()}, {"unit", d.unit}, {"file", d.file}});
    return list;
}

// What the port stands for: the device path the tool opens.
std::string DeviceOf(const PortSpec& port) {
    return port.number != 0 ? platform::SerialDevicePath(port.number) : port.devicePath;
}

// When the work was done and through which adapter, at the end of every unit's line.
Json Dated(Json line, const PortOutcome& outcome) {
    line["time"] = outcome.time;
    line["adapter"] = AdapterJson(platform::SerialAdapterOf(DeviceOf(outcome.port)));
    return line;
}

const char* ResultName(Command command, const PortOutcome& outcome) {
    switch (command) {
        case Command::Write:
            return "written";
        case Command::Diff:
            return outcome.differences.empty() ? "same" : "differs";
        default:
            return "normal-mode";
    }
}

Json UndatedJson(Command command, const PortOutcome& outcome) {
    if (!outcome.error.empty()) {
        Json line = HeaderJson(outcome);
        line["error"] = outcome.error;
        line["message"] = Printable(outcome.message);
        return line;
    }
    if (command == Command::Read) return ReadingJson(outcome.port, *outcome.reading);
    Json line = command == Command::Write ? ReadingJson(outcome.port, *outcome.reading) : HeaderJson(outcome);
    line["result"] = ResultName(command, outcome);
    line["message"] = Printable(outcome.message);
    if (command == Command::Diff) line["differences"] = DifferencesJson(outcome.differences);
    return line;
}

Json OutcomeJson(Command command, const PortOutcome& outcome) {
    return Dated(UndatedJson(command, outcome), outcome);
}

Json PairJson(const std::optional<PortPair>& pair) {
    if (!pair) return nullptr;
    return {{"A", CodesJson(pair->a)}, {"B", CodesJson(pair->b)}};
}

std::string PairText(const std::optional<PortPair>& pair, char port) {
    if (!pair) return {};
    return unit::JoinCodes(port == 'A' ? pair->a : pair->b);
}

// A CSV field: quoted when it holds a comma, a quote or a line break, its quotes doubled. The
// tool's own numbers go in so ("1,2,0,21,0,2", "0.21").
std::string CsvField(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
    std::string quoted = "\"";
    for (const char c : text) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
    return quoted + "\"";
}

// A CSV field of text, printable. A spreadsheet runs a cell that begins with =, +, -, @, TAB or CR
// as a formula, quoted or not (a firmware reply "=1+2", a serial number "=HYPERLINK(...)"): a '
// before it keeps it text.
std::string CsvText(const std::string& text) {
    const std::string cell = Printable(text);
    const bool formula =
        !cell.empty() && std::string_view("=+-@\t\r").find(cell.front()) != std::string::npos;
    return CsvField(formula ? "'" + cell : cell);
}

std::string Seconds(double seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%.2f", seconds);
    return text;
}

// "COM3 QLX-11D", or "COM3" before the unit gave its identity.
std::string Header(const PortOutcome& outcome) {
    std::string header = outcome.port.Name();
    if (outcome.reading) header += " " + Printable(outcome.reading->identity);
    return header;
}

// Each code with its name, the one diff and the usage errors give: "format format 1 (1), flow
// XON/XOFF (2), ...".
std::string DescribePort(const unit::PortParameters& p) {
    std::string text;
    for (const unit::ParameterField& field : unit::kParameterFields) {
        const int code = p.*field.member;
        const std::string name = unit::CodeName(field, code);
        text += (text.empty() ? "" : ", ") + std::string(field.title) + " " + (name.empty() ? "?" : name) +
                " (" + std::to_string(code) + ")";
    }
    return text;
}

void PrintReadingBlock(const PortOutcome& outcome, COutput& out) {
    const UnitReading& r = *outcome.reading;
    const PortSpec& port = outcome.port;
    PrintLine(out, port.number != 0 ? port.Name() + ": " + platform::SerialDevicePath(port.number)
                                    : port.devicePath);
    PrintLine(out, "identity: " + r.identity);
    PrintLine(out, "firmware: " + r.firmware);
    PrintLine(out, "port A: " + DescribePort(r.a));
    PrintLine(out, "port B: " + DescribePort(r.b));
}

std::string DescribeDifference(const Difference& d) {
    return d.Name() + ": unit " + CodeWithName(*d.field, d.unit) + ", file " + CodeWithName(*d.field, d.file);
}

// The text of a success: a block or indented lines for one port, one line for one of many.
void PrintSuccessText(Command command, const PortOutcome& outcome, bool oneOfMany, COutput& out) {
    if (command == Command::Read && !oneOfMany) return PrintReadingBlock(outcome, out);
    const std::string header = Header(outcome) + ": ";
    if (command == Command::Read) {
        const UnitReading& r = *outcome.reading;
        return PrintLine(out, header + "firmware " + r.firmware + ", A " + unit::JoinCodes(r.a) + ", B " +
                                  unit::JoinCodes(r.b));
    }
    if (!oneOfMany) {
        PrintLine(out, header + outcome.message);
        for (const Difference& difference : outcome.differences)
            PrintLine(out, "  " + DescribeDifference(difference));
        return;
    }
    std::string line = header + outcome.message;
    for (size_t i = 0; i < outcome.differences.size(); ++i)
        line += (i == 0 ? ": " : "; ") + DescribeDifference(outcome.differences[i]);
    PrintLine(out, line);
}

// find: a unit found is a line on out; a port that another program holds, or where a device that
// is no QLX-DUO answered, is said on err (in JSON on out, as failures are); any other port has no
// unit on it, which is no news.
void PrintFound(const PortOutcome& outcome, bool json, COutput& out, COutput& err) {
    const bool found = outcome.error.empty();
    const bool foreign = outcome.error == "not-a-unit";
    if (!found && !foreign && outcome.error != "held") return;
    if (json) {
        Json line = {{"port", PortJson(outcome.port)},
                     {"device", ByteText(outcome.device)},
                     {"adapter", AdapterJson(outcome.adapter)}};
        if (outcome.reading) line["identity"] = ByteText(outcome.reading->identity);
        if (found) {
            line["firmware"] = ByteText(outcome.reading->firmware);
            line["firmwareNumber"] = unit::FirmwareNumber(outcome.reading->firmware);
        } else {
            line["error"] = outcome.error;
            line["message"] = Printable(outcome.message);
        }
        return WriteJson(line, out);
    }
    if (foreign)
        return PrintLine(
            err, outcome.port.Name() + " answered \"I\" but is not a QLX-DUO: " + outcome.reading->identity);
    const std::string where = outcome.port.number != 0 ? outcome.port.Name() + " " : "";
    const std::string port = where + platform::DescribeDevice(outcome.device, outcome.adapter);
    if (!found) return PrintLine(err, port + ": skipped, held by another program: " + outcome.message);
    PrintLine(out, port + ": " + outcome.reading->identity + ", firmware " + outcome.reading->firmware);
}

}  // namespace

void PrintOutcome(Command command, const PortOutcome& outcome, bool json, bool oneOfMany, COutput& out,
                  COutput& err) {
    if (command == Command::Find) return PrintFound(outcome, json, out, err);
    if (json) return WriteJson(OutcomeJson(command, outcome), out);
    if (!outcome.error.empty()) return PrintLine(err, Header(outcome) + ": " + outcome.message);
    PrintSuccessText(command, outcome, oneOfMany, out);
}

void PrintFailure(const std::string& error, const std::string& message, bool json, COutput& err) {
    if (json) return WriteJson({{"error", error}, {"message", Printable(message)}}, err);
    PrintLine(err, "qlxduo-cli: " + message);
}

void PrintLine(COutput& to, const std::string& line) {
    to << Printable(line) << "\n";
}

std::string RecordLine(const UnitRecord& record) {
    const PortOutcome& outcome = record.outcome;
    const std::string adapter = platform::DescribeAdapter(record.adapter);
    std::string line = (record.Passed() ? "PASS " : "FAIL ") + Header(outcome) + " " +
                       (adapter.empty() ? record.device : adapter) + " " + Seconds(record.seconds) + " s";
    if (!record.Passed()) line += ": " + outcome.reason;
    return Printable(line) + "\n";
}

std::string RecordJson(const UnitRecord& record) {
    const PortOutcome& outcome = record.outcome;
    const std::optional<UnitReading>& reading = outcome.reading;
    const Json line = {{"time", record.time},
                       {"host", record.host},
                       {"port", PortJson(outcome.port)},
                       {"device", ByteText(record.device)},
                       {"adapter", AdapterJson(record.adapter)},
                       {"identity", reading ? Json(ByteText(reading->identity)) : Json(nullptr)},
                       {"firmware", reading ? Json(ByteText(reading->firmware)) : Json(nullptr)},
                       {"before", PairJson(outcome.before)},
                       {"written", PairJson(outcome.written)},
                       {"readBack", PairJson(outcome.readBack)},
                       {"result", record.Passed() ? "pass" : "fail"},
                       {"reason", Printable(outcome.reason)},
                       {"seconds", std::round(record.seconds * 1000) / 1000}};
    return JsonLine(line);
}

std::string RecordCsvHeader() {
    return "time,host,port,device,vendorId,productId,manufacturer,product,serial,identity,firmware,"
           "before A,before B,written A,written B,read back A,read back B,result,reason,seconds\r\n";
}

std::string RecordCsv(const UnitRecord& record) {
    const PortOutcome& outcome = record.outcome;
    const platform::SerialAdapter& adapter = record.adapter;
    const std::optional<UnitReading>& reading = outcome.reading;
    std::string line;
    for (const std::string& text :
         {record.time, record.host, outcome.port.Name(), record.device, adapter.vendorId, adapter.productId,
          adapter.manufacturer, adapter.product, adapter.serial, reading ? reading->identity : "",
          reading ? reading->firmware : ""})
        line += (line.empty() ? "" : ",") + CsvText(text);
    for (const auto* pair : {&outcome.before, &outcome.written, &outcome.readBack}) {
        for (const char port : {'A', 'B'}) line += "," + CsvField(PairText(*pair, port));
    }
    return line + "," + CsvText(record.Passed() ? "pass" : "fail") + "," + CsvText(outcome.reason) + "," +
           Seconds(record.seconds) + "\r\n";
}

Json AdapterJson(const platform::SerialAdapter& adapter) {
    Json object = Json::object();
    for (const auto& [key, value] : {std::pair{"vendorId", &adapter.vendorId},
                                     {"productId", &adapter.productId},
                                     {"manufacturer", &adapter.manufacturer},
                                     {"product", &adapter.product},
                                     {"serial", &adapter.serial},
                                     {"byId", &adapter.stableName},
                                     {"description", &adapter.description}}) {
        if (!value->empty()) object[key] = *value;
    }
    return object;
}

void PrintPortList(const std::vector<platform::SerialPortEntry>& ports, bool json, COutput& out) {
    for (const platform::SerialPortEntry& entry : ports) {
        if (json) {
            WriteJson({{"port", platform::PortOfListedName(entry.name)},
                       {"name", entry.name},
                       {"device", entry.device},
                       {"present", entry.present},
                       {"adapter", AdapterJson(entry.adapter)}},
                      out);
        } else {
            PrintLine(out, entry.name + " " +
                               (entry.present ? platform::DescribeDevice(entry.device, entry.adapter)
                                              : entry.device + " absent (unplugged?)"));
        }
    }
}

}  // namespace cli
