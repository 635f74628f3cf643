// The frequency the stick receives comes from the synthesiser registers the host wrote; the
// stick locks only on an ensemble, after the acquisition time.
#include "stick_client.h"
#include "support/environment.h"

namespace koru::test {
namespace {

class TuningTest : public EmulatorFixture {
  protected:
    void InstallAir(const std::string& extra = "") {
        std::filesystem::path eti = ReferenceEti();
        if (eti.empty()) GTEST_SKIP() << "the reference recording is not beside this checkout";
        Install("acquisition 300\n" + extra + "air 208736 " + eti.string() + "\nair 1452960 " +
                eti.string() + "\n");
        OpenStick();
    }
    double Tuned() {
        std::optional<double> mhz = emulator_->Status().tuned_mhz;
        return mhz.value_or(0.0);
    }
};

TEST_F(TuningTest, TheDriversRegisterValuesFor208736LockAfterTheAcquisitionTime) {
    InstallAir("tuner-clock 24.576\nacquisition 1000\n");
    if (IsSkipped()) return;
    Control(0x42);
    Control(0x11);
    M4_Sleep(100);
    Pn(0x04, 0x00);
    Pn(0x10, 0xCB);
    // LO 209.586 in row 10 (A 2, B 13, D 1); N 34, F 117760 with the 24.576 MHz clock.
    TunerWrite(0x75, {0x8D});
    TunerWrite(0x82, {0x90});
    const uint32_t programmed = M4_GetSysClock();
    TunerWrite(0x84, {34, 0x88, 117760 & 0xFF, (117760 >> 8) & 0xFF, 0x20 | (117760 >> 16)});
    EXPECT_EQ(TunerRead(0x70) >> 4, 9) << "VCO 838.344 MHz in (823.4, 847.4]";
    EXPECT_NEAR(Tuned(), 208.736, 0.0005);
    EXPECT_FALSE(Locked());
    ASSERT_GE(WaitForLock(), 0);
    EXPECT_GE(M4_GetSysClock() - programmed, 1000u) << "not before the acquisition time";
    EXPECT_TRUE(emulator_->Status().locked);
}

TEST_F(TuningTest, TheBoardClockDecidesWhatTheRegistersMean) {
    InstallAir();  // a PN3030 board: 16.384 MHz
    if (IsSkipped()) return;
    Tune(208.736, 16.384);
    EXPECT_NEAR(Tuned(), 208.736, 0.0005);
    EXPECT_GE(WaitForLock(), 0);
    // Values made for a 24.576 MHz clock put the VCO far below the sub-band: no frequency.
    ProgramSynth(ItdSynthFor(208.736, 24.576));
    EXPECT_LT(TunerRead(0x70) >> 4, 4);
    EXPECT_FALSE(emulator_->Status().tuned_mhz.has_value());
    EXPECT_FALSE(Locked());
}

TEST_F(TuningTest, AFrequencyWithoutAnEnsembleNeverLocks) {
    InstallAir();
    if (IsSkipped()) return;
    Tune(205.280);
    EXPECT_NEAR(Tuned(), 205.280, 0.0005);
    EXPECT_EQ(WaitForLock(2100), -1);
    EXPECT_EQ(PnRead(0xD5), 0xFF);
    EXPECT_FALSE(emulator_->Status().signal);
    // 30 kHz off the ensemble is still nothing; 5 kHz off is within the tolerance.
    Tune(208.766);
    EXPECT_EQ(WaitForLock(600), -1);
    Tune(208.741);
    EXPECT_GE(WaitForLock(), 0);
}

TEST_F(TuningTest, TheVcoLevelStepsTheSubBandSearch) {
    InstallAir();
    if (IsSkipped()) return;
    Tune(208.736);
    const ItdSynth right = ItdSynthFor(208.736, 16.384);
    ASSERT_EQ(right.row, 10);
    // Row 8 is too low: the level says "higher" until row 10 is reached, as the driver steps.
    // Rows 0 to 12 of band III are VCO A 2 with band codes 3 to 15, divider index 1.
    const auto band_of_row = [](int row) { return static_cast<uint8_t>(0x80 | (3 + row)); };
    int row = 8;
    int level = 0;
    for (int step = 0; step < 15; ++step) {
        TunerWrite(0x75, {band_of_row(row)});
        TunerWrite(0x82, {right.r82});
        level = TunerRead(0x70) >> 4;
        if (level >= 4 && level <= 12) break;
        EXPECT_FALSE(emulator_->Status().tuned_mhz.has_value()) << "row " << row;
        row += level < 4 ? -1 : 1;
    }
    EXPECT_EQ(row, 10);
    EXPECT_GE(level, 4);
    EXPECT_LE(level, 12);
    // Row 11 is too high.
    TunerWrite(0x75, {band_of_row(11)});
    TunerWrite(0x82, {right.r82});
    EXPECT_LT(TunerRead(0x70) >> 4, 4);
    TunerWrite(0x75, {right.r75});
    TunerWrite(0x82, {right.r82});
    EXPECT_GE(WaitForLock(), 0);
}

TEST_F(TuningTest, LBandNeedsTheLBandInputAndARunningDemodulator) {
    InstallAir();
    if (IsSkipped()) return;
    Tune(1452.96);
    EXPECT_NEAR(Tuned(), 1452.96, 0.0005);
    EXPECT_GE(WaitForLock(), 0);
    Control(0x42);  // band III input: the L-band signal does not reach the tuner
    EXPECT_EQ(WaitForLock(500), -1);
    Control(0x43);
    EXPECT_GE(WaitForLock(), 0);
    // The preparation pulse stops the demodulator until it is started again.
    Control(0x11);
    M4_Sleep(100);
    EXPECT_EQ(WaitForLock(500), -1);
    Pn(0x04, 0x00);
    Pn(0x10, 0xCB);
    EXPECT_GE(WaitForLock(), 0);
}

TEST_F(TuningTest, LockStatusClimbsThroughTheSyncStages) {
    InstallAir("acquisition 800\n");
    if (IsSkipped()) return;
    Tune(208.736);
    Pn(0x04, 0x02);
    uint8_t last_status1 = 0;
    bool saw_acquiring = false;
    for (int i = 0; i < 30 && !Locked(); ++i) {
        uint8_t status1 = PnRead(0xD5);
        uint8_t status2 = PnRead(0xD6);
        if (status1 == 0x0F) break;
        EXPECT_NE(status1, 0xFF);
        EXPECT_EQ(status2 & 0x10, 0) << "frame sync only when locked";
        EXPECT_GE(status1, last_status1);
        last_status1 = status1;
        saw_acquiring = true;
        M4_Sleep(50);
    }
    EXPECT_TRUE(saw_acquiring);
    EXPECT_TRUE(Locked());
    EXPECT_EQ(PnRead(0xD5), 0x0F);
    EXPECT_EQ(PnRead(0xD6), 0x1F);
}

}  // namespace
}  // namespace koru::test
