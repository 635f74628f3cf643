#include "player/skin/gif_decoder.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string_view>
#include <vector>

#include "player/skin/byte_reader.h"

namespace koru::skin {
namespace {

constexpr uint8_t kExtensionIntroducer = 0x21;
constexpr uint8_t kImageSeparator = 0x2C;
constexpr uint8_t kTrailer = 0x3B;
constexpr uint8_t kGraphicControlLabel = 0xF9;
constexpr uint8_t kApplicationLabel = 0xFF;
constexpr int kMaxLzwCodes = 4096;

struct ColourTable {
    std::array<uint8_t, 256 * 3> rgb{};  // entries past `size` stay black
    int size = 0;
};

// Reads a colour table of 2^(n+1) entries when bit 7 of `packed` says there is one.
bool ReadColourTable(ByteReader& reader, uint8_t packed, ColourTable* table) {
    if ((packed & 0x80) == 0) return true;
    table->size = 2 << (packed & 0x07);
    std::span<const uint8_t> bytes;
    if (!reader.ReadBytes(static_cast<size_t>(table->size) * 3, &bytes)) return false;
    std::copy(bytes.begin(), bytes.end(), table->rgb.begin());
    return true;
}

// Reads data sub-blocks up to their terminator, appending their bytes to `joined` when given.
bool ReadSubBlocks(ByteReader& reader, std::vector<uint8_t>* joined) {
    for (;;) {
        uint8_t length = 0;
        std::span<const uint8_t> block;
        if (!reader.ReadU8(&length)) return false;
        if (length == 0) return true;
        if (!reader.ReadBytes(length, &block)) return false;
        if (joined != nullptr) joined->insert(joined->end(), block.begin(), block.end());
    }
}

struct GraphicControl {
    int disposal = 0;
    bool has_transparency = false;
    uint8_t transparent_index = 0;
};

struct Frame {
    int left = 0, top = 0, width = 0, height = 0;
    bool interlaced = false;
    int min_code_size = 0;
    std::vector<uint8_t> codes;  // the joined LZW data
    ColourTable colours;
};

bool ReadFrame(ByteReader& reader, const ColourTable& global, Frame* frame) {
    uint16_t left = 0, top = 0, width = 0, height = 0;
    uint8_t packed = 0, min_code_size = 0;
    if (!reader.ReadLe16(&left) || !reader.ReadLe16(&top) || !reader.ReadLe16(&width) ||
        !reader.ReadLe16(&height) || !reader.ReadU8(&packed)) {
        return false;
    }
    frame->left = left;
    frame->top = top;
    frame->width = width;
    frame->height = height;
    frame->interlaced = (packed & 0x40) != 0;
    frame->colours = global;
    if ((packed & 0x80) != 0) {
        frame->colours = ColourTable();
        if (!ReadColourTable(reader, packed, &frame->colours)) return false;
    }
    if (!reader.ReadU8(&min_code_size)) return false;
    frame->min_code_size = min_code_size;
    return ReadSubBlocks(reader, &frame->codes);
}

// The row of the frame that the n-th decoded row fills: interlaced frames come in four passes
// (every 8th row from 0, every 8th from 4, every 4th from 2, every 2nd from 1).
int FrameRow(int n, int height, bool interlaced) {
    if (!interlaced) return n;
    const int pass1 = (height + 7) / 8;
    const int pass2 = (height + 3) / 8;
    const int pass3 = (height + 1) / 4;
    if (n < pass1) return n * 8;
    n -= pass1;
    if (n < pass2) return 4 + n * 8;
    n -= pass2;
    if (n < pass3) return 2 + n * 4;
    n -= pass3;
    return 1 + n * 2;
}

// Paints decoded colour indexes onto the canvas, pixel by pixel in frame order.
class FramePainter {
  public:
    FramePainter(const Frame& frame, const GraphicControl& control, DecodedImage* canvas)
        : frame_(frame), control_(control), canvas_(canvas) {}

    size_t pixel_count() const {
        return static_cast<size_t>(frame_.width) * static_cast<size_t>(frame_.height);
    }

    void Put(size_t n, uint8_t index) {
        if (control_.has_transparency && index == control_.transparent_index) return;
        const int x = frame_.left + static_cast<int>(n % static_cast<size_t>(frame_.width));
        const int row = static_cast<int>(n / static_cast<size_t>(frame_.width));
        const int y = frame_.top + FrameRow(row, frame_.height, frame_.interlaced);
        if (x >= canvas_->width || y >= canvas_->height) return;
        uint8_t* pixel = canvas_->Row(y) + x * 4;
        const uint8_t* rgb = frame_.colours.rgb.data() + index * 3;
        pixel[0] = rgb[2];
        pixel[1] = rgb[1];
        pixel[2] = rgb[0];
        pixel[3] = 255;
    }

  private:
    const Frame& frame_;
    const GraphicControl& control_;
    DecodedImage* canvas_;
};

// Decodes the frame's LZW codes onto the canvas. Codes that end early or make no sense stop
// the frame where it is; what was painted stays.
void DecodeLzw(const Frame& frame, FramePainter& painter) {
    if (frame.min_code_size < 1 || frame.min_code_size > 11) return;
    const int clear_code = 1 << frame.min_code_size;
    const int end_code = clear_code + 1;
    std::array<uint16_t, kMaxLzwCodes> prefix{};
    std::array<uint8_t, kMaxLzwCodes> suffix{};
    std::array<uint8_t, kMaxLzwCodes + 1> stack{};
    int code_size = frame.min_code_size + 1;
    int next_code = clear_code + 2;
    int previous = -1;
    uint8_t first = 0;
    uint32_t bits = 0;
    int bit_count = 0;
    size_t position = 0;
    size_t written = 0;
    const size_t total = painter.pixel_count();
    while (written < total) {
        while (bit_count < code_size) {
            if (position >= frame.codes.size()) return;
            bits |= static_cast<uint32_t>(frame.codes[position++]) << bit_count;
            bit_count += 8;
        }
        const int code = static_cast<int>(bits & ((1u << code_size) - 1));
        bits >>= code_size;
        bit_count -= code_size;
        if (code == clear_code) {
            code_size = frame.min_code_size + 1;
            next_code = clear_code + 2;
            previous = -1;
            continue;
        }
        if (code == end_code) return;
        if (previous < 0) {
            if (code > clear_code) return;  // the first code after a clear is a single index
            first = static_cast<uint8_t>(code);
            painter.Put(written++, first);
            previous = code;
            continue;
        }
        if (code > next_code) return;
        // Walk the string of `code` (or, for the code being defined, of the previous one
        // followed by its own first index) back to its first index.
        int walk = code == next_code ? previous : code;
        size_t depth = 0;
        if (code == next_code) stack[depth++] = first;
        while (walk > end_code) {
            stack[depth++] = suffix[static_cast<size_t>(walk)];
            walk = prefix[static_cast<size_t>(walk)];
        }
        first = static_cast<uint8_t>(walk);
        stack[depth++] = first;
        while (depth > 0 && written < total)
            painter.Put(written++, stack[--depth]);
        if (next_code < kMaxLzwCodes) {
            prefix[static_cast<size_t>(next_code)] = static_cast<uint16_t>(previous);
            suffix[static_cast<size_t>(next_code)] = first;
            ++next_code;
            if (next_code == (1 << code_size) && code_size < 12) ++code_size;
        }
        previous = code;
    }
}

void ClearRect(DecodedImage* canvas, const Frame& frame) {
    const int right = std::min(frame.left + frame.width, canvas->width);
    const int bottom = std::min(frame.top + frame.height, canvas->height);
    for (int y = frame.top; y < bottom; ++y) {
        if (frame.left < right) {
            std::memset(canvas->Row(y) + frame.left * 4, 0,
                        static_cast<size_t>(right - frame.left) * 4);
        }
    }
}

uint32_t Le32(const std::vector<uint8_t>& data, size_t offset) {
    return static_cast<uint32_t>(data[offset]) | static_cast<uint32_t>(data[offset + 1]) << 8 |
           static_cast<uint32_t>(data[offset + 2]) << 16 |
           static_cast<uint32_t>(data[offset + 3]) << 24;
}

// An application extension after the decoded frame: when it is a MOT alpha extension, hands
// the payload of `frame` to the handler. The size in the extension's header is not relied on:
// the payload is looked up in the sub-blocks that are really there.
bool HandleApplicationExtension(ByteReader& reader, int frame, const GifExtensionHandler& handler,
                                DecodedImage* canvas) {
    uint8_t header_length = 0;
    std::span<const uint8_t> header;
    if (!reader.ReadU8(&header_length) || !reader.ReadBytes(header_length, &header)) return false;
    std::vector<uint8_t> joined;
    if (!ReadSubBlocks(reader, &joined)) return false;
    if (header.size() != 11) return true;
    const std::string_view id(reinterpret_cast<const char*>(header.data()), 8);
    uint64_t frame_count = 0;
    if (id == "MOT1ALPA") {
        frame_count = header[10];
    } else if (id == "MOT1TR00") {
        if (joined.size() < 4) return true;
        frame_count = Le32(joined, 0);
    } else {
        return true;
    }
    const uint64_t table_end = 4 + 4 * frame_count;
    if (static_cast<uint64_t>(frame) >= frame_count || table_end > joined.size()) return true;
    uint64_t start = table_end;
    for (int i = 0; i < frame; ++i)
        start += Le32(joined, 4 + 4 * static_cast<size_t>(i));
    const uint64_t size = Le32(joined, 4 + 4 * static_cast<size_t>(frame));
    if (start > joined.size() || size > joined.size() - start) return true;
    handler(canvas->pixels.data(), canvas->width, canvas->height, canvas->stride,
            std::span<const uint8_t>(joined).subspan(static_cast<size_t>(start),
                                                     static_cast<size_t>(size)));
    return true;
}

}  // namespace

bool IsGif(std::span<const uint8_t> data) {
    return data.size() >= 6 && (std::memcmp(data.data(), "GIF87a", 6) == 0 ||
                                std::memcmp(data.data(), "GIF89a", 6) == 0);
}

int DecodeGif(std::span<const uint8_t> data, int frame, const GifExtensionHandler& handler,
              DecodedImage* image) {
    *image = DecodedImage();
    if (!IsGif(data)) return kImageNotRecognised;
    if (frame < 0) return kImageDamaged;
    ByteReader reader(data);
    reader.Seek(6);
    uint16_t width = 0, height = 0;
    uint8_t packed = 0, background = 0, aspect = 0;
    ColourTable global;
    if (!reader.ReadLe16(&width) || !reader.ReadLe16(&height) || !reader.ReadU8(&packed) ||
        !reader.ReadU8(&background) || !reader.ReadU8(&aspect) ||
        !ReadColourTable(reader, packed, &global) || !IsAllowedImageSize(width, height)) {
        return kImageDamaged;
    }
    DecodedImage canvas;
    canvas.Allocate(width, height);
    GraphicControl control;
    int index = 0;
    bool decoded = false;
    uint8_t block = 0;
    while (reader.ReadU8(&block) && block != kTrailer) {
        bool read = false;
        if (block == kExtensionIntroducer) {
            uint8_t label = 0;
            if (!reader.ReadU8(&label)) break;
            if (label == kApplicationLabel && decoded) {
                HandleApplicationExtension(reader, frame, handler, &canvas);
                break;  // only the first one after the frame counts
            }
            std::vector<uint8_t> joined;
            read = ReadSubBlocks(reader, label == kGraphicControlLabel ? &joined : nullptr);
            if (read && label == kGraphicControlLabel && joined.size() >= 4) {
                control.disposal = (joined[0] >> 2) & 0x07;
                control.has_transparency = (joined[0] & 0x01) != 0;
                control.transparent_index = joined[3];
            }
        } else if (block == kImageSeparator) {
            Frame current;
            read = ReadFrame(reader, global, &current);
            if (read && !IsAllowedImageSize(current.width, current.height)) read = false;
            if (read && !decoded) {
                FramePainter painter(current, control, &canvas);
                if (index == frame) {
                    DecodeLzw(current, painter);
                    decoded = true;
                } else if (control.disposal == 2) {
                    ClearRect(&canvas, current);     // restore to background
                } else if (control.disposal != 3) {  // 3: restore previous, not drawn at all
                    DecodeLzw(current, painter);
                }
            }
            ++index;
            control = GraphicControl();
        }
        if (!read || (decoded && !handler)) break;
    }
    if (!decoded) return kImageDamaged;
    *image = std::move(canvas);
    return kImageOk;
}

void ApplyAlphaPayload(uint8_t* canvas, int width, int height, int stride,
                       std::span<const uint8_t> payload) {
    const size_t total =
        static_cast<size_t>(std::max(width, 0)) * static_cast<size_t>(std::max(height, 0));
    size_t pixel = 0;
    auto set_alpha = [&](uint8_t alpha) {
        const size_t x = pixel % static_cast<size_t>(width);
        const size_t y = pixel / static_cast<size_t>(width);
        canvas[y * static_cast<size_t>(stride) + x * 4 + 3] = alpha;
        ++pixel;
    };
    size_t position = 0;
    while (position < payload.size() && pixel < total) {
        const uint8_t value = payload[position++];
        if (value != 0 && value != 255) {
            set_alpha(value);
            continue;
        }
        if (position >= payload.size()) break;
        const uint8_t count = payload[position++];
        for (int i = 0; i < count && pixel < total; ++i)
            set_alpha(value);
    }
}

}  // namespace koru::skin
