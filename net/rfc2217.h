// SPDX-License-Identifier: MIT
#pragma once
// The COM port control option of Telnet (RFC 2217) on the client's side, without the connection:
// the requests that set the server's serial port, as Telnet bytes, and the server's answers matched
// with them. A server answers every request in the order it came with the value it set; a request
// left unanswered when a later one is answered was passed over (a server in front of a
// pseudo-terminal, which has no RTS line, does not answer RTS).

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/serialtransport.h"

namespace platform {

class CComPortControl {
public:
    static constexpr unsigned char kOption = 44;
    // Requests waiting for their answers at most; the oldest is given up beyond.
    static constexpr size_t kMostAwaited = 32;

    // What a request sets. The line format's four are checked against their answers; the rest
    // ask for nothing that decides whether the port can be used.
    enum class Setting { Rate, DataSize, Parity, StopSize, OutboundFlow, InboundFlow, Dtr, Rts, Other };

    // The line format's requests, and before them no flow control either way and RTS and DTR off,
    // as a local device is set up: the Telnet bytes to send. The lines are asked for anew.
    std::string AskLineFormat(const SerialLineFormat& format);
    // A line's request (Setting::Rts or Setting::Dtr), only to change it: empty when it was last
    // asked so.
    std::string AskLine(Setting line, bool on);

    // A subnegotiation of the option from the server: an answer is matched with the oldest request
    // of its setting, and every request before that one is taken as passed over. Notifications and
    // answers that match no request are let go.
    void Answer(std::string_view payload);

    // Whether a request of the line format still waits for its answer.
    bool FormatAwaited() const;
    // Once the server answered a request of the line format with another value, the first such
    // answer in words ("the server set the rate to 9600, not 115200"); empty before.
    const std::string& Disagreement() const { return m_disagreement; }
    // The requests of the line format still awaited are given up, each told as a remark.
    void GiveUpFormat(int waitedMs);
    // What the trace should know since the last call: requests the server passed over (each
    // setting once) or answered with another value than asked.
    std::vector<std::string> TakeRemarks();

private:
    struct Request {
        Setting setting;
        unsigned char command;
        std::string value;
    };

    std::string Ask(Setting setting, unsigned char command, std::string value);
    void PassedOver(const Request& request);
    void Compare(const Request& request, std::string_view value);

    std::vector<Request> m_awaited;
    std::optional<bool> m_rts;
    std::optional<bool> m_dtr;
    std::vector<Setting> m_toldPassedOver;
    std::string m_disagreement;
    std::vector<std::string> m_remarks;
};

}  // namespace platform
