// SPDX-License-Identifier: MIT
// The network serial port: the connection, and the Telnet protocol with its COM port control option
// (RFC 2217) for rfc2217:// ports, alike on every system; the sockets come from netsocket.h.
#include "net/netserial.h"

#include <algorithm>
#include <array>
#include <climits>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>

#include "net/netsocket.h"
#include "platform/deadline.h"
#include "ports/portname.h"

namespace platform {
namespace {

// The system's resolver has no time limit of its own, so a name is looked up on a thread of its
// own; a caller whose time has run out goes on without it.
struct Resolution {
    std::mutex mutex;
    std::condition_variable done;
    bool finished = false;
    std::vector<NetAddress> addresses;
    std::string error;
};

// Lookups whose callers went on without them. Their threads are joined once they have finished,
// never detached: the Windows build's thread library can free a thread's state twice when a thread
// is detached just as it ends, which has corrupted other threads' state. The list is never
// destroyed, so a lookup still under way when the process ends does not stop it.
class CLeftLookups {
public:
    void Add(std::shared_ptr<Resolution> resolution, std::thread thread) {
        std::lock_guard hold(m_mutex);
        m_lookups.emplace_back(std::move(resolution), std::move(thread));
    }
    void JoinFinished() {
        std::lock_guard hold(m_mutex);
        std::erase_if(m_lookups, [](auto& lookup) {
            {
                std::lock_guard finishedHold(lookup.first->mutex);
                if (!lookup.first->finished) return false;
            }
            lookup.second.join();
            return true;
        });
    }

private:
    std::mutex m_mutex;
    std::vector<std::pair<std::shared_ptr<Resolution>, std::thread>> m_lookups;
};

CLeftLookups& LeftLookups() {
    static auto* lookups = new CLeftLookups;
    return *lookups;
}

std::vector<NetAddress> ResolveWithin(const NetworkPortUrl& url, DeadlineClock::time_point deadline,
                                      std::string& error, bool& timedOut) {
    timedOut = false;
    // An address needs no lookup, and no thread.
    std::vector<NetAddress> addresses = ResolveTcp(url.host, url.port, true, error);
    if (!addresses.empty()) return addresses;
    LeftLookups().JoinFinished();
    auto resolution = std::make_shared<Resolution>();
    std::thread lookup([resolution, host = url.host, port = url.port] {
        std::string failure;
        std::vector<NetAddress> found = ResolveTcp(host, port, false, failure);
        std::lock_guard hold(resolution->mutex);
        resolution->addresses = std::move(found);
        resolution->error = std::move(failure);
        resolution->finished = true;
        resolution->done.notify_all();
    });
    std::unique_lock hold(resolution->mutex);
    timedOut = !resolution->done.wait_until(hold, deadline, [&] { return resolution->finished; });
    error = resolution->error;
    addresses = resolution->addresses;
    hold.unlock();
    if (timedOut) {
        LeftLookups().Add(resolution, std::move(lookup));
    } else {
        lookup.join();
    }
    return addresses;
}

// Telnet's bytes (RFC 854, 855) and the COM port control option's (RFC 2217).
constexpr unsigned char kIac = 255, kDont = 254, kDo = 253, kWont = 252, kWill = 251, kSb = 250, kSe = 240;
constexpr unsigned char kBinary = 0, kSuppressGoAhead = 3, kComPort = 44;
constexpr unsigned char kSetBaudRate = 1, kSetDataSize = 2, kSetParity = 3, kSetStopSize = 4, kSetControl = 5;
// A server's answer to a request carries the request's command plus this.
constexpr unsigned char kAnswerOffset = 100;
// A subnegotiation longer than any answer of the option is cut here.
constexpr size_t kLongestSubnegotiation = 64;
// Received data held for the reader at most; more waits in the system's buffers.
constexpr size_t kMostHeld = 65536;

std::string Escaped(const char* bytes, int count) {
    std::string out;
    out.reserve(static_cast<size_t>(count) + 8);
    for (int i = 0; i < count; ++i) {
        out += bytes[i];
        if (static_cast<unsigned char>(bytes[i]) == kIac) out += static_cast<char>(kIac);
    }
    return out;
}

std::string Command(unsigned char verb, unsigned char option) {
    return {static_cast<char>(kIac), static_cast<char>(verb), static_cast<char>(option)};
}

// Which setting a SET-CONTROL value is about: its answer carries the setting's state, which may be
// another value of the same group (RTS off for RTS on).
int ControlGroup(unsigned char value) {
    if (value <= 3) return 0;   // outbound flow control
    if (value <= 6) return 1;   // break
    if (value <= 9) return 2;   // DTR
    if (value <= 12) return 3;  // RTS
    return 4;                   // inbound flow control
}

enum class OptionState { Off, Asked, On };

}  // namespace

// One request awaiting the server's confirmation.
struct CNetSerialPort::Request {
    unsigned char command;
    int group;  // SET-CONTROL's setting; 0 for the other commands
    std::string what;
};

// The Telnet state: the decoder's place in the byte stream, the options, and the requests.
struct CNetSerialPort::Telnet {
    enum class State { Data, Iac, Verb, SubOption, SubData, SubIac };
    State state = State::Data;
    unsigned char verb = 0;
    unsigned char subOption = 0;
    std::string sub;
    // Each option as this side does it (WILL/WONT) and as the server does it (DO/DONT).
    std::array<OptionState, 256> ours{};
    std::array<OptionState, 256> theirs{};
    bool comPortRefused = false;
    std::string replies;  // answers to the server's negotiation, to be sent
    std::vector<Request> pending;
    // The settings (command and group) of requests left unconfirmed once: not waited for again.
    std::vector<std::pair<unsigned char, int>> unconfirmed;

    bool LeftUnconfirmed(const Request& request) const {
        return std::find(unconfirmed.begin(), unconfirmed.end(), std::pair(request.command, request.group)) !=
               unconfirmed.end();
    }

    static bool WeDo(unsigned char option) {
        return option == kBinary || option == kSuppressGoAhead || option == kComPort;
    }
    static bool TheyMay(unsigned char option) { return option == kBinary || option == kSuppressGoAhead; }

    // Answers a negotiation so that no loop can start: only a change of state is answered.
    void Negotiation(unsigned char command, unsigned char option) {
        const bool asksUs = command == kDo || command == kDont;
        OptionState& state = asksUs ? ours[option] : theirs[option];
        const bool wanted = asksUs ? WeDo(option) : TheyMay(option);
        const bool enable = command == kDo || command == kWill;
        if (enable && wanted) {
            if (state == OptionState::Off) replies += Command(asksUs ? kWill : kDo, option);
            state = OptionState::On;
        } else if (enable) {
            replies += Command(asksUs ? kWont : kDont, option);
        } else {
            if (state == OptionState::On) replies += Command(asksUs ? kWont : kDont, option);
            if (asksUs && option == kComPort && state != OptionState::Off) comPortRefused = true;
            state = OptionState::Off;
        }
    }

    // The server's answers confirm requests; its notifications (line and modem state, flow
    // control) are of no use here and are let go.
    void Subnegotiation() {
        if (subOption != kComPort || sub.empty()) return;
        const auto answer = static_cast<unsigned char>(sub[0]);
        if (answer <= kAnswerOffset) return;
        const auto command = static_cast<unsigned char>(answer - kAnswerOffset);
        const int group =
            command == kSetControl && sub.size() > 1 ? ControlGroup(static_cast<unsigned char>(sub[1])) : 0;
        const auto confirmed = std::find_if(pending.begin(), pending.end(), [&](const Request& request) {
            return request.command == command && request.group == group;
        });
        if (confirmed != pending.end()) pending.erase(confirmed);
    }

    // Takes the received bytes apart: data bytes go to data, the rest is Telnet's.
    void Decode(const char* bytes, int count, std::string& data) {
        for (int i = 0; i < count; ++i) {
            const auto byte = static_cast<unsigned char>(bytes[i]);
            switch (state) {
                case State::Data:
                    if (byte == kIac) {
                        state = State::Iac;
                    } else {
                        data += static_cast<char>(byte);
                    }
                    break;
                case State::Iac:
                    state = State::Data;
                    if (byte == kIac) data += static_cast<char>(kIac);
                    if (byte >= kWill && byte <= kDont) {
                        verb = byte;
                        state = State::Verb;
                    }
                    if (byte == kSb) state = State::SubOption;
                    // Any other command (no operation, go ahead, data mark ...) means nothing here.
                    break;
                case State::Verb:
                    Negotiation(verb, byte);
                    state = State::Data;
                    break;
                case State::SubOption:
                    subOption = byte;
                    sub.clear();
                    state = State::SubData;
                    break;
                case State::SubData:
                    if (byte == kIac) {
                        state = State::SubIac;
                    } else if (sub.size() < kLongestSubnegotiation) {
                        sub += static_cast<char>(byte);
                    }
                    break;
                case State::SubIac:
                    if (byte == kIac) {
                        if (sub.size() < kLongestSubnegotiation) sub += static_cast<char>(kIac);
                        state = State::SubData;
                    } else if (byte == kSe) {
                        Subnegotiation();
                        state = State::Data;
                    } else {
                        // A subnegotiation left unended: what follows is a command of its own.
                        state = State::Iac;
                        --i;
                    }
                    break;
            }
        }
    }
};

CNetSerialPort::CNetSerialPort(NetSocket* socket, bool telnet)
    : m_socket(socket), m_telnet(telnet ? std::make_unique<Telnet>() : nullptr) {}

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
    const auto deadline = DeadlineClock::now() + std::chrono::milliseconds(kConnectMs);
    bool timedOut = false;
    std::string error;
    const std::vector<NetAddress> addresses = ResolveWithin(parsed, deadline, error, timedOut);
    if (timedOut) {
        reason = "the name " + parsed.host + " was not resolved within " + std::to_string(kConnectMs) + " ms";
        return nullptr;
    }
    if (addresses.empty()) {
        reason = "cannot resolve " + parsed.host + ": " + error;
        return nullptr;
    }
    NetSocket* socket = nullptr;
    NetConnectResult result = NetConnectResult::Failed;
    for (const NetAddress& address : addresses) {
        const int left = MillisecondsLeft(deadline);
        if (left == 0) break;
        socket = ConnectTcp(address, left, result, osError);
        if (socket != nullptr) break;
    }
    if (socket == nullptr) {
        reason = result == NetConnectResult::TimedOut || MillisecondsLeft(deadline) == 0
                     ? "no answer from " + parsed.host + " port " + parsed.port + " within " +
                           std::to_string(kConnectMs) + " ms"
                     : "cannot connect to " + parsed.host + " port " + parsed.port + ": " +
                           SocketErrorText(osError);
        return nullptr;
    }
    std::unique_ptr<CNetSerialPort> port(new CNetSerialPort(socket, parsed.telnet));
    if (parsed.telnet && !port->Negotiate()) {
        const std::string server = "the server at " + parsed.host + " port " + parsed.port;
        if (port->m_telnet->comPortRefused) {
            reason = server +
                     " refuses serial port control (RFC 2217): is it a telnet(rfc2217) port? (a raw TCP"
                     " port is socket://)";
        } else if (port->m_gone) {
            reason = server + " closed the connection without agreeing to serial port control (RFC 2217)";
        } else {
            reason = server + " did not agree to serial port control (RFC 2217) within " +
                     std::to_string(kNegotiationMs) + " ms";
        }
        osError = 0;
        return nullptr;
    }
    return port;
}

// Offers the COM port control option and binary transmission both ways (no line-end translation,
// every byte value passes), and waits for the server to take the option.
bool CNetSerialPort::Negotiate() {
    Telnet& telnet = *m_telnet;
    std::string offer;
    for (const unsigned char option : {kBinary, kSuppressGoAhead, kComPort}) {
        offer += Command(kWill, option);
        telnet.ours[option] = OptionState::Asked;
        if (Telnet::TheyMay(option)) {
            offer += Command(kDo, option);
            telnet.theirs[option] = OptionState::Asked;
        }
    }
    const auto deadline = DeadlineClock::now() + std::chrono::milliseconds(kNegotiationMs);
    if (!SendAll(offer, kNegotiationMs)) return false;
    while (telnet.ours[kComPort] != OptionState::On) {
        if (telnet.comPortRefused || m_gone) return false;
        const int left = MillisecondsLeft(deadline);
        if (left == 0) return false;
        if (WaitSocket(m_socket, false, left) == NetWaitResult::Failed) return false;
        Receive();
    }
    return true;
}

// Takes in what has arrived, as far as the reader's share allows, and answers the server's
// negotiation.
void CNetSerialPort::Receive() {
    char buffer[4096];
    while (!m_gone && m_data.size() < kMostHeld) {
        const int got = ReceiveSome(m_socket, buffer, sizeof buffer);
        if (got < 0) m_gone = true;
        if (got <= 0) break;
        if (m_telnet) {
            m_telnet->Decode(buffer, got, m_data);
        } else {
            m_data.append(buffer, static_cast<size_t>(got));
        }
    }
    if (m_telnet && !m_telnet->replies.empty()) {
        const std::string replies = std::move(m_telnet->replies);
        m_telnet->replies.clear();
        SendAll(replies, kConfirmationMs);
    }
}

bool CNetSerialPort::SendAll(const std::string& bytes, int timeoutMs) {
    const auto deadline = DeadlineClock::now() + std::chrono::milliseconds(timeoutMs);
    size_t done = 0;
    while (done < bytes.size() && !m_gone) {
        const int sent = SendSome(m_socket, bytes.data() + done, static_cast<int>(bytes.size() - done));
        if (sent < 0) m_gone = true;
        if (sent > 0) done += static_cast<size_t>(sent);
        if (sent != 0) continue;
        const int left = MillisecondsLeft(deadline);
        if (left == 0) return false;
        if (WaitSocket(m_socket, true, left) == NetWaitResult::Failed) m_gone = true;
    }
    return done == bytes.size();
}

void CNetSerialPort::Ask(unsigned char command, const std::string& value, const std::string& what) {
    std::string request = {static_cast<char>(kIac), static_cast<char>(kSb), static_cast<char>(kComPort),
                           static_cast<char>(command)};
    request += Escaped(value.data(), static_cast<int>(value.size()));
    request += {static_cast<char>(kIac), static_cast<char>(kSe)};
    const int group = command == kSetControl ? ControlGroup(static_cast<unsigned char>(value[0])) : 0;
    m_telnet->pending.push_back({command, group, what});
    SendAll(request, kConfirmationMs);
}

// Waits a short time for the server to confirm the requests. A server in front of a device that
// cannot do what was asked (a pseudo-terminal has no RTS line) may never confirm: the port goes
// on, says so to the trace, and does not wait for that request again.
void CNetSerialPort::AwaitConfirmations() {
    Telnet& telnet = *m_telnet;
    auto awaited = [&] {
        return std::any_of(telnet.pending.begin(), telnet.pending.end(),
                           [&](const Request& request) { return !telnet.LeftUnconfirmed(request); });
    };
    const auto deadline = DeadlineClock::now() + std::chrono::milliseconds(kConfirmationMs);
    while (awaited() && !m_gone) {
        const int left = MillisecondsLeft(deadline);
        if (left == 0) break;
        if (WaitSocket(m_socket, false, left) == NetWaitResult::Failed) m_gone = true;
        Receive();
    }
    for (const Request& request : telnet.pending) {
        if (telnet.LeftUnconfirmed(request)) continue;
        telnet.unconfirmed.emplace_back(request.command, request.group);
        m_remarks.push_back("the server did not confirm " + request.what + " within " +
                            std::to_string(kConfirmationMs) + " ms; going on without it");
    }
    telnet.pending.clear();
}

void CNetSerialPort::SetLineFormat(const SerialLineFormat& format) {
    if (!m_telnet) return;
    const auto rate = static_cast<unsigned>(format.baudRate);
    const std::string rateBytes = {static_cast<char>(rate >> 24), static_cast<char>(rate >> 16),
                                   static_cast<char>(rate >> 8), static_cast<char>(rate)};
    // Parity: the option counts from 1 (none, odd, even, mark, space); stop bits: 1, 2, 1.5.
    constexpr std::array<char, 3> kStopSizes = {1, 3, 2};
    const int stop = std::clamp(format.stopBits & 0xff, 0, 2);
    Ask(kSetBaudRate, rateBytes, "the rate " + std::to_string(format.baudRate));
    Ask(kSetDataSize, std::string(1, static_cast<char>(format.byteSize & 0xff)),
        std::to_string(format.byteSize & 0xff) + " data bits");
    Ask(kSetParity, std::string(1, static_cast<char>((format.parity & 0xff) + 1)), "the parity");
    Ask(kSetStopSize, std::string(1, kStopSizes[static_cast<size_t>(stop)]), "the stop bits");
    Ask(kSetControl, std::string(1, char{1}), "no output flow control");
    Ask(kSetControl, std::string(1, char{14}), "no input flow control");
    // RTS and DTR off until asked for, as on a local port.
    Ask(kSetControl, std::string(1, char{12}), "RTS off");
    Ask(kSetControl, std::string(1, char{9}), "DTR off");
    AwaitConfirmations();
}

void CNetSerialPort::SetLineControl(bool rts, bool dtr) {
    if (!m_telnet) return;
    Ask(kSetControl, std::string(1, rts ? char{11} : char{12}), rts ? "RTS on" : "RTS off");
    Ask(kSetControl, std::string(1, dtr ? char{8} : char{9}), dtr ? "DTR on" : "DTR off");
    AwaitConfirmations();
}

void CNetSerialPort::SetRts(bool on) {
    if (!m_telnet) return;
    Ask(kSetControl, std::string(1, on ? char{11} : char{12}), on ? "RTS on" : "RTS off");
    AwaitConfirmations();
}

int CNetSerialPort::BytesWaiting() {
    Receive();
    if (m_data.empty() && m_gone) return -1;
    return static_cast<int>(std::min<size_t>(m_data.size(), INT_MAX));
}

int CNetSerialPort::Read(char* buffer, int count) {
    Receive();
    if (m_data.empty()) return m_gone ? -1 : 0;
    const size_t taken = std::min(m_data.size(), static_cast<size_t>(std::max(count, 0)));
    std::copy_n(m_data.begin(), taken, buffer);
    m_data.erase(0, taken);
    return static_cast<int>(taken);
}

SerialWriteResult CNetSerialPort::Write(const char* buffer, int count, int timeoutMs) {
    const std::string bytes =
        m_telnet ? Escaped(buffer, count) : std::string(buffer, static_cast<size_t>(count));
    if (SendAll(bytes, timeoutMs)) return SerialWriteResult::Done;
    return m_gone ? SerialWriteResult::Failed : SerialWriteResult::TimedOut;
}

SerialWaitResult CNetSerialPort::WaitReadable(int timeoutMs) {
    const auto deadline = DeadlineClock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        Receive();
        if (!m_data.empty()) return SerialWaitResult::Readable;
        if (m_gone) return SerialWaitResult::HungUp;
        const int left = MillisecondsLeft(deadline);
        if (left == 0) return SerialWaitResult::TimedOut;
        if (WaitSocket(m_socket, false, left) == NetWaitResult::Failed) m_gone = true;
    }
}

bool CNetSerialPort::Gone() {
    if (!m_gone) Receive();
    return m_gone;
}

void CNetSerialPort::Release() {
    ShutdownSocket(m_socket);
}

std::vector<std::string> CNetSerialPort::TakeRemarks() {
    return std::exchange(m_remarks, {});
}

}  // namespace platform
