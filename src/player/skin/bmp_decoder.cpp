#include "player/skin/bmp_decoder.h"

#include <array>
#include <cstdlib>

#include "player/skin/byte_reader.h"

namespace koru::skin {
namespace {

constexpr size_t kFileHeaderSize = 14;
constexpr uint32_t kCoreHeaderSize = 12;
constexpr uint32_t kInfoHeaderSize = 40;

enum Compression : uint32_t { kNone = 0, kRle8 = 1, kRle4 = 2, kBitFields = 3 };

struct BmpHeader {
    uint32_t pixel_offset = 0;
    uint32_t header_size = 0;
    int64_t width = 0;
    int64_t height = 0;  // negative: rows stored top-down
    uint32_t bits = 0;
    uint32_t compression = 0;
    uint32_t colours_used = 0;
};

bool ReadHeader(std::span<const uint8_t> data, BmpHeader* header) {
    ByteReader reader(data);
    uint8_t b = 0, m = 0;
    if (!reader.ReadU8(&b) || !reader.ReadU8(&m) || b != 'B' || m != 'M') return false;
    if (!reader.Seek(10) || !reader.ReadLe32(&header->pixel_offset)) return false;
    if (!reader.ReadLe32(&header->header_size)) return false;
    if (header->header_size == kCoreHeaderSize) {
        uint16_t width = 0, height = 0, planes = 0, bits = 0;
        if (!reader.ReadLe16(&width) || !reader.ReadLe16(&height) || !reader.ReadLe16(&planes) ||
            !reader.ReadLe16(&bits)) {
            return false;
        }
        header->width = width;
        header->height = height;
        header->bits = bits;
        return true;
    }
    if (header->header_size < kInfoHeaderSize) return false;
    uint32_t width = 0, height = 0, compression = 0, image_size = 0, xppm = 0, yppm = 0;
    uint16_t planes = 0, bits = 0;
    if (!reader.ReadLe32(&width) || !reader.ReadLe32(&height) || !reader.ReadLe16(&planes) ||
        !reader.ReadLe16(&bits) || !reader.ReadLe32(&compression) ||
        !reader.ReadLe32(&image_size) || !reader.ReadLe32(&xppm) || !reader.ReadLe32(&yppm) ||
        !reader.ReadLe32(&header->colours_used)) {
        return false;
    }
    header->width = static_cast<int32_t>(width);
    header->height = static_cast<int32_t>(height);
    header->bits = bits;
    header->compression = compression;
    return true;
}

using Palette = std::array<uint32_t, 256>;  // 0xAARRGGBB, opaque; missing entries black

// Reads the colour table that lies between the header and the pixels, as far as it is there.
Palette ReadPalette(std::span<const uint8_t> data, const BmpHeader& header) {
    Palette palette;
    palette.fill(0xFF000000u);
    if (header.bits > 8) return palette;
    const size_t entry_size = header.header_size == kCoreHeaderSize ? 3 : 4;
    size_t count = size_t{1} << header.bits;
    if (header.colours_used != 0 && header.colours_used < count) count = header.colours_used;
    const size_t start = kFileHeaderSize + header.header_size;
    const size_t end = std::min<size_t>(header.pixel_offset, data.size());
    for (size_t i = 0; i < count && start + (i + 1) * entry_size <= end; ++i) {
        const uint8_t* entry = data.data() + start + i * entry_size;
        palette[i] = 0xFF000000u | uint32_t{entry[2]} << 16 | uint32_t{entry[1]} << 8 | entry[0];
    }
    return palette;
}

void PutPixel(uint8_t* out, uint32_t argb) {
    out[0] = static_cast<uint8_t>(argb);
    out[1] = static_cast<uint8_t>(argb >> 8);
    out[2] = static_cast<uint8_t>(argb >> 16);
    out[3] = static_cast<uint8_t>(argb >> 24);
}

// Converts one source row of `bits` per pixel into 32-bit pixels.
void ConvertRow(const uint8_t* source, int width, uint32_t bits, const Palette& palette,
                uint8_t* out) {
    for (int x = 0; x < width; ++x, out += 4) {
        switch (bits) {
            case 1:
                PutPixel(out, palette[(source[x >> 3] >> (7 - (x & 7))) & 1]);
                break;
            case 4:
                PutPixel(out, palette[(source[x >> 1] >> ((x & 1) ? 0 : 4)) & 0x0F]);
                break;
            case 8:
                PutPixel(out, palette[source[x]]);
                break;
            case 16: {
                const unsigned word = source[2 * x] | source[2 * x + 1] << 8;
                out[0] = static_cast<uint8_t>((word & 0x1F) << 3);
                out[1] = static_cast<uint8_t>(((word >> 5) & 0x1F) << 3);
                out[2] = static_cast<uint8_t>(((word >> 10) & 0x1F) << 3);
                out[3] = 255;
                break;
            }
            case 24:
            case 32: {
                const uint8_t* pixel = source + x * static_cast<int>(bits / 8);
                out[0] = pixel[0];
                out[1] = pixel[1];
                out[2] = pixel[2];
                out[3] = 255;
                break;
            }
        }
    }
}

int DecodeUncompressed(std::span<const uint8_t> data, const BmpHeader& header, int width,
                       int height, bool top_down, DecodedImage* image) {
    const size_t row_bytes = (static_cast<size_t>(width) * header.bits + 31) / 32 * 4;
    const size_t last_row_bytes = (static_cast<size_t>(width) * header.bits + 7) / 8;
    const size_t needed = row_bytes * static_cast<size_t>(height - 1) + last_row_bytes;
    if (header.pixel_offset > data.size() || data.size() - header.pixel_offset < needed) {
        return kImageDamaged;
    }
    const Palette palette = ReadPalette(data, header);
    image->Allocate(width, height);
    for (int i = 0; i < height; ++i) {
        const uint8_t* source =
            data.data() + header.pixel_offset + row_bytes * static_cast<size_t>(i);
        ConvertRow(source, width, header.bits, palette, image->Row(top_down ? i : height - 1 - i));
    }
    return kImageOk;
}

// Expands run-length coded pixels into one palette index per pixel, file rows bottom-up.
// Data that ends early leaves the rest at index 0.
std::vector<uint8_t> ExpandRunLength(ByteReader& reader, int width, int height, bool four_bits) {
    std::vector<uint8_t> indexes(static_cast<size_t>(width) * static_cast<size_t>(height), 0);
    int64_t x = 0, y = 0;
    auto put = [&](uint8_t index) {
        if (x < width && y < height) indexes[static_cast<size_t>(y * width + x)] = index;
        ++x;
    };
    uint8_t count = 0, value = 0;
    while (y < height && reader.ReadU8(&count) && reader.ReadU8(&value)) {
        if (count > 0) {  // a run: one index, or two alternating nibbles
            for (int i = 0; i < count; ++i) {
                put(four_bits ? ((i & 1) ? value & 0x0F : value >> 4) : value);
            }
        } else if (value == 0) {  // end of line
            x = 0;
            ++y;
        } else if (value == 1) {  // end of bitmap
            break;
        } else if (value == 2) {  // delta
            uint8_t dx = 0, dy = 0;
            if (!reader.ReadU8(&dx) || !reader.ReadU8(&dy)) break;
            x += dx;
            y += dy;
        } else {  // absolute: `value` pixels follow, padded to a 16-bit boundary
            const size_t bytes = four_bits ? (value + 1u) / 2 : value;
            std::span<const uint8_t> literal;
            if (!reader.ReadBytes(bytes, &literal)) break;
            for (int i = 0; i < value; ++i) {
                put(four_bits ? ((i & 1) ? literal[i / 2] & 0x0F : literal[i / 2] >> 4)
                              : literal[static_cast<size_t>(i)]);
            }
            if (bytes & 1) reader.Skip(1);
        }
    }
    return indexes;
}

int DecodeRunLength(std::span<const uint8_t> data, const BmpHeader& header, int width, int height,
                    DecodedImage* image) {
    const bool four_bits = header.compression == kRle4;
    if (header.bits != (four_bits ? 4u : 8u)) return kImageDamaged;
    if (header.pixel_offset > data.size()) return kImageDamaged;
    ByteReader reader(data);
    reader.Seek(header.pixel_offset);
    const std::vector<uint8_t> indexes = ExpandRunLength(reader, width, height, four_bits);
    const Palette palette = ReadPalette(data, header);
    image->Allocate(width, height);
    for (int i = 0; i < height; ++i) {
        ConvertRow(indexes.data() + static_cast<size_t>(i) * static_cast<size_t>(width), width, 8,
                   palette, image->Row(height - 1 - i));
    }
    return kImageOk;
}

}  // namespace

int BmpCompression(std::span<const uint8_t> data) {
    BmpHeader header;
    if (!ReadHeader(data, &header)) return -1;
    return header.compression > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int>(header.compression);
}

int DecodeBmp(std::span<const uint8_t> data, DecodedImage* image) {
    BmpHeader header;
    if (!ReadHeader(data, &header)) return kImageNotRecognised;
    if (header.compression == kBitFields) return kImageBitFields;
    if (header.compression > kRle4) return kImageNotRecognised;
    const bool top_down = header.height < 0;
    const int64_t height = std::llabs(header.height);
    if (!IsAllowedImageSize(header.width, height)) return kImageDamaged;
    const int w = static_cast<int>(header.width);
    const int h = static_cast<int>(height);
    if (header.compression != kNone) {
        if (top_down) return kImageDamaged;  // run-length files are always bottom-up
        return DecodeRunLength(data, header, w, h, image);
    }
    switch (header.bits) {
        case 1:
        case 4:
        case 8:
        case 16:
        case 24:
        case 32:
            return DecodeUncompressed(data, header, w, h, top_down, image);
    }
    return kImageDamaged;
}

}  // namespace koru::skin
