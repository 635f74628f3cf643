#include "dab/dls.h"

#include <algorithm>

#include "dab/charset.h"
#include "dab/crc.h"

namespace koru::dab {
namespace {

constexpr size_t kSegmentText = 16;
constexpr uint8_t kCommandClear = 0x1;
constexpr uint8_t kCommandDlPlus = 0x2;

std::vector<uint8_t> WithCrc(std::vector<uint8_t> bytes) {
    bytes.resize(bytes.size() + 2);
    PutCrc16(bytes);
    return bytes;
}

}  // namespace

std::string DynamicLabel::Utf8() const {
    return DabTextToUtf8(text, charset);
}

std::vector<std::vector<uint8_t>> BuildDynamicLabel(const DynamicLabel& label, bool toggle) {
    const size_t size = std::min(label.text.size(), kMaxDynamicLabelBytes);
    if (size == 0) return {BuildDynamicLabelClear(toggle)};
    std::vector<std::vector<uint8_t>> segments;
    size_t at = 0;
    int number = 0;
    do {
        const size_t take = std::min(kSegmentText, size - at);
        const bool first = at == 0;
        const bool last = at + take >= size;
        std::vector<uint8_t> seg;
        seg.push_back(static_cast<uint8_t>((toggle ? 0x80 : 0) | (first ? 0x40 : 0) |
                                           (last ? 0x20 : 0) | ((take - 1) & 0x0F)));
        seg.push_back(first ? static_cast<uint8_t>(label.charset << 4)
                            : static_cast<uint8_t>(number << 4));
        seg.insert(seg.end(), label.text.begin() + static_cast<std::ptrdiff_t>(at),
                   label.text.begin() + static_cast<std::ptrdiff_t>(at + take));
        segments.push_back(WithCrc(std::move(seg)));
        at += take;
        ++number;
    } while (at < size);
    return segments;
}

std::vector<uint8_t> BuildDynamicLabelClear(bool toggle) {
    return WithCrc({static_cast<uint8_t>((toggle ? 0x80 : 0) | 0x10 | kCommandClear), 0x00});
}

size_t DynamicLabelGroupSize(uint8_t prefix0, uint8_t prefix1) {
    const bool command = (prefix0 & 0x10) != 0;
    const size_t field = prefix0 & 0x0F;
    if (!command) return 2 + field + 1 + 2;
    if (field == kCommandDlPlus) return 2 + (prefix1 & 0x0F) + 1 + 2;
    return 2 + 2;
}

bool DynamicLabelDecoder::Feed(std::span<const uint8_t> segment) {
    if (segment.size() < 4 || segment.size() != DynamicLabelGroupSize(segment[0], segment[1]) ||
        !Crc16Matches(segment)) {
        return false;
    }
    const bool toggle = (segment[0] & 0x80) != 0;
    const bool first = (segment[0] & 0x40) != 0;
    const bool last = (segment[0] & 0x20) != 0;
    const bool command = (segment[0] & 0x10) != 0;
    if (command) {
        if ((segment[0] & 0x0F) == kCommandClear) Report(DynamicLabel{});
        return true;  // DL Plus and other commands are not needed here
    }
    if (toggle_ != toggle) {
        toggle_ = toggle;
        std::fill(segments_.begin(), segments_.end(), std::nullopt);
        last_segment_.reset();
    }
    const int number = first ? 0 : (segment[1] >> 4) & 0x07;
    if (first) charset_ = segment[1] >> 4;
    if (last) last_segment_ = number;
    segments_[number] = std::vector<uint8_t>(segment.begin() + 2, segment.end() - 2);
    if (!last_segment_ || !segments_[0]) return true;
    DynamicLabel label;
    label.charset = charset_;
    for (int i = 0; i <= *last_segment_; ++i) {
        if (!segments_[i]) return true;
        label.text.insert(label.text.end(), segments_[i]->begin(), segments_[i]->end());
    }
    Report(label);
    return true;
}

void DynamicLabelDecoder::Report(const DynamicLabel& label) {
    if (reported_ == label) return;
    reported_ = label;
    on_label_(label);
}

}  // namespace koru::dab
