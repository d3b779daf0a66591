// SPDX-License-Identifier: MIT
// The dialog base on the offscreen platform: settings folder made on first start or the failure
// message, position restored, corrected into the work area and saved, Enter and Escape, close.
#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QPushButton>
#include <QScreen>
#include <QtTest/QTest>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <optional>

#include "platform/userfolders.h"
#include "settings/iniacs.h"
#include "testenv.h"
#include "ui/dialogsettings.h"
#include "ui/qt/dialogkn.h"
#include "ui/qt/messagebox.h"
#include "uitestapp.h"

namespace {

const char* kSubFolder = "Kestrelan\\QLX-DUO\\";

class TestDialog : public CDialogKn2 {
public:
    TestDialog() : CDialogKn2(IDD_QLXDUO_DIALOG, nullptr, kSubFolder) {}
    int closes = 0;
    bool letClose = true;

protected:
    void OnClose() override {
        ++closes;
        if (letClose) reject();
    }
};

class DialogBaseTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { uitest::EnsureApp(); }

    void SetUp() override {
        m_previousHook = SetMessageBoxHook([this](const MessageBoxRequest& request) {
            m_messages.push_back(request);
            return QMessageBox::Ok;
        });
    }
    void TearDown() override { SetMessageBoxHook(m_previousHook); }

    std::string Folder() const { return m_config.File("Kestrelan/QLX-DUO"); }
    std::string SettingsFile() const { return Folder() + "/" + platform::ExecutableBaseName() + ".ini"; }
    void StorePosition(std::optional<int> left, std::optional<int> top) const {
        std::filesystem::create_directories(Folder());
        std::string text = "[System]\r\n";
        if (left) text += "Left=" + std::to_string(*left) + "\r\n";
        if (top) text += "Top=" + std::to_string(*top) + "\r\n";
        testenv::WriteFile(SettingsFile(), text);
    }
    static QRect Work() { return QGuiApplication::primaryScreen()->availableGeometry(); }

    testenv::TempDir m_config;
    testenv::ScopedEnv m_xdg{"XDG_CONFIG_HOME", m_config.Path()};
    std::vector<MessageBoxRequest> m_messages;
    MessageBoxHook m_previousHook;
};

TEST_F(DialogBaseTest, FirstStartMakesTheFolderAndClosingSavesThePosition) {
    ASSERT_FALSE(platform::PathExists(m_config.File("Kestrelan")));
    TestDialog dialog;
    EXPECT_TRUE(dialog.Create());
    EXPECT_TRUE(m_messages.empty());
    EXPECT_TRUE(std::filesystem::is_directory(Folder()));
    EXPECT_EQ(dialog.SettingsFilePath(), SettingsFile());
    EXPECT_TRUE(Work().contains(dialog.frameGeometry()));

    dialog.show();
    const QPoint where = dialog.pos();
    EXPECT_TRUE(dialog.close());
    EXPECT_EQ(dialog.closes, 1);
    const auto stored = dlgsettings::ReadWindowPos(SettingsFile());
    EXPECT_EQ(stored.left, where.x());
    EXPECT_EQ(stored.top, where.y());
    EXPECT_NE(testenv::ReadFile(SettingsFile()).find("[System]"), std::string::npos);
}

TEST_F(DialogBaseTest, FolderFailuresShowTheirMessageAndLeaveNoPath) {
    struct Case {
        const char* name;
        std::optional<std::string> config;  // XDG_CONFIG_HOME; HOME is unset when this is empty
        const char* fileInPlaceOf;          // below the config folder; nullptr: none
        const char* message;                // nullptr: no message expected
    };
    const Case cases[] = {
        {"no application-data folder", std::nullopt, nullptr,
         "Windowsのバージョンの取得もしくは\r\nアプリケーションフォルダの取得に失敗しました。"},
        {"file in place of Kestrelan", m_config.Path(), "Kestrelan",
         "ユーザアプリケーションフォルダの生成に失敗しました。"},
        {"file in place of QLX-DUO counts as the folder", m_config.Path(), "Kestrelan/QLX-DUO", nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::filesystem::remove_all(m_config.File("Kestrelan"));
        if (c.fileInPlaceOf != nullptr) {
            std::filesystem::create_directories(
                std::filesystem::path(m_config.File(c.fileInPlaceOf)).parent_path());
            testenv::WriteFile(m_config.File(c.fileInPlaceOf), "not a folder");
        }
        testenv::ScopedEnv config("XDG_CONFIG_HOME", c.config);
        testenv::ScopedEnv home("HOME",
                                c.config ? std::optional<std::string>(m_config.Path()) : std::nullopt);
        m_messages.clear();
        TestDialog dialog;
        EXPECT_EQ(dialog.Create(), c.message == nullptr);
        if (c.message == nullptr) {
            EXPECT_TRUE(m_messages.empty());
            EXPECT_EQ(dialog.SettingsFilePath(), SettingsFile());
            continue;
        }
        ASSERT_EQ(m_messages.size(), 1u);
        EXPECT_EQ(m_messages[0].text, QString::fromUtf8(c.message));
        EXPECT_EQ(m_messages[0].caption, QCoreApplication::applicationName());
        EXPECT_EQ(m_messages[0].icon, QMessageBox::Warning);
        EXPECT_EQ(m_messages[0].buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
        EXPECT_TRUE(dialog.SettingsFilePath().empty());
        EXPECT_NE(dialog.GetDlgItem(IDC_STATUS), nullptr);  // the window goes on
    }
}

TEST_F(DialogBaseTest, StoredPositionIsRestoredOrCorrected) {
    TestDialog probe;  // where the template puts the window, and its size
    probe.Create();
    const QPoint start = probe.pos();
    const QSize size = probe.frameGeometry().size();
    const QRect work = Work();
    const int centredX = work.left() + (work.width() - size.width()) / 2;
    const int centredY = work.top() + (work.height() - size.height()) / 2;
    const int rightEdge = work.left() + work.width() - size.width();
    const int bottomEdge = work.top() + work.height() - size.height();

    struct Case {
        std::optional<int> left, top;
        QPoint expected;
    };
    const Case cases[] = {
        {std::nullopt, std::nullopt, start},
        {5, std::nullopt, {5, start.y()}},
        {-1, 7, {start.x(), 7}},
        {rightEdge, bottomEdge, {rightEdge, bottomEdge}},  // touching the edges exactly
        {rightEdge + 1, 3, {centredX, 3}},
        {work.left() - 1, bottomEdge + 1, {centredX, centredY}},
        {1, -50, {1, centredY}},
        {INT_MAX, INT_MIN, {centredX, centredY}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.left.value_or(-999) << "," << c.top.value_or(-999));
        StorePosition(c.left, c.top);
        TestDialog dialog;
        ASSERT_TRUE(dialog.Create());
        EXPECT_EQ(dialog.pos(), c.expected);
        EXPECT_NE(testenv::ReadFile(SettingsFile()).find("[System]"), std::string::npos);  // only read
    }
}

TEST_F(DialogBaseTest, SavedPositionIsTheNormalOneAlsoWhenMinimised) {
    for (bool minimise : {false, true}) {
        SCOPED_TRACE(minimise);
        TestDialog dialog;
        dialog.show();
        dialog.move(31, 42);
        if (minimise) dialog.showMinimized();
        dialog.close();
        const auto stored = dlgsettings::ReadWindowPos(SettingsFile());
        EXPECT_EQ(stored.left, 31);
        EXPECT_EQ(stored.top, 42);
    }
}

TEST_F(DialogBaseTest, EnterAndEscapeNeverCloseAndNeverBlockALaterClose) {
    struct Case {
        int focusId;  // the control with the focus
        Qt::Key key;
        int clicks;  // expected presses of the connect button
    };
    const Case cases[] = {
        {IDC_CONNECT, Qt::Key_Return, 1}, {IDC_CONNECT, Qt::Key_Enter, 1}, {IDC_CONNECT, Qt::Key_Escape, 0},
        {IDC_BPS_A, Qt::Key_Return, 0},   {IDC_BPS_A, Qt::Key_Escape, 0},  {IDC_COM, Qt::Key_Enter, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.focusId << " key " << c.key);
        TestDialog dialog;
        dialog.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog, testenv::kHangGuardMs));
        auto* connect = qobject_cast<QPushButton*>(dialog.GetDlgItem(IDC_CONNECT));
        ASSERT_NE(connect, nullptr);
        int clicks = 0;
        QObject::connect(connect, &QPushButton::clicked, [&clicks] { ++clicks; });
        QWidget* focus = dialog.GetDlgItem(c.focusId);
        focus->setFocus();
        QTest::keyClick(focus, c.key);
        QTest::keyClick(focus, c.key);
        EXPECT_TRUE(dialog.isVisible());
        EXPECT_EQ(clicks, 2 * c.clicks);
        EXPECT_EQ(dialog.closes, 0);

        dialog.letClose = false;  // the close handling may keep the window open
        EXPECT_FALSE(dialog.close());
        EXPECT_TRUE(dialog.isVisible());
        dialog.letClose = true;
        EXPECT_TRUE(dialog.close());
        EXPECT_FALSE(dialog.isVisible());
        EXPECT_EQ(dialog.closes, 2);
        EXPECT_EQ(dialog.result(), QDialog::Rejected);
    }
}

}  // namespace
