#include "dab/charset.h"

#include <gtest/gtest.h>

#include <vector>

namespace koru::dab {
namespace {

std::vector<uint8_t> Bytes(std::string_view text) {
    return {text.begin(), text.end()};
}

TEST(EbuLatin, CodesThatDifferFromAscii) {
    EXPECT_EQ(EbuLatinToUtf8(Bytes("\x24\x5C\x5E\x60\x7E")), "łŮŁĄĽ");
    EXPECT_EQ(EbuLatinToUtf8(Bytes("\x8D\xA9\xAB\xC2\xE8")), "ß€$ÉÞ");
    EXPECT_EQ(EbuLatinToUtf8(Bytes("Radio\x00ignored")), "Radio");
    EXPECT_EQ(EbuLatinToUtf8(Bytes("\x1F")), "\u00AD");
}

TEST(EbuLatin, EveryCodeRoundTrips) {
    for (int code = 1; code < 256; ++code) {
        const std::vector<uint8_t> one{static_cast<uint8_t>(code)};
        const std::string utf8 = EbuLatinToUtf8(one);
        ASSERT_FALSE(utf8.empty()) << code;
        const auto back = Utf8ToEbuLatin(utf8);
        ASSERT_TRUE(back) << code;
        EXPECT_EQ(static_cast<uint8_t>((*back)[0]), code);
    }
}

TEST(EbuLatin, RefusesWhatItCannotCarry) {
    EXPECT_EQ(Utf8ToEbuLatin("Süd $5"), std::string("S\x99"
                                                    "d \xAB"
                                                    "5"));
    EXPECT_FALSE(Utf8ToEbuLatin("한국"));
    EXPECT_FALSE(Utf8ToEbuLatin("\xC3"));      // cut UTF-8 sequence
    EXPECT_FALSE(Utf8ToEbuLatin("\xC0\xAF"));  // overlong
}

TEST(DabText, OtherCharacterSets) {
    EXPECT_EQ(DabTextToUtf8(Bytes("한국 라디오"), kCharsetUtf8), "한국 라디오");
    EXPECT_EQ(DabTextToUtf8(Bytes("ok\xFF"), kCharsetUtf8), "ok\uFFFD");
    EXPECT_EQ(DabTextToUtf8(Bytes("\xED\x95"), kCharsetUtf8), "\uFFFD\uFFFD");
    EXPECT_EQ(DabTextToUtf8(std::vector<uint8_t>{0xD5, 0x5C, 0x00, 0x41, 0x00}, kCharsetUcs2),
              "한A");
    EXPECT_EQ(DabTextToUtf8(Bytes("\xE9t\xE9"), kCharsetLatin1), "été");
    EXPECT_EQ(DabTextToUtf8(Bytes("\x82t\x82"), kCharsetEbuLatin), "été");
}

}  // namespace
}  // namespace koru::dab
