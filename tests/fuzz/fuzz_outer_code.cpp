// The outer decoder of the emulated basebands on random sub-channel bytes, handed over in
// pieces of varying size: it must never read or write outside its buffers, and what it puts
// out is whole 188-byte packets (outer-coded) or exactly its input (plain).
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

#include "dab/outer_code.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using koru::dab::OuterDecoder;
    OuterDecoder decoder;
    std::vector<uint8_t> out;
    size_t at = 0;
    while (at < size) {
        const size_t piece = std::min<size_t>(size - at, 1 + data[at] * 8);
        decoder.Process(std::span(data + at, piece), &out);
        at += piece;
    }
    if (decoder.mode() == OuterDecoder::Mode::kOuterCoded &&
        out.size() % koru::dab::kTsPacketBytes != 0) {
        std::abort();
    }
    // Every corruption of one packet either decodes to a codeword or is refused.
    if (size >= koru::dab::kOuterPacketBytes) {
        std::array<uint8_t, koru::dab::kOuterPacketBytes> packet{};
        std::copy_n(data, packet.size(), packet.begin());
        const int corrected = koru::dab::RsDecode(packet);
        if (corrected > koru::dab::kOuterCorrectableBytes) std::abort();
        if (corrected >= 0 && koru::dab::RsDecode(packet) != 0) std::abort();
    }
    return 0;
}
