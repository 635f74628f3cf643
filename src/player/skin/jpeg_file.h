// Reading JPEG files into RGB pixels through libjpeg, and the row conversions that turn them
// into bottom-up, blue-first, 4-byte-aligned rows.
#ifndef PLAYER_SKIN_JPEG_FILE_H
#define PLAYER_SKIN_JPEG_FILE_H

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace koru::skin {

// Shows a message to the user (caption, text); the player turns it into a message box.
using ShowMessage = std::function<void(const std::string& caption, const std::string& text)>;

// 3 bytes a pixel (red, green, blue), rows top to bottom, packed without padding.
struct RgbImage {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> pixels;
};

// Shown when the pixel buffer cannot be had.
constexpr const char* kJpegOutOfMemory = "JpegFile :\nOut of memory";
// No JPEG larger than this is decoded: its buffer counts as memory that cannot be had.
constexpr int64_t kMaxJpegPixels = int64_t{1} << 25;

// Decodes a JPEG file; grey images are expanded to three equal bytes. Nothing when the file
// cannot be opened or decoded, or (after showing kJpegOutOfMemory) is too large.
std::optional<RgbImage> ReadJpegFile(const std::string& path, const ShowMessage& show_message = {});

// Exchanges the first and third byte of every 3-byte pixel (RGB to BGR and back).
void SwapRedBlue(uint8_t* pixels, int width, int rows);

// Exchanges row i with row rows - 1 - i for the first (rows + 1) / 2 rows.
bool FlipRows(uint8_t* pixels, size_t row_bytes, int rows);

// Copies packed 3-byte pixel rows into rows of ((width x 24 + 31) / 32) x 4 bytes.
struct PaddedRows {
    std::vector<uint8_t> pixels;
    int stride = 0;
};
std::optional<PaddedRows> PadRows(const uint8_t* pixels, int width, int rows);

}  // namespace koru::skin

#endif
