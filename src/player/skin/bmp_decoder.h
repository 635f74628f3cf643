// Windows BMP files held in memory: 1, 4, 8, 16 (5-5-5), 24 and 32 bits per pixel,
// uncompressed or run-length coded (8-bit and 4-bit), with the info or the core header.
#ifndef PLAYER_SKIN_BMP_DECODER_H
#define PLAYER_SKIN_BMP_DECODER_H

#include <cstdint>
#include <span>

#include "player/skin/image.h"

namespace koru::skin {

// The compression field of a BMP's info header, or -1 when the data is no BMP or too short.
int BmpCompression(std::span<const uint8_t> data);

// Decodes a BMP; kImageOk and the image, else kImageBitFields, kImageNotRecognised (another
// compression) or kImageDamaged (sizes that do not fit the data).
int DecodeBmp(std::span<const uint8_t> data, DecodedImage* image);

}  // namespace koru::skin

#endif
