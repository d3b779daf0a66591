// SPDX-License-Identifier: MIT
// One thread takes the termination signals (blocked in every other thread) and releases the
// devices in ordinary code: no async-signal-safety to worry about, and it works whatever the
// window's thread is doing — blocked in an exchange or in a modal question.
#include "platform/processend.h"

#include <pthread.h>
#include <signal.h>

#include <csignal>
#include <cstdlib>
#include <mutex>
#include <thread>

#include "platform/serialdevice.h"

namespace platform {
namespace {

// The requests that end a process by default and can be caught.
sigset_t TerminationSignals() {
    sigset_t signals;
    sigemptyset(&signals);
    for (int number : {SIGTERM, SIGINT, SIGHUP}) {
        struct sigaction current {};
        // nohup and the like leave a request ignored on purpose.
        if (sigaction(number, nullptr, &current) == 0 && current.sa_handler != SIG_IGN) {
            sigaddset(&signals, number);
        }
    }
    return signals;
}

// Ends the process as the signal's default action does, so the parent sees the usual status.
[[noreturn]] void EndAsSignalled(int number) {
    std::signal(number, SIG_DFL);
    sigset_t only;
    sigemptyset(&only);
    sigaddset(&only, number);
    pthread_sigmask(SIG_UNBLOCK, &only, nullptr);
    raise(number);
    std::_Exit(128 + number);  // not reached: the default action of these signals ends the process
}

}  // namespace

void ReleaseDevicesOnTermination() {
    static std::once_flag once;
    std::call_once(once, [] {
        const sigset_t signals = TerminationSignals();
        pthread_sigmask(SIG_BLOCK, &signals, nullptr);
        std::thread([signals] {
            int number = 0;
            while (sigwait(&signals, &number) != 0) {
            }
            ReleaseAllSerialDevices();
            EndAsSignalled(number);
        }).detach();
        // Qt ends the process through exit() when its display connection breaks.
        std::atexit(ReleaseAllSerialDevices);
    });
}

}  // namespace platform
