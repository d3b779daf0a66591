// SPDX-License-Identifier: MIT
#include "serial/faultrelease.h"

#include <signal.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <memory>

namespace platform {
namespace {

// One per COM number, and then some.
constexpr int kRecords = 256;
// Enough for the handler's few system calls on top of what the system itself needs.
constexpr std::size_t kAlternateStackMinimum = 64 * 1024;

// A record is read only while ready; it is filled before and emptied after.
struct Record {
    std::atomic<bool> taken{false};
    std::atomic<bool> ready{false};
    std::atomic<int> fd{-1};
    std::atomic<bool> clearExclusive{false};
    std::atomic<const char*> lockPath{nullptr};
};
static_assert(std::atomic<bool>::is_always_lock_free && std::atomic<int>::is_always_lock_free &&
              std::atomic<const char*>::is_always_lock_free);

Record g_records[kRecords];

class AlternateStack {
public:
    AlternateStack() {
        stack_t current{};
        if (sigaltstack(nullptr, &current) != 0 || (current.ss_flags & SS_DISABLE) == 0) return;
        const std::size_t size = std::max<std::size_t>(SIGSTKSZ, kAlternateStackMinimum);
        // Not zeroed: a thread's stack pages are touched only by a signal that needs them.
        m_memory = std::make_unique_for_overwrite<char[]>(size);
        const stack_t stack{m_memory.get(), 0, size};
        if (sigaltstack(&stack, nullptr) != 0) m_memory.reset();
    }
    ~AlternateStack() {
        if (!m_memory) return;
        stack_t off{};
        off.ss_flags = SS_DISABLE;
        sigaltstack(&off, nullptr);
    }
    AlternateStack(const AlternateStack&) = delete;
    AlternateStack& operator=(const AlternateStack&) = delete;

private:
    std::unique_ptr<char[]> m_memory;
};

}  // namespace

int RecordForFaultRelease(int fd, bool clearExclusive, const char* lockPath) {
    for (int index = 0; index < kRecords; ++index) {
        Record& record = g_records[index];
        if (record.taken.exchange(true)) continue;
        record.fd.store(fd);
        record.clearExclusive.store(clearExclusive);
        record.lockPath.store(lockPath);
        record.ready.store(true);
        return index;
    }
    return -1;
}

void ForgetForFaultRelease(int index) {
    if (index < 0) return;
    Record& record = g_records[index];
    record.ready.store(false);
    record.lockPath.store(nullptr);
    record.fd.store(-1);
    record.taken.store(false);
}

void ReleaseRecordedDevices() {
    for (Record& record : g_records) {
        if (!record.ready.load()) continue;
        const char* lockPath = record.lockPath.load();
        if (record.clearExclusive.load()) ioctl(record.fd.load(), TIOCNXCL);
        if (lockPath != nullptr) unlink(lockPath);
    }
}

void ProvideAlternateSignalStack() {
    thread_local AlternateStack stack;
}

}  // namespace platform
