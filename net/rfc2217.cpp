// SPDX-License-Identifier: MIT
#include "net/rfc2217.h"

#include <algorithm>
#include <array>
#include <utility>

#include "net/telnet.h"

namespace platform {
namespace {

using Setting = CComPortControl::Setting;

constexpr unsigned char kSetBaudRate = 1, kSetDataSize = 2, kSetParity = 3, kSetStopSize = 4, kSetControl = 5;
// A server's answer to a request carries the request's command plus this.
constexpr unsigned char kAnswerOffset = 100;
// SET-CONTROL's values that this side asks for.
constexpr unsigned char kNoOutboundFlow = 1, kDtrOn = 8, kDtrOff = 9, kRtsOn = 11, kRtsOff = 12,
                        kNoInboundFlow = 14;

bool IsFormat(Setting setting) {
    return setting == Setting::Rate || setting == Setting::DataSize || setting == Setting::Parity ||
           setting == Setting::StopSize;
}

// What a SET-CONTROL value is about: its answer carries that setting's state, which may be another
// value of it (RTS off for RTS on).
Setting ControlSetting(unsigned char value) {
    switch (value) {
        case 1:
        case 2:
        case 3:
        case 17:
        case 19:
            return Setting::OutboundFlow;
        case 14:
        case 15:
        case 16:
        case 18:
            return Setting::InboundFlow;
        case kDtrOn:
        case kDtrOff:
            return Setting::Dtr;
        case kRtsOn:
        case kRtsOff:
            return Setting::Rts;
        default:
            return Setting::Other;
    }
}

Setting SettingOf(unsigned char command, std::string_view value) {
    constexpr std::array kFormat = {Setting::Rate, Setting::DataSize, Setting::Parity, Setting::StopSize};
    if (command == kSetControl) return ControlSetting(static_cast<unsigned char>(value[0]));
    return kFormat[command - kSetBaudRate];
}

unsigned Number(std::string_view value) {
    unsigned number = 0;
    for (const char byte : value) number = number << 8 | static_cast<unsigned char>(byte);
    return number;
}

std::string ParityName(unsigned code) {
    constexpr std::array<const char*, 5> kNames = {"none", "odd", "even", "mark", "space"};
    return code >= 1 && code <= kNames.size() ? kNames[code - 1] : "code " + std::to_string(code);
}

std::string StopName(unsigned code) {
    constexpr std::array<const char*, 3> kNames = {"1", "2", "1.5"};
    return code >= 1 && code <= kNames.size() ? kNames[code - 1] : "code " + std::to_string(code);
}

std::string ControlName(unsigned code) {
    switch (code) {
        case 1:
            return "no outbound flow control";
        case 2:
            return "XON/XOFF outbound flow control";
        case 3:
            return "hardware outbound flow control";
        case kDtrOn:
            return "DTR on";
        case kDtrOff:
            return "DTR off";
        case kRtsOn:
            return "RTS on";
        case kRtsOff:
            return "RTS off";
        case kNoInboundFlow:
            return "no inbound flow control";
        case 15:
            return "XON/XOFF inbound flow control";
        case 16:
            return "hardware inbound flow control";
        default:
            return "control value " + std::to_string(code);
    }
}

// What a request asks, in words: "the rate 115200", "8 data bits", "no parity", "RTS off".
std::string Asked(Setting setting, unsigned value) {
    switch (setting) {
        case Setting::Rate:
            return "the rate " + std::to_string(value);
        case Setting::DataSize:
            return std::to_string(value) + " data bits";
        case Setting::Parity:
            return value == 1 ? "no parity" : ParityName(value) + " parity";
        case Setting::StopSize:
            return StopName(value) + (value == 1 ? " stop bit" : " stop bits");
        default:
            return ControlName(value);
    }
}

// An answer of another value than asked, in words: "the rate to 9600, not 115200".
std::string Differs(Setting setting, unsigned got, unsigned asked) {
    switch (setting) {
        case Setting::Rate:
            return "the rate to " + std::to_string(got) + ", not " + std::to_string(asked);
        case Setting::DataSize:
            return std::to_string(got) + " data bits, not " + std::to_string(asked);
        case Setting::Parity:
            return "the parity to " + ParityName(got) + ", not " + ParityName(asked);
        case Setting::StopSize:
            return StopName(got) + " stop bits, not " + StopName(asked);
        default:
            return ControlName(got) + ", not " + ControlName(asked);
    }
}

std::string Byte(unsigned value) {
    return std::string(1, static_cast<char>(value & 0xff));
}

}  // namespace

std::string CComPortControl::Ask(Setting setting, unsigned char command, std::string value) {
    if (m_awaited.size() >= kMostAwaited) m_awaited.erase(m_awaited.begin());
    const std::string bytes = CTelnetCodec::Framed(kOption, Byte(command) + value);
    m_awaited.push_back({setting, command, std::move(value)});
    return bytes;
}

std::string CComPortControl::AskLine(Setting line, bool on) {
    std::optional<bool>& asked = line == Setting::Rts ? m_rts : m_dtr;
    if (asked == on) return {};
    asked = on;
    const unsigned char value = line == Setting::Rts ? (on ? kRtsOn : kRtsOff) : (on ? kDtrOn : kDtrOff);
    return Ask(line, kSetControl, Byte(value));
}

// The line settings first: their answers (or their absence) are known once the format's are in.
std::string CComPortControl::AskLineFormat(const SerialLineFormat& format) {
    m_rts.reset();
    m_dtr.reset();
    // Parity codes count from 1 here (none, odd, even, mark, space); stop bits are 1, 2, 1.5.
    constexpr std::array<unsigned, 3> kStopSizes = {1, 3, 2};
    const auto rate = static_cast<unsigned>(format.baudRate);
    const std::string rateBytes = Byte(rate >> 24) + Byte(rate >> 16) + Byte(rate >> 8) + Byte(rate);
    // One request after another: the order they are awaited in is the order they are sent in.
    std::string requests = Ask(Setting::OutboundFlow, kSetControl, Byte(kNoOutboundFlow));
    requests += Ask(Setting::InboundFlow, kSetControl, Byte(kNoInboundFlow));
    requests += AskLine(Setting::Rts, false);
    requests += AskLine(Setting::Dtr, false);
    requests += Ask(Setting::Rate, kSetBaudRate, rateBytes);
    requests += Ask(Setting::DataSize, kSetDataSize, Byte(static_cast<unsigned>(format.byteSize)));
    requests += Ask(Setting::Parity, kSetParity, Byte(static_cast<unsigned>(format.parity & 0xff) + 1));
    requests +=
        Ask(Setting::StopSize, kSetStopSize, Byte(kStopSizes[std::clamp(format.stopBits & 0xff, 0, 2)]));
    return requests;
}

void CComPortControl::Answer(std::string_view payload) {
    if (payload.size() < 2) return;
    const auto answer = static_cast<unsigned char>(payload[0]);
    if (answer <= kAnswerOffset + kSetBaudRate - 1 || answer > kAnswerOffset + kSetControl) return;
    const auto command = static_cast<unsigned char>(answer - kAnswerOffset);
    const std::string_view value = payload.substr(1);
    if (value.size() != (command == kSetBaudRate ? 4u : 1u)) return;
    const Setting setting = SettingOf(command, value);
    const auto matched = std::find_if(m_awaited.begin(), m_awaited.end(), [&](const Request& request) {
        return request.command == command && request.setting == setting;
    });
    if (matched == m_awaited.end()) return;
    std::for_each(m_awaited.begin(), matched, [this](const Request& request) { PassedOver(request); });
    Compare(*matched, value);
    m_awaited.erase(m_awaited.begin(), matched + 1);
}

void CComPortControl::PassedOver(const Request& request) {
    if (std::find(m_toldPassedOver.begin(), m_toldPassedOver.end(), request.setting) !=
        m_toldPassedOver.end())
        return;
    m_toldPassedOver.push_back(request.setting);
    m_remarks.push_back("the server did not confirm " + Asked(request.setting, Number(request.value)) +
                        "; going on without it");
}

void CComPortControl::Compare(const Request& request, std::string_view value) {
    if (value == request.value) return;
    const std::string differs =
        "the server set " + Differs(request.setting, Number(value), Number(request.value));
    if (!IsFormat(request.setting)) {
        m_remarks.push_back(differs + "; going on");
    } else if (m_disagreement.empty()) {
        m_disagreement = differs;
    }
}

bool CComPortControl::FormatAwaited() const {
    return std::any_of(m_awaited.begin(), m_awaited.end(),
                       [](const Request& request) { return IsFormat(request.setting); });
}

void CComPortControl::GiveUpFormat(int waitedMs) {
    std::erase_if(m_awaited, [&](const Request& request) {
        if (!IsFormat(request.setting)) return false;
        m_remarks.push_back("the server did not confirm " + Asked(request.setting, Number(request.value)) +
                            " within " + std::to_string(waitedMs) + " ms; going on without it");
        return true;
    });
}

std::vector<std::string> CComPortControl::TakeRemarks() {
    return std::exchange(m_remarks, {});
}

}  // namespace platform
