#include "dab/bits.h"

#include <cassert>

#include "dab/crc.h"

namespace koru::dab {

uint32_t BitReader::Bits(int count) {
    assert(count >= 0 && count <= 32);
    if (overrun_ || static_cast<size_t>(count) > data_.size() * 8 - position_) {
        overrun_ = true;
        return 0;
    }
    uint32_t value = 0;
    for (int i = 0; i < count; ++i, ++position_) {
        const uint8_t byte = data_[position_ / 8];
        value = (value << 1) | ((byte >> (7 - position_ % 8)) & 1u);
    }
    return value;
}

void BitReader::Skip(size_t bits) {
    if (overrun_ || bits > data_.size() * 8 - position_) {
        overrun_ = true;
        return;
    }
    position_ += bits;
}

std::span<const uint8_t> BitReader::Bytes(size_t count) {
    assert(position_ % 8 == 0);
    if (overrun_ || count > bytes_left()) {
        overrun_ = true;
        return {};
    }
    std::span<const uint8_t> out = data_.subspan(position_ / 8, count);
    position_ += count * 8;
    return out;
}

std::span<const uint8_t> BitReader::Rest() const {
    if (overrun_) return {};
    const size_t byte = (position_ + 7) / 8;
    return data_.subspan(byte);
}

void BitWriter::Bits(uint32_t value, int count) {
    assert(count >= 0 && count <= 32);
    for (int i = count - 1; i >= 0; --i) {
        if (pending_bits_ == 0) bytes_.push_back(0);
        if ((value >> i) & 1u) bytes_.back() |= static_cast<uint8_t>(0x80u >> pending_bits_);
        pending_bits_ = (pending_bits_ + 1) % 8;
    }
}

void BitWriter::Bytes(std::span<const uint8_t> bytes) {
    if (pending_bits_ == 0) {
        bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
        return;
    }
    for (uint8_t byte : bytes)
        Bits(byte, 8);
}

void BitWriter::BitsOf(std::span<const uint8_t> bits, size_t count) {
    for (size_t i = 0; i < count / 8; ++i)
        Bits(bits[i], 8);
    if (count % 8 != 0) {
        const int rest = static_cast<int>(count % 8);
        Bits(static_cast<uint32_t>(bits[count / 8] >> (8 - rest)), rest);
    }
}

void BitWriter::Crc16() {
    assert(pending_bits_ == 0);
    const uint16_t crc = dab::Crc16(bytes_);
    U16(crc);
}

}  // namespace koru::dab
