// SPDX-License-Identifier: MIT
#include "tools/unitconfig.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <vector>

#include "platform/atomicfile.h"
#include "tools/fields.h"

namespace cli {
namespace {

using Json = nlohmann::json;

bool Fail(std::string& error, std::string text) {
    error = std::move(text);
    return false;
}

// Values and library messages from a file go into messages only this long: a file may hold a
// string or a number token of a mebibyte.
constexpr size_t kShownLength = 40;
constexpr size_t kLibraryMessageLength = 200;

// At most length bytes of text, "..." marking a cut, which never splits a UTF-8 character.
std::string Bounded(const std::string& text, size_t length = kShownLength) {
    if (text.size() <= length) return text;
    while (length > 0 && (static_cast<unsigned char>(text[length]) & 0xc0) == 0x80) --length;
    return text.substr(0, length) + "...";
}

// A value of the file as a message shows it, within bounds: a number or a string (cut short) as
// written, an array or object by its brackets alone. A value is never written out whole, which
// for one nested a hundred thousand levels deep would take as deep a recursion.
std::string Shown(const Json& value) {
    if (value.is_array()) return "[...]";
    if (value.is_object()) return "{...}";
    if (value.is_string()) {
        return Json(Bounded(value.get_ref<const std::string&>())).dump();
    }
    return value.dump();
}

std::optional<int> WholeNumber(const Json& value) {
    if (value.is_number_unsigned()) {
        const auto number = value.get<std::uint64_t>();
        if (number <= static_cast<std::uint64_t>(INT_MAX)) return static_cast<int>(number);
    } else if (value.is_number_integer()) {
        const auto number = value.get<std::int64_t>();
        if (number >= INT_MIN && number <= INT_MAX) return static_cast<int>(number);
    }
    return std::nullopt;
}

std::string RateText(double rate) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", rate);
    return text;
}

std::string RatesAllowed(bool asLabels) {
    std::string text;
    for (const unit::BaudEntry& entry : unit::BaudTable) {
        text += (text.empty() ? "" : ", ") +
                (asLabels ? "\"" + std::string(entry.label) + "\"" : RateText(BaudRate(entry)));
    }
    return text;
}

// One way the file names the baud rate: its text and the code it stands for.
struct BaudNaming {
    std::string text;
    int code;
};

bool MatchesRate(const Json& value, const unit::BaudEntry& entry) {
    return value.is_number() && value.get<double>() == BaudRate(entry);
}

bool MatchesLabel(const Json& value, const unit::BaudEntry& entry) {
    return value.is_string() && value.get<std::string>() == entry.label;
}

// The keys that name a rate instead of a code.
struct RateKey {
    const char* key;
    bool (*matches)(const Json&, const unit::BaudEntry&);
    bool labels;  // the allowed values are the labels, not the rates
};
constexpr RateKey kRateKeys[] = {{"baudRate", MatchesRate, false}, {"baud", MatchesLabel, true}};

// What "baudCode", "baudRate" and "baud" (those present) stand for; false with the reason when one
// of them names nothing the unit has.
bool ReadBaudNamings(const Json& port, const std::string& prefix, std::vector<BaudNaming>& namings,
                     std::string& error) {
    if (port.contains("baudCode")) {
        const auto code = WholeNumber(port["baudCode"]);
        if (!code)
            return Fail(error, prefix + "baudCode must be a whole number, not " + Shown(port["baudCode"]));
        namings.push_back({prefix + "baudCode " + CodeWithName(unit::kBaudField, *code), *code});
    }
    for (const RateKey& key : kRateKeys) {
        if (!port.contains(key.key)) continue;
        const Json& value = port[key.key];
        const std::string named = prefix + key.key + " " + Shown(value);
        const auto* entry = std::find_if(unit::BaudTable.begin(), unit::BaudTable.end(),
                                         [&](const unit::BaudEntry& e) { return key.matches(value, e); });
        if (entry == unit::BaudTable.end()) {
            return Fail(error, named + " is no rate of the unit; allowed: " + RatesAllowed(key.labels));
        }
        namings.push_back({named, entry->code});
    }
    return true;
}

bool ReadBaud(const Json& port, const std::string& prefix, int& code, std::string& error) {
    std::vector<BaudNaming> namings;
    if (!ReadBaudNamings(port, prefix, namings, error)) return false;
    if (namings.empty()) return Fail(error, prefix + "baudCode is missing (or give baudRate or baud)");
    for (const BaudNaming& naming : namings) {
        if (naming.code != namings.front().code) {
            return Fail(error, namings.front().text + " and " + naming.text + " name different rates");
        }
    }
    code = namings.front().code;
    return true;
}

bool ReadPort(const Json& port, const std::string& prefix, unit::PortParameters& codes, std::string& error) {
    if (!port.is_object())
        return Fail(error, prefix.substr(0, 1) + " must be an object holding the port's codes");
    for (const unit::ParameterField& field : unit::kParameterFields) {
        if (field.rule == unit::CodeRule::Baud) {
            if (!ReadBaud(port, prefix, codes.baudCode, error)) return false;
            continue;
        }
        if (!port.contains(field.key)) return Fail(error, prefix + field.key + " is missing");
        const auto code = WholeNumber(port[field.key]);
        if (!code)
            return Fail(error, prefix + field.key + " must be a whole number, not " + Shown(port[field.key]));
        codes.*field.member = *code;
    }
    return true;
}

bool ReadSchema(const Json& file, std::string& error) {
    if (!file.contains("schema")) return true;
    const auto schema = WholeNumber(file["schema"]);
    if (schema == kConfigSchema) return true;
    return Fail(error, "schema " + Shown(file["schema"]) +
                           " is not supported; this qlxduo-cli reads schema " +
                           std::to_string(kConfigSchema));
}

// Read through the C library, which, unlike the stream on top of it, tells a failed read (standard
// input that is a folder) from the end of the input.
bool ReadStandardInput(std::string& text, std::string& error) {
    text.assign(platform::kMaxFileSize + 1, '\0');
    text.resize(std::fread(text.data(), 1, text.size(), stdin));
    if (std::ferror(stdin)) return Fail(error, "standard input cannot be read");
    if (text.size() > platform::kMaxFileSize) return Fail(error, "standard input holds more than 1 MiB");
    return true;
}

bool ReadConfigText(const std::string& path, std::string& text, std::string& error) {
    if (path == "-") return ReadStandardInput(text, error);
    switch (platform::ReadWholeFile(path, text)) {
        case platform::FileRead::Read:
            return true;
        case platform::FileRead::Absent:
            return Fail(error, path + ": no such file");
        case platform::FileRead::Refused:
            return Fail(error, path + ": not a regular file of at most 1 MiB");
        case platform::FileRead::Failed:
            break;
    }
    return Fail(error, path + ": cannot be read");
}

bool ReadConfig(const Json& file, UnitConfig& config, std::string& error) {
    if (!file.is_object()) return Fail(error, "not a configuration: a JSON object is needed");
    if (!ReadSchema(file, error)) return false;
    if (!file.contains("A") && !file.contains("B")) return Fail(error, "holds neither \"A\" nor \"B\"");
    UnitConfig read;
    for (const char port : {'A', 'B'}) {
        const std::string key(1, port);
        if (!file.contains(key)) continue;
        unit::PortParameters codes;
        if (!ReadPort(file[key], key + ".", codes, error)) return false;
        (port == 'A' ? read.a : read.b) = codes;
    }
    config = read;
    return true;
}

// The library's message without its tag ("[json.exception.parse_error.101] "), cut short: it
// quotes the token it stopped at, which may be a mebibyte long.
std::string LibraryMessage(const Json::exception& e) {
    const std::string what = e.what();
    const size_t tagEnd = what.find("] ");
    return Bounded(tagEnd == std::string::npos ? what : what.substr(tagEnd + 2), kLibraryMessageLength);
}

}  // namespace

bool ParseConfig(const std::string& text, UnitConfig& config, std::string& error) {
    // The library's reader takes a NUL byte for the end of the text and would ignore what follows.
    const size_t nul = text.find('\0');
    if (nul != std::string::npos) return Fail(error, "not JSON: byte " + std::to_string(nul + 1) + " is NUL");
    // The library reports what it cannot read by throwing: a malformed text, and also a number
    // beyond the range of a double (1e999).
    try {
        return ReadConfig(Json::parse(text), config, error);
    } catch (const Json::parse_error& e) {
        return Fail(error, "not JSON: " + LibraryMessage(e));
    } catch (const Json::exception& e) {
        return Fail(error, "not a configuration: " + LibraryMessage(e));
    }
}

bool LoadConfig(const std::string& path, UnitConfig& config, std::string& error) {
    std::string text;
    if (!ReadConfigText(path, text, error)) return false;
    if (ParseConfig(text, config, error)) return true;
    error = (path == "-" ? "standard input" : path) + ": " + error;
    return false;
}

}  // namespace cli
