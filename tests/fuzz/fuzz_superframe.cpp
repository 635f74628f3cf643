// The DAB+ superframe assembly of the download thread on random sub-channel bytes. Byte 0
// chooses the sub-channel's bit rate (8 to 192 kbit/s) and whether each superframe's worth of
// the rest is first sealed with a fire code and Reed-Solomon parity, so that headers and AU
// tables of every kind reach the parser; the bytes go in pieces of random sizes.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "dab/reed_solomon.h"
#include "dab/superframe.h"
#include "rxmod/dabplus/dabplus.h"

namespace {

void Seal(std::vector<uint8_t>* superframe, size_t s) {
    const uint16_t fire = koru::dab::FireCode(std::span(*superframe).subspan(2, 9));
    (*superframe)[0] = static_cast<uint8_t>(fire >> 8);
    (*superframe)[1] = static_cast<uint8_t>(fire);
    static const koru::dab::ReedSolomon code(koru::dab::kSuperframeCodewordBytes,
                                             koru::dab::kSuperframeParityBytes);
    std::vector<uint8_t> data(koru::dab::kSuperframeDataBytes);
    std::vector<uint8_t> parity(koru::dab::kSuperframeParityBytes);
    for (size_t i = 0; i < s; ++i) {
        for (size_t j = 0; j < data.size(); ++j)
            data[j] = (*superframe)[i + s * j];
        code.Encode(data, parity);
        for (size_t j = 0; j < parity.size(); ++j)
            (*superframe)[i + s * (data.size() + j)] = parity[j];
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    const int kbps = (data[0] % 24 + 1) * 8;
    const bool seal = (data[0] & 0x80) != 0;
    const koru::dab::SuperframeSize sizes(kbps);
    std::vector<uint8_t> bytes(data + 2, data + size);
    if (seal) {
        for (size_t at = 0; at + sizes.Bytes() <= bytes.size(); at += sizes.Bytes()) {
            std::vector<uint8_t> superframe(bytes.begin() + static_cast<long>(at),
                                            bytes.begin() + static_cast<long>(at + sizes.Bytes()));
            Seal(&superframe, static_cast<size_t>(sizes.s));
            std::copy(superframe.begin(), superframe.end(), bytes.begin() + static_cast<long>(at));
        }
    }
    DabPlusStream stream(kbps);
    size_t delivered = 0;
    const size_t piece = data[1] + 1;
    for (size_t at = 0; at < bytes.size(); at += piece) {
        stream.Feed(bytes.data() + at, static_cast<int>(std::min(piece, bytes.size() - at)),
                    [&](const uint8_t*, size_t length) { delivered += length; });
        if (at % 7 == 0) stream.TakeErrorShare();
    }
    return 0;
}
