// SPDX-License-Identifier: MIT
#pragma once
// TCP connections for the network serial ports: name resolution, connect, send and receive, each
// bounded by the caller's time. Sockets never block: every wait is an explicit one with its time.

#include <string>
#include <vector>

namespace platform {

// One resolved address: the system's socket address as bytes, and its family.
struct NetAddress {
    std::string bytes;
    int family = 0;
};

// Resolves host (a name, an IPv4 or an IPv6 address) and port for TCP. Blocks for as long as the
// system's resolver takes: callers that need a deadline run it on a thread of their own. With
// addressOnly, host must be an address, and nothing is looked up: it returns at once. On failure
// returns nothing and puts the resolver's reason in error.
std::vector<NetAddress> ResolveTcp(const std::string& host, const std::string& port, bool addressOnly,
                                   std::string& error);

struct NetSocket;

enum class NetConnectResult { Connected, Failed, TimedOut };
// Connects to address within timeoutMs; the socket (with no send delay for small writes) or null,
// with the system's error number in osError when it failed.
NetSocket* ConnectTcp(const NetAddress& address, int timeoutMs, NetConnectResult& result, int& osError);

// Sends what the system takes now: the count sent (0 when it takes nothing now), or -1 when the
// connection has failed or closed.
int SendSome(NetSocket* socket, const char* bytes, int count);

// Takes what has arrived, up to count bytes: the count (0 when nothing waits), or -1 once the peer
// has closed the connection or it failed.
int ReceiveSome(NetSocket* socket, char* buffer, int count);

enum class NetWaitResult { Ready, TimedOut, Failed };
// Waits at most timeoutMs until the socket can be read (or has closed), or, with forWrite, written.
NetWaitResult WaitSocket(NetSocket* socket, bool forWrite, int timeoutMs);

// Ends both directions, so that a wait on another thread returns at once.
void ShutdownSocket(NetSocket* socket);
void CloseSocket(NetSocket* socket);

// The system's words for a socket error number.
std::string SocketErrorText(int osError);

}  // namespace platform
