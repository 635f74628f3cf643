#include "dab/crc.h"

#include <array>

namespace koru::dab {
namespace {

constexpr uint16_t kPolynomial = 0x1021;

constexpr std::array<uint16_t, 256> MakeTable() {
    std::array<uint16_t, 256> table{};
    for (unsigned byte = 0; byte < 256; ++byte) {
        uint16_t reg = static_cast<uint16_t>(byte << 8);
        for (int bit = 0; bit < 8; ++bit) {
            reg = (reg & 0x8000) ? static_cast<uint16_t>((reg << 1) ^ kPolynomial)
                                 : static_cast<uint16_t>(reg << 1);
        }
        table[byte] = reg;
    }
    return table;
}

constexpr std::array<uint16_t, 256> kTable = MakeTable();

}  // namespace

uint16_t Crc16(std::span<const uint8_t> data) {
    uint16_t reg = 0xFFFF;
    for (uint8_t byte : data) {
        reg = static_cast<uint16_t>((reg << 8) ^ kTable[((reg >> 8) ^ byte) & 0xFF]);
    }
    return static_cast<uint16_t>(~reg);
}

bool Crc16Matches(std::span<const uint8_t> block) {
    if (block.size() < 2) return false;
    const size_t n = block.size() - 2;
    const uint16_t sent = static_cast<uint16_t>((block[n] << 8) | block[n + 1]);
    return Crc16(block.first(n)) == sent;
}

void PutCrc16(std::span<uint8_t> block) {
    if (block.size() < 2) return;
    const size_t n = block.size() - 2;
    const uint16_t crc = Crc16(block.first(n));
    block[n] = static_cast<uint8_t>(crc >> 8);
    block[n + 1] = static_cast<uint8_t>(crc);
}

}  // namespace koru::dab
