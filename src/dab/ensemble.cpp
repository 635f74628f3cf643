#include "dab/ensemble.h"

#include "dab/charset.h"

namespace koru::dab {
namespace {

// Number of UTF-8 characters (bytes that do not continue a sequence).
size_t Utf8Length(std::string_view text) {
    size_t n = 0;
    for (char c : text) {
        if ((static_cast<uint8_t>(c) & 0xC0) != 0x80) ++n;
    }
    return n;
}

}  // namespace

std::optional<Label> Label::FromUtf8(std::string_view text, std::string_view short_text) {
    const std::optional<std::string> bytes = Utf8ToEbuLatin(text);
    if (!bytes || bytes->size() > 16) return std::nullopt;
    Label label;
    label.bytes.fill(' ');
    std::copy(bytes->begin(), bytes->end(), label.bytes.begin());

    std::string wanted;
    if (short_text.empty()) {
        wanted = bytes->substr(0, 8);
        while (!wanted.empty() && wanted.back() == ' ')
            wanted.pop_back();
    } else {
        const std::optional<std::string> short_bytes = Utf8ToEbuLatin(short_text);
        if (!short_bytes || Utf8Length(short_text) > 8) return std::nullopt;
        wanted = *short_bytes;
    }
    // Flag the short label's characters in order, each at its first match in the label.
    size_t next = 0;
    for (char c : wanted) {
        while (next < bytes->size() && (*bytes)[next] != c)
            ++next;
        if (next == bytes->size()) return std::nullopt;
        label.short_flags |= static_cast<uint16_t>(0x8000u >> next);
        ++next;
    }
    return label;
}

std::string Label::Text() const {
    std::string text = DabTextToUtf8(bytes, charset);
    while (!text.empty() && text.back() == ' ')
        text.pop_back();
    return text;
}

std::string Label::ShortText() const {
    if (charset != kCharsetEbuLatin) return Text();  // flags count bytes, not characters
    std::array<uint8_t, 16> picked{};
    size_t n = 0;
    for (size_t i = 0; i < 16; ++i) {
        if (short_flags & (0x8000u >> i)) picked[n++] = bytes[i];
    }
    return EbuLatinToUtf8(std::span(picked).first(n));
}

bool Label::empty() const {
    for (uint8_t b : bytes) {
        if (b != 0 && b != ' ') return false;
    }
    return true;
}

const Service* Ensemble::FindService(uint32_t sid) const {
    for (const Service& service : services) {
        if (service.sid == sid) return &service;
    }
    return nullptr;
}

const Subchannel* Ensemble::FindSubchannel(int id) const {
    for (const Subchannel& sub : subchannels) {
        if (sub.id == id) return &sub;
    }
    return nullptr;
}

}  // namespace koru::dab
