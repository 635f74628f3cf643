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
enum class GzipError { kNone, kBroken, kTooLarge };

// True when the data starts with the gzip magic bytes.
bool IsGzip(std::span<const uint8_t> data);
// Unpacks one gzip member (RFC 1952: raw deflate with a 15-bit window, the trailer's CRC-32
// and size checked). nullopt when the data is no complete gzip member (kBroken) or unpacks to
// more than `max_size` bytes (kTooLarge).
std::optional<std::vector<uint8_t>> GzipDecompress(std::span<const uint8_t> data,
                                                   size_t max_size = 16 << 20,
                                                   GzipError* error = nullptr);

}  // namespace koru::dab

#endif
