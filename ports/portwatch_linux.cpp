// SPDX-License-Identifier: MIT
// inotify on /dev (a USB adapter's ttyUSB0 comes and goes there), /dev/pts and the port map's
// folder (a link added or replaced), with an eventfd for Stop. Any event wakes the wait; the
// caller reads the list again.
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>

#include "platform/uniquefd_linux.h"
#include "ports/comportmap.h"
#include "ports/portwatch.h"

namespace platform {
namespace {

constexpr uint32_t kChanges = IN_CREATE | IN_DELETE | IN_MOVED_TO | IN_MOVED_FROM | IN_ATTRIB;

}  // namespace

struct CSerialPortWatch::CState {
    CUniqueFd events{inotify_init1(IN_NONBLOCK | IN_CLOEXEC)};
    CUniqueFd stop{eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)};
    std::atomic<bool> stopped{false};
    std::string mapFolder;
    bool mapWatched = false;

    // The map's folder may not exist yet: the first port listed makes it. Until then it is looked
    // for again at each change in /dev, and a caller that must not miss its first link looks at
    // the list now and then.
    void WatchMapFolder() {
        if (!mapWatched && events.Valid())
            mapWatched = inotify_add_watch(events.Get(), mapFolder.c_str(), kChanges) >= 0;
    }
};

CSerialPortWatch::CSerialPortWatch() : m_state(std::make_unique<CState>()) {
    const ComPortMapRoots roots = ComPortMap::ForCurrentUser().Roots();
    m_state->mapFolder = roots.mapFolder;
    if (m_state->events.Valid()) {
        for (const std::string& folder : {roots.devRoot, roots.devRoot + "/pts"})
            inotify_add_watch(m_state->events.Get(), folder.c_str(), kChanges);
    }
    m_state->WatchMapFolder();
}

CSerialPortWatch::~CSerialPortWatch() = default;

bool CSerialPortWatch::Wait(int timeoutMs) {
    if (m_state->stopped) return true;
    pollfd fds[2] = {{m_state->stop.Get(), POLLIN, 0}, {m_state->events.Get(), POLLIN, 0}};
    const int ready = poll(fds, m_state->events.Valid() ? 2 : 1, timeoutMs);
    if (ready > 0 && (fds[1].revents & POLLIN) != 0) TakeChange();
    return m_state->stopped;
}

void CSerialPortWatch::Stop() {
    m_state->stopped = true;
    const uint64_t one = 1;
    [[maybe_unused]] const ssize_t wrote = write(m_state->stop.Get(), &one, sizeof one);
}

std::intptr_t CSerialPortWatch::EventSource() const {
    return m_state->events.Get();
}

// Drained: the events themselves do not matter, only that something changed.
void CSerialPortWatch::TakeChange() {
    char buffer[4096];
    while (read(m_state->events.Get(), buffer, sizeof buffer) > 0) {
    }
    m_state->WatchMapFolder();
}

}  // namespace platform
