// SPDX-License-Identifier: MIT
#include "link/protocol.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "link/linetrace.h"
#include "link/serialport.h"
#include "platform/deadline.h"

namespace unit {

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
    if (data.empty()) return 0;
    int stored = 0;
    size_t start = 0;
    while (stored < kParameterCount && start <= data.size()) {
        size_t comma = data.find(',', start);
        if (comma == std::string::npos) comma = data.size();
        // Read as atoi reads, on a copy (the field ends at its comma, never beyond the data); a number
        // beyond int is held at its end, which no list has, where atoi's result is undefined.
        const long code = std::strtol(data.substr(start, comma - start).c_str(), nullptr, 10);
        out.*kParameterFields[static_cast<size_t>(stored++)].member =
            static_cast<int>(std::clamp<long>(code, INT_MIN, INT_MAX));
        start = comma + 1;
    }
    return stored;
}

bool ParseCodeList(const std::string& text, PortParameters& out) {
    PortParameters read;
    const char* cursor = text.data();
    const char* const end = text.data() + text.size();
    for (const ParameterField& field : kParameterFields) {
        if (field.member != kParameterFields.front().member && (cursor == end || *cursor++ != ','))
            return false;
        auto [next, error] = std::from_chars(cursor, end, read.*field.member);
        if (error != std::errc()) return false;
        cursor = next;
    }
    if (cursor != end) return false;
    out = read;
    return true;
}

std::string JoinCodes(const PortParameters& p) {
    std::string text;
    for (const ParameterField& field : kParameterFields) {
        if (!text.empty()) text += ',';
        text += std::to_string(p.*field.member);
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

// A trace of a line that never ends stays bounded too.
constexpr size_t kMostTracedBytes = 4096;

void Keep(std::string* kept, const char* bytes, int count) {
    if (kept != nullptr) kept->append(bytes, std::min<size_t>(count, kMostTracedBytes - kept->size()));
}

// Drops whatever already waits in the receive queue: a late answer to an earlier command must not
// be read as the reply to this one. Bounded by the reply deadline for a line that never goes quiet.
// What was dropped goes to dropped when it is given.
void DiscardWaiting(CSerialPort& port, std::string* dropped) {
    const auto deadline = platform::DeadlineIn(unit::kReplyDeadlineMs);
    char scratch[unit::kReplyDataSize + 1];
    for (int got; (got = port.Read(scratch, unit::kReplyDataSize)) > 0 && Clock::now() < deadline;) {
        Keep(dropped, scratch, got);
    }
}

// Collects one reply line; false when no line feed came before the deadline or the port failed.
// Every byte read, carriage returns and line feed included, goes to raw when it is given.
bool ReceiveLine(CSerialPort& port, Clock::time_point deadline, std::string& line, std::string* raw) {
    while (Clock::now() < deadline) {
        int got = port.ReadByte();
        if (got == 0) {
            // Nothing waits: sleep in poll instead of spinning. A false answer means time-out,
            // hang-up or a closed port; none of them can still produce a reply.
            if (!port.WaitReadable(MillisecondsLeft(deadline))) return false;
            continue;
        }
        char byte = static_cast<char>(got - 256);
        Keep(raw, &byte, 1);
        if (byte == '\n') return true;
        if (byte != '\r' && static_cast<int>(line.size()) < unit::kReplyLineMax) line.push_back(byte);
    }
    return false;
}

// The start of an exchange as the port's observer sees it: what was dropped, then the command.
// Told before the write, so that its time stamp comes before the unit's reception of it.
void ObserveStart(CLineObserver& observer, const std::string& dropped, const char* command) {
    if (!dropped.empty()) observer.Remark("dropped before sending, as a late reply: " + dropped);
    observer.Sent(command);
}

// The end of it: the reply as it arrived, and a reply that did not end in time.
void ObserveEnd(CLineObserver& observer, bool ended, const std::string& raw) {
    if (!raw.empty()) observer.Received(raw);
    if (!ended) observer.Remark("no line feed within " + std::to_string(unit::kReplyDeadlineMs) + " ms");
}

constexpr int kBaudRate = 115200;
constexpr int kByteSize = 8;
constexpr int kNoParity = 0;
constexpr int kOneStopBit = 0;

int RaiseRtsIfOpen(CSerialPort& port, int opened) {
    if (!opened) return 0;
    port.SetLineControl(1, 0);
    port.SetRts(1);
    return 1;
}

}  // namespace

int OpenUnitLink(CSerialPort& port, int number) {
    return RaiseRtsIfOpen(port, port.Open(number, kBaudRate, kByteSize, kNoParity, kOneStopBit));
}

int OpenUnitLink(CSerialPort& port, const std::string& devicePath) {
    return RaiseRtsIfOpen(port, port.OpenPath(devicePath, kBaudRate, kByteSize, kNoParity, kOneStopBit));
}

int CommandExchange(CSerialPort& port, const char* command, char* data) {
    return ExchangeCommand(port, command, data) == ExchangeEnd::Accepted ? 1 : 0;
}

ExchangeEnd ExchangeCommand(CSerialPort& port, const char* command, char* data) {
    CLineObserver* const observer = port.Observer();
    std::string dropped, raw;
    DiscardWaiting(port, observer != nullptr ? &dropped : nullptr);
    if (observer != nullptr) ObserveStart(*observer, dropped, command);
    port.WriteString(command);
    const auto deadline = platform::DeadlineIn(unit::kReplyDeadlineMs);
    std::string line;
    const bool ended = ReceiveLine(port, deadline, line, observer != nullptr ? &raw : nullptr);
    if (observer != nullptr) ObserveEnd(*observer, ended, raw);
    if (!ended) return ExchangeEnd::NoReply;
    if (!line.starts_with("OK")) return ExchangeEnd::Rejected;
    if (line.size() > 2 && line[2] == ',') {
        std::memcpy(data, line.c_str() + 3, line.size() - 2);  // the text and its terminator
    }
    return ExchangeEnd::Accepted;
}
