// SPDX-License-Identifier: MIT
// TCP sockets through the BSD socket calls, all non-blocking.
#include <errno.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>

#include "net/netsocket.h"

namespace platform {

struct NetSocket {
    int fd;
};

std::vector<NetAddress> ResolveTcp(const std::string& host, const std::string& port, bool addressOnly,
                                   std::string& error) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    hints.ai_flags = AI_NUMERICSERV | (addressOnly ? AI_NUMERICHOST : 0);
    addrinfo* found = nullptr;
    const int result = getaddrinfo(host.c_str(), port.c_str(), &hints, &found);
    if (result != 0) {
        error = result == EAI_SYSTEM ? std::strerror(errno) : gai_strerror(result);
        return {};
    }
    std::vector<NetAddress> addresses;
    for (const addrinfo* entry = found; entry != nullptr; entry = entry->ai_next) {
        addresses.push_back({std::string(reinterpret_cast<const char*>(entry->ai_addr), entry->ai_addrlen),
                             entry->ai_family});
    }
    freeaddrinfo(found);
    return addresses;
}

NetSocket* ConnectTcp(const NetAddress& address, int timeoutMs, NetConnectResult& result, int& osError) {
    result = NetConnectResult::Failed;
    const int fd = socket(address.family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_TCP);
    if (fd < 0) {
        osError = errno;
        return nullptr;
    }
    // Command lines are a few bytes each: sent at once, not held back to fill a segment.
    const int on = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    const auto* to = reinterpret_cast<const sockaddr*>(address.bytes.data());
    if (connect(fd, to, static_cast<socklen_t>(address.bytes.size())) != 0 && errno != EINPROGRESS) {
        osError = errno;
        close(fd);
        return nullptr;
    }
    pollfd wait{fd, POLLOUT, 0};
    int ready;
    do {
        ready = poll(&wait, 1, timeoutMs);
    } while (ready < 0 && errno == EINTR);
    int error = 0;
    socklen_t size = sizeof error;
    if (ready == 0) {
        result = NetConnectResult::TimedOut;
        osError = ETIMEDOUT;
    } else if (ready < 0 || getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) != 0 || error != 0) {
        osError = ready < 0 || error == 0 ? errno : error;
    } else {
        result = NetConnectResult::Connected;
        osError = 0;
        return new NetSocket{fd};
    }
    close(fd);
    return nullptr;
}

int SendSome(NetSocket* socket, const char* bytes, int count) {
    // No SIGPIPE for a peer that has gone: the error says it.
    const ssize_t sent = send(socket->fd, bytes, static_cast<size_t>(count), MSG_NOSIGNAL);
    if (sent >= 0) return static_cast<int>(sent);
    return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR ? 0 : -1;
}

int ReceiveSome(NetSocket* socket, char* buffer, int count) {
    const ssize_t got = recv(socket->fd, buffer, static_cast<size_t>(count), 0);
    if (got > 0) return static_cast<int>(got);
    if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) return 0;
    return -1;
}

NetWaitResult WaitSocket(NetSocket* socket, bool forWrite, int timeoutMs) {
    pollfd wait{socket->fd, static_cast<short>(forWrite ? POLLOUT : POLLIN), 0};
    const int ready = poll(&wait, 1, timeoutMs);
    if (ready == 0) return NetWaitResult::TimedOut;
    if (ready < 0) return errno == EINTR ? NetWaitResult::TimedOut : NetWaitResult::Failed;
    // A closed or failed connection is "readable": the receive then tells.
    if (!forWrite || (wait.revents & POLLOUT) != 0) return NetWaitResult::Ready;
    return NetWaitResult::Failed;
}

void ShutdownSocket(NetSocket* socket) {
    shutdown(socket->fd, SHUT_RDWR);
}

void CloseSocket(NetSocket* socket) {
    close(socket->fd);
    delete socket;
}

std::string SocketErrorText(int osError) {
    return std::strerror(osError);
}

}  // namespace platform
