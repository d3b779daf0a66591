// SPDX-License-Identifier: MIT
// The real qlxduo program on a real desktop with a window manager (run by qlxduo-xdesk): the
// position the user dragged the window to comes back on the next start, frame and all, and a
// second start shows no second window.
#include <gtest/gtest.h>

#include <string>

#include "platform/userfolders.h"
#include "testenv.h"
#include "xdesktop.h"

namespace {

constexpr int kDeadlineMs = 10000;  // generous: only a window that never shows runs into it
const std::string kTitle = "QLX-DUO設定ユーティリティ V1.03";

std::string SettingsFile() {
    return platform::AppDataFolder() + "/Kestrelan/QLX-DUO/qlxduo.ini";
}

class QlxduoOnDesktop : public ::testing::Test {
protected:
    void SetUp() override {
        m_desktop = testenv::XDesktop::OfThisRun();
        if (!m_desktop) GTEST_SKIP() << "needs the private desktop of qlxduo-xdesk (ctest -L desktop)";
    }

    // The program's window once the window manager has framed it; 0 when it never shows.
    testenv::XDesktop::Window Framed() const {
        const auto window = m_desktop->FindWindow(kTitle, kDeadlineMs);
        return window != 0 && m_desktop->WaitFramed(window, kDeadlineMs) ? window : 0;
    }

    bool FrameAt(testenv::XDesktop::Window window, int x, int y) const {
        return testenv::WaitUntil(
            [&] {
                const auto frame = m_desktop->FrameGeometry(window);
                return frame.x == x && frame.y == y;
            },
            kDeadlineMs);
    }

    std::unique_ptr<testenv::XDesktop> m_desktop;
};

TEST_F(QlxduoOnDesktop, DraggedPositionComesBackOnTheNextStartFrameIncluded) {
    // No unit: the window is not connected, so closing it asks nothing.
    testenv::ProgramRun first(QLXDUO_APP_PATH);
    const auto window = Framed();
    ASSERT_NE(window, 0u);
    const testenv::ScreenRect size = m_desktop->FrameGeometry(window);
    // Nothing stored yet: the frame stands centred in the work area before it is dragged.
    const testenv::ScreenRect work = m_desktop->WorkArea();
    EXPECT_TRUE(
        FrameAt(window, work.x + (work.width - size.width) / 2, work.y + (work.height - size.height) / 2));
    m_desktop->MoveFrame(window, 123, 77);
    ASSERT_TRUE(FrameAt(window, 123, 77));
    m_desktop->RequestClose(window);
    ASSERT_TRUE(first.WaitExit(kDeadlineMs));
    const std::string settings = testenv::ReadFile(SettingsFile());
    EXPECT_NE(settings.find("Left=123"), std::string::npos) << settings;
    EXPECT_NE(settings.find("Top=77"), std::string::npos) << settings;

    testenv::ProgramRun second(QLXDUO_APP_PATH);
    const auto again = Framed();
    ASSERT_NE(again, 0u);
    EXPECT_TRUE(FrameAt(again, 123, 77))
        << m_desktop->FrameGeometry(again).x << "," << m_desktop->FrameGeometry(again).y;
    EXPECT_EQ(m_desktop->FrameGeometry(again).width, size.width);
    EXPECT_EQ(m_desktop->FrameGeometry(again).height, size.height);

    // A start while it runs ends without a window of its own.
    testenv::ProgramRun third(QLXDUO_APP_PATH);
    ASSERT_TRUE(third.WaitExit(kDeadlineMs));
    EXPECT_TRUE(m_desktop->IsManaged(again));
    EXPECT_EQ(m_desktop->FindWindow(kTitle, 0), again);
    EXPECT_TRUE(second.Running());
}

}  // namespace
