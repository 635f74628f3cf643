// The FC2501 tuner (bus address 0x60): a register file with its id register 0x01, and a
// fractional-N synthesiser: N in 0x44, the 20-bit fraction F in 0x41 (bits 3..0), 0x42, 0x43,
// from the board's crystal. Bits 7..6 of 0x02 choose the band: 01 band III, where the VCO runs
// at 16 times the local oscillator, 10 L-band, 2 times. Bit 7 of 0x41 puts the local oscillator
// above the received frequency (else below it), 2.048 MHz off. New synthesiser values take
// effect on the rising edge of bit 7 of 0x37.
#ifndef USBDEV_RXSIM_FC2501_H
#define USBDEV_RXSIM_FC2501_H

#include <array>

#include "usbdev/rxsim/tuner.h"

namespace rxsim {

class Fc2501 : public Tuner {
  public:
    static constexpr uint8_t kBusAddress = 0x60;
    static constexpr uint8_t kChipId = 0x60;
    static constexpr double kIntermediateMHz = 2.048;

    // chip_id: what register 0x01 answers (another chip than the firmware names answers
    // something else).
    Fc2501(double clock_mhz, uint8_t chip_id);

    uint8_t bus_address() const override { return kBusAddress; }
    void Reset() override;
    void I2cWrite(const uint8_t* bytes, size_t n) override;
    void I2cRead(uint8_t* out, size_t n) override;
    std::optional<double> ReceivedMHz() const override;
    std::string Name() const override { return "FC2501"; }

  private:
    // What the synthesiser runs on since the last start.
    struct Synthesiser {
        std::array<uint8_t, 4> pll{};  // 0x41 to 0x44
        uint8_t band = 0;              // 0x02
    };
    void Write(uint8_t reg, uint8_t value);

    double clock_mhz_;
    uint8_t chip_id_;
    std::array<uint8_t, 128> registers_{};
    uint8_t pointer_ = 0;
    std::optional<Synthesiser> running_;
};

}  // namespace rxsim

#endif
