#include "m4systems/bitstream.h"

struct M4BitStream {
    const uint8_t* data;
    uint64_t size_bits;
    uint64_t position = 0;
    bool overrun = false;
};

M4BitStream* NewBitStream(const uint8_t* data, uint32_t size) {
    if (data == nullptr && size != 0) return nullptr;
    return new M4BitStream{data, static_cast<uint64_t>(size) * 8};
}

uint32_t BS_ReadInt(M4BitStream* bs, uint32_t nbits) {
    if (bs == nullptr || nbits > 32) return 0;
    uint32_t value = 0;
    for (uint32_t i = 0; i < nbits; ++i) {
        uint32_t bit = 0;
        if (bs->position < bs->size_bits) {
            bit = (bs->data[bs->position / 8] >> (7 - bs->position % 8)) & 1u;
            ++bs->position;
        } else {
            bs->overrun = true;
        }
        value = (value << 1) | bit;
    }
    return value;
}

uint64_t BS_GetBitsLeft(M4BitStream* bs) {
    return bs != nullptr ? bs->size_bits - bs->position : 0;
}

int BS_IsOverrun(M4BitStream* bs) {
    return bs != nullptr && bs->overrun ? 1 : 0;
}

void DeleteBitStream(M4BitStream* bs) {
    delete bs;
}
