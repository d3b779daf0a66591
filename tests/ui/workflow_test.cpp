// SPDX-License-Identifier: MIT
// The connection workflow against a unit on a pseudo-terminal: the real CConnectionWorkflow, the
// real CSerialPort and the simulated unit (or a scripted peer where the replies must be exact),
// with a recording stand-in for the window. Every case checks the bytes the unit received.

#include "ui/workflow.h"

#include <gtest/gtest.h>

#include <termios.h>

#include <memory>
#include <thread>

#include "link/protocol.h"
#include "link/serialport.h"
#include "link/statustexts.h"
#include "ports/comportmap.h"
#include "recordingwindow.h"
#include "testenv.h"

namespace {

constexpr int kUnitCom = 7;
constexpr int kOtherCom = 8;
constexpr const char* kConnectWire = "I\r\nV\r\nAG A\r\nAG B\r\n";
// Waits for the unit's lines are hang guards.
constexpr int kLineWaitMs = testenv::kHangGuardMs;
// An operation on a line that hung up ends at once: within ten reply deadlines, which no busy
// machine stretches it to, where waiting out the write deadlines (seconds each) would not.
constexpr int kEndsAtOnceMs = 10 * unit::kReplyDeadlineMs;

// What the window shows and the link holds, for comparing against the state table.
struct WindowState {
    bool connectEnabled;
    bool comListEnabled;
    bool writeEnabled;
    bool formatGroupEnabled;
    std::string firmwareLabel;
    bool portOpen;
    bool connected;
    bool operator==(const WindowState&) const = default;
};

void PrintTo(const WindowState& s, std::ostream* out) {
    *out << "{connect " << s.connectEnabled << ", com " << s.comListEnabled << ", write " << s.writeEnabled
         << ", group " << s.formatGroupEnabled << ", label \"" << s.firmwareLabel << "\", port open "
         << s.portOpen << ", connected " << s.connected << "}";
}

const WindowState kStart = {true, true, false, false, "", false, false};

WindowState Connected(const std::string& label, bool group) {
    return {false, false, true, group, label, true, true};
}

WindowState FailedAfterVersion(const std::string& label, bool group) {
    return {true, true, false, group, label, false, false};
}

// A unit on the far side of a pseudo-terminal that tells what it received.
class TestUnit {
public:
    virtual ~TestUnit() = default;
    virtual std::string DevicePath() const = 0;
    virtual std::string ReceivedBytes() const = 0;
};

class SimulatedUnit : public TestUnit {
public:
    explicit SimulatedUnit(const std::vector<std::string>& options) : m_sim(options) {}
    std::string DevicePath() const override { return m_sim.DevicePath(); }
    std::string ReceivedBytes() const override { return m_sim.ReceivedBytes(); }

private:
    testenv::SimProcess m_sim;
};

// A simulated unit behind ser2net, whose port-map link leads to its rfc2217:// URL.
class NetworkUnit : public TestUnit {
public:
    explicit NetworkUnit(const std::vector<std::string>& options)
        : m_sim(options), m_server({{testenv::Ser2netServer::Kind::Rfc2217, m_sim.DevicePath()}}) {
        EXPECT_EQ(m_server.Problem(), "");
    }
    std::string DevicePath() const override { return m_server.Url(0); }
    std::string ReceivedBytes() const override { return m_sim.ReceivedBytes(); }

private:
    testenv::SimProcess m_sim;
    testenv::Ser2netServer m_server;
};

// The shared scripted peer as a test unit; an empty reply hangs up the line.
class ScriptedUnit : public TestUnit {
public:
    explicit ScriptedUnit(const std::vector<std::string>& replies)
        : m_peer(m_pty, testenv::ReplySteps(replies), kLineWaitMs) {}
    // Once every reply is given: hangs up the line, as an adapter pulled out between exchanges does.
    void HangUp() {
        m_peer.Finish();
        m_pty.HangUp();
    }
    std::string DevicePath() const override { return m_pty.DevicePath(); }
    // The far side's view of the line, which a pseudo-terminal shares with the device side.
    termios Line() const {
        termios line{};
        tcgetattr(m_pty.Controller(), &line);
        return line;
    }
    std::string ReceivedBytes() const override { return m_peer.ReceivedBytes(); }

private:
    testenv::PtyPair m_pty;
    testenv::ScriptedPeer m_peer;
};

// The unit reached as a COM port, the window stand-in, the port and the workflow under test.
struct Rig {
    explicit Rig(std::unique_ptr<TestUnit> testUnit) : unit(std::move(testUnit)) {
        EXPECT_TRUE(platform::ComPortMap::ForCurrentUser().RegisterOwned(kUnitCom, unit->DevicePath()));
        window.selectedPort = kUnitCom;
    }
    ~Rig() { platform::ComPortMap::ForCurrentUser().Unregister(kUnitCom); }

    WindowState State() const {
        return {window.enabled.at(WindowControl::ConnectButton),
                window.enabled.at(WindowControl::ComList),
                window.enabled.at(WindowControl::WriteButton),
                window.enabled.at(WindowControl::FormatGroup),
                window.firmwareLabel,
                port.IsOpen(),
                workflow.IsConnected()};
    }
    // What the unit received, once it has taken in `expected` (or the hang guard ran out).
    std::string Wire(const std::string& expected) const {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kLineWaitMs);
        std::string got = unit->ReceivedBytes();
        while (got != expected && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
            got = unit->ReceivedBytes();
        }
        return got;
    }
    RecordedStatus LastStatus() const {
        return window.statuses.empty() ? RecordedStatus{"", StatusOutcome::Neutral} : window.statuses.back();
    }
    // Statuses shown since the first `skip` ones.
    std::vector<RecordedStatus> StatusesAfter(size_t skip) const {
        return {window.statuses.begin() + static_cast<long>(skip), window.statuses.end()};
    }

    std::unique_ptr<TestUnit> unit;
    CRecordingWindow window;
    CSerialPort port;
    CConnectionWorkflow workflow{window, port};
};

std::unique_ptr<TestUnit> Sim(const std::vector<std::string>& options) {
    return std::make_unique<SimulatedUnit>(options);
}

std::unique_ptr<TestUnit> Script(const std::vector<std::string>& replies) {
    return std::make_unique<ScriptedUnit>(replies);
}

const RecordedStatus kReadOk = {status::kReadSucceeded, StatusOutcome::Success};
const RecordedStatus kDisconnected = {status::kDisconnected, StatusOutcome::Neutral};
const RecordedStatus kNormalModeOn = {status::kNormalModeOn, StatusOutcome::Neutral};

// ---------------------------------------------------------------------------------------------
// Connect: every outcome after the port opened.

struct ConnectCase {
    const char* name;
    std::function<std::unique_ptr<TestUnit>()> makeUnit;
    RecordedStatus status;
    std::string wire;
    WindowState after;
    size_t baudEntries;
};

TEST(WorkflowConnect, EachOutcomeShowsItsTextLeavesItsStateAndSendsItsBytes) {
    const std::string notInSettingMode = status::kNotInSettingMode;
    const std::vector<ConnectCase> cases = {
        {"silent unit",
         [] { return Sim({"--silent"}); },
         {notInSettingMode, StatusOutcome::Failure},
         "I\r\n",
         kStart,
         28},
        {"identity rejected",
         [] {
             return Sim({"--reject", "I"});
         },
         {notInSettingMode, StatusOutcome::Failure},
         "I\r\n",
         kStart,
         28},
        {"identity differs in its first six characters",
         [] {
             return Sim({"--identity", "QLX-12D"});
         },
         {status::kCommunicationError, StatusOutcome::Failure},
         "I\r\n",
         kStart,
         28},
        {"identity accepted without data",
         [] { return Script({"OK\r\n"}); },
         {status::kCommunicationError, StatusOutcome::Failure},
         "I\r\n",
         kStart,
         28},
        {"version rejected",
         [] {
             return Sim({"--reject", "V"});
         },
         {notInSettingMode, StatusOutcome::Failure},
         "I\r\nV\r\n",
         kStart,
         28},
        {"QLX-11 with more characters is accepted",
         [] {
             return Sim({"--identity", "QLX-11-DUO rev.C"});
         },
         kReadOk, kConnectWire, Connected("V1.03", false), 28},
        {"a unit behind a network server, its link leading to an rfc2217:// URL",
         [] {
             return std::make_unique<NetworkUnit>(std::vector<std::string>{"--firmware", "1.01"});
         },
         kReadOk, kConnectWire, Connected("V1.01", true), 26},
        {"firmware 1.01 enables format conversion and narrows the lists",
         [] {
             return Sim({"--firmware", "1.01"});
         },
         kReadOk, kConnectWire, Connected("V1.01", true), 26},
        {"firmware 1.02 offers 200bps",
         [] {
             return Sim({"--firmware", "1.02"});
         },
         kReadOk, kConnectWire, Connected("V1.02", false), 27},
        {"version without data",
         [] {
             return Script({"OK,QLX-11\r\n", "OK\r\n", "OK,0,0,0,8,0,0\r\n", "OK\r\n"});
         },
         kReadOk, kConnectWire, Connected("V", false), 0},
        {"AG A rejected",
         [] {
             return Sim({"--firmware", "1.01", "--reject", "AG A"});
         },
         {status::kReadFailed, StatusOutcome::Failure},
         "I\r\nV\r\nAG A\r\n",
         FailedAfterVersion("V1.01", true),
         26},
        {"AG B rejected after AG A",
         [] {
             return Sim({"--firmware", "1.01", "--reject", "AG B"});
         },
         {status::kReadFailed, StatusOutcome::Failure},
         kConnectWire,
         FailedAfterVersion("V1.01", true),
         26},
    };
    for (const ConnectCase& c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig(c.makeUnit());
        rig.workflow.Connect();
        EXPECT_EQ(rig.window.statuses, std::vector<RecordedStatus>{c.status});
        EXPECT_EQ(rig.window.statusDetails, "");
        EXPECT_EQ(rig.State(), c.after);
        EXPECT_EQ(rig.window.labelHighlighted, !c.after.firmwareLabel.empty());
        EXPECT_EQ(rig.window.BaudEntries(UnitPort::A), c.baudEntries);
        EXPECT_EQ(rig.window.BaudEntries(UnitPort::B), c.baudEntries);
        EXPECT_EQ(rig.Wire(c.wire), c.wire);
    }
}

// A port that does not open: its number in the text, the reason in the details, nothing else.
TEST(WorkflowConnect, PortThatDoesNotOpenReportsItsNumberAndChangesNothingElse) {
    struct Case {
        const char* name;
        int selected;
        bool heldElsewhere;
        const char* status;
        std::string details;  // a part of the tooltip; "" for the unit's device path
    };
    const std::string unplugged = "/dev/ttyUSB99";
    ASSERT_TRUE(platform::ComPortMap::ForCurrentUser().Register(kOtherCom, unplugged));
    const std::vector<Case> cases = {
        {"no device behind the number", 5, false, "COM5がオープンできません", "COM5 has no device"},
        {"no port chosen", -1, false, "COM-1がオープンできません", "not a port number"},
        {"device held by another program", kUnitCom, true, "COM7がオープンできません", ""},
        {"device of the number unplugged", kOtherCom, false, "COM8がオープンできません",
         "the device of COM8 (" + unplugged + ") is not present (unplugged?)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig(Sim({}));
        CSerialPort holder;
        if (c.heldElsewhere) {
            ASSERT_EQ(holder.Open(kUnitCom, 115200, 8, 0, 0), 1);
        }
        rig.window.selectedPort = c.selected;
        rig.workflow.Connect();
        EXPECT_EQ(rig.window.statuses, (std::vector<RecordedStatus>{{c.status, StatusOutcome::Failure}}));
        const std::string details = c.details.empty() ? rig.unit->DevicePath() : c.details;
        EXPECT_NE(rig.window.statusDetails.find(details), std::string::npos) << rig.window.statusDetails;
        EXPECT_EQ(rig.window.calls.size(), 1u);
        EXPECT_EQ(rig.State(), kStart);
        EXPECT_EQ(rig.Wire(""), "");
    }
    platform::ComPortMap::ForCurrentUser().Unregister(kOtherCom);
}

// "AG" data lands field by field: baud by code, the rest by position; out of range selects nothing.
TEST(WorkflowConnect, ReadValuesSelectTheirListEntries) {
    struct Expected {
        UnitPort port;
        std::array<int, 5> positions;  // format, flow, data length, stop bits, parity
        int baudCode;
    };
    struct Case {
        const char* name;
        std::function<std::unique_ptr<TestUnit>()> makeUnit;
        std::vector<Expected> expected;
    };
    const std::vector<Case> cases = {
        {"simulated unit's codes",
         [] {
             return Sim({"--a", "1,2,0,21,0,2", "--b", "2,1,1,44,1,1"});
         },
         {{UnitPort::A, {1, 2, 0, 0, 2}, 21}, {UnitPort::B, {2, 1, 1, 1, 1}, 44}}},
        {"positions out of range and an unknown baud code",
         [] {
             return Script({"OK,QLX-11\r\n", "OK,1.03\r\n", "OK,3,0,2,99,-1,3\r\n", "OK,2,1\r\n"});
         },
         {{UnitPort::A, {-1, 0, -1, -1, -1}, 8}, {UnitPort::B, {2, 1, -1, -1, -1}, 8}}},
    };
    const std::array<PositionField, 5> fields = {PositionField::Format, PositionField::Flow,
                                                 PositionField::DataLength, PositionField::StopBits,
                                                 PositionField::Parity};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig(c.makeUnit());
        rig.workflow.Connect();
        ASSERT_TRUE(rig.workflow.IsConnected());
        for (const Expected& e : c.expected) {
            for (size_t i = 0; i < fields.size(); ++i) {
                EXPECT_EQ(rig.window.SelectedPosition(e.port, fields[i]), e.positions[i]) << "field " << i;
            }
            EXPECT_EQ(rig.window.SelectedBaudCode(e.port), e.baudCode);
        }
    }
}

// The unit always talks 115200 baud with one stop bit. (A pseudo-terminal always carries eight bits
// without parity, and has no modem lines, so the rest of the line setup cannot be seen from here.)
TEST(WorkflowConnect, OpensTheLinkAt115200WithOneStopBit) {
    auto scripted = std::make_unique<ScriptedUnit>(std::vector<std::string>{
        "OK,QLX-11\r\n", "OK,1.03\r\n", "OK,0,0,0,21,0,0\r\n", "OK,0,0,0,21,0,0\r\n"});
    const ScriptedUnit& far = *scripted;
    Rig rig(std::move(scripted));
    rig.workflow.Connect();
    ASSERT_TRUE(rig.workflow.IsConnected());
    const termios line = far.Line();
    EXPECT_EQ(cfgetospeed(&line), static_cast<speed_t>(B115200));
    EXPECT_EQ(line.c_cflag & CSTOPB, 0u);
}

// A failed connect leaves the window as it was, so the user can pick another port and try again.
TEST(WorkflowConnect, FailedConnectThenAnotherPortConnects) {
    Rig rig(Sim({"--silent"}));
    testenv::SimProcess other({"--firmware", "1.01"});
    ASSERT_TRUE(platform::ComPortMap::ForCurrentUser().RegisterOwned(kOtherCom, other.DevicePath()));
    rig.workflow.Connect();
    EXPECT_EQ(rig.State(), kStart);
    rig.window.selectedPort = kOtherCom;
    rig.workflow.Connect();
    EXPECT_EQ(rig.State(), Connected("V1.01", true));
    EXPECT_EQ(rig.StatusesAfter(1), std::vector<RecordedStatus>{kReadOk});
    EXPECT_EQ(other.ReceivedBytes(), kConnectWire);
    platform::ComPortMap::ForCurrentUser().Unregister(kOtherCom);
}

// ---------------------------------------------------------------------------------------------
// WriteParameters

TEST(WorkflowWrite, EachCommandOnlyAfterThePreviousWasAcceptedAndTheConnectionStays) {
    struct Case {
        const char* name;
        std::vector<std::string> simOptions;
        RecordedStatus status;
        std::string wire;
    };
    const std::string asA = "AS A 1,2,0,21,0,2\r\n";
    const std::string asB = "AS B 0,1,1,33,1,1\r\n";
    const std::string store = "W 4172093615\r\n";
    const RecordedStatus failed = {status::kWriteFailed, StatusOutcome::Failure};
    const std::vector<Case> cases = {
        {"all accepted", {}, {status::kWriteSucceeded, StatusOutcome::Success}, asA + asB + store},
        {"AS A rejected", {"--reject", "AS A"}, failed, asA},
        {"AS B rejected", {"--reject", "AS B"}, failed, asA + asB},
        {"W rejected", {"--reject", "W"}, failed, asA + asB + store},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::string> options = {"--a", "1,2,0,21,0,2", "--b", "0,1,1,33,1,1"};
        options.insert(options.end(), c.simOptions.begin(), c.simOptions.end());
        Rig rig(Sim(options));
        rig.workflow.Connect();
        ASSERT_TRUE(rig.workflow.IsConnected());
        rig.workflow.WriteParameters();
        EXPECT_EQ(rig.LastStatus(), c.status);
        EXPECT_EQ(rig.State(), Connected("V1.03", false));
        EXPECT_EQ(rig.Wire(kConnectWire + c.wire), kConnectWire + c.wire);
    }
}

// The values written are those in the lists at the time, whatever was read; nothing selected is -1.
TEST(WorkflowWrite, SendsTheListsAsTheUserLeftThem) {
    Rig rig(Script({"OK,QLX-11\r\n", "OK,1.03\r\n", "OK,1,2,0,21,0,2\r\n", "OK,9,0,0,8,0,0\r\n", "OK\r\n",
                    "OK\r\n", "OK\r\n"}));
    rig.workflow.Connect();
    ASSERT_TRUE(rig.workflow.IsConnected());
    rig.window.SelectPosition(UnitPort::A, PositionField::Parity, 1);
    rig.window.SelectBaudCode(UnitPort::A, 44);
    rig.workflow.WriteParameters();
    EXPECT_EQ(rig.LastStatus(), (RecordedStatus{status::kWriteSucceeded, StatusOutcome::Success}));
    const std::string wire =
        std::string(kConnectWire) + "AS A 1,2,0,44,0,1\r\nAS B -1,0,0,8,0,0\r\nW 4172093615\r\n";
    EXPECT_EQ(rig.Wire(wire), wire);
}

// ---------------------------------------------------------------------------------------------
// SwitchToNormalMode and Disconnect

TEST(WorkflowNormalMode, LeavesOnAcceptedEOrForFirmware006) {
    struct Case {
        const char* name;
        std::vector<std::string> simOptions;
        std::vector<RecordedStatus> statuses;
        WindowState after;
    };
    const RecordedStatus failed = {status::kNormalModeFailed, StatusOutcome::Failure};
    const std::vector<Case> cases = {
        {"E accepted", {}, {kDisconnected, kNormalModeOn}, kStart},
        {"E rejected", {"--reject", "E"}, {failed}, Connected("V1.03", false)},
        {"E rejected by firmware 0.06",
         {"--firmware", "0.06", "--reject", "E"},
         {kDisconnected, kNormalModeOn},
         kStart},
        {"E accepted by firmware 0.06", {"--firmware", "0.06"}, {kDisconnected, kNormalModeOn}, kStart},
        {"E rejected by firmware 0.07",
         {"--firmware", "0.07", "--reject", "E"},
         {failed},
         Connected("V0.07", false)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig(Sim(c.simOptions));
        rig.workflow.Connect();
        ASSERT_TRUE(rig.workflow.IsConnected());
        rig.workflow.SwitchToNormalMode();
        EXPECT_EQ(rig.StatusesAfter(1), c.statuses);
        EXPECT_EQ(rig.State(), c.after);
        const std::string wire = std::string(kConnectWire) + "E\r\n";
        EXPECT_EQ(rig.Wire(wire), wire);
    }
}

TEST(WorkflowDisconnect, SixStepsInOrderAndTheListsKeepTheirValues) {
    Rig rig(Sim({"--firmware", "1.01", "--a", "2,1,1,24,1,2"}));
    rig.workflow.Connect();
    ASSERT_TRUE(rig.workflow.IsConnected());
    rig.window.calls.clear();
    rig.workflow.Disconnect();
    EXPECT_EQ(rig.window.calls,
              (std::vector<std::string>{"disable format-group", "disable write", "enable connect",
                                        "enable com-list", "focus connect", "label cleared",
                                        std::string("status ") + status::kDisconnected}));
    EXPECT_EQ(rig.State(), kStart);
    EXPECT_EQ(rig.window.SelectedPosition(UnitPort::A, PositionField::Format), 2);
    EXPECT_EQ(rig.window.SelectedBaudCode(UnitPort::A), 24);
    EXPECT_EQ(rig.window.BaudEntries(UnitPort::A), 26u);
    EXPECT_EQ(rig.Wire(kConnectWire), kConnectWire);
}

// ---------------------------------------------------------------------------------------------
// A device that goes away (an adapter pulled out, its line hung up)

// The operation's failure stays on the status line, the tooltip says that the device went away,
// and the window is disconnected at once, ready for the port list and connect.
TEST(WorkflowDeviceLost, FailedExchangeWithTheDeviceGoneDisconnects) {
    const std::vector<std::string> connectReplies = {"OK,QLX-11\r\n", "OK,1.03\r\n", "OK,0,0,0,21,0,0\r\n",
                                                     "OK,0,0,0,21,0,0\r\n"};
    auto then = [&](std::vector<std::string> more) {
        std::vector<std::string> replies = connectReplies;
        replies.insert(replies.end(), more.begin(), more.end());
        return replies;
    };
    const RecordedStatus writeFailed = {status::kWriteFailed, StatusOutcome::Failure};
    struct Case {
        const char* name;
        std::vector<std::string> replies;
        bool hangUpAfterConnect;  // else the unit hangs up at its empty reply
        std::function<void(CConnectionWorkflow&)> operation;
        std::vector<RecordedStatus> statuses;  // shown by the operation
        std::string wire;                      // after the connect's four commands
        int closes;
    };
    const std::vector<Case> cases = {
        {"write after the line hung up",
         connectReplies,
         true,
         &CConnectionWorkflow::WriteParameters,
         {writeFailed},
         "",
         0},
        {"line hangs up during the write",
         then({"OK\r\n", ""}),
         false,
         &CConnectionWorkflow::WriteParameters,
         {writeFailed},
         "AS A 0,0,0,21,0,0\r\nAS B 0,0,0,21,0,0\r\n",
         0},
        {"close with OK after the line hung up",
         connectReplies,
         true,
         &CConnectionWorkflow::OnClose,
         {{status::kNormalModeFailed, StatusOutcome::Failure}, kDisconnected},
         "",
         1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto scripted = std::make_unique<ScriptedUnit>(c.replies);
        ScriptedUnit& far = *scripted;
        Rig rig(std::move(scripted));
        rig.workflow.Connect();
        ASSERT_TRUE(rig.workflow.IsConnected());
        if (c.hangUpAfterConnect) far.HangUp();
        const auto start = std::chrono::steady_clock::now();
        c.operation(rig.workflow);
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(kEndsAtOnceMs));
        EXPECT_EQ(rig.StatusesAfter(1), c.statuses);
        if (c.closes == 0) {
            EXPECT_NE(rig.window.statusDetails.find("COM7: the device went away"), std::string::npos)
                << rig.window.statusDetails;
        }
        EXPECT_EQ(rig.window.closes, c.closes);
        EXPECT_EQ(rig.State(), kStart);
        far.HangUp();
        EXPECT_EQ(rig.Wire(kConnectWire + c.wire), kConnectWire + c.wire);
    }
}

// Gone during the connect: the firmware label that the connect had set is cleared too.
TEST(WorkflowDeviceLost, ConnectThatLosesTheDeviceLeavesNothingOfIt) {
    Rig rig(Script({"OK,QLX-11\r\n", "OK,1.01\r\n", ""}));
    rig.workflow.Connect();
    EXPECT_EQ(rig.window.statuses,
              (std::vector<RecordedStatus>{{status::kReadFailed, StatusOutcome::Failure}}));
    EXPECT_NE(rig.window.statusDetails.find("the device went away"), std::string::npos);
    EXPECT_EQ(rig.State(), kStart);
    const std::string wire = "I\r\nV\r\nAG A\r\n";
    EXPECT_EQ(rig.Wire(wire), wire);
}

// ---------------------------------------------------------------------------------------------
// OnClose

TEST(WorkflowClose, AsksOnlyWhenConnectedAndClosesThePortEitherWay) {
    struct Case {
        const char* name;
        std::vector<std::string> simOptions;
        bool answerOk;
        size_t questions;
        std::vector<RecordedStatus> statuses;  // shown by the close
        std::string wireAfterConnect;
        bool windowCloses;  // also: the COM port is saved
        WindowState after;
    };
    const RecordedStatus failed = {status::kNormalModeFailed, StatusOutcome::Failure};
    const std::vector<Case> cases = {
        {"OK, E accepted", {}, true, 1, {kDisconnected, kNormalModeOn, kDisconnected}, "E\r\n", true, kStart},
        {"OK, E rejected", {"--reject", "E"}, true, 1, {failed, kDisconnected}, "E\r\n", true, kStart},
        {"Cancel", {}, false, 1, {}, "", false, Connected("V1.03", false)},
        {"OK, firmware 0.06 with E rejected",
         {"--firmware", "0.06", "--reject", "E"},
         true,
         1,
         {kDisconnected, kNormalModeOn, kDisconnected},
         "E\r\n",
         true,
         kStart},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig(Sim(c.simOptions));
        rig.workflow.Connect();
        ASSERT_TRUE(rig.workflow.IsConnected());
        rig.window.answerOk = c.answerOk;
        rig.workflow.OnClose();
        EXPECT_EQ(rig.window.questions, std::vector<std::string>(c.questions, status::kCloseQuestion));
        EXPECT_EQ(rig.StatusesAfter(1), c.statuses);
        EXPECT_EQ(rig.window.saves, c.windowCloses ? 1 : 0);
        EXPECT_EQ(rig.window.closes, c.windowCloses ? 1 : 0);
        EXPECT_EQ(rig.State(), c.after);
        const std::string wire = kConnectWire + c.wireAfterConnect;
        EXPECT_EQ(rig.Wire(wire), wire);
    }
}

TEST(WorkflowClose, NotConnectedAsksNothingAndSendsNothing) {
    Rig rig(Sim({"--silent"}));
    rig.workflow.Connect();
    rig.workflow.OnClose();
    EXPECT_TRUE(rig.window.questions.empty());
    EXPECT_EQ(rig.window.statuses.size(), 1u);
    EXPECT_EQ(rig.window.saves, 1);
    EXPECT_EQ(rig.window.closes, 1);
    EXPECT_EQ(rig.State(), kStart);
    EXPECT_EQ(rig.Wire("I\r\n"), "I\r\n");
}

}  // namespace
