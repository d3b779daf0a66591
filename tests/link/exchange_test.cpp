// SPDX-License-Identifier: MIT
// CommandExchange against a scripted unit on a pseudo-terminal: every reply outcome, the deadline,
// stale bytes, and a unit that hangs up mid-exchange.
#include <gtest/gtest.h>
#include <termios.h>
#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "link/linetrace.h"
#include "link/protocol.h"
#include "link/serialport.h"
#include "porthelpers.h"
#include "testenv.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kPort = 3;
constexpr int kWaitMs = testenv::kHangGuardMs;
// An exchange keeps its 200 ms deadline: it ends within ten times that, which no busy machine
// stretches it to, where a wait without a deadline would not end at all.
constexpr int kDeadlineKeptMs = 10 * unit::kReplyDeadlineMs;
constexpr int kLateMs = 400;  // well past the 200 ms deadline
constexpr const char* kUntouched = "untouched";

// Plays the unit for one exchange: waits for a command line, then answers after a delay, or says
// nothing, or hangs up.
// Finish() tells the command line the unit received.
class ScriptedUnit : public testenv::ScriptedPeer {
public:
    enum Action { Answer, Silent, HangUp };

    ScriptedUnit(testenv::PtyPair& pty, const std::string& reply, int delayMs = 0, Action action = Answer)
        : ScriptedPeer(pty, {{action == Answer ? reply : "", delayMs, action == HangUp}}, kWaitMs) {}
};

class ExchangeTest : public ::testing::Test {
protected:
    void SetUp() override {
        linktest::RegisterPort(kPort, m_pty.DevicePath());
        ASSERT_EQ(m_port.Open(kPort, 115200, 8, 0, 0), 1);
    }

    int Exchange(const char* command) {
        std::strcpy(m_data, kUntouched);
        auto start = Clock::now();
        int result = CommandExchange(m_port, command, m_data);
        m_elapsed = Clock::now() - start;
        return result;
    }

    testenv::PtyPair m_pty;
    CSerialPort m_port;
    char m_data[unit::kReplyDataSize];
    Clock::duration m_elapsed{};
};

TEST_F(ExchangeTest, ReplyOutcomes) {
    const std::string longText(300, 'x');
    struct Case {
        const char* what;
        std::string reply;
        ScriptedUnit::Action action;
        int delayMs;
        int result;
        std::string data;
    };
    for (const Case& c : {
             Case{"OK alone", "OK\r\n", ScriptedUnit::Answer, 0, 1, kUntouched},
             Case{"OK with data", "OK,1.03\r\n", ScriptedUnit::Answer, 0, 1, "1.03"},
             Case{"OK with empty data", "OK,\r\n", ScriptedUnit::Answer, 0, 1, ""},
             Case{"CR anywhere", "\rO\rK,QLX-1\r1A\r\r\n", ScriptedUnit::Answer, 0, 1, "QLX-11A"},
             Case{"LF alone ends", "OK,1,2\n", ScriptedUnit::Answer, 0, 1, "1,2"},
             Case{"OK then more text", "OKAY\r\n", ScriptedUnit::Answer, 0, 1, kUntouched},
             Case{"NG", "NG\r\n", ScriptedUnit::Answer, 0, 0, kUntouched},
             Case{"lower case", "ok,1.03\r\n", ScriptedUnit::Answer, 0, 0, kUntouched},
             Case{"empty line", "\r\n", ScriptedUnit::Answer, 0, 0, kUntouched},
             Case{"300 characters", "OK," + longText + "\r\n", ScriptedUnit::Answer, 0, 1,
                  longText.substr(0, 252)},
             Case{"no line feed", "OK,1.03", ScriptedUnit::Answer, 0, 0, kUntouched},
             Case{"silent", "", ScriptedUnit::Silent, 0, 0, kUntouched},
             Case{"after the deadline", "OK,1.03\r\n", ScriptedUnit::Answer, kLateMs, 0, kUntouched},
         }) {
        SCOPED_TRACE(c.what);
        testenv::PtyPair pty;
        linktest::RegisterPort(kPort, pty.DevicePath());
        CSerialPort port;
        ASSERT_EQ(port.Open(kPort, 115200, 8, 0, 0), 1);
        ScriptedUnit unit(pty, c.reply, c.delayMs, c.action);
        std::strcpy(m_data, kUntouched);
        auto start = Clock::now();
        EXPECT_EQ(CommandExchange(port, unit::kVersionCommand, m_data), c.result);
        auto elapsed = Clock::now() - start;
        EXPECT_EQ(std::string(m_data), c.data);
        EXPECT_FALSE(port.DeviceLost());  // silent or refusing is not gone
        EXPECT_EQ(unit.Finish(), "V\r\n");
        if (c.result == 0 && c.reply.find('\n') == std::string::npos) {
            EXPECT_GE(elapsed, std::chrono::milliseconds(unit::kReplyDeadlineMs));
        }
        EXPECT_LT(elapsed, std::chrono::milliseconds(kDeadlineKeptMs));
    }
}

TEST_F(ExchangeTest, LateReplyIsNotTakenAsTheNextAnswer) {
    {
        ScriptedUnit late(m_pty, "OK\r\n", kLateMs);
        EXPECT_EQ(Exchange("AS A 1,2,0,21,0,2\r\n"), 0);
    }
    ASSERT_TRUE(m_port.WaitReadable(kWaitMs));  // the late "OK" now waits in the queue
    {
        ScriptedUnit refusing(m_pty, "NG\r\n");
        EXPECT_EQ(Exchange(unit::kStoreCommand), 0);
        EXPECT_EQ(refusing.Finish(), unit::kStoreCommand);
    }
    ScriptedUnit answering(m_pty, "OK,1.03\r\n");
    EXPECT_EQ(Exchange(unit::kVersionCommand), 1);
    EXPECT_STREQ(m_data, "1.03");
}

// XON and XOFF are data on this line: the unit's replies may carry them, and one XOFF must not stop
// the next command from going out.
TEST_F(ExchangeTest, XonAndXoffAreDataAndStopNothing) {
    // A serial driver starts a line with software flow control on; the test's terminal is raw.
    m_port.Close();
    termios line{};
    ASSERT_EQ(tcgetattr(m_pty.Controller(), &line), 0);
    line.c_iflag |= IXON | IXOFF | IXANY;
    ASSERT_EQ(tcsetattr(m_pty.Controller(), TCSANOW, &line), 0);
    ASSERT_EQ(m_port.Open(kPort, 115200, 8, 0, 0), 1);
    {
        ScriptedUnit unit(m_pty,
                          "OK,a\x11"
                          "b\x13"
                          "c\r\n\x13");
        EXPECT_EQ(Exchange(unit::kVersionCommand), 1);
        EXPECT_STREQ(m_data,
                     "a\x11"
                     "b\x13"
                     "c");
    }
    ScriptedUnit unit(m_pty, "OK,\x13\r\n");
    EXPECT_EQ(Exchange(unit::kGetACommand), 1);
    EXPECT_EQ(unit.Finish(), unit::kGetACommand);
    // A write stalled by the XOFF would keep the command from the unit (Finish above) however long
    // it waited.
    EXPECT_STREQ(m_data, "\x13");
}

// Records what CommandExchange tells a port's observer, one entry per call.
class RecordingObserver : public CLineObserver {
public:
    void Sent(std::string_view bytes) override { m_calls.push_back("-> " + std::string(bytes)); }
    void Received(std::string_view bytes) override { m_calls.push_back("<- " + std::string(bytes)); }
    void Remark(std::string_view text) override { m_calls.push_back("-- " + std::string(text)); }
    std::vector<std::string> Take() { return std::exchange(m_calls, {}); }

private:
    std::vector<std::string> m_calls;
};

// Stale bytes are dropped, and said to be, whether they waited alone or came behind the last reply
// in the same read: neither lost nor taken for the next answer.
TEST_F(ExchangeTest, StaleBytesAreDiscardedBeforeTheCommand) {
    struct Case {
        const char* what;
        std::string lastReply;  // the previous exchange's reply; empty: none
        std::string stale;      // sent alone after it
    };
    for (const Case& c : {
             Case{"waiting alone", "", "OK,stale\r\nOK,older\r\n"},
             Case{"behind the last reply", "OK,last\r\nNG\r\nOK,stale\r\n", ""},
             Case{"behind it and alone", "OK,last\r\nNG\r", "OK,stale\r\n"},
         }) {
        SCOPED_TRACE(c.what);
        if (!c.lastReply.empty()) {
            ScriptedUnit last(m_pty, c.lastReply);
            EXPECT_EQ(Exchange(unit::kVersionCommand), 1);
            EXPECT_STREQ(m_data, "last");
        }
        if (!c.stale.empty()) {
            m_pty.Send(c.stale);
            ASSERT_TRUE(m_port.WaitReadable(kWaitMs));
        }
        const std::string behind =
            c.lastReply.substr(std::min(c.lastReply.size(), c.lastReply.find('\n') + 1));
        RecordingObserver observer;
        m_port.SetObserver(&observer);
        ScriptedUnit unit(m_pty, "OK,fresh\r\n");
        EXPECT_EQ(Exchange(unit::kIdentifyCommand), 1);
        EXPECT_STREQ(m_data, "fresh");
        const std::vector<std::string> calls = observer.Take();
        ASSERT_FALSE(calls.empty());
        EXPECT_EQ(calls.front(), "-- dropped before sending, as a late reply: " + behind + c.stale);
        m_port.SetObserver(nullptr);
    }
}

TEST_F(ExchangeTest, ObserverSeesEachLineAsItWentOverTheWire) {
    const std::string noLineFeed = "-- no line feed within 200 ms";
    struct Case {
        const char* what;
        std::string stale;  // already waiting before the command
        std::string reply;
        ScriptedUnit::Action action;
        std::vector<std::string> calls;
    };
    for (const Case& c : {
             Case{"accepted", "", "OK,1.03\r\n", ScriptedUnit::Answer, {"-> V\r\n", "<- OK,1.03\r\n"}},
             Case{"refused", "", "NG\r\n", ScriptedUnit::Answer, {"-> V\r\n", "<- NG\r\n"}},
             Case{"carriage returns kept",
                  "",
                  "\rOK,1\r.03\r\n",
                  ScriptedUnit::Answer,
                  {"-> V\r\n", "<- \rOK,1\r.03\r\n"}},
             Case{"silent", "", "", ScriptedUnit::Silent, {"-> V\r\n", noLineFeed}},
             Case{"no line feed", "", "OK,1.0", ScriptedUnit::Answer, {"-> V\r\n", "<- OK,1.0", noLineFeed}},
             Case{"stale bytes dropped",
                  "OK,late\r\n",
                  "OK,1.03\r\n",
                  ScriptedUnit::Answer,
                  {"-- dropped before sending, as a late reply: OK,late\r\n", "-> V\r\n", "<- OK,1.03\r\n"}},
         }) {
        SCOPED_TRACE(c.what);
        RecordingObserver observer;
        m_port.SetObserver(&observer);
        if (!c.stale.empty()) {
            m_pty.Send(c.stale);
            ASSERT_TRUE(m_port.WaitReadable(kWaitMs));
        }
        ScriptedUnit unit(m_pty, c.reply, 0, c.action);
        Exchange(unit::kVersionCommand);
        unit.Finish();
        EXPECT_EQ(observer.Take(), c.calls);
        m_port.SetObserver(nullptr);
        ScriptedUnit unobserved(m_pty, "OK\r\n");
        EXPECT_EQ(Exchange(unit::kStoreCommand), 1);
        EXPECT_EQ(observer.Take(), std::vector<std::string>{}) << "told after it was unset";
    }
}

double ThreadCpuMs() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}

TEST_F(ExchangeTest, HangUpFailsWithoutSpinning) {
    ScriptedUnit unit(m_pty, "", 0, ScriptedUnit::HangUp);
    double cpuBefore = ThreadCpuMs();
    EXPECT_FALSE(m_port.DeviceLost());
    EXPECT_EQ(Exchange(unit::kGetACommand), 0);
    EXPECT_EQ(unit.Finish(), "AG A\r\n");
    EXPECT_TRUE(m_port.DeviceLost());
    EXPECT_EQ(Exchange(unit::kGetBCommand), 0);  // the device is gone: the write fails too
    EXPECT_STREQ(m_data, kUntouched);
    EXPECT_LT(m_elapsed, std::chrono::milliseconds(kDeadlineKeptMs));
    // Spinning until the deadline would cost about 200 ms of processor time per exchange.
    EXPECT_LT(ThreadCpuMs() - cpuBefore, unit::kReplyDeadlineMs / 2.0);
}

}  // namespace
