// SPDX-License-Identifier: MIT
#include "hostilepeer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <stdexcept>

#include "testenv.h"

namespace clitest {
namespace {

using Clock = std::chrono::steady_clock;

constexpr unsigned char kIac = 255, kSb = 250, kSe = 240, kWill = 251, kDont = 254, kDo = 253;
constexpr unsigned char kComPort = 44, kSetBaudRate = 1;
constexpr size_t kFloodChunk = 65536;
// How often the serving thread looks at its stop flag.
constexpr int kStepMs = 20;

// The client's bytes taken apart just far enough: its data, and its subnegotiations.
class CClientBytes {
public:
    // Takes the bytes; true when data came among them.
    bool Take(const char* bytes, size_t count, std::vector<std::string>& subnegotiations) {
        bool data = false;
        for (size_t i = 0; i < count; ++i) {
            const auto byte = static_cast<unsigned char>(bytes[i]);
            switch (m_place) {
                case Place::Data:
                    data = data || byte != kIac;
                    if (byte == kIac) m_place = Place::Iac;
                    break;
                case Place::Iac:
                    data = data || byte == kIac;
                    m_place = byte >= kWill && byte <= kDont ? Place::Verb
                              : byte == kSb                  ? Place::Sub
                                                             : Place::Data;
                    m_sub.clear();
                    break;
                case Place::Verb:
                    m_place = Place::Data;
                    break;
                case Place::Sub:
                    if (byte == kIac) {
                        m_place = Place::SubIac;
                    } else {
                        m_sub += static_cast<char>(byte);
                    }
                    break;
                case Place::SubIac:
                    if (byte == kSe) subnegotiations.push_back(m_sub);
                    if (byte == kIac) m_sub += static_cast<char>(byte);
                    m_place = byte == kSe ? Place::Data : Place::Sub;
                    break;
            }
        }
        return data;
    }

private:
    enum class Place { Data, Iac, Verb, Sub, SubIac };
    Place m_place = Place::Data;
    std::string m_sub;
};

std::string Escaped(const std::string& bytes) {
    std::string escaped;
    for (const char byte : bytes) {
        escaped += byte;
        if (static_cast<unsigned char>(byte) == kIac) escaped += byte;
    }
    return escaped;
}

// A server's answer to a COM port control request: the value asked, or the rate given instead.
std::string Answer(const std::string& request, unsigned rate) {
    if (request.size() < 2 || static_cast<unsigned char>(request[0]) != kComPort) return {};
    const auto command = static_cast<unsigned char>(request[1]);
    std::string value = request.substr(2);
    if (command == kSetBaudRate && rate != 0)
        value = {static_cast<char>(rate >> 24), static_cast<char>(rate >> 16), static_cast<char>(rate >> 8),
                 static_cast<char>(rate)};
    return std::string{static_cast<char>(kIac), static_cast<char>(kSb), static_cast<char>(kComPort),
                       static_cast<char>(command + 100)} +
           Escaped(value) + std::string{static_cast<char>(kIac), static_cast<char>(kSe)};
}

// Sends all, waiting as long as it takes unless the connection fails; false then.
bool SendAll(int connection, const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t sent = send(connection, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (sent < 0 && errno != EAGAIN && errno != EINTR) return false;
        if (sent > 0) done += static_cast<size_t>(sent);
        pollfd wait{connection, POLLOUT, 0};
        if (sent <= 0) poll(&wait, 1, kStepMs);
    }
    return true;
}

}  // namespace

CHostilePeer::CHostilePeer(Conduct conduct) : m_conduct(std::move(conduct)) {
    m_listener = testenv::BoundSocket(m_port);
    if (m_listener >= 0 && listen(m_listener, 8) != 0) {
        close(m_listener);
        m_listener = -1;
    }
    if (m_listener < 0) throw std::runtime_error("the hostile peer cannot listen on 127.0.0.1");
    m_thread = std::thread([this] { Serve(); });
}

CHostilePeer::~CHostilePeer() {
    m_stop = true;
    m_thread.join();
    close(m_listener);
}

std::string CHostilePeer::Url() const {
    return "rfc2217://127.0.0.1:" + std::to_string(m_port);
}

bool CHostilePeer::WaitFlooding(int timeoutMs) {
    std::unique_lock hold(m_mutex);
    return m_changed.wait_for(hold, std::chrono::milliseconds(timeoutMs), [this] { return m_flooding; });
}

std::vector<double> CHostilePeer::Lasted(int timeoutMs) {
    std::unique_lock hold(m_mutex);
    m_changed.wait_for(hold, std::chrono::milliseconds(timeoutMs), [this] { return !m_lasted.empty(); });
    return m_lasted;
}

void CHostilePeer::Serve() {
    while (!m_stop) {
        pollfd wait{m_listener, POLLIN, 0};
        if (poll(&wait, 1, kStepMs) <= 0) continue;
        const int connection = accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (connection < 0) continue;
        // Answers go out at once, as a server's do, not held back for the client's acknowledgement.
        const int on = 1;
        setsockopt(connection, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        const auto start = Clock::now();
        Converse(connection);
        close(connection);
        std::lock_guard hold(m_mutex);
        m_lasted.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
        m_changed.notify_all();
    }
}

// Until the client closes the connection (or the peer is told to stop).
void CHostilePeer::Converse(int connection) {
    const std::string doComPort = {static_cast<char>(kIac), static_cast<char>(kDo),
                                   static_cast<char>(kComPort)};
    if (!SendAll(connection, m_conduct.greeting + (m_conduct.agrees ? doComPort : "")) || m_conduct.closes)
        return;
    std::string flood;
    while (!m_conduct.flood.empty() && flood.size() < kFloodChunk) flood += m_conduct.flood;
    bool flooding = !m_conduct.agrees && !flood.empty();
    size_t floodAt = 0;
    CClientBytes client;
    while (!m_stop) {
        if (flooding) {
            std::lock_guard hold(m_mutex);
            m_flooding = true;
            m_changed.notify_all();
        }
        pollfd wait{connection, static_cast<short>(POLLIN | (flooding ? POLLOUT : 0)), 0};
        if (poll(&wait, 1, kStepMs) <= 0) continue;
        if ((wait.revents & POLLIN) != 0) {
            char bytes[4096];
            const ssize_t got = recv(connection, bytes, sizeof bytes, 0);
            if (got == 0 || (got < 0 && errno != EAGAIN && errno != EINTR)) return;
            std::vector<std::string> requests;
            const bool data = got > 0 && client.Take(bytes, static_cast<size_t>(got), requests);
            flooding = flooding || (data && !flood.empty());
            for (const std::string& request : requests) {
                if (m_conduct.agrees && !SendAll(connection, Answer(request, m_conduct.rate))) return;
            }
        }
        if ((wait.revents & POLLOUT) != 0 && flooding) {
            // A piece of the flood from where the last one stopped, so the pattern runs on unbroken.
            const ssize_t sent =
                send(connection, flood.data() + floodAt, flood.size() - floodAt, MSG_NOSIGNAL | MSG_DONTWAIT);
            if (sent < 0 && errno != EAGAIN && errno != EINTR) return;
            if (sent > 0) floodAt = (floodAt + static_cast<size_t>(sent)) % m_conduct.flood.size();
        }
        if ((wait.revents & (POLLERR | POLLHUP)) != 0) return;
    }
}

CHeldConnection::CHeldConnection(const std::string& url) {
    m_socket = testenv::LoopbackConnection(std::stoi(url.substr(url.rfind(':') + 1)));
    if (m_socket < 0) throw std::runtime_error("cannot connect to " + url);
}

CHeldConnection::~CHeldConnection() {
    close(m_socket);
}

bool CHeldConnection::Greeted(int timeoutMs) const {
    pollfd wait{m_socket, POLLIN, 0};
    return poll(&wait, 1, timeoutMs) > 0;
}

}  // namespace clitest
