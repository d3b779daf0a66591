// SPDX-License-Identifier: MIT
// The real qlxduo program on a real desktop with a window manager (run by qlxduo-xdesk): the
// position the user dragged the window to comes back on the next start, frame and all, a second
// start shows no second window, and qlxduo-xdesk close returns once the close took effect.
#include <gtest/gtest.h>

#include <string>

#include "platform/userfolders.h"
#include "ports/comportmap.h"
#include "testenv.h"
#include "xdesktop.h"

namespace {

constexpr int kDeadlineMs = testenv::kHangGuardMs;
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

// qlxduo-xdesk close as a script uses it, on a busy machine too: it returns once the window went,
// or once it asked its question (connected to a unit), and says which.
TEST_F(QlxduoOnDesktop, HelperCloseReturnsOnceTheWindowWentOrAsked) {
    const auto close = [] { return testenv::RunToEnd({QLXDUO_XDESK_PATH, "close", kTitle}, kDeadlineMs); };
    {
        testenv::ProgramRun unconnected(QLXDUO_APP_PATH);
        ASSERT_NE(Framed(), 0u);
        const auto run = close();
        EXPECT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(run.out, "gone\n");
        ASSERT_TRUE(unconnected.WaitExit(kDeadlineMs));
    }
    testenv::SimProcess unit({});
    ASSERT_TRUE(platform::ComPortMap::ForCurrentUser().RegisterOwned(1, unit.DevicePath()));
    testenv::ProgramRun connected(QLXDUO_APP_PATH);
    const auto window = Framed();
    ASSERT_NE(window, 0u);
    // Connected once the unit has been read: the window then asks before it closes.
    ASSERT_TRUE(testenv::WaitUntil([&] { return unit.ReceivedBytes().ends_with("AG B\r\n"); }, kDeadlineMs));
    const auto run = close();
    EXPECT_EQ(run.status, 0) << run.err;
    const auto question = m_desktop->TransientOf(window);
    EXPECT_NE(question, 0u);
    EXPECT_EQ(run.out, "asked " + std::to_string(question) + "\n");
    EXPECT_TRUE(m_desktop->IsManaged(window));
}

}  // namespace
