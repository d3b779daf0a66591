// SPDX-License-Identifier: MIT
#include "serial/processend.h"

#include <mutex>
#include <utility>

namespace platform {
namespace {

// Held while the work runs, so that whoever removes it knows it is no longer running.
std::mutex& WorkMutex() {
    static auto* mutex = new std::mutex;  // never destroyed: a release may run during exit
    return *mutex;
}

std::function<void()>& Work() {
    static auto* work = new std::function<void()>;
    return *work;
}

struct StopRequest {
    std::mutex mutex;
    std::function<void()> stop;
    bool called = false;
};
StopRequest& Stop() {
    static auto* request = new StopRequest;  // never destroyed, as the work
    return *request;
}

}  // namespace

void SetStopInsteadOfEnding(std::function<void()> stop) {
    StopRequest& request = Stop();
    std::lock_guard hold(request.mutex);
    request.stop = std::move(stop);
    request.called = false;
}

bool StopInsteadOfEnding() {
    StopRequest& request = Stop();
    std::lock_guard hold(request.mutex);
    if (!request.stop || request.called) return false;
    request.called = true;
    request.stop();
    return true;
}

void SetWorkBeforeRelease(std::function<void()> work) {
    std::lock_guard hold(WorkMutex());
    Work() = std::move(work);
}

void RunWorkBeforeRelease() {
    std::lock_guard hold(WorkMutex());
    if (Work()) Work()();
}

}  // namespace platform
