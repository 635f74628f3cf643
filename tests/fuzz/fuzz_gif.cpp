// Any bytes as a GIF file: the first byte picks the frame, the rest is the file, decoded with
// the MOT alpha handler.
#include <cstdint>

#include "player/skin/gif_decoder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const int frame = data[0] % 4;
    koru::skin::DecodedImage decoded;
    const int result = koru::skin::DecodeGif(std::span<const uint8_t>(data + 1, size - 1), frame,
                                             koru::skin::ApplyAlphaPayload, &decoded);
    if (result == koru::skin::kImageOk &&
        decoded.pixels.size() != static_cast<size_t>(decoded.width) * 4 * decoded.height) {
        __builtin_trap();
    }
    return 0;
}
