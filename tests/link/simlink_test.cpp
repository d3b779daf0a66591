// SPDX-License-Identifier: MIT
// The link against the simulated unit: the connect-and-read and write sequences byte for byte on
// the wire, and a unit that vanishes.
#include <gtest/gtest.h>
#include <signal.h>

#include <string>

#include "link/protocol.h"
#include "link/serialport.h"
#include "testenv.h"

namespace {

constexpr int kPort = 12;

class SimLinkTest : public ::testing::Test {
protected:
    testenv::SimProcess m_sim{
        {"--com", std::to_string(kPort), "--firmware", "1.02", "--a", "1,2,0,21,0,2", "--b", "0,0,1,43,1,1"}};
    CSerialPort m_port;
    char m_data[unit::kReplyDataSize] = {};

    void Connect() {
        ASSERT_EQ(m_port.Open(kPort, 115200, 8, 0, 0), 1)
            << DescribeOpenFailure(kPort, m_port.LastOpenFailure());
        EXPECT_EQ(m_port.SetLineControl(1, 0), 1);
        EXPECT_EQ(m_port.SetRts(1), 1);
    }

    unit::PortParameters ReadPort(char letter) {
        unit::PortParameters p{-9, -9, -9, -9, -9, -9};
        EXPECT_EQ(CommandExchange(m_port, unit::GetCommand(letter), m_data), 1) << letter;
        EXPECT_EQ(unit::ParseParameters(m_data, p), unit::kParameterCount) << m_data;
        return p;
    }
};

TEST_F(SimLinkTest, ConnectReadWriteAndReadBack) {
    Connect();
    ASSERT_EQ(CommandExchange(m_port, unit::kIdentifyCommand, m_data), 1);
    EXPECT_TRUE(unit::IsUnitIdentity(m_data)) << m_data;
    ASSERT_EQ(CommandExchange(m_port, unit::kVersionCommand, m_data), 1);
    EXPECT_STREQ(m_data, "1.02");
    EXPECT_EQ(unit::BaudRatesForFirmware(unit::FirmwareNumber(m_data)).size(), 27u);
    EXPECT_EQ(ReadPort('A'), (unit::PortParameters{1, 2, 0, 21, 0, 2}));
    EXPECT_EQ(ReadPort('B'), (unit::PortParameters{0, 0, 1, 43, 1, 1}));

    const unit::PortParameters changed{2, 1, 1, 33, 1, 0};
    const std::string setA = "AS A 2,1,1,33,1,0\r\n";
    const std::string setBadB = "AS B -1,0,0,33,0,0\r\n";
    EXPECT_EQ(CommandExchange(m_port, setA.c_str(), m_data), 1);
    EXPECT_EQ(CommandExchange(m_port, setBadB.c_str(), m_data), 0);  // a list with nothing chosen
    EXPECT_EQ(CommandExchange(m_port, unit::kStoreCommand, m_data), 1);
    EXPECT_EQ(ReadPort('A'), changed);

    EXPECT_EQ(m_sim.ReceivedBytes(),
              std::string("I\r\nV\r\nAG A\r\nAG B\r\n") + setA + setBadB + "W 4172093615\r\nAG A\r\n");
}

TEST_F(SimLinkTest, VanishedUnitFailsAtOnceEveryTime) {
    Connect();
    ASSERT_EQ(CommandExchange(m_port, unit::kIdentifyCommand, m_data), 1);
    m_sim.Signal(SIGKILL);  // the unit's end of the line closes with the process
    for (const char* command : {unit::kVersionCommand, unit::kGetACommand, unit::kNormalModeCommand}) {
        EXPECT_EQ(CommandExchange(m_port, command, m_data), 0) << command;
    }
}

}  // namespace
