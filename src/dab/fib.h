// Fast Information Blocks: 30 bytes of FIGs followed by their CRC-16 (EN 300 401 clause 5.2).
#ifndef DAB_FIB_H
#define DAB_FIB_H

#include <array>
#include <cstddef>
#include <cstdint>

namespace koru::dab {

inline constexpr size_t kFibSize = 32;
inline constexpr size_t kFibDataSize = 30;

using Fib = std::array<uint8_t, kFibSize>;

}  // namespace koru::dab

#endif
