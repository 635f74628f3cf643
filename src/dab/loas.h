// MPEG-4 audio in its stream form LOAS (ISO/IEC 14496-3 1.7): AudioSyncStream frames, each a
// sync word 0x2B7, a 13-bit length and one AudioMuxElement (LATM) that carries one access unit.
// The receiver hands DAB+ audio to the terminal this way, with the StreamMuxConfig (and so the
// AudioSpecificConfig) in every frame, so that decoding and recordings may start at any frame.
//
// The reader takes what encoders commonly write: audioMuxVersion 0 or 1, one program of one
// layer, all streams on the same time framing, one sub-frame, frame length type 0 (a payload
// length before each payload), the config carried in the frame or the last one used again.
#ifndef DAB_LOAS_H
#define DAB_LOAS_H

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "dab/bits.h"

namespace koru::dab {

inline constexpr size_t kLoasHeaderBytes = 3;
inline constexpr size_t kLoasMaxFrameBytes = kLoasHeaderBytes + 0x1FFF;

// A LOAS frame around `unit`, with a StreamMuxConfig (audioMuxVersion 0) holding the
// AudioSpecificConfig of `config_bits` bits in `config`. Units longer than a frame holds are
// cut off.
std::vector<uint8_t> WriteLoasFrame(std::span<const uint8_t> config, size_t config_bits,
                                    std::span<const uint8_t> unit);

// The length of the frame that starts `bytes` (header included), or 0 when `bytes` does not
// start with a sync word and a whole header.
size_t LoasFrameLength(std::span<const uint8_t> bytes);

class LoasReader {
  public:
    // The access unit of one whole frame (as LoasFrameLength measures it); nullopt when the
    // frame is malformed, of a kind this reader does not take, or reuses a config that never
    // came.
    std::optional<std::vector<uint8_t>> Read(std::span<const uint8_t> frame);
    // The AudioSpecificConfig last received, padded to whole bytes (empty before the first).
    const std::vector<uint8_t>& config() const { return config_; }
    // True when the last Read brought a config different from the one before it.
    bool config_changed() const { return config_changed_; }
    void Reset() { config_.clear(); }

  private:
    bool ReadStreamMuxConfig(BitReader* in, std::span<const uint8_t> frame);

    std::vector<uint8_t> config_;
    bool config_changed_ = false;
};

}  // namespace koru::dab

#endif
