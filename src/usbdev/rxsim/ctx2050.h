// The CTX2050 T-DMB baseband. Its registers take the firmware's 16-bit register addresses 0x000
// to 0x3FF as they are; the tuner sits on the firmware's own tuner bus. Unlike the PN3030 it
// decodes a sub-channel only when told its exact shape, in a descriptor per decoder channel.
//
// 0x01       bit 0 releases the core from reset; each release restarts sync.
// 0x0C       the chip's blocks stay in standby until it is written 0 (0x0F from power-on), so
//            it reads 0 once the chip is set up; the set-up survives the core's reset.
// 0x98       lock status (read only): 0x1F locked; while acquiring one bit more per sync stage.
// 0x04       output (low byte of a word): bit 0 the FIC, bit 7 the selected sub-channel.
// 0x310      bit d enables decoder channel d (0 audio and data, 1 video).
// 0x311      1 then 0 latches the descriptors: channel d takes the 12 bytes at 0x312 + 12 d,
//            which must be written alike in all four banks (+ 48 i).
// 0xC3, 0x40 the audio (SubChId | 0x80) and data (SubChId | 0x40) selection of channel 0;
// 0x30, 0x31 the video selection of channel 1 (SubChId | 0x80) and the sync byte it aligns to;
//            channel 1 removes T-DMB's outer code from an outer-coded sub-channel and passes a
//            plain transport stream unchanged.
// 0xF0, 0xF1 output type (3 channel 0, 2 channel 1) and sub-channel (SubChId | 0x40).
// Output (packet ids): 0 the FIC, the FIBs of each frame with their CRC; 3 the sub-channel's
// bytes, split at 1024, only while the latched descriptor matches the sub-channel's start, size
// and protection on the air; 4 a signal report per transmission frame while a sub-channel is
// selected: words a (signed) and b with 0.3 a / b + 4 the signal value.
#ifndef USBDEV_RXSIM_CTX2050_H
#define USBDEV_RXSIM_CTX2050_H

#include <array>
#include <optional>

#include "usbdev/rxsim/baseband.h"

namespace rxsim {

class Ctx2050 : public Baseband {
  public:
    static constexpr size_t kMaxPayload = 1024;
    static constexpr uint16_t kRegisters = 0x400;

    // What a decoder channel was told about its sub-channel.
    struct Descriptor {
        int subchid = 0;
        int start_cu = 0;
        bool short_form = false;
        int size_cu = 0;
        std::array<int, 4> l{};
        std::array<int, 4> pi{};
        int padding_bits = 0;
    };
    static Descriptor Unpack(const uint8_t* bytes);
    // Whether a descriptor decodes that sub-channel of the air.
    static bool Decodes(const Descriptor& descriptor, const AirFrame::SubChannel& subchannel);

    Ctx2050();

    std::string Name() const override { return "CTX2050"; }
    void Reset() override;
    void Prepare(uint32_t now) override;
    bool Decodes(uint16_t address) const override { return address < kRegisters; }
    uint8_t ReadRegister(uint16_t address, uint32_t now, const Reception& reception) override;
    void WriteRegister(uint16_t address, uint8_t value, uint32_t now) override;

    bool DemodRunning() const override;
    uint32_t DemodStarts() const override { return demod_starts_; }
    bool FicPathOn() const override;
    std::optional<int> SubChannel() const override;

    void OnAirFrame(const FrameContext& context) override;

    // The words a and b of a report for a signal value.
    static void SignalWords(double level, int32_t* a, uint32_t* b);

  private:
    void Latch();
    int DecoderChannel() const;  // of the output type, -1 for none
    void EmitFic(const FrameContext& context);
    void EmitSignalReport(const FrameContext& context);

    std::array<uint8_t, kRegisters> registers_{};
    std::array<std::optional<Descriptor>, 2> latched_;
    VideoDecoder video_;
    uint32_t demod_starts_ = 0;
    bool mismatch_logged_ = false;
};

}  // namespace rxsim

#endif
