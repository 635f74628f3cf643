#include "upcheck/proginfo.h"

#include <charconv>
#include <cmath>

namespace koru::upcheck {

namespace {

constexpr std::string_view kVersionPrefix = "version=";
constexpr std::string_view kFileNamePrefix = "filename=";

struct Line {
    std::string_view text;  // up to the first CR or LF
    bool fits = true;       // within the limit, no NUL byte
};

// The line that starts at *offset; moves *offset past its LF.
Line NextLine(std::string_view bytes, size_t* offset) {
    const std::string_view rest = bytes.substr(std::min(*offset, bytes.size()));
    const size_t feed = rest.find('\n');
    std::string_view raw = rest.substr(0, feed);
    *offset += feed == std::string_view::npos ? rest.size() : feed + 1;
    if (!raw.empty() && raw.back() == '\r') raw.remove_suffix(1);
    Line line;
    line.fits = raw.size() <= kLineLimit && raw.find('\0') == std::string_view::npos;
    line.text = raw.substr(0, raw.find('\r'));
    return line;
}

std::string AfterPrefix(std::string_view text, std::string_view prefix) {
    if (text.substr(0, prefix.size()) != prefix) return {};
    return std::string(text.substr(prefix.size()));
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// The length of the run of digits at the start of text.
size_t Digits(std::string_view text) {
    size_t n = 0;
    while (n < text.size() && IsDigit(text[n]))
        ++n;
    return n;
}

}  // namespace

ProgInfo ParseProgInfo(std::string_view bytes) {
    size_t offset = 0;
    const Line first = NextLine(bytes, &offset);
    const Line second = NextLine(bytes, &offset);
    ProgInfo info;
    info.readable = first.fits && second.fits;
    if (!info.readable) return info;
    info.version = AfterPrefix(first.text, kVersionPrefix);
    info.file_name = AfterPrefix(second.text, kFileNamePrefix);
    return info;
}

double VersionNumber(std::string_view text) {
    size_t start = 0;
    while (start < text.size() && (text[start] == ' ' || text[start] == '\t'))
        ++start;
    text.remove_prefix(start);
    bool negative = false;
    if (!text.empty() && (text[0] == '+' || text[0] == '-')) {
        negative = text[0] == '-';
        text.remove_prefix(1);
    }
    size_t end = Digits(text);
    size_t digits = end;
    if (end < text.size() && text[end] == '.') {
        const size_t fraction = Digits(text.substr(end + 1));
        digits += fraction;
        end += 1 + fraction;
    }
    if (digits == 0) return 0;
    if (end < text.size() && (text[end] == 'e' || text[end] == 'E')) {
        size_t exponent = end + 1;
        if (exponent < text.size() && (text[exponent] == '+' || text[exponent] == '-')) ++exponent;
        const size_t exponent_digits = Digits(text.substr(exponent));
        if (exponent_digits > 0) end = exponent + exponent_digits;
    }
    double value = 0;
    const auto [ptr, error] = std::from_chars(text.data(), text.data() + end, value);
    if (error != std::errc() || !std::isfinite(value)) return 0;
    return negative ? -value : value;
}

bool IsPlainFileName(std::string_view name) {
    for (char c : name) {
        const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
        if (!letter && !IsDigit(c) && c != '.' && c != '_' && c != '-' && c != '+') return false;
    }
    return name.find("..") == std::string_view::npos && name != ".";
}

}  // namespace koru::upcheck
