#include "player/skin/dib_image.h"

#include <cstring>
#include <span>

#include "m4systems/log.h"
#include "player/skin/bmp_decoder.h"
#include "player/skin/gif_decoder.h"

namespace koru::skin {

bool DibImage::Create(int width, int height, const uint8_t* pixels) {
    Destroy();
    if (!IsAllowedImageSize(width, height)) return false;
    width_ = width;
    height_ = height;
    const size_t size = static_cast<size_t>(width) * 4 * static_cast<size_t>(height);
    if (pixels != nullptr) {
        pixels_.assign(pixels, pixels + size);
    } else {
        pixels_.assign(size, 0);
    }
    return true;
}

void DibImage::Create(DecodedImage&& decoded) {
    Destroy();
    if (decoded.pixels.empty()) return;
    width_ = decoded.width;
    height_ = decoded.height;
    pixels_ = std::move(decoded.pixels);
}

void DibImage::Destroy() {
    width_ = 0;
    height_ = 0;
    pixels_.clear();
    pixels_.shrink_to_fit();
}

uint32_t DibImage::Pixel(int x, int y) const {
    const uint8_t* pixel = Row(y) + x * 4;
    return static_cast<uint32_t>(pixel[0]) | static_cast<uint32_t>(pixel[1]) << 8 |
           static_cast<uint32_t>(pixel[2]) << 16 | static_cast<uint32_t>(pixel[3]) << 24;
}

void DibImage::SetPixel(int x, int y, uint32_t argb) {
    uint8_t* pixel = Row(y) + x * 4;
    pixel[0] = static_cast<uint8_t>(argb);
    pixel[1] = static_cast<uint8_t>(argb >> 8);
    pixel[2] = static_cast<uint8_t>(argb >> 16);
    pixel[3] = static_cast<uint8_t>(argb >> 24);
}

ImageKind RecogniseImage(const uint8_t* data, size_t length) {
    std::span<const uint8_t> bytes(data, data != nullptr ? length : 0);
    const int compression = BmpCompression(bytes);
    if (compression >= 0 && compression <= 2) return {"bmp", kImageOk};
    if (IsGif(bytes)) return {"gif", kImageOk};
    if (bytes.size() >= 44 && std::memcmp(bytes.data() + 41, "EMF", 3) == 0) {
        return {"emf", kImageNotDecodable};
    }
    if (bytes.size() >= 3 && bytes[0] == 0xFF && bytes[1] == 0xD8 && bytes[2] == 0xFF) {
        return {"jpg", kImageNotDecodable};
    }
    if (compression == 3) return {"", kImageBitFields};
    return {"", kImageNotRecognised};
}

int DibImage::LoadFromMemory(const uint8_t* data, size_t length, std::string* kind, int frame) {
    Destroy();
    const ImageKind recognised = RecogniseImage(data, length);
    if (kind != nullptr) *kind = recognised.name;
    if (recognised.result != kImageOk) return recognised.result;
    std::span<const uint8_t> bytes(data, length);
    DecodedImage decoded;
    const int result = std::strcmp(recognised.name, "bmp") == 0
                           ? DecodeBmp(bytes, &decoded)
                           : DecodeGif(bytes, frame, ApplyAlphaPayload, &decoded);
    if (result != kImageOk) {
        M4_LOG(2, "DibImage", "%s image of %zu bytes not decoded (%d)", recognised.name, length,
               result);
        return result;
    }
    Create(std::move(decoded));
    return kImageOk;
}

}  // namespace koru::skin
