// The FC2501 and FNX14701 tuners: the frequency the stick receives is what their synthesiser
// registers say, in the values the drivers write (FC2501 in both forms); and chips that answer
// other ids than the firmware's names.
#include "stick_client.h"
#include "support/environment.h"

namespace koru::test {
namespace {

class TunersTest : public EmulatorFixture {
  protected:
    void Board(const std::string& chips) {
        Install(chips);
        OpenStick();
    }
    void Tuner(std::initializer_list<std::pair<int, int>> writes) {
        for (auto [reg, value] : writes) {
            ASSERT_EQ(Write({0x31, static_cast<uint8_t>(reg), 1, static_cast<uint8_t>(value)}),
                      SI_SUCCESS);
        }
    }
    uint8_t TunerByte(uint8_t reg) {
        EXPECT_EQ(Write({0x32, reg, 1}), SI_SUCCESS);
        const Bytes value = Read(1);
        return value.size() == 1 ? value[0] : 0xEE;
    }
    double Tuned() { return emulator_->Status().tuned_mhz.value_or(0.0); }
};

TEST_F(TunersTest, TheFc2501TakesItsSynthesiserOnTheStartEdge) {
    Board("baseband CTX2050\ntuner FC2501\n");
    EXPECT_EQ(TunerByte(0x01), 0x60);
    // The CTX2050 form at 208.736 MHz: N 134, F 0x90000 of 24.576 MHz, band III (x16).
    Tuner({{0x02, 0x6E}, {0x43, 0x00}, {0x42, 0x00}, {0x41, 0x09}, {0x44, 0x86}});
    EXPECT_FALSE(emulator_->Status().tuned_mhz.has_value()) << "not started yet";
    Tuner({{0x37, 0x61}, {0x37, 0xE1}});
    EXPECT_NEAR(Tuned(), 208.736, 0.0005);
    // Band bits 10 divide the same VCO by 2: far outside the band, but a frequency.
    Tuner({{0x02, 0xAE}, {0x37, 0x61}, {0x37, 0xE1}});
    EXPECT_NEAR(Tuned(), 134.5625 * 24.576 / 2 + 2.048, 0.0005);
}

TEST_F(TunersTest, ThePn3030FormPutsTheOscillatorAboveBelow180Mhz) {
    Board("baseband PN3030\ntuner FC2501\n");  // a 16.384 MHz crystal
    // 175.28 MHz: r = 16 x 177.328 / 16.384 = 173.171875, bit 7 of 0x41 set.
    const uint8_t values[] = {0x82, 0xC0, 0x00, 173};
    Pn(0x04, 0x02);
    Pn(0x13, 0x60);
    Pn(0x18, 0x06);
    Pn(0x15, 0x01);
    Pn(0x19, 5);
    Pn(0x16, 0x90);
    RegisterWrite(0x6890, {0x41, values[0], values[1], values[2], values[3]});
    Pn(0x1A, 0x11);
    for (uint8_t band : {0x62, 0x66}) {
        Pn(0x19, 2);
        RegisterWrite(0x6890, {0x02, band});
        Pn(0x1A, 0x11);
    }
    for (uint8_t start : {0x61, 0xE1}) {
        RegisterWrite(0x6890, {0x37, start});
        Pn(0x1A, 0x11);
    }
    EXPECT_NEAR(Tuned(), 175.28, 0.0005);
    EXPECT_EQ(TunerRead(0x01, 0x60), 0x60);
}

TEST_F(TunersTest, TheFnx14701AtItsWorkedFrequencies) {
    Board("baseband CTX2050\ntuner FNX14701\n");
    struct Case {
        double mhz;
        int mode, frac_high, frac_low, integer, n_test;
    };
    const Case cases[] = {{208.736, 0, 0xD8, 0x00, 0xCB, 1},
                          {174.928, 0, 0x89, 0x00, 0xD5, 2},
                          {1452.96, 1, 0x7C, 0x00, 0xEC, 0},
                          {98.0, 3, 0x68, 0x00, 0xDB, 1}};
    Tuner({{0x01, 0x00}, {0x07, 0xD8}, {0x08, 0x00}, {0x09, 0xCB}, {0x0C, 0x01}});
    EXPECT_FALSE(emulator_->Status().tuned_mhz.has_value()) << "powered down";
    Tuner({{0x06, 0xF8}});
    for (const Case& c : cases) {
        Tuner({{0x01, c.mode},
               {0x07, c.frac_high},
               {0x08, c.frac_low},
               {0x09, c.integer},
               {0x0C, c.n_test}});
        if (c.mode == 1) {
            EXPECT_FALSE(emulator_->Status().tuned_mhz.has_value()) << "L-band input off";
            Tuner({{0x02, 0x40}});
        }
        EXPECT_NEAR(Tuned(), c.mhz, 0.001) << c.mhz;
    }
}

// A board whose chips are not the ones its firmware names: they answer other ids.
TEST_F(TunersTest, ChipsCanAnswerOtherIds) {
    Board("baseband PN3030\ntuner FC2501\nbaseband-id 0x02\ntuner-id 0x61\n");
    EXPECT_EQ(PnRead(0x00), 0x02);
    EXPECT_EQ(TunerRead(0x01, 0x60), 0x61);
    CloseStick();
    Install("tuner ITD3020\ntuner-id 7\n");
    OpenStick();
    EXPECT_EQ(TunerRead(0x66), 7);
    EXPECT_EQ(TunerRead(0x67), 0x30);
}

}  // namespace
}  // namespace koru::test
