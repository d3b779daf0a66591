// SPDX-License-Identifier: MIT
// The settings window on a real X desktop with a window manager (run by qlxduo-xdesk): what the
// user sees there, read back from the screen's pixels and from what the window manager reports.
// The offscreen platform has no frame, no window manager and no real pop-ups.
#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QFontMetrics>
#include <QImage>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <filesystem>
#include <memory>
#include <optional>

#include "dlghelpers.h"
#include "link/statustexts.h"
#include "res/qlxduo_template.h"
#include "tests/ui/expectedwindow.h"
#include "ui/dialogsettings.h"
#include "ui/qt/qlxduodlg.h"
#include "uitestapp.h"
#include "xdesktop.h"

namespace {

using dlgtest::Item;
using testenv::ScreenRect;

constexpr int kDeadlineMs = testenv::kHangGuardMs;
const QString kTitle = QString::fromUtf8(expectedwindow::kCaption);

bool IsInk(std::uint32_t pixel, QColor colour) {
    const int r = static_cast<int>(pixel >> 16 & 0xFF), g = static_cast<int>(pixel >> 8 & 0xFF),
              b = static_cast<int>(pixel & 0xFF);
    // Anti-aliased text: at least half way from the black background towards the text colour.
    return std::abs(r - colour.red()) < 128 && std::abs(g - colour.green()) < 128 &&
           std::abs(b - colour.blue()) < 128 && r + g + b > 128;
}

// The columns of an image that hold text ink of that colour: first and last, -1 when none.
std::pair<int, int> InkColumns(const testenv::ScreenImage& image, QColor colour) {
    int first = -1, last = -1;
    for (int x = 0; x < image.width; ++x) {
        for (int y = 0; y < image.height; ++y) {
            if (!IsInk(image.Pixel(x, y), colour)) continue;
            if (first < 0) first = x;
            last = x;
            break;
        }
    }
    return {first, last};
}

// The same text drawn without any width limit, to compare with what the label shows.
testenv::ScreenImage DrawnUnlimited(const QString& text, const QFont& font, QColor colour, int height) {
    const int width = QFontMetrics(font).horizontalAdvance(text) + 20;
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::black);
    QPainter painter(&image);
    painter.setFont(font);
    painter.setPen(colour);
    painter.drawText(QRect(10, 0, width, height), Qt::AlignLeft | Qt::AlignVCenter, text);
    painter.end();
    testenv::ScreenImage out{width, height, {}};
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) out.pixels.push_back(image.pixel(x, y) & 0xFFFFFF);
    }
    return out;
}

class DesktopWindowTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        s_desktop = testenv::XDesktop::OfThisRun();
        if (s_desktop) uitest::EnsureApp();
    }
    static void TearDownTestSuite() { s_desktop.reset(); }

    void SetUp() override {
        if (!s_desktop) GTEST_SKIP() << "needs the private desktop of qlxduo-xdesk (ctest -L desktop)";
        std::filesystem::remove_all(dlgtest::SettingsFolder());
    }

    // Shows the window and waits until the window manager has framed it; its X window.
    static testenv::XDesktop::Window ShowFramed(CQlxduoDlg& dlg) {
        dlg.show();
        testenv::XDesktop::Window window = 0;
        EXPECT_TRUE(QTest::qWaitFor(
            [&] {
                window = s_desktop->FindWindow(kTitle.toStdString(), 0);
                return window != 0 && s_desktop->WaitFramed(window, 0);
            },
            kDeadlineMs));
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&dlg, testenv::kHangGuardMs));
        // Placed once more with its frame as it is first exposed: the window manager has moved it.
        EXPECT_TRUE(QTest::qWaitFor(
            [&] {
                const ScreenRect frame = s_desktop->FrameGeometry(window);
                return frame.x == dlg.frameGeometry().x() && frame.y == dlg.frameGeometry().y();
            },
            kDeadlineMs));
        return window;
    }

    // A control's rectangle on the screen.
    static ScreenRect OnScreen(const CQlxduoDlg& dlg, testenv::XDesktop::Window window, int id) {
        const ScreenRect client = s_desktop->ClientGeometry(window);
        const QRect rect = dlg.GetDlgItem(id)->geometry();
        return {client.x + rect.x(), client.y + rect.y(), rect.width(), rect.height()};
    }

    // Within the label's sunken border.
    static ScreenRect Inside(const ScreenRect& rect) {
        return {rect.x + 2, rect.y + 2, rect.width - 4, rect.height - 4};
    }

    // An absent value leaves its key out.
    static void StorePosition(std::optional<int> left, std::optional<int> top) {
        std::filesystem::create_directories(dlgtest::SettingsFolder());
        std::string text = "[System]\r\n";
        if (left) text += "Left=" + std::to_string(*left) + "\r\n";
        if (top) text += "Top=" + std::to_string(*top) + "\r\n";
        testenv::WriteFile(dlgtest::SettingsFile(), text);
    }

    static std::unique_ptr<testenv::XDesktop> s_desktop;
};

std::unique_ptr<testenv::XDesktop> DesktopWindowTest::s_desktop;

TEST_F(DesktopWindowTest, StartUpShowsTheUnitsValuesInTheirColoursOnScreen) {
    testenv::SimProcess sim({"--firmware", "1.03", "--a", dlgtest::kUnitA, "--b", dlgtest::kUnitB});
    dlgtest::MakeCom1(sim);
    CQlxduoDlg dlg;
    const auto window = ShowFramed(dlg);
    ASSERT_NE(window, 0u);
    ASSERT_TRUE(dlg.IsConnected());
    for (const expectedwindow::Selection& s : expectedwindow::kSelections)
        EXPECT_EQ(Item<QComboBox>(dlg, s.id).currentText(), QString::fromUtf8(s.text)) << s.id;

    const ScreenRect frame = s_desktop->FrameGeometry(window);
    const testenv::ScreenImage picture = s_desktop->Grab(frame);
    ASSERT_TRUE(picture.SavePng(QLXDUO_DESKTOP_PICTURE));

    // The status line: green text on black; the firmware label: dark text on green.
    const ScreenRect status = Inside(OnScreen(dlg, window, IDC_STATUS));
    const ScreenRect firmware = Inside(OnScreen(dlg, window, IDC_FIRMWARE));
    testenv::ScreenImage statusPixels, firmwarePixels;
    (void)QTest::qWaitFor(
        [&] {
            statusPixels = s_desktop->Grab(status);
            firmwarePixels = s_desktop->Grab(firmware);
            return InkColumns(statusPixels, QColor(0, 255, 0)).first != -1 &&
                   firmwarePixels.Pixel(0, 0) == 0x00FF00u;
        },
        kDeadlineMs);
    EXPECT_EQ(statusPixels.Pixel(statusPixels.width - 1, 0), 0x000000u);
    EXPECT_NE(InkColumns(statusPixels, QColor(0, 255, 0)).first, -1);
    EXPECT_EQ(firmwarePixels.Pixel(0, 0), 0x00FF00u);
    EXPECT_EQ(firmwarePixels.Pixel(firmwarePixels.width - 1, firmwarePixels.height - 1), 0x00FF00u);
    int dark = 0;
    for (std::uint32_t pixel : firmwarePixels.pixels) dark += (pixel >> 8 & 0xFF) < 100;
    EXPECT_GT(dark, 0) << "no text on the firmware label";
    RecordProperty("frame", std::to_string(frame.width) + "x" + std::to_string(frame.height));
}

TEST_F(DesktopWindowTest, TheLongestStatusTextIsFullyVisible) {
    CQlxduoDlg dlg;  // no unit: the status line shows a failure
    const auto window = ShowFramed(dlg);
    ASSERT_NE(window, 0u);
    dlg.ShowStatus(status::kNotInSettingMode, StatusOutcome::Failure);
    const auto& label = Item<CStaticEx>(dlg, IDC_STATUS);
    const QRect inner = label.contentsRect();
    const ScreenRect rect = OnScreen(dlg, window, IDC_STATUS);
    const auto whole = DrawnUnlimited(QString::fromUtf8(status::kNotInSettingMode), label.font(),
                                      QColor(255, 0, 0), inner.height());
    const auto [wholeFirst, wholeLast] = InkColumns(whole, QColor(255, 0, 0));
    std::pair<int, int> ink{-1, -1};
    (void)QTest::qWaitFor(
        [&] {
            ink = InkColumns(
                s_desktop->Grab({rect.x + inner.x(), rect.y + inner.y(), inner.width(), inner.height()}),
                QColor(255, 0, 0));
            return ink.second - ink.first == wholeLast - wholeFirst;
        },
        kDeadlineMs);
    const auto [first, last] = ink;
    ASSERT_NE(first, -1);
    EXPECT_LT(last, inner.width() - 1) << "the text runs to the label's edge";
    EXPECT_EQ(last - first, wholeLast - wholeFirst)
        << "shown " << last - first << " of " << wholeLast - wholeFirst << " pixels";
    RecordProperty("longestStatus", std::to_string(wholeLast - wholeFirst + 1) + " of " +
                                        std::to_string(inner.width()) + " pixels");
}

TEST_F(DesktopWindowTest, OpenedListsKeepToTheTemplateHeightAndScroll) {
    testenv::SimProcess sim({"--firmware", "1.03"});
    dlgtest::MakeCom1(sim);
    CQlxduoDlg dlg;
    ASSERT_NE(ShowFramed(dlg), 0u);
    dlg.EnableControl(WindowControl::FormatGroup, true);
    const QFontMetrics metrics(dlg.font());
    const int unitY = metrics.height();
    const auto down = [&](int du) { return static_cast<int>(std::lround(du * unitY / 8.0)); };
    for (const res::ControlTemplate& control : res::FindDialogTemplate(IDD_QLXDUO_DIALOG)->controls) {
        if (control.kind != res::ControlKind::DropDownList) continue;
        SCOPED_TRACE(control.id);
        auto& list = Item<QComboBox>(dlg, control.id);
        list.setEnabled(true);
        const int listHeight = down(control.y + control.height) - down(control.y) - list.height();
        list.showPopup();
        QWidget* popup = list.view()->window();
        ASSERT_TRUE(QTest::qWaitFor([&] { return s_desktop->IsViewable(popup->winId()); }, kDeadlineMs));
        const ScreenRect shown = s_desktop->ClientGeometry(popup->winId());
        const bool long_ = list.count() >= 20;
        const bool scrolls = QTest::qWaitFor([&] { return list.view()->verticalScrollBar()->isVisible(); },
                                             long_ ? kDeadlineMs : 100);
        RecordProperty("list" + std::to_string(control.id),
                       std::to_string(shown.height) + " of " + std::to_string(listHeight));
        if (list.count() >= 20) {
            EXPECT_EQ(shown.height, listHeight) << list.count() << " entries";
            EXPECT_TRUE(scrolls);
        } else {
            EXPECT_LE(shown.height, listHeight) << list.count() << " entries";
            EXPECT_FALSE(scrolls);
        }
        list.hidePopup();
        ASSERT_TRUE(QTest::qWaitFor([&] { return !s_desktop->IsViewable(popup->winId()); }, kDeadlineMs));
    }
}

TEST_F(DesktopWindowTest, FrameOffersCaptionMenuMinimiseAndCloseOnly) {
    CQlxduoDlg dlg;
    const auto window = ShowFramed(dlg);
    ASSERT_NE(window, 0u);
    // flags: functions and decorations; functions: move, minimise, close; decorations: border,
    // title, menu, minimise. Neither sizing nor maximising.
    EXPECT_EQ(s_desktop->Cardinals(window, "_MOTIF_WM_HINTS"),
              (std::vector<std::uint32_t>{0x3, 0x2c, 0x3a, 0, 0}));
    const auto actions = s_desktop->AtomNames(window, "_NET_WM_ALLOWED_ACTIONS");
    const auto offers = [&](const char* action) {
        return std::find(actions.begin(), actions.end(), action) != actions.end();
    };
    for (const char* action : {"_NET_WM_ACTION_MOVE", "_NET_WM_ACTION_MINIMIZE", "_NET_WM_ACTION_CLOSE"})
        EXPECT_TRUE(offers(action)) << action;
    for (const char* action :
         {"_NET_WM_ACTION_RESIZE", "_NET_WM_ACTION_MAXIMIZE_HORZ", "_NET_WM_ACTION_MAXIMIZE_VERT"})
        EXPECT_FALSE(offers(action)) << action;
}

TEST_F(DesktopWindowTest, CloseAsksOnTheDesktopAndWritesTheSettings) {
    testenv::SimProcess sim({});
    dlgtest::MakeCom1(sim);
    CQlxduoDlg dlg;
    const auto window = ShowFramed(dlg);
    ASSERT_NE(window, 0u);
    ASSERT_TRUE(dlg.IsConnected());
    const ScreenRect frame = s_desktop->FrameGeometry(window);

    // The question is a real window on the desktop; it is answered OK once the user could see it.
    QString question;
    QTimer answer;
    QObject::connect(&answer, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr ||
            s_desktop->FindWindow(QCoreApplication::applicationName().toStdString(), 0) == 0)
            return;
        question = box->text();
        box->button(QMessageBox::Ok)->click();
    });
    answer.start(20);
    s_desktop->RequestClose(window);  // the window manager's close button
    ASSERT_TRUE(QTest::qWaitFor([&] { return !dlg.isVisible(); }, kDeadlineMs));
    answer.stop();

    EXPECT_EQ(question, QString::fromUtf8(status::kCloseQuestion).replace("\r\n", "\n"));
    EXPECT_TRUE(sim.ReceivedBytes().ends_with("AG B\r\nE\r\n")) << sim.ReceivedBytes();
    const auto stored = dlgsettings::ReadWindowPos(dlgtest::SettingsFile());
    EXPECT_EQ(stored.left, frame.x);
    EXPECT_EQ(stored.top, frame.y);
    EXPECT_NE(testenv::ReadFile(dlgtest::SettingsFile()).find("com=1"), std::string::npos);
}

// Where nothing is stored (a first start), the frame is centred, as in the Win32 window.
TEST_F(DesktopWindowTest, StoredPositionIsKeptOnlyWhenTheWholeFrameFits) {
    CQlxduoDlg probe;  // the frame's size on this desktop
    const auto probeWindow = ShowFramed(probe);
    ASSERT_NE(probeWindow, 0u);
    const ScreenRect size = s_desktop->FrameGeometry(probeWindow);
    const ScreenRect client = s_desktop->ClientGeometry(probeWindow);
    probe.hide();
    const ScreenRect work = s_desktop->WorkArea();
    ASSERT_GT(size.height, client.height) << "the window manager drew no frame";
    const int centredY = work.y + (work.height - size.height) / 2;
    const int centredX = work.x + (work.width - size.width) / 2;

    struct Case {
        const char* name;
        std::optional<int> left, top;
        int expectedLeft, expectedTop;
    };
    const Case cases[] = {
        {"nothing stored", std::nullopt, std::nullopt, centredX, centredY},
        {"left only", 40, std::nullopt, 40, centredY},
        {"fits", 40, 30, 40, 30},
        {"frame touches the bottom-right corner", work.Right() - size.width, work.Bottom() - size.height,
         work.Right() - size.width, work.Bottom() - size.height},
        {"inside fits, frame's bottom does not", 40, work.Bottom() - client.height, 40, centredY},
        {"inside fits, frame's right does not", work.Right() - client.width, 30, centredX, 30},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        StorePosition(c.left, c.top);
        CQlxduoDlg dlg;
        const auto window = ShowFramed(dlg);
        ASSERT_NE(window, 0u);
        const ScreenRect expected{c.expectedLeft, c.expectedTop, size.width, size.height};
        EXPECT_TRUE(
            QTest::qWaitFor([&] { return s_desktop->FrameGeometry(window) == expected; }, kDeadlineMs))
            << s_desktop->FrameGeometry(window).x << "," << s_desktop->FrameGeometry(window).y;
    }
}

// The COM list follows the units plugged in and out while the window runs, not connected: the
// unit it remembers does not answer. A unit plugged in is offered without the list being opened,
// and is the one that a connect reaches once picked in the opened list; while connected nothing
// changes. A unit unplugged leaves the list unless it is the one selected, and one plugged in is
// there as soon as the list opens.
TEST_F(DesktopWindowTest, TheComListFollowsUnitsPluggedInAndOut) {
    // The items, "COM1 COM5".
    const auto ports = [](const QComboBox& list) {
        QStringList items;
        for (int i = 0; i < list.count(); ++i) items << list.itemText(i);
        return items.join(' ').toStdString();
    };
    for (const bool plug : {true, false}) {
        SCOPED_TRACE(plug ? "plugged in" : "unplugged");
        testenv::SimProcess silent({"--silent"});
        dlgtest::MakeCom1(silent);
        auto com5 = std::make_unique<testenv::SimProcess>(std::vector<std::string>{"--com", "5"});
        CQlxduoDlg dlg;
        ASSERT_NE(ShowFramed(dlg), 0u);
        ASSERT_FALSE(dlg.IsConnected());
        auto& list = Item<CComboBoxCom>(dlg, IDC_COM);
        ASSERT_EQ(ports(list), "COM1 COM5");
        if (!plug) {
            com5.reset();
            EXPECT_TRUE(QTest::qWaitFor([&] { return ports(list) == "COM1"; }, kDeadlineMs)) << ports(list);
            EXPECT_EQ(list.GetSelectedPort(), 1);
            // Opened before the system's news is taken, the list reads the ports itself.
            testenv::SimProcess com6({"--com", "6"});
            list.showPopup();
            EXPECT_EQ(ports(list), "COM1 COM6");
            list.hidePopup();
            continue;
        }
        testenv::SimProcess com9({"--com", "9"});
        ASSERT_TRUE(QTest::qWaitFor([&] { return ports(list).ends_with("COM9"); }, kDeadlineMs))
            << ports(list);
        EXPECT_EQ(ports(list), "COM1 COM5 COM9");
        EXPECT_EQ(list.GetSelectedPort(), 1) << "the port selected stays";
        EXPECT_EQ(list.itemData(2, Qt::ToolTipRole).toString().toStdString(), com9.DevicePath());

        // Picked in the opened list as a user does, then connect.
        list.showPopup();
        QWidget* popup = list.view()->window();
        ASSERT_TRUE(QTest::qWaitFor([&] { return s_desktop->IsViewable(popup->winId()); }, kDeadlineMs));
        if (const char* folder = std::getenv("QLXDUO_GRAB_DIR")) {
            EXPECT_TRUE(QTest::qWaitForWindowExposed(popup));
            s_desktop->Grab().SavePng(std::string(folder) + "/com-list-plugged.png");
        }
        const QRect item = list.view()->visualRect(list.view()->model()->index(2, 0));
        QTest::mouseClick(list.view()->viewport(), Qt::LeftButton, {}, item.center());
        ASSERT_TRUE(QTest::qWaitFor([&] { return !s_desktop->IsViewable(popup->winId()); }, kDeadlineMs));
        ASSERT_EQ(list.GetSelectedPort(), 9);
        Item<QPushButton>(dlg, IDC_CONNECT).click();
        EXPECT_TRUE(com9.ReceivedBytes().starts_with("I\r\n")) << com9.ReceivedBytes();
        ASSERT_TRUE(dlg.IsConnected());

        // Connected: neither the list opening nor the system's news changes it.
        com5.reset();
        testenv::SimProcess com4({"--com", "4"});
        dlg.RefreshComList();
        dlg.TakePortNews();
        EXPECT_EQ(ports(list), "COM1 COM5 COM9");
        EXPECT_EQ(list.GetSelectedPort(), 9);
    }
}

}  // namespace
