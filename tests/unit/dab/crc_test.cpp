#include "dab/crc.h"

#include <gtest/gtest.h>

#include <string_view>
#include <vector>

namespace koru::dab {
namespace {

std::vector<uint8_t> Bytes(std::string_view text) {
    return {text.begin(), text.end()};
}

// The usual check value of this CRC (preset 0xFFFF, inverted, polynomial 0x1021).
TEST(Crc16, KnownAnswer) {
    EXPECT_EQ(Crc16(Bytes("123456789")), 0xD64E);
    EXPECT_EQ(Crc16({}), 0x0000);  // all ones inverted
}

TEST(Crc16, PutAndMatch) {
    std::vector<uint8_t> block = Bytes("FIB data..\x00\x00");
    PutCrc16(block);
    EXPECT_TRUE(Crc16Matches(block));
    const uint16_t crc = Crc16(std::span(block).first(block.size() - 2));
    EXPECT_EQ(block[block.size() - 2], crc >> 8);  // high byte first
    block[3] ^= 0x01;
    EXPECT_FALSE(Crc16Matches(block));
    EXPECT_FALSE(Crc16Matches(std::vector<uint8_t>{0x12}));
}

}  // namespace
}  // namespace koru::dab
