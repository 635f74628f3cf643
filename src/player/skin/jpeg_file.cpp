#include "player/skin/jpeg_file.h"

#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

#include <jpeglib.h>

#include "m4systems/log.h"

namespace koru::skin {
namespace {

constexpr const char* kLogSource = "JpegFile";

// libjpeg reports a fatal error by calling error_exit, which must not return: it jumps back
// to ReadJpegFile.
struct ErrorManager {
    jpeg_error_mgr base;
    std::jmp_buf jump;
};

[[noreturn]] void OnFatalError(j_common_ptr info) {
    char text[JMSG_LENGTH_MAX];
    info->err->format_message(info, text);
    M4_LOG(2, kLogSource, "%s", text);
    std::longjmp(reinterpret_cast<ErrorManager*>(info->err)->jump, 1);
}

void OnMessage(j_common_ptr info) {
    char text[JMSG_LENGTH_MAX];
    info->err->format_message(info, text);
    M4_LOG(3, kLogSource, "%s", text);
}

struct FileCloser {
    void operator()(FILE* file) const { std::fclose(file); }
};

// The decoding itself, kept free of objects with destructors because of the long jump. The
// pixel buffer is allocated through `allocate` once the size is known.
bool Decode(FILE* file, uint8_t* (*allocate)(void*, size_t), void* owner, int* width, int* height,
            bool* too_large) {
    jpeg_decompress_struct info;
    ErrorManager errors;
    info.err = jpeg_std_error(&errors.base);
    errors.base.error_exit = OnFatalError;
    errors.base.output_message = OnMessage;
    if (setjmp(errors.jump) != 0) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    jpeg_create_decompress(&info);
    jpeg_stdio_src(&info, file);
    jpeg_read_header(&info, TRUE);
    // libjpeg converts colour images to RGB; grey stays one byte and is expanded below.
    const bool grey = info.jpeg_color_space == JCS_GRAYSCALE;
    info.out_color_space = grey ? JCS_GRAYSCALE : JCS_RGB;
    if (info.num_components != 1 && info.num_components != 3) {
        jpeg_destroy_decompress(&info);  // CMYK and other layouts are not read
        return false;
    }
    jpeg_start_decompress(&info);
    const int64_t pixels = static_cast<int64_t>(info.output_width) * info.output_height;
    uint8_t* buffer = nullptr;
    if (pixels > 0 && pixels <= kMaxJpegPixels)
        buffer = allocate(owner, static_cast<size_t>(pixels) * 3);
    if (buffer == nullptr) {
        *too_large = true;
        jpeg_destroy_decompress(&info);
        return false;
    }
    const size_t row_bytes = static_cast<size_t>(info.output_width) * 3;
    while (info.output_scanline < info.output_height) {
        uint8_t* row = buffer + row_bytes * info.output_scanline;
        JSAMPROW rows[1] = {row};
        jpeg_read_scanlines(&info, rows, 1);
        if (grey) {  // expand in place from the end: grey byte i becomes bytes 3i .. 3i+2
            for (size_t x = info.output_width; x-- > 0;) {
                row[3 * x] = row[3 * x + 1] = row[3 * x + 2] = row[x];
            }
        }
    }
    *width = static_cast<int>(info.output_width);
    *height = static_cast<int>(info.output_height);
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    return true;
}

uint8_t* AllocatePixels(void* owner, size_t size) {
    auto* image = static_cast<RgbImage*>(owner);
    try {
        image->pixels.resize(size);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
    return image->pixels.data();
}

}  // namespace

std::optional<RgbImage> ReadJpegFile(const std::string& path, const ShowMessage& show_message) {
    std::unique_ptr<FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
    if (!file) return std::nullopt;
    RgbImage image;
    bool too_large = false;
    if (!Decode(file.get(), AllocatePixels, &image, &image.width, &image.height, &too_large)) {
        if (too_large) {
            M4_LOG(1, kLogSource, "%s: no memory for its pixels", path.c_str());
            if (show_message) show_message("", kJpegOutOfMemory);
        }
        return std::nullopt;
    }
    return image;
}

void SwapRedBlue(uint8_t* pixels, int width, int rows) {
    if (pixels == nullptr || width <= 0 || rows <= 0) return;
    const size_t count = static_cast<size_t>(width) * static_cast<size_t>(rows);
    for (size_t i = 0; i < count; ++i)
        std::swap(pixels[3 * i], pixels[3 * i + 2]);
}

bool FlipRows(uint8_t* pixels, size_t row_bytes, int rows) {
    if (pixels == nullptr || rows < 0) return false;
    for (int i = 0; i < (rows + 1) / 2; ++i) {
        uint8_t* top = pixels + static_cast<size_t>(i) * row_bytes;
        uint8_t* bottom = pixels + static_cast<size_t>(rows - 1 - i) * row_bytes;
        if (top != bottom) std::swap_ranges(top, top + row_bytes, bottom);
    }
    return true;
}

std::optional<PaddedRows> PadRows(const uint8_t* pixels, int width, int rows) {
    if (pixels == nullptr || width < 0 || rows < 0) return std::nullopt;
    PaddedRows padded;
    padded.stride = static_cast<int>((static_cast<int64_t>(width) * 24 + 31) / 32 * 4);
    const size_t row_bytes = static_cast<size_t>(width) * 3;
    try {
        padded.pixels.resize(static_cast<size_t>(padded.stride) * static_cast<size_t>(rows));
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
    for (int y = 0; y < rows; ++y) {
        std::memcpy(padded.pixels.data() + static_cast<size_t>(y) * padded.stride,
                    pixels + static_cast<size_t>(y) * row_bytes, row_bytes);
    }
    return padded;
}

}  // namespace koru::skin
