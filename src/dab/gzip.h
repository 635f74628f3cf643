// gzip (RFC 1952) for MOT bodies with CompressionType 1.
#ifndef DAB_GZIP_H
#define DAB_GZIP_H

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace koru::dab {

// Deterministic output: no file name, modification time 0.
std::vector<uint8_t> GzipCompress(std::span<const uint8_t> data);
// nullopt when the data is no complete gzip member or unpacks to more than `max_size` bytes.
std::optional<std::vector<uint8_t>> GzipDecompress(std::span<const uint8_t> data,
                                                   size_t max_size = 16 << 20);

}  // namespace koru::dab

#endif
