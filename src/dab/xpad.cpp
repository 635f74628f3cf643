#include "dab/xpad.h"

#include <algorithm>
#include <cassert>

#include "dab/crc.h"
#include "dab/dls.h"

namespace koru::dab {
namespace {

constexpr std::array<size_t, 8> kSubFieldLengths{4, 6, 8, 12, 16, 24, 32, 48};
constexpr size_t kMaxContentsIndicators = 4;

// Continuation type of a data group whose sub-fields so far were of type `type`.
uint8_t ContinuationOf(uint8_t type) {
    if (type == kXpadDlStart || type == kXpadMotStart) return type + 1;
    return type;
}

}  // namespace

std::vector<uint8_t> BuildDataGroupLengthIndicator(size_t length) {
    assert(length < (1u << 14));
    std::vector<uint8_t> out{static_cast<uint8_t>((length >> 8) & 0x3F),
                             static_cast<uint8_t>(length), 0, 0};
    PutCrc16(out);
    return out;
}

void XpadEncoder::Queue(uint8_t start_type, std::vector<uint8_t> data_group) {
    if (data_group.empty()) return;
    queue_.push_back(Pending{start_type, std::move(data_group)});
}

void XpadEncoder::QueueMot(std::vector<uint8_t> data_group) {
    Queue(kXpadDataGroupLength, BuildDataGroupLengthIndicator(data_group.size()));
    Queue(kXpadMotStart, std::move(data_group));
}

size_t XpadEncoder::queued_bytes() const {
    size_t n = 0;
    for (const Pending& p : queue_)
        n += p.bytes.size() - p.sent;
    return n;
}

PadFrame XpadEncoder::Next() {
    PadFrame frame;
    std::vector<uint8_t> indicators;
    std::vector<uint8_t> fields;
    while (!queue_.empty() && indicators.size() < kMaxContentsIndicators) {
        Pending& item = queue_.front();
        const size_t remaining = item.bytes.size() - item.sent;
        // Room left once this indicator (and an end marker, when fewer than four) is in.
        const size_t list = indicators.size() + 1 + (indicators.size() + 1 < 4 ? 1 : 0);
        if (list + fields.size() >= xpad_size_) break;
        const size_t room = xpad_size_ - list - fields.size();
        int code = -1;
        for (int c = 0; c < 8; ++c) {
            if (kSubFieldLengths[c] > room) break;
            code = c;
            if (kSubFieldLengths[c] >= remaining) break;
        }
        if (code < 0) break;
        const size_t length = kSubFieldLengths[code];
        const size_t take = std::min(length, remaining);
        const uint8_t type = item.sent == 0 ? item.start_type : ContinuationOf(item.start_type);
        indicators.push_back(static_cast<uint8_t>((code << 5) | type));
        fields.insert(fields.end(), item.bytes.begin() + static_cast<std::ptrdiff_t>(item.sent),
                      item.bytes.begin() + static_cast<std::ptrdiff_t>(item.sent + take));
        fields.resize(fields.size() + (length - take), 0);  // pad the sub-field
        item.sent += take;
        if (item.sent == item.bytes.size()) queue_.pop_front();
    }
    if (indicators.empty()) return frame;  // no X-PAD; F-PAD all zero
    if (indicators.size() < kMaxContentsIndicators) indicators.push_back(kXpadEndMarker);
    frame.xpad = std::move(indicators);
    frame.xpad.insert(frame.xpad.end(), fields.begin(), fields.end());
    frame.fpad = {static_cast<uint8_t>(kVariableXpad << 4), 0x02};  // CI flag
    return frame;
}

void XpadDecoder::Reset() {
    last_type_.reset();
    dl_open_ = mot_open_ = false;
    announced_mot_size_.reset();
}

void XpadDecoder::Feed(std::span<const uint8_t> area, const std::array<uint8_t, 2>& fpad) {
    if ((fpad[0] >> 6) != 0) return;  // not F-PAD type 0
    const int indicator = (fpad[0] >> 4) & 0x03;
    const bool ci_flag = (fpad[1] & 0x02) != 0;
    if (indicator == kShortXpad) {
        if (ci_flag) {
            if (area.size() < 4) return;
            last_type_ = area[0] & 0x1F;
            SubField(*last_type_, area.subspan(1, 3));
        } else if (last_type_ && area.size() >= 4) {
            last_type_ = ContinuationOf(*last_type_);
            SubField(*last_type_, area.first(4));
        }
        return;
    }
    if (indicator != kVariableXpad) return;
    if (!ci_flag) {
        // One sub-field continuing the previous frame's last application, as long as the
        // previous X-PAD field was (contents indicators included).
        if (last_type_ && last_length_ <= area.size()) {
            last_type_ = ContinuationOf(*last_type_);
            SubField(*last_type_, area.first(last_length_));
        }
        return;
    }
    std::vector<std::pair<uint8_t, size_t>> list;
    size_t at = 0;
    while (list.size() < kMaxContentsIndicators && at < area.size()) {
        const uint8_t ci = area[at++];
        if ((ci & 0x1F) == kXpadEndMarker) break;
        list.emplace_back(ci & 0x1F, kSubFieldLengths[ci >> 5]);
    }
    for (const auto& [type, length] : list) {
        if (at + length > area.size()) {
            last_type_.reset();
            return;
        }
        last_type_ = type;
        SubField(type, area.subspan(at, length));
        at += length;
    }
    last_length_ = at;
}

void XpadDecoder::SubField(uint8_t type, std::span<const uint8_t> bytes) {
    switch (type) {
        case kXpadDataGroupLength:
            if (bytes.size() >= 4 && Crc16Matches(bytes.first(4))) {
                announced_mot_size_ = static_cast<size_t>((bytes[0] & 0x3F) << 8) | bytes[1];
            } else {
                ++dgli_errors_;
                announced_mot_size_.reset();
            }
            break;
        case kXpadDlStart:
            dl_.assign(bytes.begin(), bytes.end());
            dl_open_ = true;
            dl_size_.reset();
            Deliver(kXpadDlStart, dl_, dl_size_);
            break;
        case kXpadDlContinuation:
            if (!dl_open_) break;
            dl_.insert(dl_.end(), bytes.begin(), bytes.end());
            Deliver(kXpadDlStart, dl_, dl_size_);
            break;
        case kXpadMotStart:
            // Without a length indicator just before, the data group's end is unknown.
            mot_open_ = announced_mot_size_.has_value();
            mot_size_ = announced_mot_size_;
            announced_mot_size_.reset();
            mot_.assign(bytes.begin(), bytes.end());
            if (mot_open_) Deliver(kXpadMotStart, mot_, mot_size_);
            break;
        case kXpadMotContinuation:
            if (!mot_open_) break;
            mot_.insert(mot_.end(), bytes.begin(), bytes.end());
            Deliver(kXpadMotStart, mot_, mot_size_);
            break;
        default:
            break;
    }
}

void XpadDecoder::Deliver(uint8_t start_type, std::vector<uint8_t>& buffer,
                          std::optional<size_t>& size) {
    if (start_type == kXpadDlStart && !size && buffer.size() >= 2) {
        size = DynamicLabelGroupSize(buffer[0], buffer[1]);
    }
    if (!size || buffer.size() < *size) return;
    std::vector<uint8_t> group(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(*size));
    (start_type == kXpadDlStart ? dl_open_ : mot_open_) = false;
    buffer.clear();
    size.reset();
    on_data_group_(start_type, std::move(group));
}

}  // namespace koru::dab
