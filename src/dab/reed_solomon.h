// Reed-Solomon codes over GF(2^8) as DAB uses them: the field polynomial
// x^8 + x^4 + x^3 + x^2 + 1, the code roots 2^0 to 2^(2t - 1), shortened from RS(255, 255 - 2t).
// Two codes stand on it: T-DMB's outer code RS(204,188, t = 8) (dab/outer_code.h) and the
// DAB+ superframe code RS(120,110, t = 5) (dab/superframe.h).
#ifndef DAB_REED_SOLOMON_H
#define DAB_REED_SOLOMON_H

#include <cstddef>
#include <cstdint>
#include <span>

namespace koru::dab {

class ReedSolomon {
  public:
    static constexpr size_t kMaxParityBytes = 16;

    // A code of codewords of `codeword_bytes` (at most 255) with `parity_bytes` (2t, at most
    // 16) of them parity.
    ReedSolomon(size_t codeword_bytes, size_t parity_bytes);

    size_t codeword_bytes() const { return codeword_bytes_; }
    size_t data_bytes() const { return codeword_bytes_ - parity_bytes_; }
    size_t parity_bytes() const { return parity_bytes_; }
    int correctable_bytes() const { return static_cast<int>(parity_bytes_ / 2); }

    // The parity of `data` (data_bytes() long) into `parity` (parity_bytes() long).
    void Encode(std::span<const uint8_t> data, std::span<uint8_t> parity) const;
    // Corrects a codeword (codeword_bytes() long, data first) in place. The number of bytes
    // corrected (0 to t), or -1 when more bytes are wrong than the code corrects (the codeword
    // is then left as it came).
    int Decode(std::span<uint8_t> codeword) const;

  private:
    size_t codeword_bytes_;
    size_t parity_bytes_;
    uint8_t generator_[kMaxParityBytes + 1] = {};  // highest degree first
};

}  // namespace koru::dab

#endif
