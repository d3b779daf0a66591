// SPDX-License-Identifier: MIT
// qlxduo-xdesk: a private desktop (Xvfb + openbox) for tests and shell scripts, and a look at the
// windows on a desktop.
//
//   qlxduo-xdesk run [--screen WxH] -- COMMAND [ARG...]
//       starts a desktop on a free display, runs COMMAND on it (DISPLAY set, QT_QPA_PLATFORM=xcb),
//       stops the desktop and exits with COMMAND's status (128 + signal when it was killed).
//   qlxduo-xdesk find TITLE [TIMEOUT_MS]    prints the id of the shown window of that title
//   qlxduo-xdesk frame TITLE [TIMEOUT_MS]   prints "x y width height" of its frame
//   qlxduo-xdesk grab FILE [TITLE]          writes the screen, or the window's frame, as PNG
//   qlxduo-xdesk close TITLE [TIMEOUT_MS]   sends it the window manager's close request until that
//                                           took effect: prints "gone" once the window went, or
//                                           "asked ID" once it showed a window of its own (its
//                                           question); fails when neither came
// find, frame, grab and close look at the desktop of DISPLAY; each waits for the window up to
// TIMEOUT_MS, a hang guard of five minutes by default.
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "testenv.h"
#include "xdesktop.h"

namespace {

int Usage() {
    std::fprintf(stderr,
                 "usage: qlxduo-xdesk run [--screen WxH] -- COMMAND [ARG...]\n"
                 "       qlxduo-xdesk find|frame TITLE [TIMEOUT_MS]\n"
                 "       qlxduo-xdesk grab FILE [TITLE]\n"
                 "       qlxduo-xdesk close TITLE [TIMEOUT_MS]\n");
    return 2;
}

int ExitCodeOf(int status) {
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    return WIFSIGNALED(status) ? 128 + WTERMSIG(status) : 1;
}

int Run(const std::vector<std::string>& args) {
    int width = 1280;
    int height = 1024;
    size_t at = 0;
    if (at + 1 < args.size() && args[at] == "--screen") {
        if (std::sscanf(args[at + 1].c_str(), "%dx%d", &width, &height) != 2) return Usage();
        at += 2;
    }
    if (at >= args.size() || args[at] != "--" || at + 1 >= args.size()) return Usage();
    const auto desktop = testenv::XDesktop::Start(width, height);
    const pid_t child = fork();
    if (child == 0) {
        setenv("DISPLAY", desktop->Display().c_str(), 1);
        setenv(testenv::kDesktopRunVariable, desktop->Display().c_str(), 1);
        setenv("QT_QPA_PLATFORM", "xcb", 1);
        unsetenv("WAYLAND_DISPLAY");
        std::vector<char*> argv;
        for (size_t i = at + 1; i < args.size(); ++i) argv.push_back(const_cast<char*>(args[i].c_str()));
        argv.push_back(nullptr);
        execvp(argv[0], argv.data());
        std::perror(argv[0]);
        _exit(127);
    }
    // The desktop outlives the command whatever ends it; a signal to us ends the desktop too.
    signal(SIGINT, SIG_IGN);
    int status = 0;
    while (waitpid(child, &status, 0) < 0) {
    }
    return ExitCodeOf(status);
}

int Close(const testenv::XDesktop& desktop, testenv::XDesktop::Window window, const std::string& title,
          int timeoutMs) {
    const testenv::XDesktop::CloseEffect effect = desktop.Close(window, timeoutMs);
    if (effect.asked != 0) {
        std::printf("asked %u\n", effect.asked);
    } else if (effect.gone) {
        std::printf("gone\n");
    } else {
        std::fprintf(stderr, "qlxduo-xdesk: \"%s\" neither went nor asked after its close request\n",
                     title.c_str());
        return 1;
    }
    return 0;
}

int Look(const std::string& command, const std::vector<std::string>& args) {
    const char* display = getenv("DISPLAY");
    if (display == nullptr) {
        std::fprintf(stderr, "qlxduo-xdesk: DISPLAY is not set\n");
        return 2;
    }
    const auto desktop = testenv::XDesktop::Attach(display);
    const bool grab = command == "grab";
    const std::string title = grab ? (args.size() > 1 ? args[1] : "") : args[0];
    const int timeout = !grab && args.size() > 1 ? std::atoi(args[1].c_str()) : testenv::kHangGuardMs;
    testenv::XDesktop::Window window = 0;
    if (!title.empty()) {
        window = desktop->FindWindow(title, timeout);
        if (window == 0 || !desktop->WaitFramed(window, timeout)) {
            std::fprintf(stderr, "qlxduo-xdesk: no window \"%s\" shown\n", title.c_str());
            return 1;
        }
    }
    const testenv::ScreenRect frame = window != 0 ? desktop->FrameGeometry(window) : testenv::ScreenRect{};
    if (command == "find") {
        std::printf("%u\n", window);
    } else if (command == "frame") {
        std::printf("%d %d %d %d\n", frame.x, frame.y, frame.width, frame.height);
    } else if (command == "close") {
        return Close(*desktop, window, title, timeout);
    } else if (!desktop->Grab(frame).SavePng(args[0])) {
        std::fprintf(stderr, "qlxduo-xdesk: cannot write %s\n", args[0].c_str());
        return 1;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) return Usage();
    const std::string command = argv[1];
    const std::vector<std::string> args(argv + 2, argv + argc);
    try {
        if (command == "run") return Run(args);
        if (command == "find" || command == "frame" || command == "grab" || command == "close")
            return Look(command, args);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "qlxduo-xdesk: %s\n", error.what());
        return 1;
    }
    return Usage();
}
