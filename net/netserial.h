// SPDX-License-Identifier: MIT
#pragma once
// Serial ports behind a serial-over-network server (ser2net, a serial device server), named by URL:
//   rfc2217://HOST:PORT  Telnet with the COM port control option: the line format, flow control,
//                        RTS and DTR are asked of the server's port.
//   socket://HOST:PORT   raw TCP: the bytes pass as they are; the line is set up by the server.
// HOST is a name, an IPv4 address or an IPv6 address in brackets ([::1]). The serial device layer
// opens such paths as this transport; everything above sees a serial port like any other.
//
// There is no lock file: the server holds the port and lets one connection at a time use it.
//
// Whatever the server sends, every call does a bounded amount of work and returns within its
// deadline: a receive takes at most kMostPerReceive bytes from the connection, received data waits
// for the reader up to kMostHeld bytes (the rest waits in the system's buffers), and the bytes
// waiting to be sent are bounded too.

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "net/rfc2217.h"
#include "net/telnet.h"
#include "platform/serialtransport.h"

namespace platform {

struct NetSocket;

class CNetSerialPort final : public CSerialTransport {
public:
    // How long each step may take: resolving the name and connecting; the server's answer to the
    // option negotiation; the server's answers to the line format's requests, after which the
    // requests still unanswered are taken as done and the port goes on.
    static constexpr int kConnectMs = 2000;
    static constexpr int kNegotiationMs = 1000;
    static constexpr int kConfirmationMs = 1000;
    static constexpr int kMostPerReceive = 4096;
    static constexpr size_t kMostHeld = 65536;
    // Bytes waiting to be sent at most (requests, answers, and data whose write ran out of time);
    // a write that would queue more fails at once.
    static constexpr size_t kMostOutgoing = 65536;

    // Connects (and negotiates) within the times above; null with the reason in words, and the
    // system's error number when one says it, on failure.
    static std::unique_ptr<CNetSerialPort> Open(const std::string& url, std::string& reason, int& osError);
    ~CNetSerialPort() override;

    // The line format asked of the server; false, with the reason, when it set another value or
    // closed the connection before answering (what it said before closing is quoted).
    bool SetLineFormat(const SerialLineFormat& format, std::string& refusal) override;
    bool MakeReadsReturnAtOnce(int&) override { return true; }
    int Read(char* buffer, int count) override;
    SerialWriteResult Write(const char* buffer, int count, int timeoutMs) override;
    SerialWaitResult WaitReadable(int timeoutMs) override;
    bool Gone() override;
    void SetLineControl(bool rts, bool dtr) override;
    void SetRts(bool on) override;
    std::vector<std::string> TakeRemarks() override;
    // Ends the connection's transfers at once; closing comes later.
    void Release() override;

private:
    CNetSerialPort(NetSocket* socket, bool telnet);
    void ReceiveUntil(int timeoutMs, const std::function<bool()>& settled);
    bool Negotiate();
    std::string ClosedReason() const;
    void Receive();
    bool Queue(const std::string& bytes);
    void SendWhatFits();
    bool SendAll(int timeoutMs);
    void WaitFor(bool forWrite, int timeoutMs);

    NetSocket* m_socket;
    std::unique_ptr<CTelnetCodec> m_telnet;  // null for raw TCP
    CComPortControl m_control;
    std::string m_data;      // received data bytes not yet read
    std::string m_outgoing;  // bytes not yet sent
    bool m_gone = false;
};

}  // namespace platform
