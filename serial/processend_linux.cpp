// SPDX-License-Identifier: MIT
// Three kinds of ending signal:
// - Those sent to the process (SIGTERM, SIGINT, SIGHUP, SIGQUIT, SIGUSR1, ...) are blocked in every
//   thread and taken by one thread of their own, which releases the devices in ordinary code: no
//   async-signal-safety to worry about, and it works whatever the window's thread is doing —
//   blocked in an exchange or in a modal question.
// - SIGPIPE and SIGXFSZ come from a write and go to the thread that wrote, where no other thread
//   can take them: a handler passes them on to that one thread.
// - The faults (SIGSEGV, SIGABRT, ...) must be handled where they happen, with only
//   async-signal-safe calls: a handler on the alternate stack clears the exclusive holds and
//   removes the lock files recorded beforehand, then lets the signal end the process — a fault of
//   the processor through the action the handler replaced, any other by its default action.
#include "serial/processend.h"

#include <pthread.h>
#include <signal.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <mutex>
#include <thread>

#include "serial/faultrelease.h"
#include "serial/serialdevice.h"

namespace platform {
namespace {

constexpr std::array kSentSignals = {SIGHUP,    SIGINT,  SIGQUIT,   SIGUSR1, SIGUSR2, SIGALRM, SIGTERM,
                                     SIGSTKFLT, SIGXCPU, SIGVTALRM, SIGPROF, SIGIO,   SIGPWR};
constexpr std::array kWriteSignals = {SIGPIPE, SIGXFSZ};
constexpr std::array kFaultSignals = {SIGILL, SIGTRAP, SIGABRT, SIGBUS, SIGFPE, SIGSEGV, SIGSYS};
// Faults the processor reports: the faulting instruction runs again and faults again.
constexpr std::array kRecurringFaults = {SIGILL, SIGBUS, SIGFPE, SIGSEGV};

// The actions the fault handler replaced, put back before a fault of the processor ends the
// process.
struct sigaction g_replaced[NSIG];
// The thread that takes the ending signals.
pthread_t g_releaseThread;

// nohup and the like leave a signal ignored on purpose.
bool Ignored(int number) {
    struct sigaction current {};
    return sigaction(number, nullptr, &current) != 0 || current.sa_handler == SIG_IGN;
}

// The signals the release thread takes: every one sent to the process whose default ends it, the
// real-time ones included, and those passed on from a writing thread.
sigset_t ReleaseThreadSignals() {
    sigset_t signals;
    sigemptyset(&signals);
    auto add = [&](int number) {
        if (!Ignored(number)) sigaddset(&signals, number);
    };
    for (int number : kSentSignals) add(number);
    for (int number = SIGRTMIN; number <= SIGRTMAX; ++number) add(number);
    for (int number : kWriteSignals) add(number);
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

void ReleaseOnFault(int number, siginfo_t* info, void*) {
    const int saved = errno;
    ReleaseRecordedDevices();
    if (std::ranges::find(kRecurringFaults, number) != kRecurringFaults.end() && info->si_code > 0) {
        // The faulting instruction runs again and meets the replaced action (a sanitizer's report,
        // say) with the fault's own details.
        sigaction(number, &g_replaced[number], nullptr);
    } else {
        // Sent, raised (abort) or not repeated by the processor: ended by the default action.
        struct sigaction byDefault {};
        byDefault.sa_handler = SIG_DFL;
        sigaction(number, &byDefault, nullptr);
        raise(number);
    }
    errno = saved;
}

void Handle(int number, void (*handler)(int, siginfo_t*, void*), struct sigaction* replaced) {
    struct sigaction action {};
    action.sa_sigaction = handler;
    action.sa_flags = SA_SIGINFO | SA_ONSTACK | SA_RESTART;
    sigemptyset(&action.sa_mask);
    sigaction(number, &action, replaced);
}

void PassOn(int number, siginfo_t*, void*) {
    const int saved = errno;
    pthread_kill(g_releaseThread, number);
    errno = saved;
}

void StartReleaseThread() {
    const sigset_t signals = ReleaseThreadSignals();
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    std::thread releaser([signals] {
        int number = 0;
        do {
            while (sigwait(&signals, &number) != 0) {
            }
        } while ((number == SIGINT || number == SIGTERM) && StopInsteadOfEnding());
        RunWorkBeforeRelease();
        ReleaseAllSerialDevices();
        EndAsSignalled(number);
    });
    g_releaseThread = releaser.native_handle();
    releaser.detach();
    // A write's signal stays with the writing thread: unblocked here (and so in the threads to
    // come), it meets the handler that passes it on.
    sigset_t writeSignals;
    sigemptyset(&writeSignals);
    for (int number : kWriteSignals) {
        if (sigismember(&signals, number) != 1) continue;
        sigaddset(&writeSignals, number);
        Handle(number, PassOn, nullptr);
    }
    pthread_sigmask(SIG_UNBLOCK, &writeSignals, nullptr);
}

void HandleFaults() {
    ProvideAlternateSignalStack();
    for (int number : kFaultSignals) {
        if (!Ignored(number)) Handle(number, ReleaseOnFault, &g_replaced[number]);
    }
}

}  // namespace

void ReleaseDevicesOnTermination() {
    static std::once_flag once;
    std::call_once(once, [] {
        StartReleaseThread();
        HandleFaults();
        // Qt ends the process through exit() when its display connection breaks.
        std::atexit(ReleaseAllSerialDevices);
    });
}

}  // namespace platform
