// SPDX-License-Identifier: MIT
// The private desktop itself: it starts on a free display with a window manager, grabs the
// screen, gives a command its display through qlxduo-xdesk, and leaves nothing running.
#include "xdesktop.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <filesystem>
#include <stdexcept>
#include <string>

#include "testenv.h"

namespace {

std::string SocketOf(const std::string& display) {
    return "/tmp/.X11-unix/X" + display.substr(1);
}

int Shell(const std::string& command) {
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(XDesktop, StartsManagedAndStopsWithTheObject) {
    std::string display;
    {
        const auto first = testenv::XDesktop::Start(800, 600);
        const auto second = testenv::XDesktop::Start(640, 480);
        display = first->Display();
        EXPECT_NE(first->Display(), second->Display());  // each on its own display
        EXPECT_TRUE(std::filesystem::exists(SocketOf(display)));
        const testenv::ScreenRect work = first->WorkArea();
        EXPECT_EQ(work.width, 800);
        EXPECT_EQ(work.height, 600);

        const testenv::ScreenImage screen = first->Grab();
        ASSERT_EQ(screen.width, 800);
        ASSERT_EQ(screen.height, 600);
        EXPECT_EQ(screen.pixels.size(), 800u * 600u);
        testenv::TempDir dir;
        ASSERT_TRUE(screen.SavePng(dir.File("screen.png")));
        EXPECT_EQ(testenv::ReadFile(dir.File("screen.png")).substr(0, 8), "\x89PNG\r\n\x1a\n");
        EXPECT_EQ(first->FindWindow("no such window", 0), 0u);
    }
    EXPECT_FALSE(std::filesystem::exists(SocketOf(display))) << "the X server still runs";
    EXPECT_THROW(testenv::XDesktop::Attach(display), std::runtime_error);
}

TEST(XDesktop, HelperRunsACommandOnItsOwnDesktopAndReturnsItsStatus) {
    const std::string helper = QLXDUO_XDESK_PATH;
    testenv::TempDir dir;
    const std::string seen = dir.File("display");
    struct Case {
        std::string script;
        int status;
    } cases[] = {
        {"echo \"$DISPLAY $QT_QPA_PLATFORM\" > " + seen + "; " + helper + " grab " + dir.File("s.png"), 0},
        {"exit 3", 3},
        {"kill -TERM $$", 128 + SIGTERM},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Shell(helper + " run -- sh -c '" + c.script + "'"), c.status) << c.script;
    }
    const std::string line = testenv::ReadFile(seen);
    ASSERT_EQ(line.rfind(':', 0), 0u) << line;
    EXPECT_NE(line.find(" xcb"), std::string::npos) << line;
    EXPECT_TRUE(std::filesystem::exists(dir.File("s.png")));
    EXPECT_FALSE(std::filesystem::exists(SocketOf(line.substr(0, line.find(' ')))));
    EXPECT_EQ(Shell(helper + " run 2>/dev/null"), 2);  // usage
}

}  // namespace
