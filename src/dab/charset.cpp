#include "dab/charset.h"

#include <array>

namespace koru::dab {
namespace {

// TS 101 756 annex C, the complete EBU Latin based repertoire; 0 marks a code with no
// character (0x00 ends a text).
constexpr std::array<char32_t, 256> kEbuLatin{
    // 0x00
    0,
    0x0118,
    0x012E,
    0x0172,
    0x0102,
    0x0116,
    0x010E,
    0x0218,
    0x021A,
    0x010A,
    0x000A,
    0x000B,
    0x0120,
    0x0139,
    0x017B,
    0x0143,
    // 0x10
    0x0105,
    0x0119,
    0x012F,
    0x0173,
    0x0103,
    0x0117,
    0x010F,
    0x0219,
    0x021B,
    0x010B,
    0x0147,
    0x011A,
    0x0121,
    0x013A,
    0x017C,
    0x00AD,
    // 0x20: ASCII but for 0x24 (l with stroke)
    0x20,
    0x21,
    0x22,
    0x23,
    0x0142,
    0x25,
    0x26,
    0x27,
    0x28,
    0x29,
    0x2A,
    0x2B,
    0x2C,
    0x2D,
    0x2E,
    0x2F,
    // 0x30
    0x30,
    0x31,
    0x32,
    0x33,
    0x34,
    0x35,
    0x36,
    0x37,
    0x38,
    0x39,
    0x3A,
    0x3B,
    0x3C,
    0x3D,
    0x3E,
    0x3F,
    // 0x40
    0x40,
    0x41,
    0x42,
    0x43,
    0x44,
    0x45,
    0x46,
    0x47,
    0x48,
    0x49,
    0x4A,
    0x4B,
    0x4C,
    0x4D,
    0x4E,
    0x4F,
    // 0x50: 0x5C U ring, 0x5E L stroke
    0x50,
    0x51,
    0x52,
    0x53,
    0x54,
    0x55,
    0x56,
    0x57,
    0x58,
    0x59,
    0x5A,
    0x5B,
    0x016E,
    0x5D,
    0x0141,
    0x5F,
    // 0x60: 0x60 A ogonek
    0x0104,
    0x61,
    0x62,
    0x63,
    0x64,
    0x65,
    0x66,
    0x67,
    0x68,
    0x69,
    0x6A,
    0x6B,
    0x6C,
    0x6D,
    0x6E,
    0x6F,
    // 0x70
    0x70,
    0x71,
    0x72,
    0x73,
    0x74,
    0x75,
    0x76,
    0x77,
    0x78,
    0x79,
    0x7A,
    0x00AB,
    0x016F,
    0x00BB,
    0x013D,
    0x0126,
    // 0x80
    0x00E1,
    0x00E0,
    0x00E9,
    0x00E8,
    0x00ED,
    0x00EC,
    0x00F3,
    0x00F2,
    0x00FA,
    0x00F9,
    0x00D1,
    0x00C7,
    0x015E,
    0x00DF,
    0x00A1,
    0x0178,
    // 0x90
    0x00E2,
    0x00E4,
    0x00EA,
    0x00EB,
    0x00EE,
    0x00EF,
    0x00F4,
    0x00F6,
    0x00FB,
    0x00FC,
    0x00F1,
    0x00E7,
    0x015F,
    0x011F,
    0x0131,
    0x00FF,
    // 0xA0
    0x0136,
    0x0145,
    0x00A9,
    0x0122,
    0x011E,
    0x011B,
    0x0148,
    0x0151,
    0x0150,
    0x20AC,
    0x00A3,
    0x0024,
    0x0100,
    0x0112,
    0x012A,
    0x016A,
    // 0xB0
    0x0137,
    0x0146,
    0x013B,
    0x0123,
    0x013C,
    0x0130,
    0x0144,
    0x0171,
    0x0170,
    0x00BF,
    0x013E,
    0x00B0,
    0x0101,
    0x0113,
    0x012B,
    0x016B,
    // 0xC0
    0x00C1,
    0x00C0,
    0x00C9,
    0x00C8,
    0x00CD,
    0x00CC,
    0x00D3,
    0x00D2,
    0x00DA,
    0x00D9,
    0x0158,
    0x010C,
    0x0160,
    0x017D,
    0x00D0,
    0x013F,
    // 0xD0
    0x00C2,
    0x00C4,
    0x00CA,
    0x00CB,
    0x00CE,
    0x00CF,
    0x00D4,
    0x00D6,
    0x00DB,
    0x00DC,
    0x0159,
    0x010D,
    0x0161,
    0x017E,
    0x0111,
    0x0140,
    // 0xE0
    0x00C3,
    0x00C5,
    0x00C6,
    0x0152,
    0x0177,
    0x00DD,
    0x00D5,
    0x00D8,
    0x00DE,
    0x014A,
    0x0154,
    0x0106,
    0x015A,
    0x0179,
    0x0164,
    0x00F0,
    // 0xF0
    0x00E3,
    0x00E5,
    0x00E6,
    0x0153,
    0x0175,
    0x00FD,
    0x00F5,
    0x00F8,
    0x00FE,
    0x014B,
    0x0155,
    0x0107,
    0x015B,
    0x017A,
    0x0165,
    0x0127,
};

constexpr char32_t kReplacement = 0xFFFD;

// Decodes one UTF-8 sequence at `pos`; nullopt (and pos past the bad byte) when malformed.
std::optional<char32_t> NextUtf8(std::string_view text, size_t* pos) {
    const auto byte = [&](size_t i) { return static_cast<uint8_t>(text[i]); };
    const uint8_t lead = byte(*pos);
    int extra;
    char32_t c;
    if (lead < 0x80) {
        ++*pos;
        return lead;
    } else if ((lead & 0xE0) == 0xC0) {
        extra = 1;
        c = lead & 0x1F;
    } else if ((lead & 0xF0) == 0xE0) {
        extra = 2;
        c = lead & 0x0F;
    } else if ((lead & 0xF8) == 0xF0) {
        extra = 3;
        c = lead & 0x07;
    } else {
        ++*pos;
        return std::nullopt;
    }
    if (*pos + extra >= text.size()) {
        ++*pos;
        return std::nullopt;
    }
    for (int i = 1; i <= extra; ++i) {
        const uint8_t next = byte(*pos + i);
        if ((next & 0xC0) != 0x80) {
            ++*pos;
            return std::nullopt;
        }
        c = (c << 6) | (next & 0x3F);
    }
    static constexpr char32_t kMinimum[] = {0, 0x80, 0x800, 0x10000};
    if (c < kMinimum[extra] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
        ++*pos;
        return std::nullopt;
    }
    *pos += extra + 1;
    return c;
}

}  // namespace

void AppendUtf8(char32_t c, std::string* out) {
    if (c < 0x80) {
        out->push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out->push_back(static_cast<char>(0xC0 | (c >> 6)));
        out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out->push_back(static_cast<char>(0xE0 | (c >> 12)));
        out->push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        out->push_back(static_cast<char>(0xF0 | (c >> 18)));
        out->push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
        out->push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

std::string EbuLatinToUtf8(std::span<const uint8_t> text) {
    std::string out;
    for (uint8_t byte : text) {
        if (byte == 0) break;
        AppendUtf8(kEbuLatin[byte], &out);
    }
    return out;
}

std::optional<std::string> Utf8ToEbuLatin(std::string_view utf8) {
    std::string out;
    size_t pos = 0;
    while (pos < utf8.size()) {
        const std::optional<char32_t> c = NextUtf8(utf8, &pos);
        if (!c || *c == 0) return std::nullopt;
        int code = -1;
        for (int i = 1; i < 256; ++i) {
            if (kEbuLatin[i] == *c) {
                code = i;
                break;
            }
        }
        if (code < 0) return std::nullopt;
        out.push_back(static_cast<char>(code));
    }
    return out;
}

std::string DabTextToUtf8(std::span<const uint8_t> text, uint8_t charset) {
    std::string out;
    switch (charset) {
        case kCharsetUtf8: {
            std::string_view view(reinterpret_cast<const char*>(text.data()), text.size());
            view = view.substr(0, view.find('\0'));
            size_t pos = 0;
            while (pos < view.size()) {
                const std::optional<char32_t> c = NextUtf8(view, &pos);
                AppendUtf8(c.value_or(kReplacement), &out);
            }
            return out;
        }
        case kCharsetUcs2:
            for (size_t i = 0; i + 1 < text.size(); i += 2) {
                const char32_t c = static_cast<char32_t>((text[i] << 8) | text[i + 1]);
                if (c == 0) break;
                AppendUtf8(c >= 0xD800 && c <= 0xDFFF ? kReplacement : c, &out);
            }
            return out;
        case kCharsetLatin1:
            for (uint8_t byte : text) {
                if (byte == 0) break;
                AppendUtf8(byte, &out);
            }
            return out;
        default:
            return EbuLatinToUtf8(text);
    }
}

}  // namespace koru::dab
