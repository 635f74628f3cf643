#include "rxmod/itd3020/itd3020.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "rxmod/bb_err.h"
#include "rxmod/rxmod_api.h"
#include "rxmod_fixture.h"

namespace koru::test {
namespace {

class ItdTest : public RxmodTest {
  protected:
    void SetUp() override {
        RxmodTest::SetUp();
        stick->hardware_id = 15;
        BringUp();
    }

    // The value last written to a tuner register during this test, or -1.
    int LastWrite(uint8_t reg) const {
        int value = -1;
        for (auto [r, v] : stick->tuner_writes) {
            if (r == reg) value = v;
        }
        return value;
    }
};

TEST_F(ItdTest, SynthesiserFor208736MHz) {
    const ItdSynthesiser synth = ITD3020_Synthesiser(208.736, 24.576);
    EXPECT_EQ(synth.row, 10);
    EXPECT_EQ(synth.vco_select, 2);
    EXPECT_EQ(synth.band_code, 13);
    EXPECT_EQ(synth.divider, 1);
    EXPECT_EQ(synth.n, 34);
    EXPECT_EQ(synth.f, 117760);

    ASSERT_EQ(BB_Tuner().Configure(24.576, 0x61), 0);
    ASSERT_EQ(BB_Tuner().Tune(208.736), 0);
    EXPECT_EQ(LastWrite(0x75), 0x8D);
    EXPECT_EQ(LastWrite(0x82), 0x90);
    EXPECT_EQ(LastWrite(0x84), 34);
    EXPECT_EQ(LastWrite(0x85), 0x88);  // charge pump 1 in band III
    EXPECT_EQ(LastWrite(0x86), 117760 & 0xFF);
    EXPECT_EQ(LastWrite(0x87), (117760 >> 8) & 0xFF);
    EXPECT_EQ(LastWrite(0x88), 0x21);
    EXPECT_TRUE(Logged("GEN FREQ=838.344000 PLL_N=34 PLL_F=117760"));
}

TEST_F(ItdTest, LBandUsesItsOwnRows) {
    const ItdSynthesiser synth = ITD3020_Synthesiser(1452.96, 16.384);
    EXPECT_EQ(synth.row, 19);
    ASSERT_EQ(BB_Tuner().Tune(1452.96), 0);
    EXPECT_EQ(LastWrite(0x75), 0x81);
    EXPECT_EQ(LastWrite(0x82), 0x70);
    EXPECT_EQ(LastWrite(0x85) & 0x3C, (6 * 8 | 4) & 0x3C);
    EXPECT_TRUE(Logged("LO_FREQ=1453.810000"));
    EXPECT_EQ(stick->tuner[0x9E], 0x00);
    EXPECT_EQ(stick->tuner[0x9F], 0x90);
}

TEST_F(ItdTest, FrequenciesOutsideBothBandsAreRefused) {
    EXPECT_EQ(BB_Tuner().Tune(300.0), -1);
    EXPECT_TRUE(Logged("Not supported frequency!!"));
    EXPECT_EQ(BB_Tuner().Tune(169.9), -1);
    EXPECT_TRUE(stick->tuner_writes.empty());
    EXPECT_EQ(ITD3020_Synthesiser(253.5, 16.384).row, -1);  // LO beyond the last row
    ASSERT_EQ(BB_Tuner().Tune(208.736), 0);
    ClearRecords();
    ASSERT_EQ(BB_Tuner().Tune(253.5), 0);  // the band image is in place: nothing is written
    EXPECT_TRUE(stick->tuner_writes.empty());
}

TEST_F(ItdTest, AWrongTunerIdIsRefused) {
    stick->tuner[0x67] = 0x31;
    EXPECT_EQ(BB_Tuner().Tune(208.736), BB_ERR_TUNER_ID);
    EXPECT_TRUE(stick->tuner_writes.empty());
}

TEST_F(ItdTest, BandImageFor16MHzClockAndHardwareId15) {
    ASSERT_EQ(BB_Tuner().Tune(208.736), 0);
    EXPECT_EQ(stick->tuner[0x7E], 0x05);
    EXPECT_EQ(stick->tuner[0x9E], 0xE0);
    EXPECT_EQ(stick->tuner[0x9F], 0x80);
    EXPECT_EQ(stick->tuner[0x94], 0x62);
    EXPECT_EQ(stick->tuner[0x73], 0x80);
    EXPECT_EQ(stick->tuner[0xB3], 0x1F);

    ClearRecords();  // the tuner holds the image now: only the synthesiser is written again
    ASSERT_EQ(BB_Tuner().Tune(201.008), 0);
    EXPECT_EQ(LastWrite(0x73), -1);
    EXPECT_EQ(LastWrite(0x75), 0x80 | 12);
}

TEST_F(ItdTest, CarModeTakesEffectWhenTheBandImageIsWrittenAgain) {
    ASSERT_EQ(BB_Tuner().Tune(208.736), 0);
    EXPECT_EQ(stick->tuner[0xA0], 0x03);
    EXPECT_EQ(BB_UnsetCarMode(), 0);  // 0x0B for band III
    ASSERT_EQ(BB_Tuner().Tune(208.736), 0);
    EXPECT_EQ(stick->tuner[0xA0], 0x03);  // same band: the image is not written
    ASSERT_EQ(BB_Tuner().Tune(1452.96), 0);
    ASSERT_EQ(BB_Tuner().Tune(208.736), 0);
    EXPECT_EQ(stick->tuner[0xA0], 0x0B);
    EXPECT_EQ(BB_Tuner().CarMode(999), -1);
}

TEST_F(ItdTest, VcoSearchStepsThroughTheSubBands) {
    ASSERT_EQ(BB_Tuner().Tune(208.736), 0);  // the band image in place
    ClearRecords();
    stick->vco_level = [] { return 0x20; };  // always too low: down to row 0, then out
    ASSERT_EQ(BB_Tuner().Tune(208.736), 0);
    EXPECT_TRUE(Logged("ERR: Out of range"));
    EXPECT_EQ(LastWrite(0x75), 0x80 | 3);
    EXPECT_EQ(LastWrite(0x74), -1);  // no finishing steps

    ClearRecords();
    stick->vco_level = [] { return 0xD0; };  // too high: from row 12 into row 13 (VCO A = 0)
    ASSERT_EQ(BB_Tuner().Tune(220.0), 0);
    EXPECT_EQ(LastWrite(0x82), (0 * 4 | 2) * 16);
    EXPECT_EQ(LastWrite(0x85), ((2 | 0xF0) * 8 | 0) & 0xFF);
}

TEST_F(ItdTest, VcoSearchIsBoundedTo15StepsThenFinishes) {
    ASSERT_EQ(BB_Tuner().Tune(208.736), 0);  // the band image in place
    ClearRecords();
    int readings = 0;
    stick->vco_level = [&readings] { return ++readings % 2 ? 0xD0 : 0x20; };
    stick->tuner[0x68] = 0xF0;
    stick->tuner[0x7F] = 0xFF;
    ASSERT_EQ(BB_Tuner().Tune(208.736), 0);
    EXPECT_EQ(readings, 16);
    EXPECT_EQ(LastWrite(0x74), 13 * 16 | 0x0A);
    const auto first_7f = std::find(stick->tuner_writes.begin(), stick->tuner_writes.end(),
                                    std::make_pair(uint8_t{0x7F}, uint8_t{0x7F}));
    EXPECT_NE(first_7f, stick->tuner_writes.end());
    EXPECT_EQ(LastWrite(0x7F), 0xBF);
}

}  // namespace
}  // namespace koru::test
