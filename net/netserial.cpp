// SPDX-License-Identifier: MIT
// The network serial port: the connection, and for rfc2217:// ports the Telnet codec (telnet.h) and
// the COM port control option's requests (rfc2217.h) over it, alike on every system; the sockets
// come from netsocket.h.
#include "net/netserial.h"

#include <algorithm>
#include <chrono>
#include <cstdio>

#include "net/netconnect.h"
#include "net/netsocket.h"
#include "platform/deadline.h"
#include "ports/portname.h"

namespace platform {
namespace {

using Setting = CComPortControl::Setting;

// What a server said before closing is quoted up to this many bytes.
constexpr size_t kMostQuoted = 200;

// The server's words on one line of plain text: line ends and other control bytes become one blank,
// bytes outside ASCII \xNN.
std::string Quoted(std::string_view words) {
    std::string line;
    for (const char c : words.substr(0, kMostQuoted)) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x80) {
            char escape[5];
            std::snprintf(escape, sizeof escape, "\\x%02X", byte);
            line += escape;
        } else if (byte >= 0x20 && byte < 0x7f) {
            line += c;
        } else if (!line.empty() && line.back() != ' ') {
            line += ' ';
        }
    }
    while (!line.empty() && line.back() == ' ') line.pop_back();
    return line;
}

}  // namespace

CNetSerialPort::CNetSerialPort(NetSocket* socket, bool telnet) : m_socket(socket) {
    // Binary transmission both ways (no line-end translation, every byte value passes), no go-ahead,
    // and serial port control.
    using namespace telnet;
    if (telnet)
        m_telnet = std::make_unique<CTelnetCodec>(
            std::initializer_list<unsigned char>{kBinary, kSuppressGoAhead, CComPortControl::kOption},
            std::initializer_list<unsigned char>{kBinary, kSuppressGoAhead});
}

CNetSerialPort::~CNetSerialPort() {
    CloseSocket(m_socket);
}

std::unique_ptr<CNetSerialPort> CNetSerialPort::Open(const std::string& url, std::string& reason,
                                                     int& osError) {
    osError = 0;
    NetworkPortUrl parsed;
    if (!ReadNetworkPortUrl(url, parsed)) {
        reason = std::string("not a network port: ") + kNetworkPortUrlForm;
        return nullptr;
    }
    NetSocket* socket = ConnectWithin(parsed, kConnectMs, reason, osError);
    if (socket == nullptr) return nullptr;
    std::unique_ptr<CNetSerialPort> port(new CNetSerialPort(socket, parsed.telnet));
    if (!parsed.telnet || port->Negotiate()) return port;
    if (port->m_telnet->OursRefused(CComPortControl::kOption)) {
        reason =
            "the server refuses serial port control (RFC 2217): is it a telnet(rfc2217) port? (a raw TCP port"
            " is socket://)";
    } else if (port->m_gone) {
        reason = port->ClosedReason();
    } else {
        reason = "the server did not agree to serial port control (RFC 2217) within " +
                 std::to_string(kNegotiationMs) + " ms";
    }
    return nullptr;
}

// Takes in what the server sends until settled() holds, the server closed the connection, or the
// time is up; what waits to be sent goes out meanwhile.
void CNetSerialPort::ReceiveUntil(int timeoutMs, const std::function<bool()>& settled) {
    const auto deadline = DeadlineIn(timeoutMs);
    for (;;) {
        Receive();
        if (m_gone || settled()) return;
        const int left = MillisecondsLeft(deadline);
        if (left == 0) return;
        WaitFor(!m_outgoing.empty(), left);
    }
}

// Offers the options, and waits for the server to take serial port control.
bool CNetSerialPort::Negotiate() {
    constexpr unsigned char kControl = CComPortControl::kOption;
    Queue(m_telnet->Offer());
    ReceiveUntil(kNegotiationMs,
                 [&] { return m_telnet->OursOn(kControl) || m_telnet->OursRefused(kControl); });
    return !m_gone && m_telnet->OursOn(kControl);
}

// What came before the server agreed to anything is the server's own words, not the device's.
std::string CNetSerialPort::ClosedReason() const {
    const std::string words = Quoted(m_data);
    if (words.empty())
        return "the server closed the connection without agreeing to serial port control (RFC 2217)";
    return "the server closed the connection: " + words;
}

bool CNetSerialPort::SetLineFormat(const SerialLineFormat& format, std::string& refusal) {
    if (!m_telnet) return true;
    Queue(m_control.AskLineFormat(format));
    // Until the server has answered the format's requests, or answered one with another value.
    ReceiveUntil(kConfirmationMs,
                 [&] { return !m_control.FormatAwaited() || !m_control.Disagreement().empty(); });
    if (!m_control.Disagreement().empty()) {
        refusal = m_control.Disagreement();
        return false;
    }
    if (m_gone) {
        refusal = ClosedReason();
        return false;
    }
    m_control.GiveUpFormat(kConfirmationMs);  // what is still unanswered, if anything
    return true;
}

// Takes in at most one bounded piece of what has arrived, as far as the reader's share allows, and
// sends what waits to be sent as far as the system takes it now.
void CNetSerialPort::Receive() {
    if (!m_gone && m_data.size() < kMostHeld) {
        char buffer[kMostPerReceive];
        const int got = ReceiveSome(m_socket, buffer, sizeof buffer);
        if (got < 0) m_gone = true;
        if (got > 0 && !m_telnet) m_data.append(buffer, static_cast<size_t>(got));
        if (got > 0 && m_telnet) {
            std::vector<CTelnetCodec::Subnegotiation> subnegotiations;
            m_telnet->Decode({buffer, static_cast<size_t>(got)}, m_data, subnegotiations);
            for (const auto& [option, payload] : subnegotiations) {
                if (option == CComPortControl::kOption) m_control.Answer(payload);
            }
            Queue(m_telnet->TakeAnswers());
        }
    }
    SendWhatFits();
}

// Bytes beyond the bound are dropped whole (false): only a peer that does not read lets them pile up.
bool CNetSerialPort::Queue(const std::string& bytes) {
    if (m_outgoing.size() + bytes.size() > kMostOutgoing) return false;
    m_outgoing += bytes;
    return true;
}

void CNetSerialPort::SendWhatFits() {
    while (!m_outgoing.empty() && !m_gone) {
        const int sent = SendSome(m_socket, m_outgoing.data(), static_cast<int>(m_outgoing.size()));
        if (sent < 0) m_gone = true;
        if (sent <= 0) return;
        m_outgoing.erase(0, static_cast<size_t>(sent));
    }
}

bool CNetSerialPort::SendAll(int timeoutMs) {
    const auto deadline = DeadlineIn(timeoutMs);
    for (;;) {
        SendWhatFits();
        if (m_outgoing.empty() || m_gone) return !m_gone;
        const int left = MillisecondsLeft(deadline);
        if (left == 0) return false;
        WaitFor(true, left);
    }
}

void CNetSerialPort::WaitFor(bool forWrite, int timeoutMs) {
    if (WaitSocket(m_socket, forWrite, timeoutMs) == NetWaitResult::Failed) m_gone = true;
}

int CNetSerialPort::Read(char* buffer, int count) {
    Receive();
    if (m_data.empty()) return m_gone ? -1 : 0;
    const size_t taken = std::min(m_data.size(), static_cast<size_t>(std::max(count, 0)));
    std::copy_n(m_data.begin(), taken, buffer);
    m_data.erase(0, taken);
    return static_cast<int>(taken);
}

// Data waits behind what is queued already, so a line request goes out before the data after it.
SerialWriteResult CNetSerialPort::Write(const char* buffer, int count, int timeoutMs) {
    if (m_gone) return SerialWriteResult::Failed;
    const std::string_view data(buffer, static_cast<size_t>(count));
    const std::string bytes = m_telnet ? CTelnetCodec::Escaped(data) : std::string(data);
    if (!Queue(bytes)) return SerialWriteResult::TimedOut;
    if (SendAll(timeoutMs)) return SerialWriteResult::Done;
    return m_gone ? SerialWriteResult::Failed : SerialWriteResult::TimedOut;
}

SerialWaitResult CNetSerialPort::WaitReadable(int timeoutMs) {
    const auto deadline = DeadlineIn(timeoutMs);
    for (;;) {
        Receive();
        if (!m_data.empty()) return SerialWaitResult::Readable;
        if (m_gone) return SerialWaitResult::HungUp;
        const int left = MillisecondsLeft(deadline);
        if (left == 0) return SerialWaitResult::TimedOut;
        WaitFor(false, left);
    }
}

bool CNetSerialPort::Gone() {
    if (!m_gone) Receive();
    return m_gone;
}

// The requests go out now as far as the system takes them, and with the next write otherwise; their
// answers are not waited for: they change nothing on the wire, and one that never comes is told
// to the trace once a later request is answered.
void CNetSerialPort::SetLineControl(bool rts, bool dtr) {
    if (!m_telnet) return;
    Queue(m_control.AskLine(Setting::Rts, rts));
    Queue(m_control.AskLine(Setting::Dtr, dtr));
    Receive();
}

void CNetSerialPort::SetRts(bool on) {
    if (!m_telnet) return;
    Queue(m_control.AskLine(Setting::Rts, on));
    Receive();
}

std::vector<std::string> CNetSerialPort::TakeRemarks() {
    return m_control.TakeRemarks();
}

void CNetSerialPort::Release() {
    ShutdownSocket(m_socket);
}

}  // namespace platform
