// DibImage: an off-screen 32-bit image (bytes blue, green, red and a fourth byte per pixel, rows
// top to bottom) that decoders fill and the skinned windows draw from. Drawing it on the screen
// is the window layer's business; this class only holds the pixels.
#ifndef PLAYER_SKIN_DIB_IMAGE_H
#define PLAYER_SKIN_DIB_IMAGE_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "player/skin/image.h"

namespace koru::skin {

class DibImage {
  public:
    // Allocates a width x height image, blank (all bytes 0) or filled from `pixels` (rows of
    // width x 4 bytes, top row first). False, and no image, for a size out of range.
    bool Create(int width, int height, const uint8_t* pixels = nullptr);
    // Takes the pixels of a decoded image.
    void Create(DecodedImage&& decoded);
    void Destroy();

    // Recognises the data (BMP, GIF; JPEG and EMF are recognised but not decoded), decodes it
    // and creates the image from its pixels. `kind` receives "bmp", "gif", "jpg", "emf" or ""
    // when given. GIFs give frame `frame` with the MOT alpha extension applied. Returns an
    // ImageResult; on failure the image is empty.
    int LoadFromMemory(const uint8_t* data, size_t length, std::string* kind = nullptr,
                       int frame = 0);

    bool IsNull() const { return pixels_.empty(); }
    int width() const { return width_; }
    int height() const { return height_; }
    int stride() const { return width_ * 4; }
    uint8_t* bits() { return pixels_.data(); }
    const uint8_t* bits() const { return pixels_.data(); }
    uint8_t* Row(int y) { return pixels_.data() + static_cast<size_t>(y) * stride(); }
    const uint8_t* Row(int y) const { return pixels_.data() + static_cast<size_t>(y) * stride(); }

    // A pixel as 0xAARRGGBB (the fourth byte on top); the position must lie inside the image.
    uint32_t Pixel(int x, int y) const;
    void SetPixel(int x, int y, uint32_t argb);

  private:
    int width_ = 0;
    int height_ = 0;
    std::vector<uint8_t> pixels_;
};

// The kind of image data by its first bytes, tried in the order bmp, gif, emf, jpg: its name
// and the result decoding will have (kImageOk, kImageBitFields, kImageNotDecodable or
// kImageNotRecognised with an empty name).
struct ImageKind {
    const char* name;
    int result;
};
ImageKind RecogniseImage(const uint8_t* data, size_t length);

}  // namespace koru::skin

#endif
