// SPDX-License-Identifier: MIT
#include "net/netconnect.h"

#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "platform/deadline.h"

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

}  // namespace

NetSocket* ConnectWithin(const NetworkPortUrl& url, int timeoutMs, std::string& reason, int& osError) {
    osError = 0;
    const auto deadline = DeadlineIn(timeoutMs);
    bool timedOut = false;
    std::string error;
    const std::vector<NetAddress> addresses = ResolveWithin(url, deadline, error, timedOut);
    if (timedOut) {
        reason = "the name " + url.host + " was not resolved within " + std::to_string(timeoutMs) + " ms";
        return nullptr;
    }
    if (addresses.empty()) {
        reason = "cannot resolve " + url.host + ": " + error;
        return nullptr;
    }
    NetSocket* socket = nullptr;
    NetConnectResult result = NetConnectResult::Failed;
    for (const NetAddress& address : addresses) {
        const int left = MillisecondsLeft(deadline);
        if (left == 0) break;
        socket = ConnectTcp(address, left, result, osError);
        if (socket != nullptr) return socket;
    }
    reason = result == NetConnectResult::TimedOut || MillisecondsLeft(deadline) == 0
                 ? "no answer from " + url.host + " port " + url.port + " within " +
                       std::to_string(timeoutMs) + " ms"
                 : "cannot connect to " + url.host + " port " + url.port + ": " + SocketErrorText(osError);
    return nullptr;
}

}  // namespace platform
