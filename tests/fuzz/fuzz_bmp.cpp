// Any bytes as a BMP file, and as image data of unknown kind.
#include <cstdint>

#include "player/skin/bmp_decoder.h"
#include "player/skin/dib_image.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    koru::skin::DecodedImage decoded;
    const int result = koru::skin::DecodeBmp(std::span<const uint8_t>(data, size), &decoded);
    if (result == koru::skin::kImageOk &&
        decoded.pixels.size() != static_cast<size_t>(decoded.width) * 4 * decoded.height) {
        __builtin_trap();
    }
    koru::skin::DibImage image;
    image.LoadFromMemory(data, size);
    return 0;
}
