// SPDX-License-Identifier: MIT
#pragma once
// The unit's command language: command lines, the reply exchange, the parameter record of one
// unit port on the wire (its fields are in unitfields.h), the baud-rate table and the firmware
// number.

#include <array>
#include <string>
#include <vector>

#include "link/unitfields.h"

class CSerialPort;

namespace unit {

// Command lines, byte for byte.
inline constexpr const char* kIdentifyCommand = "I\r\n";
inline constexpr const char* kVersionCommand = "V\r\n";
inline constexpr const char* kGetACommand = "AG A\r\n";
inline constexpr const char* kGetBCommand = "AG B\r\n";
inline constexpr const char* kStoreCommand = "W 4172093615\r\n";
inline constexpr const char* kNormalModeCommand = "E\r\n";
inline constexpr const char* kAccessCode = "4172093615";
inline constexpr const char* kIdentityPrefix = "QLX-11";

inline constexpr int kReplyDeadlineMs = 200;
inline constexpr int kReplyDataSize = 256;  // the caller's data buffer
inline constexpr int kReplyLineMax = 255;   // characters kept of one reply line

struct BaudEntry {
    const char* label;
    int code;
    int lowestFirmware;
};
inline constexpr std::array<BaudEntry, 28> BaudTable = {{
    {"110bps", 8, 100},    {"134.5bps", 9, 100},  {"150bps", 10, 100},   {"200bps", 43, 102},
    {"300bps", 11, 100},   {"600bps", 12, 100},   {"1200bps", 13, 100},  {"1800bps", 14, 100},
    {"2000bps", 15, 100},  {"2400bps", 16, 100},  {"3600bps", 17, 100},  {"4000bps", 18, 100},
    {"4800bps", 19, 100},  {"7200bps", 20, 100},  {"9600bps", 21, 100},  {"10400bps", 44, 103},
    {"14400bps", 22, 100}, {"16000bps", 23, 100}, {"19200bps", 24, 100}, {"28800bps", 25, 100},
    {"31250bps", 26, 100}, {"38400bps", 27, 100}, {"51200bps", 28, 100}, {"56000bps", 29, 100},
    {"57600bps", 30, 100}, {"64000bps", 31, 100}, {"76800bps", 32, 100}, {"115200bps", 33, 100},
}};

// The entries a unit of that firmware number offers, in table order.
std::vector<BaudEntry> BaudRatesForFirmware(int firmwareNumber);
// The table entry of a baud code; nullptr when no entry has it.
const BaudEntry* FindBaudCode(int code);

// "1.03" -> 103: 100 x first digit + 10 x third character + fourth character. Text shorter than
// four characters gives 0.
int FirmwareNumber(const std::string& version);

// True when the identity's first six characters are "QLX-11".
bool IsUnitIdentity(const std::string& identity);

// Splits "AG" reply data at commas and converts each field as atoi does (leading blanks, a sign,
// digits up to the first other character; none gives 0; a number beyond int gives INT_MIN or
// INT_MAX), in PortParameters order. Only the fields present are stored into out; returns how many
// were (0 to 6). The window reads replies so; ParseCodeList reads them strictly.
int ParseParameters(const std::string& data, PortParameters& out);

// Strict form of the six codes, as options and stored state carry them: false unless the text is
// exactly six comma-separated decimal integers (a minus sign allowed).
bool ParseCodeList(const std::string& text, PortParameters& out);
// "1,2,0,21,0,2": the six codes with "%d", comma-separated.
std::string JoinCodes(const PortParameters& parameters);

// "AS A 1,2,0,21,0,2\r\n" for port 'A' (or 'B').
std::string FormatSetCommand(char port, const PortParameters& parameters);
// "AG A\r\n" or "AG B\r\n".
const char* GetCommand(char port);

}  // namespace unit

// Opens COM <number> as the unit talks: 115200 baud, 8 data bits, no parity, one stop bit; then RTS
// control on and RTS raised, DTR control off. Returns Open's result; after a failed open nothing
// else is done.
int OpenUnitLink(CSerialPort& port, int number);
// The same for a device named by its path.
int OpenUnitLink(CSerialPort& port, const std::string& devicePath);

// How an exchange ended: an "OK" reply, another line, or no line (silence, or the device gone).
enum class ExchangeEnd { Accepted, Rejected, NoReply };

// Sends one command line and collects the reply within the deadline. Returns 1 when an "OK" reply
// arrived in time, else 0. The port's observer, when it has one, is told the command, the reply as
// it arrived and what went wrong. Reply data after "OK," is copied into data (unit::kReplyDataSize bytes)
// on success; otherwise data is left as it was.
int CommandExchange(CSerialPort& port, const char* command, char* data);
// The same, telling a refusal from silence.
ExchangeEnd ExchangeCommand(CSerialPort& port, const char* command, char* data);
