#include "dab/gzip.h"

#include <zlib.h>

#include <stdexcept>

namespace koru::dab {
namespace {

constexpr int kGzipWindowBits = 15 + 16;  // 15-bit window, gzip wrapper

}  // namespace

std::vector<uint8_t> GzipCompress(std::span<const uint8_t> data) {
    z_stream z{};
    if (deflateInit2(&z, Z_BEST_COMPRESSION, Z_DEFLATED, kGzipWindowBits, 8, Z_DEFAULT_STRATEGY) !=
        Z_OK) {
        throw std::runtime_error("deflateInit2 failed");
    }
    std::vector<uint8_t> out(deflateBound(&z, static_cast<uLong>(data.size())) + 32);
    z.next_in = const_cast<Bytef*>(data.data());
    z.avail_in = static_cast<uInt>(data.size());
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    const int result = deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    if (result != Z_STREAM_END) throw std::runtime_error("deflate failed");
    return out;
}

bool IsGzip(std::span<const uint8_t> data) {
    return data.size() >= 2 && data[0] == 0x1F && data[1] == 0x8B;
}

std::optional<std::vector<uint8_t>> GzipDecompress(std::span<const uint8_t> data, size_t max_size,
                                                   GzipError* error) {
    GzipError failure = GzipError::kBroken;
    z_stream z{};
    if (inflateInit2(&z, kGzipWindowBits) != Z_OK) {
        if (error) *error = failure;
        return std::nullopt;
    }
    std::vector<uint8_t> out;
    z.next_in = const_cast<Bytef*>(data.data());
    z.avail_in = static_cast<uInt>(data.size());
    int result = Z_OK;
    uint8_t chunk[16384];
    while (result == Z_OK) {
        z.next_out = chunk;
        z.avail_out = sizeof(chunk);
        result = inflate(&z, Z_NO_FLUSH);
        if (result != Z_OK && result != Z_STREAM_END) break;
        const size_t got = sizeof(chunk) - z.avail_out;
        if (out.size() + got > max_size) {
            result = Z_MEM_ERROR;
            failure = GzipError::kTooLarge;
            break;
        }
        out.insert(out.end(), chunk, chunk + got);
        if (result == Z_OK && got == 0 && z.avail_in == 0) break;  // input ends early
    }
    inflateEnd(&z);
    if (result != Z_STREAM_END) {
        if (error) *error = failure;
        return std::nullopt;
    }
    if (error) *error = GzipError::kNone;
    return out;
}

}  // namespace koru::dab
