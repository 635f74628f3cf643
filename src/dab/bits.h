// Reading and writing of wire fields, most significant bit first, with explicit byte order.
// BitReader never reads past its buffer: a read beyond the end gives 0 and marks it overrun,
// so a parser reads a whole structure and checks ok() once.
#ifndef DAB_BITS_H
#define DAB_BITS_H

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace koru::dab {

class BitReader {
  public:
    explicit BitReader(std::span<const uint8_t> data) : data_(data) {}

    // Reads `count` bits (0 to 32).
    uint32_t Bits(int count);
    uint8_t U8() { return static_cast<uint8_t>(Bits(8)); }
    uint16_t U16() { return static_cast<uint16_t>(Bits(16)); }
    uint32_t U24() { return Bits(24); }
    uint32_t U32() { return Bits(32); }
    bool Flag() { return Bits(1) != 0; }
    void Skip(size_t bits);
    // The next `count` whole bytes (the reader must be at a byte boundary); empty and overrun
    // when fewer are left.
    std::span<const uint8_t> Bytes(size_t count);

    bool ok() const { return !overrun_; }
    size_t bits_left() const { return overrun_ ? 0 : data_.size() * 8 - position_; }
    size_t bytes_left() const { return bits_left() / 8; }
    size_t byte_position() const { return position_ / 8; }
    // What follows the current byte position (empty when overrun).
    std::span<const uint8_t> Rest() const;

  private:
    std::span<const uint8_t> data_;
    size_t position_ = 0;  // in bits
    bool overrun_ = false;
};

class BitWriter {
  public:
    // Appends `count` bits (0 to 32) of `value`, most significant first.
    void Bits(uint32_t value, int count);
    void U8(uint32_t value) { Bits(value, 8); }
    void U16(uint32_t value) { Bits(value, 16); }
    void U24(uint32_t value) { Bits(value, 24); }
    void U32(uint32_t value) { Bits(value, 32); }
    void Flag(bool value) { Bits(value ? 1 : 0, 1); }
    void Bytes(std::span<const uint8_t> bytes);
    // Appends the CRC-16 of everything written so far (at a byte boundary).
    void Crc16();

    // The first `count` bits of `bits` (most significant first).
    void BitsOf(std::span<const uint8_t> bits, size_t count);

    size_t size() const { return bytes_.size(); }
    size_t bit_size() const {
        return bytes_.size() * 8 - (pending_bits_ == 0 ? 0 : 8 - pending_bits_);
    }
    bool aligned() const { return pending_bits_ == 0; }
    const std::vector<uint8_t>& bytes() const { return bytes_; }
    std::vector<uint8_t> Take() { return std::move(bytes_); }

  private:
    std::vector<uint8_t> bytes_;
    int pending_bits_ = 0;  // bits already used in the last byte
};

}  // namespace koru::dab

#endif
