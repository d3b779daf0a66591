// SPDX-License-Identifier: MIT
// The settings window on the offscreen platform against the simulated unit on a pseudo-terminal:
// start-up, reconnect with another firmware, write, the close question and a picture of the window.
#include "ui/qt/qlxduodlg.h"

#include <gtest/gtest.h>

#include <QAccessible>
#include <QComboBox>
#include <QFontInfo>
#include <QFontMetrics>
#include <QGroupBox>
#include <QImage>
#include <QPushButton>
#include <QTest>
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "dlghelpers.h"
#include "link/statustexts.h"
#include "platform/userfolders.h"
#include "ports/comportmap.h"
#include "res/qlxduo_template.h"
#include "testenv.h"
#include "tests/ui/expectedwindow.h"
#include "ui/labeltexts.h"
#include "ui/qt/messagebox.h"
#include "uitestapp.h"

namespace {

using dlgtest::AnsweredBoxes;
using dlgtest::kUnitA;
using dlgtest::kUnitB;

using dlgtest::Item;

QStringList Texts(const QComboBox& list) {
    QStringList texts;
    for (int i = 0; i < list.count(); ++i) texts << list.itemText(i);
    return texts;
}

class QlxduoDlgTest : public ::testing::Test {
protected:
    void SetUp() override {
        uitest::EnsureApp();
        std::filesystem::remove_all(SettingsFolder());  // no port map or settings from an earlier test
    }

    static std::string SettingsFolder() { return dlgtest::SettingsFolder(); }
    static std::string SettingsFile() { return dlgtest::SettingsFile(); }
    static void MakeCom1(const testenv::SimProcess& sim) { dlgtest::MakeCom1(sim); }
};

struct Selection {
    int id;
    QString text;
};

TEST_F(QlxduoDlgTest, StartUpWithAUnitPresentShowsItsValues) {
    testenv::SimProcess sim({"--firmware", "1.03", "--a", kUnitA, "--b", kUnitB});
    MakeCom1(sim);
    CQlxduoDlg dlg;
    dlg.show();

    EXPECT_EQ(dlg.windowTitle(), QString::fromUtf8(expectedwindow::kCaption));
    EXPECT_FALSE(dlg.windowIcon().isNull());
    for (const expectedwindow::Selection& s : expectedwindow::kSelections)
        EXPECT_EQ(Item<QComboBox>(dlg, s.id).currentText(), QString::fromUtf8(s.text)) << s.id;
    EXPECT_EQ(Item<QComboBox>(dlg, IDC_COM).currentText(), "COM1");
    EXPECT_EQ(Texts(Item<QComboBox>(dlg, IDC_FLOW_A)), QStringList({"non", "RTS/CTS", "XON/XOFF"}));
    EXPECT_EQ(Texts(Item<QComboBox>(dlg, IDC_FORMAT_B)),
              QStringList({"0:変換なし", "フォーマット1", "フォーマット2"}));
    for (int id : {IDC_BPS_A, IDC_BPS_B})
        EXPECT_EQ(Item<QComboBox>(dlg, id).count(), expectedwindow::kBaudRates);

    auto& firmware = Item<CStaticEx>(dlg, IDC_FIRMWARE);
    EXPECT_EQ(firmware.text(), expectedwindow::kFirmwareLabel);
    EXPECT_EQ(firmware.BackColor(), RGB(0, 255, 0));
    EXPECT_EQ(firmware.TextColor(), SysColor(QPalette::WindowText));
    auto& status = Item<CStaticEx>(dlg, IDC_STATUS);
    EXPECT_EQ(status.text(), "パラメータ読み込み成功");
    EXPECT_EQ(status.TextColor(), RGB(0, 255, 0));
    EXPECT_EQ(status.BackColor(), RGB(0, 0, 0));

    for (const expectedwindow::State& state : expectedwindow::kEnabled)
        EXPECT_EQ(dlg.GetDlgItem(state.id)->isEnabled(), state.enabled) << state.id;
    EXPECT_EQ(sim.ReceivedBytes(), expectedwindow::kConnectWire);
    EXPECT_TRUE(dlg.IsConnected());
}

TEST_F(QlxduoDlgTest, StartUpWithASilentUnitLeavesTheWindowUnconnected) {
    testenv::SimProcess sim({"--silent"});
    MakeCom1(sim);
    CQlxduoDlg dlg;
    dlg.show();

    auto& com = Item<QComboBox>(dlg, IDC_COM);
    EXPECT_GE(com.count(), 1);
    EXPECT_EQ(com.currentText(), "COM1");
    for (int id : {IDC_BPS_A, IDC_BPS_B}) {
        EXPECT_EQ(Item<QComboBox>(dlg, id).count(), 28) << id;
        EXPECT_EQ(Item<QComboBox>(dlg, id).currentText(), "110bps") << id;
    }
    const std::pair<int, int> unselected[] = {
        {IDC_DATALEN_A, 2}, {IDC_PARITY_A, 3}, {IDC_STOPBITS_A, 2}, {IDC_FLOW_A, 3}, {IDC_FORMAT_A, 3},
        {IDC_DATALEN_B, 2}, {IDC_PARITY_B, 3}, {IDC_STOPBITS_B, 2}, {IDC_FLOW_B, 3}, {IDC_FORMAT_B, 3},
    };
    for (const auto& [id, count] : unselected) {
        EXPECT_EQ(Item<QComboBox>(dlg, id).count(), count) << id;
        EXPECT_EQ(Item<QComboBox>(dlg, id).currentIndex(), -1) << id;
    }
    auto& firmware = Item<CStaticEx>(dlg, IDC_FIRMWARE);
    EXPECT_EQ(firmware.text(), "");
    auto& status = Item<CStaticEx>(dlg, IDC_STATUS);
    EXPECT_EQ(status.text(), "通信エラー：QLX-DUO本体が設定モードになっていることを確認してください");
    EXPECT_EQ(status.TextColor(), RGB(255, 0, 0));
    EXPECT_EQ(status.BackColor(), RGB(0, 0, 0));
    const std::pair<int, bool> enabled[] = {
        {IDC_WRITE, false}, {IDC_COM, true}, {IDC_CONNECT, true}, {IDC_FORMAT_B, false}, {IDC_BPS_A, true},
    };
    for (const auto& [id, on] : enabled) EXPECT_EQ(dlg.GetDlgItem(id)->isEnabled(), on) << id;
    EXPECT_FALSE(dlg.IsConnected());
}

TEST_F(QlxduoDlgTest, OpenFailureExplainsTheDeviceInTheTooltip) {
    testenv::TempDir dir;
    testenv::WriteFile(dir.File("fake-tty"), "");  // present, but no serial device
    ASSERT_TRUE(platform::ComPortMap::ForCurrentUser().Register(1, dir.File("fake-tty")));
    CQlxduoDlg dlg;
    dlg.show();

    auto& status = Item<CStaticEx>(dlg, IDC_STATUS);
    EXPECT_EQ(status.text(), "COM1がオープンできません");
    EXPECT_EQ(status.TextColor(), RGB(255, 0, 0));
    EXPECT_TRUE(status.toolTip().contains(QString::fromStdString(dir.File("fake-tty"))))
        << status.toolTip().toStdString();
}

TEST_F(QlxduoDlgTest, ReconnectNarrowsOrWidensTheBaudLists) {
    struct Case {
        const char* firmware;
        int rates;
        bool formatGroup;
    } cases[] = {{"1.01", 26, true}, {"1.03", 28, false}, {"1.01", 26, true}};
    // COM1 is offered from the start, whatever serial devices this machine has, but no unit answers
    // there yet: the first connect fails.
    testenv::TempDir dir;
    testenv::WriteFile(dir.File("fake-tty"), "");
    ASSERT_TRUE(platform::ComPortMap::ForCurrentUser().Register(1, dir.File("fake-tty")));
    CQlxduoDlg dlg;
    dlg.show();
    for (const Case& c : cases) {
        testenv::SimProcess sim({"--firmware", c.firmware, "--a", kUnitA, "--b", kUnitB});
        MakeCom1(sim);
        Item<QPushButton>(dlg, IDC_CONNECT).click();
        ASSERT_TRUE(dlg.IsConnected()) << c.firmware;
        EXPECT_EQ(Item<CStaticEx>(dlg, IDC_FIRMWARE).text(), QString("V") + c.firmware);
        for (int id : {IDC_BPS_A, IDC_BPS_B}) {
            const auto& list = Item<QComboBox>(dlg, id);
            EXPECT_EQ(list.count(), c.rates) << c.firmware;
            EXPECT_EQ(list.findText("200bps") >= 0, c.rates == 28) << c.firmware;
            EXPECT_EQ(list.findText("10400bps") >= 0, c.rates == 28) << c.firmware;
        }
        EXPECT_EQ(Item<QComboBox>(dlg, IDC_BPS_A).currentText(), "9600bps");
        for (int id : {IDC_FORMAT_A, IDC_FORMAT_B, IDC_LETTER_A, IDC_ARROW_B_OUT}) {
            EXPECT_EQ(dlg.GetDlgItem(id)->isEnabled(), c.formatGroup) << c.firmware << " " << id;
        }
        dlg.Disconnect();
        EXPECT_FALSE(dlg.GetDlgItem(IDC_FORMAT_A)->isEnabled());
        EXPECT_EQ(Item<CStaticEx>(dlg, IDC_STATUS).text(), "切断");
        EXPECT_EQ(Item<CStaticEx>(dlg, IDC_STATUS).TextColor(), RGB(255, 255, 0));
    }
}

TEST_F(QlxduoDlgTest, WriteSendsTheChangedValues) {
    testenv::SimProcess sim({"--firmware", "1.03", "--a", kUnitA, "--b", kUnitB});
    MakeCom1(sim);
    CQlxduoDlg dlg;
    dlg.show();
    ASSERT_TRUE(dlg.IsConnected());
    const Selection changes[] = {
        {IDC_FORMAT_A, "フォーマット2"}, {IDC_FLOW_A, "RTS/CTS"},  {IDC_DATALEN_A, "7bit"},
        {IDC_BPS_A, "10400bps"},         {IDC_STOPBITS_A, "2bit"}, {IDC_PARITY_A, "odd"},
        {IDC_BPS_B, "200bps"},           {IDC_PARITY_B, "even"},
    };
    for (const Selection& c : changes) {
        auto& list = Item<QComboBox>(dlg, c.id);
        list.setCurrentIndex(list.findText(c.text));
    }
    Item<QPushButton>(dlg, IDC_WRITE).click();

    EXPECT_EQ(sim.ReceivedBytes(),
              "I\r\nV\r\nAG A\r\nAG B\r\nAS A 2,1,1,44,1,1\r\nAS B 0,0,1,43,1,2\r\nW 4172093615\r\n");
    EXPECT_EQ(Item<CStaticEx>(dlg, IDC_STATUS).text(), "パラメータ書き込み成功");
    EXPECT_EQ(Item<CStaticEx>(dlg, IDC_STATUS).TextColor(), RGB(0, 255, 0));
    EXPECT_TRUE(dlg.IsConnected());
}

TEST_F(QlxduoDlgTest, CloseWhileConnectedAsksFirst) {
    struct Case {
        QMessageBox::StandardButton answer;
        bool closes;
    } cases[] = {{QMessageBox::Cancel, false}, {QMessageBox::Ok, true}};
    for (const Case& c : cases) {
        std::filesystem::remove_all(SettingsFolder());
        testenv::SimProcess sim({});
        MakeCom1(sim);
        CQlxduoDlg dlg;
        dlg.show();
        ASSERT_TRUE(dlg.IsConnected());
        AnsweredBoxes boxes(c.answer);
        dlg.close();

        ASSERT_EQ(boxes.requests.size(), 1u);
        EXPECT_EQ(boxes.requests[0].text, "終了しますか？\r\n\r\n(QLX-DUO本体は通常モードに切り替わります)");
        EXPECT_EQ(boxes.requests[0].caption, QCoreApplication::applicationName());
        EXPECT_EQ(boxes.requests[0].icon, QMessageBox::Warning);
        EXPECT_EQ(boxes.requests[0].buttons, QMessageBox::Ok | QMessageBox::Cancel);
        EXPECT_EQ(dlg.isVisible(), !c.closes);
        EXPECT_EQ(dlg.IsConnected(), !c.closes);
        const std::string sent = sim.ReceivedBytes();
        EXPECT_EQ(sent.ends_with("AG B\r\nE\r\n"), c.closes) << sent;
        EXPECT_EQ(sent.ends_with("AG B\r\n"), !c.closes) << sent;
        // The port is free again only after OK; the window holds it exclusively while connected.
        CSerialPort other;
        EXPECT_EQ(other.Open(1, 115200, 8, 0, 0) != 0, c.closes);
        const std::string settings = testenv::ReadFile(SettingsFile());
        EXPECT_EQ(settings.find("[com]") != std::string::npos, c.closes) << settings;
        EXPECT_EQ(settings.find("com=1") != std::string::npos, c.closes) << settings;
        EXPECT_EQ(settings.find("[System]") != std::string::npos, c.closes) << settings;
    }
}

TEST_F(QlxduoDlgTest, EnterEscapeAndF1LeaveTheWindowAsItIs) {
    testenv::SimProcess sim({});
    MakeCom1(sim);
    CQlxduoDlg dlg;
    dlg.show();
    AnsweredBoxes boxes(QMessageBox::Ok);
    for (Qt::Key key : {Qt::Key_F1, Qt::Key_Escape, Qt::Key_Return}) {
        QTest::keyClick(&dlg, key);
        EXPECT_TRUE(dlg.isVisible()) << key;
        EXPECT_TRUE(dlg.IsConnected()) << key;
    }
    EXPECT_TRUE(boxes.requests.empty());
    EXPECT_EQ(sim.ReceivedBytes(), "I\r\nV\r\nAG A\r\nAG B\r\n");
}

// What a screen reader says for the lists and buttons, through the accessibility interface it
// queries; the labels keep their own texts and nothing shown changes.
TEST_F(QlxduoDlgTest, ListsAndButtonsHaveAccessibleNamesFromTheirLabels) {
    testenv::SimProcess sim({});
    MakeCom1(sim);
    CQlxduoDlg dlg;
    dlg.show();
    const Selection names[] = {
        {IDC_COM, "COMポート"},
        {IDC_CONNECT, "接続"},
        {IDC_BPS_A, "ボーレート A"},
        {IDC_FLOW_B, "フロー制御 B"},
        {IDC_WRITE, "パラメータ書き込み"},
        {IDC_FORMAT_B, "フォーマット変換 Ａ←Ｂ"},
        {IDC_STATUS, QString::fromUtf8(status::kReadSucceeded)},
    };
    for (const Selection& expected : names) {
        QWidget* item = dlg.GetDlgItem(expected.id);
        QAccessibleInterface* face = QAccessible::queryAccessibleInterface(item);
        ASSERT_NE(face, nullptr) << expected.id;
        // A list's name is its value here; the name it is given comes as its description.
        const bool list = face->role() == QAccessible::ComboBox;
        // The COM list's description goes on with the selected port's device.
        const QString device = expected.id == IDC_COM ? "\n" + QString::fromStdString(sim.DevicePath()) : "";
        EXPECT_EQ(face->text(list ? QAccessible::Description : QAccessible::Name), expected.text + device)
            << expected.id;
        if (list) {
            EXPECT_EQ(item->accessibleName(), expected.text) << expected.id;
        }
    }
    EXPECT_EQ(Item<QPushButton>(dlg, IDC_WRITE).text(), QStringLiteral("パラメータ\n書き込み"));
}

// Every text either label can show fits it whole in the font the label actually got.
TEST_F(QlxduoDlgTest, EveryStatusAndFirmwareTextFitsItsLabelWhole) {
    CQlxduoDlg dlg;
    dlg.show();
    const QStringList japaneseGothics = {"MS UI Gothic", "IPAPGothic", "Noto Sans CJK JP", "VL PGothic",
                                         "TakaoPGothic"};
    struct Case {
        int id;
        std::vector<std::string> texts;
    };
    const Case cases[] = {
        {IDC_STATUS, labeltexts::StatusLineTexts()},
        {IDC_FIRMWARE, labeltexts::FirmwareLabelTexts()},
    };
    for (const Case& c : cases) {
        const auto& label = Item<CStaticEx>(dlg, c.id);
        const QFontInfo chosen(label.font());
        EXPECT_TRUE(japaneseGothics.contains(chosen.family())) << chosen.family().toStdString();
        EXPECT_EQ(chosen.pointSize(), 9);
        const QFontMetrics metrics(label.font());
        const int room = label.contentsRect().width();
        int widest = 0;
        for (const std::string& text : c.texts) {
            const int width = metrics.horizontalAdvance(QString::fromStdString(text));
            widest = std::max(widest, width);
            EXPECT_LE(width, room) << text << " in " << chosen.family().toStdString();
        }
        RecordProperty("label" + std::to_string(c.id), chosen.family().toStdString() + ": widest " +
                                                           std::to_string(widest) + " of " +
                                                           std::to_string(room));
    }
    EXPECT_GE(labeltexts::StatusLineTexts().size(), 10u + 255u);
}

// The connected window as a picture, for the documentation and for comparing with the template.
TEST_F(QlxduoDlgTest, PictureOfTheConnectedWindow) {
    testenv::SimProcess sim({"--firmware", "1.03", "--a", kUnitA, "--b", kUnitB});
    MakeCom1(sim);
    CQlxduoDlg dlg;
    dlg.show();
    ASSERT_TRUE(dlg.IsConnected());
    const QImage image = dlg.grab().toImage();
    ASSERT_TRUE(image.save(QStringLiteral(QLXDUO_WINDOW_PICTURE)));

    const QRect status = dlg.GetDlgItem(IDC_STATUS)->geometry();
    const QRect firmware = dlg.GetDlgItem(IDC_FIRMWARE)->geometry();
    const qreal scale = image.devicePixelRatio();
    struct Probe {
        QPoint at;
        QColor colour;
    } probes[] = {
        {status.bottomRight() - QPoint(4, 4), Qt::black},  // right of the status text: background
        {firmware.topLeft() + QPoint(4, 4), QColor(0, 255, 0)},
    };
    for (const Probe& p : probes)
        EXPECT_EQ(image.pixelColor(p.at * scale), p.colour) << p.at.x() << "," << p.at.y();
}

}  // namespace
