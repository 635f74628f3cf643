// The PN3030 T-DMB baseband. Its registers sit in page 0x68 of the firmware's register
// commands; register 0x04 selects one of the banks for all others (0x00, the chip id 0x01,
// and 0x04 itself are the same in every bank). Bank 2 holds the I2C master that reaches the
// tuner, the output paths and the lock status.
//
// Bank 0:  0x10 bit 7 runs the demodulator (each write with bit 7 set restarts sync).
// Bank 2:  I2C master: 0x13 slave address, 0x14 sub-address, 0x15 direction, 0x16 buffer
//          (a register of bank 2), 0x18 bus set-up, 0x19 byte count, 0x1A command: bit 0
//          starts (and clears when done), bit 5 reads, bit 2 first writes the sub-address.
//          0x1B result: 0 acknowledged, 1 no acknowledge.
//          0x08 output ports: bit 0 sub-channel, bit 1 FIC.
//          0xA0, 0xA1 output masks (reset 0xE1): bit 0 FIC, bits 7..5 sub-channel.
//          0xA5 sub-channel path, 0xB1 FIC path: bit 7 resets the path, bit 3 runs it.
//          0xB0 bit 7 sub-channel decoder on, bit 0 takes the video selection 0x67 instead of
//          the audio/data selection 0x69; a selection is SubChId with bit 7 set. In video
//          mode the chip removes T-DMB's outer code (Reed-Solomon, interleaver) from an
//          outer-coded sub-channel and passes a plain transport stream unchanged.
//          0xD5, 0xD6 lock status 1 and 2 (read only).
// Output (packet ids): 0 the FIC, once per transmission frame: a 16-bit little-endian mask
// (bit i: FIB i failed its CRC) and the 12 FIBs without CRC; 3 the selected sub-channel's
// bytes, one packet per air frame (split at 3072 bytes); 4 a signal report per transmission
// frame while a sub-channel streams.
#ifndef USBDEV_RXSIM_PN3030_H
#define USBDEV_RXSIM_PN3030_H

#include <array>

#include "dab/outer_code.h"

#include "usbdev/rxsim/baseband.h"
#include "usbdev/rxsim/tuner.h"

namespace rxsim {

class Pn3030 : public Baseband {
  public:
    static constexpr uint8_t kPage = 0x68;
    static constexpr uint8_t kChipId = 0x01;
    static constexpr uint32_t kResetMs = 50;  // the chip ignores its bus while it boots
    static constexpr size_t kMaxPayload = 3072;

    explicit Pn3030(I2cBus* bus);

    std::string Name() const override { return "PN3030"; }
    void Reset() override;
    void Prepare(uint32_t now) override;
    bool Decodes(uint16_t address) const override { return (address >> 8) == kPage; }
    uint8_t ReadRegister(uint16_t address, uint32_t now, const Reception& reception) override;
    void WriteRegister(uint16_t address, uint8_t value, uint32_t now) override;

    bool DemodRunning() const override { return (banks_[0][0x10] & 0x80) != 0; }
    uint32_t DemodStarts() const override { return demod_starts_; }
    bool FicPathOn() const override;
    std::optional<int> SubChannel() const override;

    void OnAirFrame(const FrameContext& context) override;

    // The code x of a signal report that decodes to the value nearest to level.
    static uint16_t SignalCode(double level);
    // The signal value the host computes from code x (x > 0).
    static double SignalValue(uint16_t code);

  private:
    bool Booting(uint32_t now) const;
    void RunI2c();
    void EmitFic(const FrameContext& context);
    void EmitSubChannel(const FrameContext& context, const std::vector<uint8_t>& bytes);
    void EmitSignalReport(const FrameContext& context);
    uint8_t& Bank2(uint8_t reg) { return banks_[2][reg]; }
    uint8_t Bank2(uint8_t reg) const { return banks_[2][reg]; }

    I2cBus* bus_;
    std::array<std::array<uint8_t, 256>, 4> banks_{};
    uint8_t bank_select_ = 0;
    bool booting_ = false;
    uint32_t boot_start_ = 0;
    uint32_t demod_starts_ = 0;
    bool VideoMode() const;

    // Video mode: the outer decoder of the selected sub-channel, and its counts at the last
    // signal report.
    koru::dab::OuterDecoder outer_;
    std::optional<int> outer_subchannel_;
    koru::dab::OuterDecoder::Counts reported_;
    // The transmission frame being collected: its FIBs and how many air frames of it came.
    std::array<uint8_t, 12 * 32> fic_group_{};
    int fic_frames_ = 0;
};

}  // namespace rxsim

#endif
