// MPEG-1/2 Audio Layer II frame headers (ISO/IEC 11172-3) as DAB carries them, and where the
// PAD lies in a DAB audio frame (EN 300 401 clause 7.4): at the end, F-PAD in the last two
// bytes, the ScF-CRC before it and the X-PAD before that, its bytes in reverse order.
#ifndef DAB_MPA_H
#define DAB_MPA_H

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace koru::dab {

struct MpaHeader {
    bool mpeg1 = true;  // else MPEG-2 low sampling frequency
    int layer = 2;
    bool crc = false;  // protection: a 16-bit CRC follows the header
    int bitrate_kbps = 0;
    int sample_rate = 0;
    bool padding = false;
    int mode = 0;  // 0 stereo, 1 joint stereo, 2 dual channel, 3 mono
    int channels() const { return mode == 3 ? 1 : 2; }
    size_t frame_size() const;  // bytes
};

std::optional<MpaHeader> ParseMpaHeader(std::span<const uint8_t> bytes);

// Bytes of the ScF-CRC in a DAB audio frame: 4 for MPEG-1 at 56 kbit/s per channel or more,
// else 2.
int ScfCrcLength(const MpaHeader& header);

// The F-PAD of a frame (its last two bytes).
std::array<uint8_t, 2> FpadOf(std::span<const uint8_t> frame);
// The bytes before the ScF-CRC, last first, up to `max` bytes (never into the frame header):
// the X-PAD field in transmission order.
std::vector<uint8_t> XpadAreaOf(std::span<const uint8_t> frame, int scf_crc_length,
                                size_t max = 256);
// Writes the X-PAD bytes (in transmission order) and the F-PAD into a frame.
void PutPad(std::span<uint8_t> frame, int scf_crc_length, std::span<const uint8_t> xpad,
            const std::array<uint8_t, 2>& fpad);

}  // namespace koru::dab

#endif
