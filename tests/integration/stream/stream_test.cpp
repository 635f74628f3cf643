// Live services end to end: the terminal's plug-in manager loads build/bin/librxmod.so, the
// plug-in's input service connects "bbu://" URLs and its download thread streams from the
// emulated stick, which receives the demo ensembles. Service indices come from a channel search
// run first, as the player does. The terminal clock runs faster; timing checks are orders and
// bounds on that clock.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "demo_air.h"

namespace koru::test {
namespace {

class StreamTest : public DemoAirTest {
  protected:
    void SetUp() override { SetUpBoard(""); }
};

TEST_F(StreamTest, ATvServiceDeliversExactlyItsTransportStream) {
    ExpectTvDeliversItsTransportStream();
}

TEST_F(StreamTest, ARadioServiceDeliversItsLayerIIFrames) {
    ExpectRadioDeliversItsLayerIIFrames();
}

TEST_F(StreamTest, TheDataServiceWritesTheWebsiteAsTheBuilderSentIt) {
    ExpectTheWebsiteWrittenAsTheBuilderSentIt();
}

TEST_F(StreamTest, TheTpegServiceOpensWithoutWritingAnything) {
    const std::filesystem::path body = folder_.path() / "DataService" / "KORU TPEG";
    std::filesystem::create_directories(body);
    auto set_path = terminal_->Export<int32_t (*)(const char*)>("SetMOTBodyPath");
    set_path((body.string() + "/").c_str());
    ASSERT_EQ(terminal_->Connect(Url(IndexOf("KORU TPEG"), "mp2")), 0);
    ASSERT_TRUE(WaitForMessages(WM_SYSTEM_FIRST_FRAME));
    M4_Sleep(4000);  // the TPEG service sends a data group a second
    terminal_->Close();
    EXPECT_TRUE(std::filesystem::is_empty(body));
}

// --- faults ----------------------------------------------------------------------------------

TEST_F(StreamTest, PullingTheStickEndsTheThreadWithNoDevice) {
    ExpectAPullEndsTheThreadWithNoDevice();
}

TEST_F(StreamTest, AnOverrunReconnectsAndDataFlowsAgain) {
    ExpectAnOverrunReconnects();
}

TEST_F(StreamTest, ALostLockGivesAWeakSignalAfterThreeSecondsThenEveryThirdTune) {
    ASSERT_EQ(terminal_->Connect(Url(IndexOf("KORU TV 1"), "ts")), 0);
    ASSERT_TRUE(WaitForMessages(WM_SYSTEM_FIRST_FRAME));
    ASSERT_TRUE(WaitForDelivered(20000));
    const uint32_t lost = M4_GetSysClock();
    emulator_->SetLockLost(true);
    ASSERT_TRUE(WaitForMessages(WM_SYSTEM_SIGNAL_LOST, 2));
    emulator_->SetLockLost(false);
    ASSERT_TRUE(WaitForMessages(WM_SYSTEM_FIRST_FRAME, 2));
    terminal_->Close();
    // Playing: 3001 ms without data (the last came at most a frame and a poll before the loss).
    const uint32_t first = TimeOf(WM_SYSTEM_SIGNAL_LOST, 0);
    EXPECT_GE(first - lost, 3001u - 100u);
    // Then the tunes find no lock, each after its 2 s lock wait; the third reports again.
    EXPECT_GE(TimeOf(WM_SYSTEM_SIGNAL_LOST, 1) - first, 3u * 2000u);
    EXPECT_GT(TimeOf(WM_SYSTEM_FIRST_FRAME, 1), TimeOf(WM_SYSTEM_SIGNAL_LOST, 1));
}

TEST_F(StreamTest, SilenceOnTheServiceGivesAWeakSignalAfter3001And4501Ms) {
    ASSERT_EQ(terminal_->Connect(Url(IndexOf("KORU TV 1"), "ts")), 0);
    ASSERT_TRUE(WaitForMessages(WM_SYSTEM_FIRST_FRAME));
    ASSERT_TRUE(WaitForDelivered(20000));
    const uint32_t silent = M4_GetSysClock();
    emulator_->SetServiceSilence(true);
    ASSERT_TRUE(WaitForMessages(WM_SYSTEM_SIGNAL_LOST, 2));
    terminal_->Close();
    const uint32_t first = TimeOf(WM_SYSTEM_SIGNAL_LOST, 0);
    EXPECT_GE(first - silent, 3001u - 100u);
    // The signal reports still come, but no data: after the new tuning, 4501 ms.
    EXPECT_GE(TimeOf(WM_SYSTEM_SIGNAL_LOST, 1) - first, 4501u);
    const std::vector<std::string> logs = terminal_->Logs();
    EXPECT_EQ(std::count(logs.begin(), logs.end(), "Weak signal message sent"), 2);
    size_t reports = 0;
    for (const Message& m : terminal_->Messages())
        reports += m.code == WM_SYSTEM_SIGNAL_LEVEL && m.wparam > 0 ? 1 : 0;
    EXPECT_GE(reports, 3u);  // a batch at least every second
}

TEST_F(StreamTest, CloseWhileStreamingOrTuningReturnsWithinThreeSeconds) {
    ASSERT_EQ(terminal_->Connect(Url(IndexOf("KORU TV 1"), "ts")), 0);
    ASSERT_TRUE(WaitForMessages(WM_SYSTEM_FIRST_FRAME));
    EXPECT_LT(terminal_->Close(), 3000u);
    EXPECT_EQ(terminal_->service()->status, 5);
    EXPECT_TRUE(WaitForLog("Pnp_UsbThread ended(0)"));

    // An empty frequency: the thread is inside a tune's lock wait when the stop comes.
    terminal_->ClearRecords();
    ASSERT_EQ(terminal_->Connect("bbu://207008,0,0.ts"), 0);
    M4_Sleep(2500);
    EXPECT_LT(terminal_->Close(), 3000u);
    EXPECT_EQ(terminal_->service()->status, 5);
    EXPECT_TRUE(WaitForLog("Pnp_UsbThread ended(0)"));
    EXPECT_FALSE(terminal_->WaitUntil(
        [&] { return terminal_->LoggedLocked("Cannot kill Pnp_UsbThread. Terminate it."); }, 10));
    // Nothing arrives after close returned.
    const size_t messages = terminal_->Messages().size();
    M4_Sleep(500);
    EXPECT_EQ(terminal_->Messages().size(), messages);
}

TEST_F(StreamTest, AConnectWithoutAStickSendsNoDevice) {
    usbdev::SetDeviceProvider(std::make_shared<NoStick>());
    EXPECT_EQ(terminal_->Connect(Url(0, "ts")), -206);
    EXPECT_EQ(terminal_->service()->status, 5);
    ASSERT_TRUE(WaitForMessages(WM_SYSTEM_NO_DEVICE));
}

}  // namespace
}  // namespace koru::test
