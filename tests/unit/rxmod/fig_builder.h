// Builds FIGs and FIBs for the FIC decoder's tests (EN 300 401 clause 5.2 and 6, 8).
#ifndef KORU_TESTS_UNIT_RXMOD_FIG_BUILDER_H
#define KORU_TESTS_UNIT_RXMOD_FIG_BUILDER_H

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

namespace koru::test {

using Bytes = std::vector<uint8_t>;

inline Bytes Fig0(int extension, const Bytes& field, bool long_sid = false,
                  bool next_configuration = false) {
    Bytes fig = {
        static_cast<uint8_t>((0 << 5) | (field.size() + 1)),
        static_cast<uint8_t>((next_configuration ? 0x80 : 0) | (long_sid ? 0x20 : 0) | extension)};
    fig.insert(fig.end(), field.begin(), field.end());
    return fig;
}

inline Bytes Label16(const std::string& text) {
    Bytes label(text.begin(), text.end());
    label.resize(16, ' ');
    return label;
}

// FIG 1 with the identifier bytes before the label and the character flag field after it.
inline Bytes Fig1(int extension, const Bytes& identifier, const std::string& label) {
    const Bytes text = Label16(label);
    const size_t length = 1 + identifier.size() + text.size() + 2;
    Bytes fig;
    fig.push_back(static_cast<uint8_t>((1 << 5) | length));
    fig.push_back(static_cast<uint8_t>(extension));
    for (uint8_t byte : identifier)
        fig.push_back(byte);
    for (uint8_t byte : text)
        fig.push_back(byte);
    fig.push_back(0xFF);
    fig.push_back(0x00);
    return fig;
}

inline Bytes Sid16(uint16_t sid) {
    return {static_cast<uint8_t>(sid >> 8), static_cast<uint8_t>(sid)};
}
inline Bytes Sid32(uint32_t sid) {
    return {static_cast<uint8_t>(sid >> 24), static_cast<uint8_t>(sid >> 16),
            static_cast<uint8_t>(sid >> 8), static_cast<uint8_t>(sid)};
}

inline Bytes Join(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& part : parts)
        all.insert(all.end(), part.begin(), part.end());
    return all;
}

// One FIB of 32 bytes: the FIGs, the end marker, zero padding and two (unchecked) CRC bytes.
inline Bytes Fib(std::initializer_list<Bytes> figs) {
    Bytes fib = Join(figs);
    if (fib.size() < 30) fib.push_back(0xFF);
    fib.resize(32, 0x00);
    return fib;
}

// FIG 0/2 entry of a programme service with one audio stream component on subchid.
inline Bytes AudioService(uint16_t sid, uint8_t subchid) {
    return Join({Sid16(sid), {0x01, 0x00, static_cast<uint8_t>(subchid << 2 | 0x02)}});
}

}  // namespace koru::test

#endif
