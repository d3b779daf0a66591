// SPDX-License-Identifier: MIT
#include "platform/processend.h"

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

}  // namespace

void SetWorkBeforeRelease(std::function<void()> work) {
    std::lock_guard hold(WorkMutex());
    Work() = std::move(work);
}

void RunWorkBeforeRelease() {
    std::lock_guard hold(WorkMutex());
    if (Work()) Work()();
}

}  // namespace platform
