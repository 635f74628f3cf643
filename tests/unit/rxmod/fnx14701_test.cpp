// The FNX14701 driver: the synthesiser of band III, L-band and FM at its 8192 kHz step.
#include "rxmod/fnx14701/fnx14701.h"

#include <gtest/gtest.h>

#include <vector>

#include "rxmod/bb_err.h"
#include "rxmod_fixture.h"

namespace koru::test {
namespace {

using Writes = std::vector<std::pair<uint8_t, uint8_t>>;

class Fnx14701Test : public RxmodTest {
  protected:
    void SetUp() override {
        RxmodTest::SetUp();
        stick->firmware = "KX1000|3.0|Jan 01 2008|CTX2050|FNX14701";
        BringUp();
    }
    // What one tune wrote: 0x01, 0x07, 0x08, 0x09, 0x0C.
    Writes Tune(double mhz) {
        ClearRecords();
        EXPECT_EQ(BB_Tuner().Tune(mhz), 0);
        const Writes& all = stick->tuner_writes;
        return Writes(all.end() - 5, all.end());
    }
};

TEST_F(Fnx14701Test, TheSynthesiserForBandIIILBandAndFm) {
    // 208.736 MHz: VCO_N 4, q = 203.84375.
    EXPECT_EQ(Tune(208.736),
              (Writes{{0x01, 0x00}, {0x07, 0xD8}, {0x08, 0x00}, {0x09, 0xCB}, {0x0C, 0x01}}));
    EXPECT_EQ(stick->tuner_writes.size(), 7u + 5u);
    EXPECT_EQ(stick->tuner_writes[0], std::make_pair(uint8_t{0x06}, uint8_t{0xF8}));
    // 174.928 MHz: VCO_N 5, N_TEST 2.
    const Writes low = Tune(174.928);
    EXPECT_EQ(low[1], std::make_pair(uint8_t{0x07}, uint8_t{0x89}));
    EXPECT_EQ(low[3], std::make_pair(uint8_t{0x09}, uint8_t{0xD5}));
    EXPECT_EQ(low[4], std::make_pair(uint8_t{0x0C}, uint8_t{0x02}));
    // 1452.96 MHz: L-band, its input switched on before the synthesiser.
    const Writes l_band = Tune(1452.96);
    EXPECT_EQ(l_band[0], std::make_pair(uint8_t{0x01}, uint8_t{0x01}));
    EXPECT_EQ(l_band[1], std::make_pair(uint8_t{0x07}, uint8_t{0x7C}));
    EXPECT_EQ(l_band[3], std::make_pair(uint8_t{0x09}, uint8_t{0xEC}));
    EXPECT_EQ(l_band[4], std::make_pair(uint8_t{0x0C}, uint8_t{0x00}));
    EXPECT_EQ(stick->tuner_writes[7], std::make_pair(uint8_t{0x02}, uint8_t{0x40}));
    // 98.0 MHz: FM, m = 4.
    const Writes fm = Tune(98.0);
    EXPECT_EQ(fm[0], std::make_pair(uint8_t{0x01}, uint8_t{0x03}));
    EXPECT_EQ(fm[1], std::make_pair(uint8_t{0x07}, uint8_t{0x68}));
    EXPECT_EQ(fm[3], std::make_pair(uint8_t{0x09}, uint8_t{0xDB}));
    EXPECT_EQ(fm[4], std::make_pair(uint8_t{0x0C}, uint8_t{0x01}));
    EXPECT_EQ(BB_Tuner().CarMode(1001), BB_ERR_NOT_SUPPORTED);
}

}  // namespace
}  // namespace koru::test
