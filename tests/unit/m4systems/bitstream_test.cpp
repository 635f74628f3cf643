#include "m4systems/bitstream.h"

#include <gtest/gtest.h>

namespace {

TEST(BitStream, ReadsMostSignificantBitFirstAcrossBytes) {
    const uint8_t data[] = {0xA5, 0x3C, 0xFF, 0x01, 0x80};
    M4BitStream* bs = NewBitStream(data, sizeof data);
    EXPECT_EQ(BS_ReadInt(bs, 1), 1u);
    EXPECT_EQ(BS_ReadInt(bs, 3), 0x2u);
    EXPECT_EQ(BS_ReadInt(bs, 8), 0x53u);
    EXPECT_EQ(BS_ReadInt(bs, 0), 0u);
    EXPECT_EQ(BS_ReadInt(bs, 4), 0xCu);
    EXPECT_EQ(BS_ReadInt(bs, 24), 0xFF0180u);
    EXPECT_EQ(BS_GetBitsLeft(bs), 0u);
    EXPECT_EQ(BS_IsOverrun(bs), 0);
    DeleteBitStream(bs);
}

TEST(BitStream, StopsAtItsEndWithoutReadingPastIt) {
    const uint8_t data[] = {0xFF, 0xFF};
    M4BitStream* bs = NewBitStream(data, 1);  // the second byte is not ours
    EXPECT_EQ(BS_ReadInt(bs, 4), 0xFu);
    // Four bits remain: they come first, the missing ones read as 0.
    EXPECT_EQ(BS_ReadInt(bs, 8), 0xF0u);
    EXPECT_EQ(BS_IsOverrun(bs), 1);
    EXPECT_EQ(BS_ReadInt(bs, 32), 0u);
    EXPECT_EQ(BS_ReadInt(bs, 33), 0u) << "more than 32 bits is refused";
    DeleteBitStream(bs);

    M4BitStream* whole = NewBitStream(data, 2);
    EXPECT_EQ(BS_ReadInt(whole, 32), 0xFFFF0000u);
    DeleteBitStream(whole);

    M4BitStream* empty = NewBitStream(nullptr, 0);
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(BS_ReadInt(empty, 1), 0u);
    EXPECT_EQ(BS_IsOverrun(empty), 1);
    DeleteBitStream(empty);
}

}  // namespace
