#include "tools/cli.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <utility>

#include "link/protocol.h"
#include "link/serialport.h"
#include "platform/portlist.h"
#include "qlxduo_version.h"
#include "ui/statustexts.h"

namespace cli {
namespace {

// What a command ends with: its exit status and, on failure, the message for err.
struct Outcome {
    int status = kExitSuccess;
    std::string message;
};

Outcome UnitFailed(const char* text) {
    return {kExitUnitFailed, text};
}

struct UnitReading {
    std::string identity;
    std::string firmware;
    unit::PortParameters a;
    unit::PortParameters b;
};

bool Exchange(CSerialPort& port, const char* command, std::string* data = nullptr) {
    char buffer[unit::kReplyDataSize] = {};
    if (CommandExchange(port, command, buffer) == 0) return false;
    if (data != nullptr) *data = buffer;
    return true;
}

// Opens the port as the window does.
std::optional<Outcome> OpenLikeTheWindow(CSerialPort& port, int number) {
    if (OpenUnitLink(port, number) == 0) {
        return Outcome{kExitOpenFailed, DescribeOpenFailure(number, port.LastOpenFailure())};
    }
    return std::nullopt;
}

std::optional<Outcome> ReadParameters(CSerialPort& port, UnitReading& reading) {
    std::string a, b;
    if (!Exchange(port, unit::kGetACommand, &a) || !Exchange(port, unit::kGetBCommand, &b)) {
        return UnitFailed(status::kReadFailed);
    }
    reading.a = {};
    reading.b = {};
    unit::ParseParameters(a, reading.a);
    unit::ParseParameters(b, reading.b);
    return std::nullopt;
}

// The connect-and-read of the window: identity, firmware, then both ports.
std::optional<Outcome> ConnectAndRead(CSerialPort& port, int number, UnitReading& reading) {
    if (auto failed = OpenLikeTheWindow(port, number)) return failed;
    if (!Exchange(port, unit::kIdentifyCommand, &reading.identity))
        return UnitFailed(status::kNotInSettingMode);
    if (!unit::IsUnitIdentity(reading.identity)) return UnitFailed(status::kCommunicationError);
    if (!Exchange(port, unit::kVersionCommand, &reading.firmware))
        return UnitFailed(status::kNotInSettingMode);
    return ReadParameters(port, reading);
}

template <size_t N>
std::string ListText(const std::array<const char*, N>& texts, int code) {
    return code >= 0 && code < static_cast<int>(N) ? texts[code] : "?";
}

std::string BaudText(int code) {
    const unit::BaudEntry* entry = unit::FindBaudCode(code);
    return entry != nullptr ? entry->label : "?";
}

std::string DescribePort(const unit::PortParameters& p) {
    auto field = [](const char* name, const std::string& text, int code) {
        return std::string(name) + " " + text + " (" + std::to_string(code) + ")";
    };
    return field("format", ListText(unit::kFormatTexts, p.format), p.format) + ", " +
           field("flow", ListText(unit::kFlowTexts, p.flow), p.flow) + ", " +
           field("data length", ListText(unit::kDataLengthTexts, p.dataLength), p.dataLength) + ", " +
           field("baud", BaudText(p.baudCode), p.baudCode) + ", " +
           field("stop bits", ListText(unit::kStopBitsTexts, p.stopBits), p.stopBits) + ", " +
           field("parity", ListText(unit::kParityTexts, p.parity), p.parity);
}

std::string JsonString(const std::string& text) {
    std::string quoted = "\"";
    for (unsigned char c : text) {
        if (c == '"' || c == '\\') {
            quoted += '\\';
            quoted += static_cast<char>(c);
        } else if (c < 0x20) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", c);
            quoted += escape;
        } else {
            quoted += static_cast<char>(c);
        }
    }
    return quoted + "\"";
}

std::string JsonPort(const unit::PortParameters& p) {
    const unit::BaudEntry* entry = unit::FindBaudCode(p.baudCode);
    return "{\"format\":" + std::to_string(p.format) + ",\"flow\":" + std::to_string(p.flow) +
           ",\"dataLength\":" + std::to_string(p.dataLength) + ",\"baudCode\":" + std::to_string(p.baudCode) +
           ",\"baud\":" + (entry != nullptr ? JsonString(entry->label) : "null") +
           ",\"stopBits\":" + std::to_string(p.stopBits) + ",\"parity\":" + std::to_string(p.parity) + "}";
}

void PrintReading(int number, const UnitReading& r, bool json, std::ostream& out) {
    if (json) {
        out << "{\"port\":" << number << ",\"identity\":" << JsonString(r.identity)
            << ",\"firmware\":" << JsonString(r.firmware) << ",\"A\":" << JsonPort(r.a)
            << ",\"B\":" << JsonPort(r.b) << "}\n";
        return;
    }
    out << "COM" << number << ": " << platform::SerialDevicePath(number) << "\n"
        << "identity: " << r.identity << "\nfirmware: " << r.firmware << "\nport A: " << DescribePort(r.a)
        << "\nport B: " << DescribePort(r.b) << "\n";
}

bool ParsePortNumber(const std::string& text, int& number) {
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
    return error == std::errc() && end == text.data() + text.size() && platform::IsComPortNumber(number);
}

// The command's arguments after its port number.
struct Request {
    std::string command;
    int port = 0;
    bool json = false;
    std::optional<unit::PortParameters> a;
    std::optional<unit::PortParameters> b;
};

bool ParseWriteOption(const std::string& name, const std::string& value, Request& r) {
    unit::PortParameters codes;
    if ((name != "--a" && name != "--b") || !unit::ParseCodeList(value, codes)) return false;
    (name == "--a" ? r.a : r.b) = codes;
    return true;
}

bool ParseRequest(const std::vector<std::string>& args, Request& r) {
    if (args.empty()) return false;
    r.command = args[0];
    if (r.command == "ports") return args.size() == 1;
    if (args.size() < 2 || !ParsePortNumber(args[1], r.port)) return false;
    if (r.command == "normal") return args.size() == 2;
    if (r.command == "read") {
        r.json = args.size() == 3 && args[2] == "--json";
        return args.size() == 2 || r.json;
    }
    if (r.command != "write") return false;
    for (size_t i = 2; i < args.size(); i += 2) {
        if (i + 1 >= args.size() || !ParseWriteOption(args[i], args[i + 1], r)) return false;
    }
    return r.a || r.b;
}

// In port order, whatever order the system lists them in.
Outcome ListPorts(std::ostream& out) {
    std::vector<std::pair<int, std::string>> ports;
    for (const platform::SerialPortEntry& entry : platform::EnumerateSerialPorts()) {
        const int number = entry.name.size() > 3 ? std::atoi(entry.name.c_str() + 3) : 0;
        if (platform::IsComPortNumber(number)) ports.emplace_back(number, entry.device);
    }
    std::sort(ports.begin(), ports.end());
    for (const auto& [number, device] : ports) out << "COM" << number << " " << device << "\n";
    return {};
}

Outcome Read(const Request& r, std::ostream& out) {
    CSerialPort port;
    UnitReading reading;
    if (auto failed = ConnectAndRead(port, r.port, reading)) return *failed;
    PrintReading(r.port, reading, r.json, out);
    return {};
}

// "AS A", "AS B" and "W", each only after the one before was accepted; then reads both back.
Outcome Write(const Request& r, std::ostream& out) {
    CSerialPort port;
    UnitReading reading;
    if (auto failed = ConnectAndRead(port, r.port, reading)) return *failed;
    const unit::PortParameters a = r.a.value_or(reading.a);
    const unit::PortParameters b = r.b.value_or(reading.b);
    if (!Exchange(port, unit::FormatSetCommand('A', a).c_str()) ||
        !Exchange(port, unit::FormatSetCommand('B', b).c_str()) || !Exchange(port, unit::kStoreCommand)) {
        return UnitFailed(status::kWriteFailed);
    }
    if (auto failed = ReadParameters(port, reading)) return *failed;
    if (reading.a != a || reading.b != b) {
        return UnitFailed(status::kWriteFailed);
    }
    out << status::kWriteSucceeded << "\n";
    return {};
}

Outcome SwitchToNormal(const Request& r, std::ostream& out) {
    CSerialPort port;
    if (auto failed = OpenLikeTheWindow(port, r.port)) return *failed;
    if (!Exchange(port, unit::kNormalModeCommand)) return UnitFailed(status::kNormalModeFailed);
    out << status::kNormalModeOn << "\n";
    return {};
}

Outcome Run(const Request& r, std::ostream& out) {
    if (r.command == "ports") return ListPorts(out);
    if (r.command == "read") return Read(r, out);
    if (r.command == "write") return Write(r, out);
    return SwitchToNormal(r, out);
}

}  // namespace

const char* const kUsage =
    "usage: qlxduo-cli ports\n"
    "       qlxduo-cli read N [--json]\n"
    "       qlxduo-cli write N [--a f,fl,dl,baud,st,par] [--b f,fl,dl,baud,st,par]\n"
    "       qlxduo-cli normal N\n"
    "N is a COM port number, 1 to 255 (see qlxduo-cli ports).\n"
    "qlxduo-cli version " QLXDUO_VERSION "\n";

int RunCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    Request request;
    if (!ParseRequest(args, request)) {
        err << kUsage;
        return kExitUsage;
    }
    const Outcome outcome = Run(request, out);
    if (outcome.status != kExitSuccess) err << outcome.message << "\n";
    return outcome.status;
}

}  // namespace cli
