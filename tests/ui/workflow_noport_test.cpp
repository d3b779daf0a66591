// SPDX-License-Identifier: MIT
// The connection workflow where no unit is reached: ports that do not open, and every operation
// while disconnected. The real CConnectionWorkflow and CSerialPort with a recording stand-in for the
// window; no device is needed, so this runs on both systems.
#include <gtest/gtest.h>

#include "link/serialport.h"
#include "link/statustexts.h"
#include "recordingwindow.h"
#include "testenv.h"
#include "ui/workflow.h"

namespace {

// No system here has a device behind this number.
constexpr int kAbsentCom = 200;

struct Rig {
    CRecordingWindow window;
    CSerialPort port;
    CConnectionWorkflow workflow{window, port};
};

TEST(WorkflowWithoutUnit, PortThatDoesNotOpenReportsItsNumberAndReason) {
    struct Case {
        int selected;
        const char* status;
        const char* inDetails;  // the details name the port
    };
    for (const Case& c : {Case{kAbsentCom, "COM200がオープンできません", "COM200"},
                          Case{-1, "COM-1がオープンできません", "COM-1"},
                          Case{256, "COM256がオープンできません", "COM256"}}) {
        SCOPED_TRACE(c.status);
        Rig rig;
        rig.window.selectedPort = c.selected;
        rig.workflow.Connect();
        EXPECT_EQ(rig.window.statuses, (std::vector<RecordedStatus>{{c.status, StatusOutcome::Failure}}));
        EXPECT_NE(rig.window.statusDetails.find(c.inDetails), std::string::npos) << rig.window.statusDetails;
        EXPECT_EQ(rig.window.calls.size(), 1u) << "nothing but the status line changes";
        EXPECT_FALSE(rig.port.IsOpen());
        EXPECT_FALSE(rig.workflow.IsConnected());
    }
}

TEST(WorkflowWithoutUnit, CloseAsksNothingSavesAndCloses) {
    Rig rig;
    rig.workflow.OnClose();
    EXPECT_TRUE(rig.window.questions.empty());
    EXPECT_TRUE(rig.window.statuses.empty());
    EXPECT_EQ(rig.window.saves, 1);
    EXPECT_EQ(rig.window.closes, 1);
}

// With the port closed every exchange fails, and the failure is reported like a silent unit's.
TEST(WorkflowWithoutUnit, WriteAndNormalModeFailOnAClosedPort) {
    Rig rig;
    rig.workflow.WriteParameters();
    rig.workflow.SwitchToNormalMode();
    EXPECT_EQ(rig.window.statuses,
              (std::vector<RecordedStatus>{{status::kWriteFailed, StatusOutcome::Failure},
                                           {status::kNormalModeFailed, StatusOutcome::Failure}}));
    EXPECT_FALSE(rig.workflow.IsConnected());
}

TEST(WorkflowWithoutUnit, DisconnectRestoresTheDisconnectedControls) {
    Rig rig;
    rig.workflow.Disconnect();
    EXPECT_EQ(rig.window.calls,
              (std::vector<std::string>{"disable format-group", "disable write", "enable connect",
                                        "enable com-list", "focus connect", "label cleared",
                                        std::string("status ") + status::kDisconnected}));
    EXPECT_FALSE(rig.workflow.IsConnected());
}

}  // namespace
