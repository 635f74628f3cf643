// CRC-16 of EN 300 401 (FIBs, packets, data groups, X-PAD, ETI header and MST): generator
// x^16 + x^12 + x^5 + 1, register preset to all ones, result inverted, sent high byte first.
#ifndef DAB_CRC_H
#define DAB_CRC_H

#include <cstddef>
#include <cstdint>
#include <span>

namespace koru::dab {

uint16_t Crc16(std::span<const uint8_t> data);

// True when the last two bytes of `block` are the CRC of the bytes before them.
bool Crc16Matches(std::span<const uint8_t> block);

// Writes the CRC of the first size-2 bytes of `block` into its last two bytes.
void PutCrc16(std::span<uint8_t> block);

}  // namespace koru::dab

#endif
