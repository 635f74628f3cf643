// Character sets of DAB labels and dynamic labels (ETSI TS 101 756): the complete EBU Latin
// based repertoire (set 0), ISO 8859-1 (set 4), UCS-2 big endian (set 6) and UTF-8 (set 15).
#ifndef DAB_CHARSET_H
#define DAB_CHARSET_H

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace koru::dab {

enum Charset : uint8_t {
    kCharsetEbuLatin = 0,
    kCharsetLatin1 = 4,
    kCharsetUcs2 = 6,
    kCharsetUtf8 = 15,
};

// EBU Latin bytes as UTF-8. A zero byte ends the text; the control codes 0x0A (preferred
// line break) and 0x0B (end of headline) pass through, 0x1F becomes a soft hyphen.
std::string EbuLatinToUtf8(std::span<const uint8_t> text);

// UTF-8 as EBU Latin bytes; nullopt when a character has no EBU Latin code (or the UTF-8 is
// malformed).
std::optional<std::string> Utf8ToEbuLatin(std::string_view utf8);

// Bytes in character set `charset` as UTF-8; an unknown set is read as EBU Latin. UTF-8 that
// is malformed has its bad bytes replaced by U+FFFD.
std::string DabTextToUtf8(std::span<const uint8_t> text, uint8_t charset);

// Appends code point `c` to `out` as UTF-8.
void AppendUtf8(char32_t c, std::string* out);

}  // namespace koru::dab

#endif
