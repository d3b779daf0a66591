// SPDX-License-Identifier: MIT
#pragma once
// A server of the test's own on 127.0.0.1 that plays an RFC 2217 server the way a hostile or broken
// one would: it floods Telnet commands at full speed, turns the client away with words, or sets
// another rate than asked. It serves one connection after another on a thread of its own and tells
// how long each one lasted, from its start to the client's close.

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace clitest {

class CHostilePeer {
public:
    struct Conduct {
        std::string greeting{};  // sent as a connection opens
        bool closes = false;     // closes the connection right after the greeting
        // Takes serial port control (DO COM-PORT) and answers each request with the value asked.
        bool agrees = false;
        unsigned rate = 0;  // the rate it answers a rate request with instead; 0 for the one asked
        // Sent over and over: from the start by a peer that does not agree, and once the client's
        // first data byte has come by one that does.
        std::string flood{};
    };

    explicit CHostilePeer(Conduct conduct);
    ~CHostilePeer();
    CHostilePeer(const CHostilePeer&) = delete;
    CHostilePeer& operator=(const CHostilePeer&) = delete;

    // rfc2217://127.0.0.1:PORT
    std::string Url() const;
    // Waits up to timeoutMs until a connection floods; false when none has by then.
    bool WaitFlooding(int timeoutMs);
    // Waits up to timeoutMs until a connection has ended (the client closed it): how long each one
    // that ended lasted, in milliseconds, in the order they ended.
    std::vector<double> Lasted(int timeoutMs);

private:
    void Serve();
    void Converse(int connection);

    Conduct m_conduct;
    int m_listener = -1;
    int m_port = 0;
    std::atomic<bool> m_stop = false;
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_flooding = false;
    std::vector<double> m_lasted;
    std::thread m_thread;
};

// A client of the test's own that holds a server's port, as another program would: connected to
// 127.0.0.1 at the URL's port until the object ends.
class CHeldConnection {
public:
    explicit CHeldConnection(const std::string& url);
    ~CHeldConnection();
    CHeldConnection(const CHeldConnection&) = delete;
    CHeldConnection& operator=(const CHeldConnection&) = delete;
    // Waits up to timeoutMs for the server's first bytes, which it sends once it has taken this
    // connection as its port's user; whether they came.
    bool Greeted(int timeoutMs) const;

private:
    int m_socket = -1;
};

}  // namespace clitest
