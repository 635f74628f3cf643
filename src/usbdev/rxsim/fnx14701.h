// The FNX14701 tuner (bus address 0x62): a synthesiser in steps of 8192 kHz, INT in 0x09
// (bit 7 set, bits 6..0 INT - 128) and a 16-bit fraction in 0x07, 0x08, and the path in 0x01:
// 0 band III, where the VCO runs at 2 (N + 3) times the frequency, 1 L-band at 4/3 of it (the
// L-band input needs bit 6 of 0x02), 3 FM at 4 (N + 3) times the frequency plus 14336 kHz, with
// the output divider N in 0x0C. Nothing oscillates until 0x06 powers the blocks up (0xF8).
#ifndef USBDEV_RXSIM_FNX14701_H
#define USBDEV_RXSIM_FNX14701_H

#include <array>

#include "usbdev/rxsim/tuner.h"

namespace rxsim {

class Fnx14701 : public Tuner {
  public:
    static constexpr uint8_t kBusAddress = 0x62;

    Fnx14701();

    uint8_t bus_address() const override { return kBusAddress; }
    void Reset() override;
    void I2cWrite(const uint8_t* bytes, size_t n) override;
    void I2cRead(uint8_t* out, size_t n) override;
    std::optional<double> ReceivedMHz() const override;
    std::string Name() const override { return "FNX14701"; }

  private:
    std::array<uint8_t, 32> registers_{};
    uint8_t pointer_ = 0;
};

}  // namespace rxsim

#endif
