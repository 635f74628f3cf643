// The register file of the PN3030 behind the firmware's register frames, and the tuner behind
// the PN3030's I2C master.
#include "stick_client.h"

namespace koru::test {
namespace {

class RegistersTest : public EmulatorFixture {
  protected:
    void SetUp() override {
        EmulatorFixture::SetUp();
        Install("hardware-id 0\n");
        OpenStick();
    }
};

TEST_F(RegistersTest, A130ByteReadIsAnsweredFrameByFrame) {
    Pn(0x04, 0x01);
    Bytes values(130);
    for (size_t i = 0; i < values.size(); ++i)
        values[i] = static_cast<uint8_t>(0x40 + i * 7);
    const uint16_t base = 0x6810;
    RegisterWrite(base, Bytes(values.begin(), values.begin() + 59));
    RegisterWrite(base + 59, Bytes(values.begin() + 59, values.begin() + 118));
    RegisterWrite(base + 118, Bytes(values.begin() + 118, values.end()));

    Bytes back = RegisterRead(base, 59);
    EXPECT_EQ(back.size(), 59u);
    Bytes more = RegisterRead(base + 59, 59);
    back.insert(back.end(), more.begin(), more.end());
    more = RegisterRead(base + 118, 12);
    back.insert(back.end(), more.begin(), more.end());
    EXPECT_EQ(back, values);

    // Asked for all 130 at once, the firmware answers one USB packet's worth.
    Bytes at_once = RegisterRead(base, 130);
    EXPECT_EQ(at_once, Bytes(values.begin(), values.begin() + 64));
}

TEST_F(RegistersTest, BanksKeepTheirOwnRegistersAroundTheCommonOnes) {
    for (uint8_t bank = 0; bank < 3; ++bank) {
        Pn(0x04, bank);
        Pn(0x20, static_cast<uint8_t>(0x11 * (bank + 1)));
    }
    for (uint8_t bank = 0; bank < 3; ++bank) {
        Pn(0x04, bank);
        EXPECT_EQ(PnRead(0x20), 0x11 * (bank + 1));
        EXPECT_EQ(PnRead(0x00), 0x01) << "chip id in bank " << int(bank);
        EXPECT_EQ(PnRead(0x04), bank);
    }
    Pn(0x00, 0x02);
    EXPECT_EQ(PnRead(0x00), 0x01) << "the chip id cannot be written";
    // Output masks come up closed; lock status reads no signal.
    Pn(0x04, 0x02);
    EXPECT_EQ(PnRead(0xA0), 0xE1);
    EXPECT_EQ(PnRead(0xA1), 0xE1);
    EXPECT_EQ(PnRead(0xD5), 0xFF);
    EXPECT_EQ(PnRead(0xD6), 0x00);
}

TEST_F(RegistersTest, FramesThatDoNotHoldWhatTheyAnnounceAreNotRun) {
    Pn(0x04, 0x01);
    Pn(0x30, 0x5A);
    // Announces 10 bytes, carries 3.
    ASSERT_EQ(Write({0x21, 0x68, 0x30, 0x00, 0x0A, 1, 2, 3}), SI_SUCCESS);
    EXPECT_EQ(PnRead(0x30), 0x5A);
    // 65 data bytes do not fit one USB packet: the first packet is short, the rest is noise.
    Bytes frame = {0x21, 0x68, 0x30, 0x00, 65};
    frame.resize(5 + 65, 0x77);
    ASSERT_EQ(Write(frame), SI_SUCCESS);
    EXPECT_EQ(PnRead(0x30), 0x5A);
    // Another register page is not the baseband's: reads float high, writes go nowhere.
    RegisterWrite(0x1230, {0x42});
    EXPECT_EQ(RegisterRead(0x1230, 2), (Bytes{0xFF, 0xFF}));
    // Unknown commands leave no reply behind.
    ASSERT_EQ(Write({0x99, 0x01}), SI_SUCCESS);
    ASSERT_EQ(Write({0x12, 0x77}), SI_SUCCESS);
    uint32_t queued = 1, status = 1;
    ASSERT_EQ(ops_->CheckRXQueue(handle_, &queued, &status), SI_SUCCESS);
    EXPECT_EQ(queued, 0u);
}

TEST_F(RegistersTest, PreparationResetsTheChipWhichIgnoresItsBusWhileItBoots) {
    Pn(0x04, 0x01);
    Pn(0x30, 0x5A);
    Control(0x11);
    Pn(0x04, 0x01);
    Pn(0x31, 0x66);  // lost: still in reset
    M4_Sleep(100);
    Pn(0x04, 0x01);
    EXPECT_EQ(PnRead(0x30), 0x00) << "reset value";
    EXPECT_EQ(PnRead(0x31), 0x00) << "the write during reset was lost";
    Pn(0x31, 0x67);
    EXPECT_EQ(PnRead(0x31), 0x67);
}

TEST_F(RegistersTest, TheI2cMasterReachesTheTuner) {
    EXPECT_EQ(TunerRead(0x66), 0x10);
    EXPECT_EQ(TunerRead(0x67), 0x30);
    TunerWrite(0x80, {0xAB, 0xCD, 0xEF});
    EXPECT_EQ(TunerRead(0x80), 0xAB);
    EXPECT_EQ(TunerRead(0x81), 0xCD);
    EXPECT_EQ(TunerRead(0x82), 0xEF);
    EXPECT_EQ(PnRead(0x1B), 0x00) << "acknowledged";
    EXPECT_EQ(PnRead(0x1A) & 0x01, 0) << "the start bit clears when done";
    // Nobody answers at 0x60: the bus reads high, the master reports no acknowledge.
    EXPECT_EQ(TunerRead(0x66, 0x60), 0xFF);
    EXPECT_EQ(PnRead(0x1B), 0x01);
    // The firmware's own tuner commands reach the same chip.
    ASSERT_EQ(Write({0x31, 0x90, 0x02, 0x12, 0x34}), SI_SUCCESS);
    EXPECT_EQ(TunerRead(0x91), 0x34);
    ASSERT_EQ(Write({0x32, 0x90, 0x02}), SI_SUCCESS);
    EXPECT_EQ(Read(2), (Bytes{0x12, 0x34}));
    // Id and level registers are the chip's own.
    TunerWrite(0x66, {0x00, 0x00});
    EXPECT_EQ(TunerRead(0x66), 0x10);
    EXPECT_EQ(TunerRead(0x67), 0x30);
}

// A 0x22 frame of any length but 5 is a batch: (tuner register, value) pairs.
TEST_F(RegistersTest, BatchWritesGoToTheTunerInPairs) {
    ASSERT_EQ(Write({0x22, 0x04, 0x80, 0x11, 0x81, 0x22}), SI_SUCCESS);
    EXPECT_EQ(TunerRead(0x80), 0x11);
    EXPECT_EQ(TunerRead(0x81), 0x22);
    Bytes longest = {0x22, 62};
    for (uint8_t i = 0; i < 31; ++i) {
        longest.push_back(static_cast<uint8_t>(0x40 + i));
        longest.push_back(static_cast<uint8_t>(0xA0 + i));
    }
    ASSERT_EQ(longest.size(), 64u);
    ASSERT_EQ(Write(longest), SI_SUCCESS);
    EXPECT_EQ(TunerRead(0x40), 0xA0);
    EXPECT_EQ(TunerRead(0x5E), 0xBE);
}

TEST_F(RegistersTest, TunerCalibrationReadsOnlyWhileAskedFor) {
    TunerWrite(0x7F, {0x40});
    EXPECT_EQ(TunerRead(0x68) >> 4, 9);
    TunerWrite(0x7F, {0x80});
    EXPECT_EQ(TunerRead(0x68), 0x00);
}

}  // namespace
}  // namespace koru::test
