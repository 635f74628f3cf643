#include "dab/mpa.h"

#include <algorithm>
#include <cassert>

namespace koru::dab {
namespace {

constexpr int kBitrateMpeg1[16] = {0,   32,  48,  56,  64,  80,  96,  112,
                                   128, 160, 192, 224, 256, 320, 384, 0};
constexpr int kBitrateMpeg2[16] = {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0};
constexpr int kRateMpeg1[3] = {44100, 48000, 32000};
constexpr size_t kMpaHeaderSize = 4;

}  // namespace

size_t MpaHeader::frame_size() const {
    if (sample_rate == 0) return 0;
    const int samples = 1152;
    return static_cast<size_t>(samples / 8 * bitrate_kbps * 1000 / sample_rate) + (padding ? 1 : 0);
}

std::optional<MpaHeader> ParseMpaHeader(std::span<const uint8_t> b) {
    if (b.size() < kMpaHeaderSize || b[0] != 0xFF || (b[1] & 0xF0) != 0xF0) return std::nullopt;
    MpaHeader h;
    h.mpeg1 = (b[1] & 0x08) != 0;
    const int layer_code = (b[1] >> 1) & 3;
    if (layer_code != 2) return std::nullopt;  // Layer II only
    h.layer = 2;
    h.crc = (b[1] & 1) == 0;
    const int bitrate_index = b[2] >> 4;
    const int rate_index = (b[2] >> 2) & 3;
    if (bitrate_index == 0 || bitrate_index == 15 || rate_index == 3) return std::nullopt;
    h.bitrate_kbps = h.mpeg1 ? kBitrateMpeg1[bitrate_index] : kBitrateMpeg2[bitrate_index];
    h.sample_rate = kRateMpeg1[rate_index] / (h.mpeg1 ? 1 : 2);
    h.padding = (b[2] & 0x02) != 0;
    h.mode = b[3] >> 6;
    return h;
}

int ScfCrcLength(const MpaHeader& h) {
    return h.mpeg1 && h.bitrate_kbps / h.channels() >= 56 ? 4 : 2;
}

std::array<uint8_t, 2> FpadOf(std::span<const uint8_t> frame) {
    if (frame.size() < 2) return {0, 0};
    return {frame[frame.size() - 2], frame[frame.size() - 1]};
}

std::vector<uint8_t> XpadAreaOf(std::span<const uint8_t> frame, int scf_crc_length, size_t max) {
    std::vector<uint8_t> out;
    const size_t tail = 2 + static_cast<size_t>(scf_crc_length);
    if (frame.size() < kMpaHeaderSize + tail) return out;
    const size_t end = frame.size() - tail;  // one past the first X-PAD byte
    const size_t count = std::min(max, end - kMpaHeaderSize);
    for (size_t i = 0; i < count; ++i)
        out.push_back(frame[end - 1 - i]);
    return out;
}

void PutPad(std::span<uint8_t> frame, int scf_crc_length, std::span<const uint8_t> xpad,
            const std::array<uint8_t, 2>& fpad) {
    const size_t tail = 2 + static_cast<size_t>(scf_crc_length);
    assert(frame.size() >= kMpaHeaderSize + tail + xpad.size());
    const size_t end = frame.size() - tail;
    for (size_t i = 0; i < xpad.size(); ++i)
        frame[end - 1 - i] = xpad[i];
    frame[frame.size() - 2] = fpad[0];
    frame[frame.size() - 1] = fpad[1];
}

}  // namespace koru::dab
