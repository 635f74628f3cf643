// Decoded images: 32-bit pixels, bytes blue, green, red and a fourth byte, first row at the top.
#ifndef PLAYER_SKIN_IMAGE_H
#define PLAYER_SKIN_IMAGE_H

#include <cstdint>
#include <vector>

namespace koru::skin {

// Result codes of decoding from memory.
enum ImageResult {
    kImageOk = 0,
    kImageNotRecognised = 1,
    kImageDamaged = 2,  // recognised, but its sizes do not fit its data
    kImageBitFields = 3,
    kImageNotDecodable = 6,  // recognised but not decoded here ("jpg", "emf")
};

// No image is decoded larger than this, whatever its header says.
constexpr int kMaxImageSide = 16384;
constexpr int64_t kMaxImagePixels = int64_t{1} << 24;

// True when an image of this size may be decoded.
inline bool IsAllowedImageSize(int64_t width, int64_t height) {
    return width > 0 && height > 0 && width <= kMaxImageSide && height <= kMaxImageSide &&
           width * height <= kMaxImagePixels;
}

struct DecodedImage {
    int width = 0;
    int height = 0;
    int stride = 0;  // width x 4
    std::vector<uint8_t> pixels;

    void Allocate(int new_width, int new_height) {
        width = new_width;
        height = new_height;
        stride = new_width * 4;
        pixels.assign(static_cast<size_t>(stride) * static_cast<size_t>(new_height), 0);
    }
    uint8_t* Row(int y) {
        return pixels.data() + static_cast<size_t>(y) * static_cast<size_t>(stride);
    }
};

}  // namespace koru::skin

#endif
