// SPDX-License-Identifier: MIT
// The main window's core on controls that are plain data: what each window operation of the
// workflow does to which control, the start-up after the dialog base's initialisation, and the
// remembered COM port in a real settings file. Runs on both systems; the toolkits' window tests
// check that their controls show the same.
#include "ui/qlxduowindow.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "fakelist.h"
#include "testenv.h"

namespace {

constexpr colours::ColourRef kButtonFace = colours::FromRgb(0xD4, 0xD0, 0xC8);
constexpr colours::ColourRef kWindowText = colours::FromRgb(1, 2, 3);
// No system here has a device behind this number.
constexpr int kAbsentCom = 200;

class FakeLabel : public CColourLabel {
public:
    FakeLabel() : CColourLabel(kButtonFace, kWindowText) {}
    std::vector<std::string> texts;  // every text it was given
    int redraws = 0;

    void SetLabelText(const std::string& text) override { texts.push_back(text); }
    std::string Text() const { return texts.empty() ? "" : texts.back(); }

protected:
    void Redraw() override { ++redraws; }
};

// The COM ports present: COM3 and the absent port's number, until a test changes them.
class FakeComList : public CFakeList<CComPortList> {
public:
    explicit FakeComList(int bDetect) {
        present = {"COM3", "COM" + std::to_string(kAbsentCom)};
        Detect(bDetect, [] {
            std::vector<platform::SerialPortEntry> entries;
            for (const std::string& name : present) entries.push_back({name, "/dev/" + name});
            return entries;
        });
    }
    static inline std::vector<std::string> present;
};

struct FakeControls {
    struct Plain {};
    using Static = Plain;
    using Button = Plain;
    using List = CFakeList<CChoiceList>;
    using BaudList = CFakeList<CBaudList>;
    using ComList = FakeComList;
    using ColourLabel = FakeLabel;
    static colours::ColourRef ButtonFace() { return kButtonFace; }
};

// The window on those controls, with its settings file where the dialog base finds it.
class FakeWindow : public CSettingsLocation, public CQlxduoWindow<FakeControls> {
public:
    FakeWindow()
        : CSettingsLocation(qlxduodlg::kAppSubFolder),
          CQlxduoWindow(static_cast<const CSettingsLocation&>(*this)) {
        m_bpsA.FillAll();  // as binding does
        m_bpsB.FillAll();
    }
    // What the dialog base's initialisation does before the start-up.
    void Locate() { ASSERT_TRUE(LocateSettingsAndRestorePosition()); }
    using CQlxduoWindow::m_com;
    using CQlxduoWindow::m_dataLenA;
    using CQlxduoWindow::m_firmware;
    using CQlxduoWindow::m_flowB;
    using CQlxduoWindow::m_formatA;
    using CQlxduoWindow::m_parityB;
    using CQlxduoWindow::m_status;
    using CQlxduoWindow::m_stopBitsA;
    using CQlxduoWindow::StartUp;

    std::map<int, bool> enabled;
    std::string details;
    int devicesShown = 0;

    void ShowStatusDetails(const std::string& text) override { details = text; }
    void FocusConnectButton() override {}
    bool AskOkCancel(const std::string&) override { return true; }
    void CloseWindow() override {}

protected:
    void EnableItem(int id, bool enable) override { enabled[id] = enable; }
    // News of the system's ports is taken only when the test asks.
    void WatchPorts(std::intptr_t) override {}
    void ShowComDevices() override { ++devicesShown; }
    void LoadWindowPos(const std::string&) override {}
    void ShowFailureMessage(const std::string& message) override { ADD_FAILURE() << message; }
};

TEST(QlxduoWindow, StartUpShowsDisconnectedFillsTheListsAndConnectsToTheRememberedPort) {
    FakeWindow window;
    window.Locate();
    testenv::WriteFile(window.SettingsFilePath(), "[com]\r\ncom=" + std::to_string(kAbsentCom) + "\r\n");
    window.StartUp();

    // Black, "disconnected" in yellow, then the port that does not open in red.
    const FakeLabel& status = window.m_status;
    EXPECT_EQ(status.texts, (std::vector<std::string>{"切断", "COM200がオープンできません"}));
    EXPECT_EQ(status.BackColor(), colours::kBlack);
    EXPECT_EQ(status.TextColor(), colours::kRed);
    EXPECT_EQ(status.redraws, 3);
    EXPECT_NE(window.details.find("COM200"), std::string::npos) << window.details;
    EXPECT_EQ(window.m_com.texts, (std::vector<std::string>{"COM3", "COM200"}));
    EXPECT_EQ(window.GetSelectedPort(), kAbsentCom);
    EXPECT_FALSE(window.IsConnected());

    struct Fixed {
        const CFakeList<CChoiceList>& list;
        std::vector<std::string> texts;
    };
    const Fixed fixed[] = {
        {window.m_dataLenA, {"8bit", "7bit"}},
        {window.m_parityB, {"non", "odd", "even"}},
        {window.m_stopBitsA, {"1bit", "2bit"}},
        {window.m_flowB, {"non", "RTS/CTS", "XON/XOFF"}},
        {window.m_formatA, {"0:変換なし", "フォーマット1", "フォーマット2"}},
    };
    for (const Fixed& f : fixed) {
        EXPECT_EQ(f.list.texts, f.texts);
        EXPECT_EQ(f.list.SelectedIndex(), -1)
            << f.texts.front() << ": nothing selected before the first read";
    }
}

// Once started, the COM list follows the ports present whenever the list is opened or the system
// tells of a change, and what shows the selected port's device follows the list.
TEST(QlxduoWindow, TheComListFollowsThePortsPresentOnceStarted) {
    FakeWindow window;
    window.Locate();
    testenv::WriteFile(window.SettingsFilePath(), "[com]\r\ncom=" + std::to_string(kAbsentCom) + "\r\n");
    FakeComList::present.push_back("COM5");
    window.RefreshComList();
    EXPECT_TRUE(window.m_com.texts.empty()) << "not filled before the start-up";
    window.StartUp();
    EXPECT_EQ(window.m_com.texts, (std::vector<std::string>{"COM3", "COM200"}))
        << "at start, the ports present as the window was made";
    ASSERT_FALSE(window.IsConnected());

    FakeComList::present = {"COM3", "COM7"};
    window.TakePortNews();
    EXPECT_EQ(window.m_com.texts, (std::vector<std::string>{"COM3", "COM7", "COM200"}));
    EXPECT_EQ(window.GetSelectedPort(), kAbsentCom) << "the port selected stays";
    EXPECT_EQ(window.devicesShown, 1);
    window.RefreshComList();
    EXPECT_EQ(window.devicesShown, 1) << "nothing changed, nothing to show";
    FakeComList::present = {"COM7"};
    window.m_com.SelectIndex(1);
    window.RefreshComList();
    EXPECT_EQ(window.m_com.texts, (std::vector<std::string>{"COM7"}));
    EXPECT_EQ(window.GetSelectedPort(), 7);
    EXPECT_EQ(window.devicesShown, 2);
}

TEST(QlxduoWindow, EachWindowOperationActsOnItsControls) {
    FakeWindow window;
    window.Locate();

    struct Shown {
        StatusOutcome outcome;
        colours::ColourRef colour;
    };
    for (const Shown& shown :
         {Shown{StatusOutcome::Success, colours::kGreen}, Shown{StatusOutcome::Failure, colours::kRed},
          Shown{StatusOutcome::Neutral, colours::kYellow}}) {
        const int redraws = window.m_status.redraws;
        window.ShowStatus("text", shown.outcome);
        EXPECT_EQ(window.m_status.Text(), "text");
        EXPECT_EQ(window.m_status.TextColor(), shown.colour);
        EXPECT_EQ(window.m_status.redraws, redraws + 1) << "repainted at once";
    }

    window.SetFirmwareLabel("V1.03");
    EXPECT_EQ(window.m_firmware.Text(), "V1.03");
    EXPECT_EQ(window.m_firmware.BackColor(), colours::kGreen);
    EXPECT_EQ(window.m_firmware.TextColor(), kWindowText);
    window.ClearFirmwareLabel();
    EXPECT_EQ(window.m_firmware.Text(), "");
    EXPECT_EQ(window.m_firmware.BackColor(), kButtonFace);
    EXPECT_EQ(window.m_firmware.redraws, 2);

    window.StartUp();  // fills the lists
    struct Position {
        UnitPort port;
        PositionField field;
        int select;
        int selected;
    };
    const Position positions[] = {
        {UnitPort::A, PositionField::Parity, 2, 2},  {UnitPort::B, PositionField::Parity, 1, 1},
        {UnitPort::A, PositionField::Format, 3, -1},  // outside the list: nothing selected
        {UnitPort::B, PositionField::Flow, -2, -1},  {UnitPort::B, PositionField::StopBits, 1, 1},
    };
    for (const Position& p : positions) {
        window.SelectPosition(p.port, p.field, p.select);
        EXPECT_EQ(window.SelectedPosition(p.port, p.field), p.selected) << p.select;
    }
    EXPECT_EQ(window.SelectedPosition(UnitPort::A, PositionField::Parity), 2) << "each port its own list";

    window.RefillBaudLists(101);
    window.SelectBaudCode(UnitPort::A, 33);
    window.SelectBaudCode(UnitPort::B, 44);  // not offered by 1.01: the first stays
    EXPECT_EQ(window.SelectedBaudCode(UnitPort::A), 33);
    EXPECT_EQ(window.SelectedBaudCode(UnitPort::B), 8);

    struct Switch {
        WindowControl control;
        std::vector<int> ids;
    };
    const Switch switches[] = {
        {WindowControl::ComList, {IDC_COM}},
        {WindowControl::ConnectButton, {IDC_CONNECT}},
        {WindowControl::WriteButton, {IDC_WRITE}},
        {WindowControl::FormatGroup,
         {IDC_FORMAT_A, IDC_FORMAT_B, IDC_LETTER_A, IDC_LETTER_B, IDC_ARROW_A_IN, IDC_ARROW_A_OUT,
          IDC_ARROW_B_IN, IDC_ARROW_B_OUT}},
    };
    for (const Switch& s : switches) {
        for (bool enable : {true, false}) {
            window.enabled.clear();
            window.EnableControl(s.control, enable);
            std::map<int, bool> expected;
            for (int id : s.ids) expected[id] = enable;
            EXPECT_EQ(window.enabled, expected) << s.ids.front();
        }
    }

    window.m_com.selected = 0;
    window.SaveComPort();
    EXPECT_EQ(testenv::ReadFile(window.SettingsFilePath()), "[com]\r\ncom=3\r\n");
}

}  // namespace
