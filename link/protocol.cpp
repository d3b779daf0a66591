#include "link/protocol.h"

#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "link/serialport.h"
#include "platform/deadline.h"

namespace unit {

const std::array<BaudEntry, 28> BaudTable = {{
    {"110bps", 8, 100},    {"134.5bps", 9, 100},  {"150bps", 10, 100},   {"200bps", 43, 102},
    {"300bps", 11, 100},   {"600bps", 12, 100},   {"1200bps", 13, 100},  {"1800bps", 14, 100},
    {"2000bps", 15, 100},  {"2400bps", 16, 100},  {"3600bps", 17, 100},  {"4000bps", 18, 100},
    {"4800bps", 19, 100},  {"7200bps", 20, 100},  {"9600bps", 21, 100},  {"10400bps", 44, 103},
    {"14400bps", 22, 100}, {"16000bps", 23, 100}, {"19200bps", 24, 100}, {"28800bps", 25, 100},
    {"31250bps", 26, 100}, {"38400bps", 27, 100}, {"51200bps", 28, 100}, {"56000bps", 29, 100},
    {"57600bps", 30, 100}, {"64000bps", 31, 100}, {"76800bps", 32, 100}, {"115200bps", 33, 100},
}};

std::vector<BaudEntry> BaudRatesForFirmware(int firmwareNumber) {
    std::vector<BaudEntry> offered;
    for (const BaudEntry& entry : BaudTable) {
        if (entry.lowestFirmware <= firmwareNumber) offered.push_back(entry);
    }
    return offered;
}

const BaudEntry* FindBaudCode(int code) {
    for (const BaudEntry& entry : BaudTable) {
        if (entry.code == code) return &entry;
    }
    return nullptr;
}

int FirmwareNumber(const std::string& version) {
    if (version.size() < 4) return 0;
    // The point at index 1 is not looked at; the digits are taken by their character values.
    return 100 * (version[0] - '0') + 10 * (version[2] - '0') + (version[3] - '0');
}

bool IsUnitIdentity(const std::string& identity) {
    return identity.starts_with(kIdentityPrefix);
}

int ParseParameters(const std::string& data, PortParameters& out) {
    int* const fields[kParameterCount] = {&out.format,   &out.flow,     &out.dataLength,
                                          &out.baudCode, &out.stopBits, &out.parity};
    if (data.empty()) return 0;
    int stored = 0;
    size_t start = 0;
    while (stored < kParameterCount && start <= data.size()) {
        size_t comma = data.find(',', start);
        if (comma == std::string::npos) comma = data.size();
        // atoi on a copy: the field ends at its comma, never beyond the data.
        *fields[stored++] = std::atoi(data.substr(start, comma - start).c_str());
        start = comma + 1;
    }
    return stored;
}

bool ParseCodeList(const std::string& text, PortParameters& out) {
    int values[kParameterCount];
    const char* cursor = text.data();
    const char* const end = text.data() + text.size();
    for (int i = 0; i < kParameterCount; ++i) {
        if (i > 0 && (cursor == end || *cursor++ != ',')) return false;
        auto [next, error] = std::from_chars(cursor, end, values[i]);
        if (error != std::errc()) return false;
        cursor = next;
    }
    if (cursor != end) return false;
    out = {values[0], values[1], values[2], values[3], values[4], values[5]};
    return true;
}

std::string JoinCodes(const PortParameters& p) {
    std::string text;
    for (int value : {p.format, p.flow, p.dataLength, p.baudCode, p.stopBits, p.parity}) {
        if (!text.empty()) text += ',';
        text += std::to_string(value);
    }
    return text;
}

std::string FormatSetCommand(char port, const PortParameters& parameters) {
    return std::string("AS ") + port + ' ' + JoinCodes(parameters) + "\r\n";
}

const char* GetCommand(char port) {
    return port == 'B' ? kGetBCommand : kGetACommand;
}

}  // namespace unit

namespace {

using Clock = platform::DeadlineClock;
using platform::MillisecondsLeft;

// Drops whatever already waits in the receive queue: a late answer to an earlier command must not
// be read as the reply to this one. Bounded by the reply deadline for a line that never goes quiet.
void DiscardWaiting(CSerialPort& port) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(unit::kReplyDeadlineMs);
    char scratch[unit::kReplyDataSize + 1];
    while (port.Read(scratch, unit::kReplyDataSize) > 0 && Clock::now() < deadline) {
    }
}

// Collects one reply line; false when no line feed came before the deadline or the port failed.
bool ReceiveLine(CSerialPort& port, Clock::time_point deadline, std::string& line) {
    while (Clock::now() < deadline) {
        int got = port.ReadByte();
        if (got == 0) {
            // Nothing waits: sleep in poll instead of spinning. A false answer means time-out,
            // hang-up or a closed port; none of them can still produce a reply.
            if (!port.WaitReadable(MillisecondsLeft(deadline))) return false;
            continue;
        }
        char byte = static_cast<char>(got - 256);
        if (byte == '\n') return true;
        if (byte != '\r' && static_cast<int>(line.size()) < unit::kReplyLineMax) line.push_back(byte);
    }
    return false;
}

}  // namespace

int OpenUnitLink(CSerialPort& port, int number) {
    constexpr int kBaudRate = 115200;
    constexpr int kByteSize = 8;
    constexpr int kNoParity = 0;
    constexpr int kOneStopBit = 0;
    if (!port.Open(number, kBaudRate, kByteSize, kNoParity, kOneStopBit)) return 0;
    port.SetLineControl(1, 0);
    port.SetRts(1);
    return 1;
}

int CommandExchange(CSerialPort& port, const char* command, char* data) {
    DiscardWaiting(port);
    port.WriteString(command);
    const auto deadline = Clock::now() + std::chrono::milliseconds(unit::kReplyDeadlineMs);
    std::string line;
    if (!ReceiveLine(port, deadline, line) || !line.starts_with("OK")) return 0;
    if (line.size() > 2 && line[2] == ',') {
        std::memcpy(data, line.c_str() + 3, line.size() - 2);  // the text and its terminator
    }
    return 1;
}
