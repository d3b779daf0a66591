// SPDX-License-Identifier: MIT
#pragma once
// Serial ports behind a serial-over-network server (ser2net, a serial device server), named by URL:
//   rfc2217://HOST:PORT  Telnet with the COM port control option: the line format, flow control,
//                        RTS and DTR are asked of the server's port.
//   socket://HOST:PORT   raw TCP: the bytes pass as they are; the line is set up by the server.
// HOST is a name, an IPv4 address or an IPv6 address in brackets ([::1]). The serial device layer
// hands such paths to this port; everything above sees a serial device like any other.
//
// There is no lock file: the server holds the port and lets one connection at a time use it.

#include <memory>
#include <string>
#include <vector>

#include "serial/serialdevice.h"

namespace platform {

struct NetSocket;

class CNetSerialPort {
public:
    // How long each step may take: resolving the name and connecting; the server's answer to the
    // option negotiation; the server's confirmation of a control request, after which the request
    // is taken as done and the port goes on.
    static constexpr int kConnectMs = 2000;
    static constexpr int kNegotiationMs = 1000;
    static constexpr int kConfirmationMs = 200;

    // Connects (and negotiates) within the times above; null with the reason in words, and the
    // system's error number when one says it, on failure.
    static std::unique_ptr<CNetSerialPort> Open(const std::string& url, std::string& reason, int& osError);
    ~CNetSerialPort();
    CNetSerialPort(const CNetSerialPort&) = delete;
    CNetSerialPort& operator=(const CNetSerialPort&) = delete;

    // As the serial device functions of the same names describe.
    void SetLineFormat(const SerialLineFormat& format);
    void SetLineControl(bool rts, bool dtr);
    void SetRts(bool on);
    int BytesWaiting();
    int Read(char* buffer, int count);
    SerialWriteResult Write(const char* buffer, int count, int timeoutMs);
    SerialWaitResult WaitReadable(int timeoutMs);
    bool Gone();
    // Ends the connection's transfers at once (for a process that is ending); closing comes later.
    void Release();
    // What happened that a trace should tell (a request the server did not confirm), since the
    // last call.
    std::vector<std::string> TakeRemarks();

private:
    // A control request awaiting the server's confirmation, and the Telnet side's state.
    struct Request;
    struct Telnet;

    CNetSerialPort(NetSocket* socket, bool telnet);
    bool Negotiate();
    void Receive();
    bool SendAll(const std::string& bytes, int timeoutMs);
    void Ask(unsigned char command, const std::string& value, const std::string& what);
    void AwaitConfirmations();

    NetSocket* m_socket;
    std::unique_ptr<Telnet> m_telnet;  // null for raw TCP
    std::string m_data;                // received data bytes not yet read
    bool m_gone = false;
    std::vector<std::string> m_remarks;
};

}  // namespace platform
