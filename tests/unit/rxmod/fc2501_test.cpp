// The FC2501 driver in both forms: behind the CTX2050 its registers one by one and its
// synthesiser from 24576 kHz; behind the PN3030 its image in blocks through the I2C master and
// its synthesiser from the configured clock, the local oscillator above the signal below 180 MHz.
#include "rxmod/fc2501/fc2501.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "rxmod/bb_err.h"
#include "rxmod_fixture.h"

namespace koru::test {
namespace {

using Writes = std::vector<std::pair<uint8_t, uint8_t>>;

class Fc2501Test : public RxmodTest {
  protected:
    void BringUpWith(const char* baseband) {
        stick->firmware = std::string("KX1000|3.0|Jan 01 2008|") + baseband + "|FC2501";
        stick->tuner[0x01] = 0x60;
        BringUp();
    }
    // The tuner writes to the synthesiser, in order.
    Writes Synthesiser() const {
        Writes writes;
        for (auto write : stick->tuner_writes) {
            if (write.first >= 0x41 && write.first <= 0x44) writes.push_back(write);
        }
        return Writes(writes.end() - 4, writes.end());
    }
};

TEST_F(Fc2501Test, TheCtx2050FormAt208736) {
    BringUpWith("CTX2050");
    ASSERT_EQ(BB_Tuner().Tune(208.736), 0);
    // r = (208736 - 2048) x 16 / 24576 = 134.5625: N 134, F 0x90000.
    EXPECT_EQ(Synthesiser(), (Writes{{0x43, 0x00}, {0x42, 0x00}, {0x41, 0x09}, {0x44, 0x86}}));
    const Writes& writes = stick->tuner_writes;
    ASSERT_EQ(writes.size(), 37u + 4u + 2u);
    EXPECT_EQ(writes[36], std::make_pair(uint8_t{0x02}, uint8_t{0x6E}));  // band III, x16
    EXPECT_EQ(Writes(writes.end() - 2, writes.end()), (Writes{{0x37, 0x61}, {0x37, 0xE1}}));
    EXPECT_TRUE(Logged("FCI TUNER SET 208.736Mhz(208736)"));

    ClearRecords();
    ASSERT_EQ(BB_Tuner().Tune(1452.96), 0);  // L-band: x2
    EXPECT_EQ(stick->tuner_writes[39], std::make_pair(uint8_t{0x02}, uint8_t{0xAE}));
    // r = (1452960 - 2048) x 2 / 24576 = 118.0755...: N 118.
    EXPECT_EQ(Synthesiser().back(), std::make_pair(uint8_t{0x44}, uint8_t{118}));
    EXPECT_EQ(BB_Tuner().CarMode(1000), BB_ERR_NOT_SUPPORTED);
}

TEST_F(Fc2501Test, ThePn3030FormBelowAndAbove180Mhz) {
    BringUpWith("PN3030");
    EXPECT_EQ(BB_HwInfo().tuner_address, 0x60);
    ASSERT_EQ(BB_Tuner().Tune(175.28), 0);
    // Below 180 MHz the LO is RF + 2.048: r = 16 x 177.328 / 16.384 = 173.171875, and bit 7
    // of 0x41 says so.
    EXPECT_EQ(Synthesiser(), (Writes{{0x41, 0x82}, {0x42, 0xC0}, {0x43, 0x00}, {0x44, 173}}));
    // Seven blocks of the band III image first, then the band and the synthesiser's start.
    EXPECT_EQ(stick->tuner_writes[1], std::make_pair(uint8_t{0x02}, uint8_t{0x62}));
    EXPECT_EQ(stick->tuner_writes.size(), 13u + 13u + 7u + 12u + 10u + 15u + 15u + 4u + 4u);
    EXPECT_EQ(Writes(stick->tuner_writes.end() - 4, stick->tuner_writes.end()),
              (Writes{{0x02, 0x62}, {0x02, 0x66}, {0x37, 0x61}, {0x37, 0xE1}}));

    ClearRecords();
    ASSERT_EQ(BB_Tuner().Tune(208.736), 0);  // RF - 2.048: r = 201.84375, F = 0xD8000
    const Writes above = Synthesiser();
    EXPECT_EQ(above[3].second, 201);
    const int f = (above[0].second & 0x0F) << 16 | above[1].second << 8 | above[2].second;
    EXPECT_NEAR(f, 0xD8000, 1) << "the product's rounding may take the last bit";
    EXPECT_EQ(above[0].second & 0x80, 0);

    ClearRecords();
    ASSERT_EQ(BB_Tuner().Tune(1452.96), 0);  // L-band image, x2, no flag
    EXPECT_EQ(stick->tuner_writes[1], std::make_pair(uint8_t{0x02}, uint8_t{0xA2}));
    EXPECT_EQ(Synthesiser()[0].second & 0x80, 0);
    EXPECT_EQ(Writes(stick->tuner_writes.end() - 4, stick->tuner_writes.end() - 2),
              (Writes{{0x02, 0xA2}, {0x02, 0xA6}}));
    EXPECT_EQ(BB_Tuner().CarMode(1000), 0);
}

TEST_F(Fc2501Test, ATunerAnswering0x61IsRefusedBeforeAnyWrite) {
    for (const char* baseband : {"CTX2050", "PN3030"}) {
        BringUpWith(baseband);
        stick->tuner[0x01] = 0x61;
        EXPECT_EQ(BB_Tuner().Tune(208.736), BB_ERR_TUNER_ID) << baseband;
        EXPECT_TRUE(stick->tuner_writes.empty()) << baseband;
    }
}

}  // namespace
}  // namespace koru::test
