// Reads little-endian fields from a buffer and never past its end: a read that does not fit
// fails and leaves the reader where it was.
#ifndef PLAYER_SKIN_BYTE_READER_H
#define PLAYER_SKIN_BYTE_READER_H

#include <cstddef>
#include <cstdint>
#include <span>

namespace koru::skin {

class ByteReader {
  public:
    explicit ByteReader(std::span<const uint8_t> data) : data_(data) {}

    size_t offset() const { return offset_; }
    size_t remaining() const { return data_.size() - offset_; }
    bool AtEnd() const { return offset_ == data_.size(); }

    bool Seek(size_t offset) {
        if (offset > data_.size()) return false;
        offset_ = offset;
        return true;
    }
    bool Skip(size_t count) {
        if (count > remaining()) return false;
        offset_ += count;
        return true;
    }
    bool ReadU8(uint8_t* value) {
        if (remaining() < 1) return false;
        *value = data_[offset_++];
        return true;
    }
    bool ReadLe16(uint16_t* value) {
        if (remaining() < 2) return false;
        *value = static_cast<uint16_t>(data_[offset_] | data_[offset_ + 1] << 8);
        offset_ += 2;
        return true;
    }
    bool ReadLe32(uint32_t* value) {
        if (remaining() < 4) return false;
        *value = static_cast<uint32_t>(data_[offset_]) |
                 static_cast<uint32_t>(data_[offset_ + 1]) << 8 |
                 static_cast<uint32_t>(data_[offset_ + 2]) << 16 |
                 static_cast<uint32_t>(data_[offset_ + 3]) << 24;
        offset_ += 4;
        return true;
    }
    bool ReadBytes(size_t count, std::span<const uint8_t>* bytes) {
        if (count > remaining()) return false;
        *bytes = data_.subspan(offset_, count);
        offset_ += count;
        return true;
    }

  private:
    std::span<const uint8_t> data_;
    size_t offset_ = 0;
};

}  // namespace koru::skin

#endif
