// The ITD3020 / ITD3010 tuner (bus address 0x61): a register file with its id registers, a
// fractional-N synthesiser whose local oscillator runs 0.85 MHz above the received frequency,
// and a VCO split into sub-bands whose level reading tells the driver which way to step.
#ifndef USBDEV_RXSIM_ITD3020_H
#define USBDEV_RXSIM_ITD3020_H

#include <array>

#include "usbdev/rxsim/tuner.h"

namespace rxsim {

class Itd3020 : public Tuner {
  public:
    static constexpr uint8_t kBusAddress = 0x61;
    static constexpr double kIntermediateMHz = 0.85;

    static constexpr uint8_t kChipId = 0x10;  // register 0x66; 0x67 reads 0x30

    // chip_id: what register 0x66 answers (another chip than the firmware names answers
    // something else).
    Itd3020(std::string name, double clock_mhz, uint8_t chip_id = kChipId);

    uint8_t bus_address() const override { return kBusAddress; }
    void Reset() override;
    void I2cWrite(const uint8_t* bytes, size_t n) override;
    void I2cRead(uint8_t* out, size_t n) override;
    std::optional<double> ReceivedMHz() const override;
    std::string Name() const override { return name_; }

    // The VCO frequency the synthesiser registers ask for (N.F times the reference clock).
    double VcoMHz() const;
    // The level register 0x70 reports (bits 7..4): 4..12 when the chosen sub-band covers the
    // VCO frequency, below 4 when the frequency lies under it, 13 and up when above.
    int VcoLevel() const;

  private:
    uint8_t Read(uint8_t reg) const;
    void Write(uint8_t reg, uint8_t value);

    std::string name_;
    double clock_mhz_;
    uint8_t chip_id_;
    std::array<uint8_t, 256> registers_{};
    uint8_t pointer_ = 0;
};

}  // namespace rxsim

#endif
