// SPDX-License-Identifier: MIT
// qlxduo.exe, the Windows window, under Wine on a private desktop (Xvfb + openbox, its work area
// kept clear of a panel's strips on the left and at the top) against simulated units on the Linux
// side, mapped into a private prefix as COM ports. What the window holds is read through the
// system (windowprobe.exe in the same prefix), what it shows from the screen's pixels, what it
// sent from the units' received bytes; keys and clicks come from the X server as a user's would.
// Run from the Windows build's tests, which name its programs' folder in QLXDUO_WINDOWS_BIN and
// the prefix's folder in QLXDUO_WINE_PREFIX.
//
// The prefix is fenced: every COM number leads to a unit of the test or to nothing, never to this
// machine's own serial devices (a window that remembers no port opens COM1 and writes to it).
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <regex>
#include <sstream>

#include "link/statustexts.h"
#include "res/qlxduo_template.h"
#include "testenv.h"
#include "tests/ui/expectedwindow.h"
#include "ui/colours.h"
#include "ui/dialogunits.h"
#include "wineprefix.h"
#include "xdesktop.h"

namespace {

using testenv::ScreenRect;

constexpr int kDeadlineMs = testenv::kHangGuardMs;
const std::string kCaption = expectedwindow::kCaption;
const std::string kConnectWire = expectedwindow::kConnectWire;
const std::string kUnitA = expectedwindow::kUnitA;
const std::string kUnitB = expectedwindow::kUnitB;
const std::string kWriteWire = "AS A " + kUnitA + "\r\nAS B " + kUnitB + "\r\nW 4172093615\r\n";

constexpr int kMainCom = 7;
constexpr int kWriteCom = 8;
constexpr int kWriteRejectedCom = 14;
constexpr int kSilentCom = 10;
constexpr int kWrongIdentityCom = 11;
constexpr int kOldFirmwareCom = 12;  // 1.01, rejects "AG B"
constexpr int kNewFirmwareCom = 13;
constexpr int kNoUnitCom = 30;  // fenced: a COM number that leads nowhere
constexpr int kPluggedCom = 9;  // mapped and unmapped while the window runs
// The strips of a panel on the left and at the top of the screen, kept out of the work area.
constexpr int kPanelLeft = 48;
constexpr int kPanelTop = 32;

constexpr int kFormatGroup[] = {IDC_FORMAT_A,   IDC_FORMAT_B, IDC_LETTER_A,    IDC_ARROW_A_IN,
                                IDC_ARROW_B_IN, IDC_LETTER_B, IDC_ARROW_A_OUT, IDC_ARROW_B_OUT};

struct Control {
    int id = 0;
    std::string kind;
    bool enabled = false;
    ScreenRect rect;
    std::string text;
    int count = -1;
    int selected = -1;
    std::vector<std::string> items;
    std::string Selected() const {
        return selected >= 0 && selected < static_cast<int>(items.size()) ? items[selected] : "";
    }
};

struct Window {
    std::string hwnd;
    std::string caption;
    ScreenRect rect;  // outer rectangle, frame included
    std::map<int, Control> controls;
    std::vector<Control> all;           // every control, unnamed ones too
    int clientTop = 0;                  // the screen row of the inside's top
    std::vector<std::string> tooltips;  // what each of its tooltips shows, or showed last
};

std::vector<std::string> Fields(const std::string& line) {
    std::vector<std::string> fields;
    std::istringstream in(line);
    for (std::string field; std::getline(in, field, '\t');) fields.push_back(field);
    if (!line.empty() && line.back() == '\t') fields.emplace_back();
    return fields;
}

ScreenRect RectOf(const std::vector<std::string>& fields, size_t at) {
    const int left = std::stoi(fields[at]), top = std::stoi(fields[at + 1]);
    return {left, top, std::stoi(fields[at + 2]) - left, std::stoi(fields[at + 3]) - top};
}

std::vector<Window> ParseWindows(const std::string& out) {
    std::vector<Window> windows;
    std::istringstream lines(out);
    for (std::string line; std::getline(lines, line);) {
        const std::vector<std::string> f = Fields(line);
        if (f.size() >= 9 && f[0] == "window") {
            windows.push_back({f[1], f[2], RectOf(f, 3), {}, {}, std::stoi(f[8]), {}});
        } else if (f.size() >= 2 && f[0] == "tooltip" && !windows.empty()) {
            windows.back().tooltips.push_back(f[1]);
        } else if (f.size() >= 9 && f[0] == "control" && !windows.empty()) {
            Control control{std::stoi(f[1]), f[2], f[3] == "1", RectOf(f, 4), f[8], -1, -1, {}};
            if (f.size() >= 12) {
                control.count = std::stoi(f[9]);
                control.selected = std::stoi(f[10]);
                std::istringstream items(f[11]);
                for (std::string item; std::getline(items, item, '|');) control.items.push_back(item);
            }
            windows.back().all.push_back(control);
            if (control.id != -1) windows.back().controls[control.id] = control;
        }
    }
    return windows;
}

// The text as the probe escapes it: line breaks as \r and \n.
std::string Escaped(std::string text) {
    for (size_t at = 0; (at = text.find_first_of("\r\n", at)) != std::string::npos; at += 2)
        text.replace(at, 1, text[at] == '\r' ? "\\r" : "\\n");
    return text;
}

bool IsColour(std::uint32_t pixel, colours::ColourRef colour, int tolerance) {
    const int r = static_cast<int>(pixel >> 16 & 0xFF), g = static_cast<int>(pixel >> 8 & 0xFF),
              b = static_cast<int>(pixel & 0xFF);
    return std::abs(r - colours::Red(colour)) <= tolerance &&
           std::abs(g - colours::Green(colour)) <= tolerance &&
           std::abs(b - colours::Blue(colour)) <= tolerance;
}

int CountColour(const testenv::ScreenImage& image, colours::ColourRef colour, int tolerance = 60) {
    return static_cast<int>(std::count_if(image.pixels.begin(), image.pixels.end(), [&](std::uint32_t pixel) {
        return IsColour(pixel, colour, tolerance);
    }));
}

// First and last column that hold a pixel of that colour; -1 when none does.
std::pair<int, int> ColumnsOf(const testenv::ScreenImage& image, colours::ColourRef colour) {
    int first = -1, last = -1;
    for (int x = 0; x < image.width; ++x) {
        for (int y = 0; y < image.height; ++y) {
            if (!IsColour(image.Pixel(x, y), colour, 100)) continue;
            if (first < 0) first = x;
            last = x;
            break;
        }
    }
    return {first, last};
}

// The vertical dialog base unit the window was laid out with: the one that maps the template's
// rows onto where its named buttons and labels stand (0 when none does).
int VerticalBaseUnit(const Window& window) {
    for (int unit = 1; unit < 100; ++unit) {
        int matched = 0, missed = 0;
        for (const res::ControlTemplate& control : res::FindDialogTemplate(IDD_QLXDUO_DIALOG)->controls) {
            const auto shown = window.controls.find(control.id);
            if (control.kind == res::ControlKind::DropDownList || shown == window.controls.end()) continue;
            // The dialog manager maps a control's origin and size each on its own.
            const bool same =
                dlgunits::MulDiv(control.y, unit, 8) == shown->second.rect.y - window.clientTop &&
                dlgunits::MulDiv(control.height, unit, 8) == shown->second.rect.height;
            ++(same ? matched : missed);
        }
        if (matched > 0 && missed == 0) return unit;
    }
    return 0;
}

// Inside a sunken label's edge.
ScreenRect Inside(const ScreenRect& rect) {
    return {rect.x + 1, rect.y + 1, rect.width - 2, rect.height - 2};
}

class WineWindowTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (WindowsProgram().empty()) return;
        s_desktop = testenv::XDesktop::Start(1280, 1024, kPanelLeft, kPanelTop);
        s_display = std::make_unique<testenv::ScopedEnv>("DISPLAY", s_desktop->Display());
        const auto unit = [](int com, const std::vector<std::string>& more) {
            std::vector<std::string> options = {"--com", std::to_string(com), "--a", kUnitA, "--b", kUnitB};
            options.insert(options.end(), more.begin(), more.end());
            s_units[com] = std::make_unique<testenv::SimProcess>(options);
        };
        unit(kMainCom, {});
        unit(kWriteCom, {});
        unit(kWriteRejectedCom, {"--reject", "W"});
        unit(kSilentCom, {"--silent"});
        unit(kWrongIdentityCom, {"--identity", "QLX-12D"});
        unit(kOldFirmwareCom, {"--firmware", "1.01", "--reject", "AG B"});
        unit(kNewFirmwareCom, {});
        std::map<int, std::string> devices;
        for (const auto& [com, sim] : s_units) devices[com] = sim->DevicePath();
        s_prefix = std::make_unique<winetest::WinePrefix>(winetest::PrefixFolder(), devices,
                                                          winetest::WinePrefix::Ports::Fenced);
        // The prefix's desktop process starts with the first program that looks at windows and
        // keeps that program's output open: a probe, whose output is read to its end, must not be
        // the one that starts it.
        if (s_prefix->Ready()) {
            testenv::ChildProgram desktop(
                s_prefix->Command(winetest::WindowsProgram("windowprobe.exe"), {"window", kCaption}));
            desktop.WaitExit(kDeadlineMs);
        }
    }
    static void TearDownTestSuite() {
        s_prefix.reset();
        s_units.clear();
        s_display.reset();
        s_desktop.reset();
    }

    void SetUp() override {
        ASSERT_FALSE(WindowsProgram().empty()) << winetest::kNoWindowsPrograms;
        ASSERT_TRUE(s_prefix->Ready()) << "the Wine prefix could not be made";
        // Nothing but the units leads anywhere: above all not this machine's /dev/ttyS*.
        for (const auto& [name, target] : s_prefix->ComDevices()) {
            const bool ours = std::any_of(s_units.begin(), s_units.end(), [&](const auto& unit) {
                return unit.second->DevicePath() == target;
            });
            ASSERT_TRUE(ours) << name << " leads to " << target;
        }
        std::filesystem::remove_all(SettingsFolder());
    }
    // Without the Windows build (SetUp failed) there is nothing to end, and no prefix to look in.
    void TearDown() override {
        if (s_prefix) EndAll();
    }

    // Ends the programs started and waits for their windows to go, and with them their guards.
    void EndAll() {
        m_apps.clear();
        EXPECT_TRUE(Gone(kCaption));
    }

    static std::string WindowsProgram() { return winetest::WindowsProgram("qlxduo.exe"); }
    static std::string SettingsFolder() { return s_prefix->AppDataFolder() + "/Kestrelan/QLX-DUO"; }
    static std::string SettingsFile(const std::string& name = "qlxduo") {
        return SettingsFolder() + "/" + name + ".ini";
    }
    static void Remember(int com, const std::string& more = "") {
        std::filesystem::create_directories(SettingsFolder());
        testenv::WriteFile(SettingsFile(), "[com]\r\ncom=" + std::to_string(com) + "\r\n" + more);
    }

    // Starts a Windows program of the prefix; it is ended with the test.
    testenv::ChildProgram& Start(const std::string& program) {
        m_apps.push_back(std::make_unique<testenv::ChildProgram>(s_prefix->Command(program, {})));
        return *m_apps.back();
    }

    static std::vector<Window> Probe(const std::string& caption) {
        const auto run = s_prefix->Run(winetest::WindowsProgram("windowprobe.exe"), {"window", caption});
        return ParseWindows(run.out);
    }
    // The one window of that caption once condition holds for it.
    static std::optional<Window> WaitFor(const std::string& caption,
                                         const std::function<bool(const Window&)>& condition) {
        std::optional<Window> found;
        testenv::WaitUntil(
            [&] {
                const std::vector<Window> windows = Probe(caption);
                if (windows.size() == 1 && condition(windows.front())) found = windows.front();
                return found.has_value();
            },
            kDeadlineMs);
        return found;
    }
    static std::optional<Window> WaitForStatus(const std::string& text) {
        return WaitFor(kCaption, [&](const Window& w) {
            return w.controls.count(IDC_STATUS) != 0 && w.controls.at(IDC_STATUS).text == text;
        });
    }
    static bool Gone(const std::string& caption) {
        return testenv::WaitUntil([&] { return Probe(caption).empty(); }, kDeadlineMs);
    }

    // Keys through the X server to the window of that title, activated first.
    static void Keys(const std::string& title, const std::vector<std::string>& keys) {
        const auto window = s_desktop->FindWindow(title, kDeadlineMs);
        ASSERT_NE(window, 0u) << title;
        std::vector<std::string> command = {"/usr/bin/env",         "xdotool", "windowactivate", "--sync",
                                            std::to_string(window), "key",     "--delay",        "100"};
        command.insert(command.end(), keys.begin(), keys.end());
        const auto run = testenv::RunToEnd(command);
        ASSERT_EQ(run.status, 0) << run.err;
    }
    // Moves the mouse onto the rectangle, beside its middle (where a click leaves it): a tooltip
    // shows for a mouse that moved onto its tool and rests there.
    static void Point(const ScreenRect& rect) {
        const auto run = testenv::RunToEnd({"/usr/bin/env", "xdotool", "mousemove", "--sync",
                                            std::to_string(rect.x + rect.width / 2 + 2),
                                            std::to_string(rect.y + rect.height / 2)});
        ASSERT_EQ(run.status, 0) << run.err;
    }
    static void Click(const ScreenRect& rect) {
        const auto run = testenv::RunToEnd({"/usr/bin/env", "xdotool", "mousemove", "--sync",
                                            std::to_string(rect.x + rect.width / 2),
                                            std::to_string(rect.y + rect.height / 2), "click", "1"});
        ASSERT_EQ(run.status, 0) << run.err;
    }

    static std::string Received(int com) { return s_units.at(com)->ReceivedBytes(); }
    // What the unit received after it had received before.
    static std::string ReceivedSince(int com, const std::string& before) {
        return Received(com).substr(std::min(before.size(), Received(com).size()));
    }

    static void ExpectStatusColour(const Window& window, colours::ColourRef ink) {
        const testenv::ScreenImage status = s_desktop->Grab(Inside(window.controls.at(IDC_STATUS).rect));
        EXPECT_GT(CountColour(status, colours::kBlack, 20), status.width * status.height / 2)
            << "black background";
        EXPECT_GT(CountColour(status, ink), 20) << "text in the outcome's colour";
        for (colours::ColourRef other : {colours::kRed, colours::kGreen, colours::kYellow}) {
            if (other != ink) {
                EXPECT_EQ(CountColour(status, other, 40), 0);
            }
        }
    }

    static std::unique_ptr<testenv::XDesktop> s_desktop;
    static std::unique_ptr<testenv::ScopedEnv> s_display;
    static std::map<int, std::unique_ptr<testenv::SimProcess>> s_units;
    static std::unique_ptr<winetest::WinePrefix> s_prefix;
    std::vector<std::unique_ptr<testenv::ChildProgram>> m_apps;
};

std::unique_ptr<testenv::XDesktop> WineWindowTest::s_desktop;
std::unique_ptr<testenv::ScopedEnv> WineWindowTest::s_display;
std::map<int, std::unique_ptr<testenv::SimProcess>> WineWindowTest::s_units;
std::unique_ptr<winetest::WinePrefix> WineWindowTest::s_prefix;

TEST_F(WineWindowTest, StartUpReadsTheRememberedUnitAndShowsItsValues) {
    Remember(kMainCom);
    const std::string before = Received(kMainCom);
    Start(WindowsProgram());
    const auto window = WaitForStatus(status::kReadSucceeded);
    ASSERT_TRUE(window);
    EXPECT_EQ(ReceivedSince(kMainCom, before), kConnectWire);

    for (const expectedwindow::Selection& shown : expectedwindow::kSelections)
        EXPECT_EQ(window->controls.at(shown.id).Selected(), shown.text) << shown.id;
    EXPECT_EQ(window->controls.at(IDC_COM).Selected(), "COM7");
    EXPECT_EQ(window->controls.at(IDC_BPS_A).count, expectedwindow::kBaudRates);
    EXPECT_EQ(window->controls.at(IDC_BPS_B).count, expectedwindow::kBaudRates);
    EXPECT_EQ(window->controls.at(IDC_FIRMWARE).text, expectedwindow::kFirmwareLabel);
    for (const expectedwindow::State& state : expectedwindow::kEnabled)
        EXPECT_EQ(window->controls.at(state.id).enabled, state.enabled) << state.id;

    ExpectStatusColour(*window, colours::kGreen);
    const testenv::ScreenImage firmware = s_desktop->Grab(Inside(window->controls.at(IDC_FIRMWARE).rect));
    EXPECT_GT(CountColour(firmware, colours::kFirmwareHighlight, 20), firmware.width * firmware.height / 2);
    EXPECT_GT(CountColour(firmware, colours::kBlack, 100), 5) << "the version in the window-text colour";

    // The picture of the connected window, for the README.
    if (const char* picture = std::getenv("QLXDUO_WINDOW_PICTURE")) {
        const auto xwindow = s_desktop->FindWindow(kCaption, kDeadlineMs);
        ASSERT_TRUE(s_desktop->WaitFramed(xwindow, kDeadlineMs));
        EXPECT_TRUE(s_desktop->Grab(s_desktop->FrameGeometry(xwindow)).SavePng(picture));
    }
}

TEST_F(WineWindowTest, FailuresShowInRedAndLeaveThePortChoiceOpen) {
    struct Case {
        int com;
        const char* status;
        std::string wire;
        const char* firmware;
    };
    const Case cases[] = {
        {kSilentCom, status::kNotInSettingMode, "I\r\n", ""},
        {kWrongIdentityCom, status::kCommunicationError, "I\r\n", ""},
        {kOldFirmwareCom, status::kReadFailed, kConnectWire, "V1.01"},
        {kNoUnitCom, "COM30がオープンできません", "", ""},  // a number that leads to no device
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.status);
        Remember(c.com);
        const std::string before = c.com != kNoUnitCom ? Received(c.com) : "";
        Start(WindowsProgram());
        const auto window = WaitForStatus(c.status);
        ASSERT_TRUE(window);
        if (c.com != kNoUnitCom) {
            EXPECT_EQ(ReceivedSince(c.com, before), c.wire);
        }
        EXPECT_EQ(window->controls.at(IDC_FIRMWARE).text, c.firmware);
        EXPECT_TRUE(window->controls.at(IDC_COM).enabled);
        EXPECT_TRUE(window->controls.at(IDC_CONNECT).enabled);
        EXPECT_FALSE(window->controls.at(IDC_WRITE).enabled);
        ExpectStatusColour(*window, colours::kRed);
        EndAll();
    }
}

TEST_F(WineWindowTest, TheLongestStatusTextShowsWhole) {
    const std::string text = status::kNotInSettingMode;
    Remember(kSilentCom);
    Start(WindowsProgram());
    const auto window = WaitForStatus(text);
    ASSERT_TRUE(window);
    const ScreenRect inside = Inside(window->controls.at(IDC_STATUS).rect);
    // How wide it inks in the labels' font, and what of it the screen shows.
    const auto measured = s_prefix->Run(winetest::WindowsProgram("windowprobe.exe"), {"ink", text});
    const std::vector<std::string> fields = Fields(measured.out.substr(0, measured.out.find('\n')));
    ASSERT_EQ(fields.size(), 2u) << measured.out << measured.err;
    const int width = std::stoi(fields[1]);
    ASSERT_GT(width, 0);
    EXPECT_LT(width, inside.width);
    const auto [first, last] = ColumnsOf(s_desktop->Grab(inside), colours::kRed);
    ASSERT_GE(first, 0);
    EXPECT_LT(last, inside.width - 1) << "cut off at the label's edge";
    EXPECT_NEAR(last - first + 1, width, 2) << "not drawn whole";
}

TEST_F(WineWindowTest, OldFirmwareNarrowsTheListsAndOpensTheFormatGroupANewerOneWidensThem) {
    Remember(kOldFirmwareCom);
    Start(WindowsProgram());
    const auto failed = WaitForStatus(status::kReadFailed);
    ASSERT_TRUE(failed);
    EXPECT_EQ(failed->controls.at(IDC_BPS_A).count, 26);
    EXPECT_EQ(failed->controls.at(IDC_BPS_B).count, 26);
    for (int id : kFormatGroup) EXPECT_TRUE(failed->controls.at(id).enabled) << id;

    // The next port in the list, chosen as a user does, and connect.
    Click(failed->controls.at(IDC_COM).rect);
    Keys(kCaption, {"Down", "Return"});
    const auto chosen =
        WaitFor(kCaption, [](const Window& w) { return w.controls.at(IDC_COM).Selected() == "COM13"; });
    ASSERT_TRUE(chosen);
    const std::string before = Received(kNewFirmwareCom);
    Click(chosen->controls.at(IDC_CONNECT).rect);
    const auto connected = WaitForStatus(status::kReadSucceeded);
    ASSERT_TRUE(connected);
    EXPECT_EQ(ReceivedSince(kNewFirmwareCom, before), kConnectWire);
    EXPECT_EQ(connected->controls.at(IDC_FIRMWARE).text, "V1.03");
    EXPECT_EQ(connected->controls.at(IDC_BPS_A).count, 28);
    EXPECT_EQ(connected->controls.at(IDC_BPS_B).count, 28);
    EXPECT_EQ(connected->controls.at(IDC_BPS_A).Selected(), "9600bps");
    // Only a disconnect closes the group again.
    for (int id : kFormatGroup) EXPECT_TRUE(connected->controls.at(id).enabled) << id;
}

TEST_F(WineWindowTest, WriteSendsBothPortsThenStoresAndReportsTheOutcome) {
    struct Case {
        int com;
        const char* status;
        colours::ColourRef colour;
    };
    for (const Case& c : {Case{kWriteCom, status::kWriteSucceeded, colours::kGreen},
                          Case{kWriteRejectedCom, status::kWriteFailed, colours::kRed}}) {
        SCOPED_TRACE(c.status);
        Remember(c.com);
        Start(WindowsProgram());
        const auto connected = WaitForStatus(status::kReadSucceeded);
        ASSERT_TRUE(connected);
        const std::string before = Received(c.com);
        Click(connected->controls.at(IDC_WRITE).rect);
        const auto written = WaitForStatus(c.status);
        ASSERT_TRUE(written);
        EXPECT_EQ(ReceivedSince(c.com, before), kWriteWire);
        EXPECT_TRUE(written->controls.at(IDC_WRITE).enabled) << "still connected";
        ExpectStatusColour(*written, c.colour);
        EndAll();
    }
}

TEST_F(WineWindowTest, EnterEscapeAndF1KeepTheWindowCloseAsksAndOkReturnsTheUnitToNormalMode) {
    Remember(kMainCom);
    testenv::ChildProgram& app = Start(WindowsProgram());
    const auto connected = WaitForStatus(status::kReadSucceeded);
    ASSERT_TRUE(connected);
    const std::string wire = Received(kMainCom);
    const std::string settingsBefore = testenv::ReadFile(SettingsFile());
    const std::string app_name = "qlxduo";  // the message boxes' caption

    Keys(kCaption, {"Return", "Escape", "F1", "Return"});

    // Alt+F4 asks; Cancel keeps the window, the connection and the settings file as they were.
    // The window takes its keys in order: once the question shows, the four keys before have done
    // what they do, and none may have closed the window or shown a box of its own.
    Keys(kCaption, {"alt+F4"});
    const auto question = WaitFor(app_name, [](const Window& w) {
        return std::any_of(w.all.begin(), w.all.end(),
                           [](const Control& c) { return c.text == Escaped(status::kCloseQuestion); });
    });
    ASSERT_TRUE(question) << "no question, or another message box besides it";
    ASSERT_EQ(Probe(kCaption).size(), 1u);
    Keys(app_name, {"Escape"});
    ASSERT_TRUE(Gone(app_name));
    const auto kept = WaitFor(kCaption, [](const Window& w) { return w.controls.at(IDC_WRITE).enabled; });
    ASSERT_TRUE(kept);
    EXPECT_EQ(kept->controls.at(IDC_STATUS).text, status::kReadSucceeded);
    EXPECT_EQ(Received(kMainCom), wire) << "nothing sent";
    EXPECT_EQ(testenv::ReadFile(SettingsFile()), settingsBefore);

    // OK: "E", the port remembered and the position saved, then the program ends.
    Keys(kCaption, {"alt+F4"});
    ASSERT_TRUE(WaitFor(app_name, [](const Window&) { return true; }));
    Keys(app_name, {"Return"});
    ASSERT_TRUE(app.WaitExit(kDeadlineMs));
    EXPECT_EQ(ReceivedSince(kMainCom, wire), "E\r\n");
    const std::string settings = testenv::ReadFile(SettingsFile());
    std::smatch position;
    ASSERT_TRUE(std::regex_match(
        settings, position,
        std::regex("\\[com\\]\r\ncom=7\r\n\\[System\\]\r\nLeft=(-?\\d+)\r\nTop=(-?\\d+)\r\n")))
        << settings;
    EXPECT_EQ(std::stoi(position[1]), kept->rect.x);
    EXPECT_EQ(std::stoi(position[2]), kept->rect.y);
}

// A logoff ends the process without a close: the connected window first returns the unit to normal
// mode, asking nothing.
TEST_F(WineWindowTest, SessionEndReturnsTheUnitToNormalMode) {
    // Should an earlier test have left the unit in normal mode.
    ASSERT_TRUE(s_units.at(kMainCom)->ReturnToSettingMode(kDeadlineMs));
    Remember(kMainCom);
    Start(WindowsProgram());
    const auto connected = WaitForStatus(status::kReadSucceeded);
    ASSERT_TRUE(connected);
    const std::string wire = Received(kMainCom);
    EXPECT_EQ(
        s_prefix->Run(winetest::WindowsProgram("windowprobe.exe"), {"endsession", connected->hwnd}).status,
        0);
    EXPECT_EQ(ReceivedSince(kMainCom, wire), "E\r\n");
    EXPECT_TRUE(WaitForStatus(status::kDisconnected)) << "the port closed, as after closing with OK";
    EXPECT_TRUE(Probe("qlxduo").empty()) << "no message box";
}

// Enter on a focused button presses it and makes no OK request: nothing may be left over from that
// key to swallow the Cancel request of the next close.
TEST_F(WineWindowTest, EnterPressesTheFocusedButtonAndTheNextCloseStillEndsTheWindow) {
    Remember(kSilentCom);
    testenv::ChildProgram& app = Start(WindowsProgram());
    const auto failed = WaitForStatus(status::kNotInSettingMode);
    ASSERT_TRUE(failed);
    const std::string before = Received(kSilentCom);
    Keys(kCaption, {"Tab", "Return"});  // from the port list to the connect button
    ASSERT_TRUE(testenv::WaitUntil([&] { return ReceivedSince(kSilentCom, before) == "I\r\n"; }, kDeadlineMs))
        << ReceivedSince(kSilentCom, before);
    ASSERT_TRUE(WaitForStatus(status::kNotInSettingMode));
    ASSERT_EQ(s_prefix->Run(winetest::WindowsProgram("windowprobe.exe"), {"close", failed->hwnd}).status, 0);
    EXPECT_TRUE(app.WaitExit(kDeadlineMs)) << "the close was swallowed";
}

// The panel keeps the work area off the screen's corner: a window that saved its position in
// other coordinates than it restores them in would move by the panel's size at every start.
TEST_F(WineWindowTest, StoredPositionComesBackAndOneOffTheWorkAreaIsCentred) {
    const auto area = s_prefix->Run(winetest::WindowsProgram("windowprobe.exe"), {"workarea"});
    const std::vector<std::string> fields = Fields(area.out.substr(0, area.out.find('\n')));
    ASSERT_EQ(fields.size(), 5u) << area.out;
    const ScreenRect work = RectOf(fields, 1);
    ASSERT_EQ(work.x, kPanelLeft);
    ASSERT_EQ(work.y, kPanelTop);

    struct Case {
        int left, top;
        bool fits;
    };
    for (const Case& c : {Case{123, 77, true}, Case{5000, -5000, false}}) {
        SCOPED_TRACE(c.left);
        Remember(kNoUnitCom,
                 "[System]\r\nLeft=" + std::to_string(c.left) + "\r\nTop=" + std::to_string(c.top) + "\r\n");
        std::optional<ScreenRect> first;
        for (int start = 1; start <= 2; ++start) {
            SCOPED_TRACE(start);
            testenv::ChildProgram& app = Start(WindowsProgram());
            const auto window = WaitForStatus(status::OpenFailedText(kNoUnitCom));
            ASSERT_TRUE(window);
            const ScreenRect& rect = window->rect;
            if (first) {
                EXPECT_EQ(rect, *first) << "where the first start left it";
            } else if (c.fits) {
                EXPECT_EQ(rect.x, c.left);
                EXPECT_EQ(rect.y, c.top);
            } else {
                EXPECT_EQ(rect.x, work.x + (work.width - rect.width) / 2);
                EXPECT_EQ(rect.y, work.y + (work.height - rect.height) / 2);
            }
            first = rect;
            // Not connected: the close asks nothing, and saves where the window stands.
            ASSERT_EQ(
                s_prefix->Run(winetest::WindowsProgram("windowprobe.exe"), {"close", window->hwnd}).status,
                0);
            ASSERT_TRUE(app.WaitExit(kDeadlineMs));
            EndAll();
            const std::string settings = testenv::ReadFile(SettingsFile());
            EXPECT_NE(settings.find("\r\nLeft=" + std::to_string(rect.x) +
                                    "\r\nTop=" + std::to_string(rect.y) + "\r\n"),
                      std::string::npos)
                << settings;
        }
    }
}

// The version 6 lists open as tall as 30 items whatever the template says: each opened list keeps
// to the height its template rectangle leaves below the closed field, as many items as fit.
TEST_F(WineWindowTest, OpenedListsKeepToTheTemplatesHeight) {
    Remember(kNoUnitCom);
    Start(WindowsProgram());
    const auto window = WaitForStatus(status::OpenFailedText(kNoUnitCom));
    ASSERT_TRUE(window);
    const int unit = VerticalBaseUnit(*window);
    ASSERT_GT(unit, 0);
    int opened = 0;
    for (const res::ControlTemplate& control : res::FindDialogTemplate(IDD_QLXDUO_DIALOG)->controls) {
        if (control.kind != res::ControlKind::DropDownList || !window->controls.at(control.id).enabled)
            continue;
        SCOPED_TRACE(control.id);
        const Control& list = window->controls.at(control.id);
        const auto run = s_prefix->Run(winetest::WindowsProgram("windowprobe.exe"),
                                       {"dropdown", window->hwnd, std::to_string(control.id)});
        const std::vector<std::string> f = Fields(run.out.substr(0, run.out.find('\n')));
        ASSERT_EQ(f.size(), 6u) << run.out << run.err;
        const ScreenRect shown = RectOf(f, 1);
        const int item = std::stoi(f[5]);
        ASSERT_GT(item, 0);
        const int height = dlgunits::MulDiv(control.height, unit, 8) - list.rect.height;
        EXPECT_LE(shown.height, height);
        // A list with more items than fit fills its height but for less than one item.
        if (list.count * item > height) {
            EXPECT_GT(shown.height, height - item);
        }
        ++opened;
    }
    EXPECT_EQ(opened, 11) << "the port list and the ten lists of both ports";
}

// A COM port plugged in and out as the system does it: the port's device in the prefix and its
// value in the system's list of serial ports, under the name Wine gives it (\Device\Serial8 for
// COM9), which the fence has made without a device. The device goes again with the object.
class PluggedCom {
public:
    PluggedCom(const winetest::WinePrefix& prefix, int com)
        : m_prefix(prefix), m_com(com), m_link(prefix.Folder() + "/dosdevices/com" + std::to_string(com)) {}
    ~PluggedCom() { std::filesystem::remove(m_link); }
    void Plug(const std::string& device) {
        std::filesystem::create_symlink(device, m_link);
        List(true);
    }
    void Unplug() {
        List(false);
        std::filesystem::remove(m_link);
    }
    // The name Wine gives the port's device.
    static std::string Device(int com) { return "\\Device\\Serial" + std::to_string(com - 1); }
    // The value alone, without a device: what the fence makes.
    void List(bool listed) const {
        std::vector<std::string> args = {listed ? "add" : "delete", "HKLM\\HARDWARE\\DEVICEMAP\\SERIALCOMM",
                                         "/v", Device(m_com), "/f"};
        if (listed) args.insert(args.end(), {"/t", "REG_SZ", "/d", "COM" + std::to_string(m_com)});
        const testenv::FinishedRun run = m_prefix.Run("reg", args);
        EXPECT_EQ(run.status, 0) << run.out << run.err;
    }

private:
    const winetest::WinePrefix& m_prefix;
    int m_com;
    std::string m_link;
};

// The window runs unconnected (the unit it remembers does not answer) while units are plugged in
// and out: one plugged in as COM9 is offered without the list being opened, and once picked in the
// opened list it is the one a connect reaches; in another run, one unplugged leaves the list while
// the port selected stays.
TEST_F(WineWindowTest, TheComListFollowsUnitsPluggedInAndOut) {
    const std::string com9 = "COM" + std::to_string(kPluggedCom);
    testenv::SimProcess unit({"--a", kUnitA, "--b", kUnitB});
    PluggedCom plugged(*s_prefix, kPluggedCom);
    plugged.List(false);
    const auto lists = [&](const Window& window) {
        const std::vector<std::string>& items = window.controls.at(IDC_COM).items;
        return std::find(items.begin(), items.end(), com9) != items.end();
    };
    for (const bool plugIn : {true, false}) {
        SCOPED_TRACE(plugIn ? "plugged in" : "unplugged");
        if (!plugIn) plugged.Plug(unit.DevicePath());
        Remember(kSilentCom);
        Start(WindowsProgram());
        const auto started = WaitForStatus(status::kNotInSettingMode);
        ASSERT_TRUE(started);
        ASSERT_EQ(lists(*started), !plugIn);
        if (!plugIn) {
            plugged.Unplug();
            const auto gone = WaitFor(kCaption, [&](const Window& w) { return !lists(w); });
            ASSERT_TRUE(gone);
            EXPECT_EQ(gone->controls.at(IDC_COM).Selected(), "COM10");
            EndAll();
            continue;
        }
        plugged.Plug(unit.DevicePath());
        const auto offered = WaitFor(kCaption, lists);
        ASSERT_TRUE(offered);
        EXPECT_EQ(offered->controls.at(IDC_COM).Selected(), "COM10") << "the port selected stays";
        // COM9 stands just above COM10.
        Click(offered->controls.at(IDC_COM).rect);
        Keys(kCaption, {"Up", "Return"});
        const auto chosen =
            WaitFor(kCaption, [&](const Window& w) { return w.controls.at(IDC_COM).Selected() == com9; });
        ASSERT_TRUE(chosen);
        // The closed list's tooltip tells the device of the port chosen, once the mouse rests on it
        // (what it showed stays readable after it went with time).
        Point(chosen->controls.at(IDC_COM).rect);
        EXPECT_TRUE(WaitFor(kCaption, [&](const Window& w) {
            return std::count(w.tooltips.begin(), w.tooltips.end(), PluggedCom::Device(kPluggedCom)) == 1;
        }));
        Click(chosen->controls.at(IDC_CONNECT).rect);
        ASSERT_TRUE(WaitForStatus(status::kReadSucceeded));
        EXPECT_EQ(unit.ReceivedBytes(), kConnectWire);
        EndAll();
        plugged.Unplug();
    }
    plugged.List(true);
}

TEST_F(WineWindowTest, ASecondStartEndsAtOnceACopyUnderAnotherNameRunsBeside) {
    Remember(kNoUnitCom);
    Start(WindowsProgram());
    ASSERT_TRUE(WaitForStatus(status::OpenFailedText(kNoUnitCom)));

    const testenv::FinishedRun second = s_prefix->Run(WindowsProgram(), {});
    EXPECT_EQ(second.status, 0);
    EXPECT_EQ(Probe(kCaption).size(), 1u);

    // other.exe is another application: its own guard, its own other.ini. It remembers no port,
    // so it tries COM1, which the fence leads nowhere.
    testenv::TempDir folder;
    const std::string other = folder.File("other.exe");
    std::filesystem::copy_file(WindowsProgram(), other);
    Start(other);
    std::vector<Window> both;
    ASSERT_TRUE(testenv::WaitUntil(
        [&] {
            both = Probe(kCaption);
            return both.size() == 2;
        },
        kDeadlineMs));
    for (const Window& window : both)
        EXPECT_EQ(s_prefix->Run(winetest::WindowsProgram("windowprobe.exe"), {"close", window.hwnd}).status,
                  0);
    ASSERT_TRUE(Gone(kCaption));
    for (auto& app : m_apps) EXPECT_TRUE(app->WaitExit(kDeadlineMs));
    EXPECT_TRUE(testenv::ReadFile(SettingsFile()).starts_with("[com]\r\ncom=30\r\n[System]\r\nLeft="));
    EXPECT_TRUE(testenv::ReadFile(SettingsFile("other")).starts_with("[com]\r\ncom=1\r\n[System]\r\nLeft="));
}

}  // namespace
