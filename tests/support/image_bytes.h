// Writers of BMP and GIF files and of ".lay" layout files, for tests and fuzz seeds: every
// image a test decodes is made here or by an independent tool, never taken from elsewhere.
#ifndef KORU_TESTS_SUPPORT_IMAGE_BYTES_H
#define KORU_TESTS_SUPPORT_IMAGE_BYTES_H

#include <algorithm>
#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace koru::test {

using Bytes = std::vector<uint8_t>;

inline void PutLe16(Bytes* out, uint32_t value) {
    out->push_back(static_cast<uint8_t>(value));
    out->push_back(static_cast<uint8_t>(value >> 8));
}
inline void PutLe32(Bytes* out, uint32_t value) {
    PutLe16(out, value & 0xFFFF);
    PutLe16(out, value >> 16);
}
inline void PutBytes(Bytes* out, const Bytes& bytes) {
    out->insert(out->end(), bytes.begin(), bytes.end());
}
inline void PutText(Bytes* out, const std::string& text) {
    out->insert(out->end(), text.begin(), text.end());
}

// A BMP file with the 40-byte info header: the palette (B, G, R, 0 per entry) and the pixel
// bytes are given as they are to be stored (rows bottom-up, padded, or run-length codes).
struct BmpSpec {
    int32_t width = 1;
    int32_t height = 1;
    uint16_t bits = 24;
    uint32_t compression = 0;
    Bytes palette;
    Bytes pixels;
};

inline Bytes BmpFile(const BmpSpec& spec) {
    const uint32_t offset = 14 + 40 + static_cast<uint32_t>(spec.palette.size());
    Bytes out;
    PutText(&out, "BM");
    PutLe32(&out, offset + static_cast<uint32_t>(spec.pixels.size()));
    PutLe32(&out, 0);
    PutLe32(&out, offset);
    PutLe32(&out, 40);
    PutLe32(&out, static_cast<uint32_t>(spec.width));
    PutLe32(&out, static_cast<uint32_t>(spec.height));
    PutLe16(&out, 1);
    PutLe16(&out, spec.bits);
    PutLe32(&out, spec.compression);
    PutLe32(&out, static_cast<uint32_t>(spec.pixels.size()));
    PutLe32(&out, 2835);
    PutLe32(&out, 2835);
    PutLe32(&out, static_cast<uint32_t>(spec.palette.size() / 4));
    PutLe32(&out, 0);
    PutBytes(&out, spec.palette);
    PutBytes(&out, spec.pixels);
    return out;
}

// A 24-bit BMP of 0x00RRGGBB pixels given top row first.
inline Bytes Bmp24(int width, int height, const std::vector<uint32_t>& rgb) {
    BmpSpec spec;
    spec.width = width;
    spec.height = height;
    const int row_bytes = (width * 3 + 3) / 4 * 4;
    for (int y = height - 1; y >= 0; --y) {
        for (int x = 0; x < width; ++x) {
            const uint32_t pixel = rgb[static_cast<size_t>(y * width + x)];
            spec.pixels.push_back(static_cast<uint8_t>(pixel));
            spec.pixels.push_back(static_cast<uint8_t>(pixel >> 8));
            spec.pixels.push_back(static_cast<uint8_t>(pixel >> 16));
        }
        for (int pad = width * 3; pad < row_bytes; ++pad)
            spec.pixels.push_back(0xEE);
    }
    return BmpFile(spec);
}

// LZW codes of a GIF image (GIF89a, appendix F): variable-length codes packed LSB first,
// with a clear code whenever the table is full.
inline Bytes LzwEncode(const Bytes& indexes, int min_code_size) {
    const int clear = 1 << min_code_size;
    Bytes out;
    uint32_t bits = 0;
    int bit_count = 0;
    int code_size = min_code_size + 1;
    auto emit = [&](int code) {
        bits |= static_cast<uint32_t>(code) << bit_count;
        bit_count += code_size;
        while (bit_count >= 8) {
            out.push_back(static_cast<uint8_t>(bits));
            bits >>= 8;
            bit_count -= 8;
        }
    };
    std::map<std::pair<int, int>, int> table;
    int next = clear + 2;
    emit(clear);
    int current = -1;
    for (uint8_t index : indexes) {
        if (current < 0) {
            current = index;
            continue;
        }
        auto found = table.find({current, index});
        if (found != table.end()) {
            current = found->second;
            continue;
        }
        emit(current);
        table[{current, index}] = next++;
        if (next > (1 << code_size) && code_size < 12) ++code_size;
        if (next == 4096) {
            emit(clear);
            table.clear();
            next = clear + 2;
            code_size = min_code_size + 1;
        }
        current = index;
    }
    if (current >= 0) emit(current);
    emit(clear + 1);
    if (bit_count > 0) out.push_back(static_cast<uint8_t>(bits));
    return out;
}

inline void PutSubBlocks(Bytes* out, const Bytes& data) {
    for (size_t at = 0; at < data.size(); at += 255) {
        const size_t length = std::min<size_t>(255, data.size() - at);
        out->push_back(static_cast<uint8_t>(length));
        out->insert(out->end(), data.begin() + static_cast<long>(at),
                    data.begin() + static_cast<long>(at + length));
    }
    out->push_back(0);
}

// Builds a GIF block by block. Palettes are R, G, B bytes, 2^n entries.
class GifWriter {
  public:
    GifWriter(int width, int height, const Bytes& palette, const char* version = "GIF89a") {
        PutText(&out_, version);
        PutLe16(&out_, static_cast<uint32_t>(width));
        PutLe16(&out_, static_cast<uint32_t>(height));
        out_.push_back(palette.empty() ? 0 : static_cast<uint8_t>(0x80 | TableBits(palette)));
        out_.push_back(0);
        out_.push_back(0);
        PutBytes(&out_, palette);
    }
    GifWriter& Control(int disposal, int transparent = -1) {
        PutBytes(&out_, {0x21, 0xF9, 4});
        out_.push_back(static_cast<uint8_t>(disposal << 2 | (transparent >= 0 ? 1 : 0)));
        PutLe16(&out_, 10);
        out_.push_back(static_cast<uint8_t>(transparent >= 0 ? transparent : 0));
        out_.push_back(0);
        return *this;
    }
    // Indexes are given top row first; interlaced frames are stored in their four passes.
    GifWriter& Frame(int left, int top, int width, int height, const Bytes& indexes,
                     const Bytes& local_palette = {}, bool interlaced = false, int min_code = 8) {
        out_.push_back(0x2C);
        PutLe16(&out_, static_cast<uint32_t>(left));
        PutLe16(&out_, static_cast<uint32_t>(top));
        PutLe16(&out_, static_cast<uint32_t>(width));
        PutLe16(&out_, static_cast<uint32_t>(height));
        uint8_t packed = interlaced ? 0x40 : 0;
        if (!local_palette.empty()) packed |= static_cast<uint8_t>(0x80 | TableBits(local_palette));
        out_.push_back(packed);
        PutBytes(&out_, local_palette);
        Bytes stored = indexes;
        if (interlaced) {
            stored.clear();
            const int starts[] = {0, 4, 2, 1}, steps[] = {8, 8, 4, 2};
            for (int pass = 0; pass < 4; ++pass) {
                for (int y = starts[pass]; y < height; y += steps[pass]) {
                    stored.insert(stored.end(), indexes.begin() + y * width,
                                  indexes.begin() + (y + 1) * width);
                }
            }
        }
        out_.push_back(static_cast<uint8_t>(min_code));
        PutSubBlocks(&out_, LzwEncode(stored, min_code));
        return *this;
    }
    // An application extension: 8-byte identifier, 3 authentication bytes, data sub-blocks.
    GifWriter& Application(const std::string& id, const Bytes& auth, const Bytes& data) {
        PutBytes(&out_, {0x21, 0xFF, 11});
        PutText(&out_, id);
        PutBytes(&out_, auth);
        PutSubBlocks(&out_, data);
        return *this;
    }
    Bytes Finish() {
        out_.push_back(0x3B);
        return out_;
    }

  private:
    static int TableBits(const Bytes& palette) {
        int bits = 0;
        while ((2 << bits) * 3 < static_cast<int>(palette.size()))
            ++bits;
        return bits;
    }
    Bytes out_;
};

// A ".lay" file: XML length and text, then per record a skipped block and the image.
inline Bytes LayFile(const std::string& xml,
                     const std::vector<std::pair<std::string, Bytes>>& records) {
    Bytes out;
    PutLe32(&out, static_cast<uint32_t>(xml.size()));
    PutText(&out, xml);
    for (const auto& [name, image] : records) {
        PutLe32(&out, static_cast<uint32_t>(name.size()));
        PutText(&out, name);
        PutLe32(&out, static_cast<uint32_t>(image.size()));
        PutBytes(&out, image);
    }
    return out;
}

}  // namespace koru::test

#endif
