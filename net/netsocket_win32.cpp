// SPDX-License-Identifier: MIT
// TCP sockets through Winsock, all non-blocking; waits use select, which (unlike WSAPoll on older
// Windows) reports a refused connect.
#include <winsock2.h>
#include <ws2tcpip.h>

#include "net/netsocket.h"
#include "platform/winutil_win32.h"

namespace platform {

struct NetSocket {
    SOCKET socket;
};

namespace {

// Winsock is started once for the process and left running until it ends.
bool StartWinsock() {
    static const bool started = [] {
        WSADATA data;
        return WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    return started;
}

timeval Timeval(int timeoutMs) {
    return {timeoutMs / 1000, (timeoutMs % 1000) * 1000};
}

}  // namespace

std::vector<NetAddress> ResolveTcp(const std::string& host, const std::string& port, bool addressOnly,
                                   std::string& error) {
    if (!StartWinsock()) {
        error = win32::SystemMessage(static_cast<DWORD>(WSAGetLastError()));
        return {};
    }
    addrinfoW hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    hints.ai_flags = AI_NUMERICSERV | (addressOnly ? AI_NUMERICHOST : 0);
    addrinfoW* found = nullptr;
    const int result = GetAddrInfoW(win32::Widen(host).c_str(), win32::Widen(port).c_str(), &hints, &found);
    if (result != 0) {
        error = win32::SystemMessage(static_cast<DWORD>(result));
        return {};
    }
    std::vector<NetAddress> addresses;
    for (const addrinfoW* entry = found; entry != nullptr; entry = entry->ai_next) {
        addresses.push_back({std::string(reinterpret_cast<const char*>(entry->ai_addr), entry->ai_addrlen),
                             entry->ai_family});
    }
    FreeAddrInfoW(found);
    return addresses;
}

NetSocket* ConnectTcp(const NetAddress& address, int timeoutMs, NetConnectResult& result, int& osError) {
    result = NetConnectResult::Failed;
    if (!StartWinsock()) {
        osError = WSAGetLastError();
        return nullptr;
    }
    SOCKET fd = WSASocketW(address.family, SOCK_STREAM, IPPROTO_TCP, nullptr, 0, WSA_FLAG_NO_HANDLE_INHERIT);
    if (fd == INVALID_SOCKET) {
        osError = WSAGetLastError();
        return nullptr;
    }
    u_long nonBlocking = 1;
    ioctlsocket(fd, FIONBIO, &nonBlocking);
    // Command lines are a few bytes each: sent at once, not held back to fill a segment.
    const BOOL on = TRUE;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof on);
    const auto* to = reinterpret_cast<const sockaddr*>(address.bytes.data());
    if (connect(fd, to, static_cast<int>(address.bytes.size())) != 0 && WSAGetLastError() != WSAEWOULDBLOCK) {
        osError = WSAGetLastError();
        closesocket(fd);
        return nullptr;
    }
    fd_set writable, failed;
    FD_ZERO(&writable);
    FD_ZERO(&failed);
    FD_SET(fd, &writable);
    FD_SET(fd, &failed);
    timeval wait = Timeval(timeoutMs);
    const int ready = select(0, nullptr, &writable, &failed, &wait);
    int error = 0;
    int size = sizeof error;
    if (ready == 0) {
        result = NetConnectResult::TimedOut;
        osError = WSAETIMEDOUT;
    } else if (ready < 0 || FD_ISSET(fd, &failed)) {
        getsockopt(fd, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &size);
        osError = ready < 0 || error == 0 ? WSAGetLastError() : error;
    } else {
        result = NetConnectResult::Connected;
        osError = 0;
        return new NetSocket{fd};
    }
    closesocket(fd);
    return nullptr;
}

int SendSome(NetSocket* socket, const char* bytes, int count) {
    const int sent = send(socket->socket, bytes, count, 0);
    if (sent >= 0) return sent;
    return WSAGetLastError() == WSAEWOULDBLOCK ? 0 : -1;
}

int ReceiveSome(NetSocket* socket, char* buffer, int count) {
    const int got = recv(socket->socket, buffer, count, 0);
    if (got > 0) return got;
    if (got < 0 && WSAGetLastError() == WSAEWOULDBLOCK) return 0;
    return -1;
}

NetWaitResult WaitSocket(NetSocket* socket, bool forWrite, int timeoutMs) {
    fd_set ready, failed;
    FD_ZERO(&ready);
    FD_ZERO(&failed);
    FD_SET(socket->socket, &ready);
    FD_SET(socket->socket, &failed);
    timeval wait = Timeval(timeoutMs);
    const int count =
        forWrite ? select(0, nullptr, &ready, &failed, &wait) : select(0, &ready, nullptr, &failed, &wait);
    if (count == 0) return NetWaitResult::TimedOut;
    if (count < 0 || FD_ISSET(socket->socket, &failed)) return NetWaitResult::Failed;
    return NetWaitResult::Ready;
}

void ShutdownSocket(NetSocket* socket) {
    shutdown(socket->socket, SD_BOTH);
}

void CloseSocket(NetSocket* socket) {
    closesocket(socket->socket);
    delete socket;
}

std::string SocketErrorText(int osError) {
    return win32::SystemMessage(static_cast<DWORD>(osError));
}

}  // namespace platform
