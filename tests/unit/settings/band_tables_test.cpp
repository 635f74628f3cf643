// The frequency tables of the channel search and the manual search, and the fixed text fields.
#include "player/settings/band_tables.h"

#include <gtest/gtest.h>

#include <numeric>

#include "player/settings/channel_store.h"

namespace {

using koru::settings::GetBandTable;

TEST(BandTables, EachRegionScansItsBlocksInOrder) {
    const int counts[] = {16, 41, 6, 21, 8, 2};
    const int firsts[] = {1452960, 174928, 208736, 214736, 208720, 1458096};
    const int lasts[] = {1478640, 239200, 181280, 175280, 222064, 1470080};
    for (int region = 0; region < 6; ++region) {
        const auto& table = GetBandTable(region);
        ASSERT_EQ(static_cast<int>(table.frequencies_khz.size()), counts[region]) << region;
        EXPECT_EQ(table.frequencies_khz.front(), firsts[region]) << region;
        EXPECT_EQ(table.frequencies_khz.back(), lasts[region]) << region;
        EXPECT_NE(table.label_en, nullptr);
        EXPECT_NE(table.label_ko, nullptr);
    }
    // L-band: 1712 kHz apart.
    const auto lband = GetBandTable(0).frequencies_khz;
    for (size_t i = 1; i < lband.size(); ++i)
        EXPECT_EQ(lband[i] - lband[i - 1], 1712);
    // Band III: 10N, 11N and 12N follow the D block of their channel.
    const auto band3 = GetBandTable(1).frequencies_khz;
    EXPECT_EQ(band3[23], 215072);  // 10D
    EXPECT_EQ(band3[24], 210096);  // 10N
    EXPECT_EQ(band3[29], 217088);  // 11N
    EXPECT_EQ(band3[34], 224096);  // 12N
    EXPECT_STREQ(GetBandTable(2).label_en, "Seoul-Gyeonggi of Korea");
    EXPECT_STREQ(GetBandTable(3).label_ko, "한국 전역");
    // A region the tables do not have scans nothing.
    EXPECT_TRUE(GetBandTable(6).frequencies_khz.empty());
    EXPECT_TRUE(GetBandTable(-1).frequencies_khz.empty());
}

TEST(ManualSearchLists, KoreaAndChinaAndKorea) {
    using koru::settings::ManualSearchListKind;
    const auto korea = koru::settings::GetManualSearchList(ManualSearchListKind::kKorea);
    const auto both = koru::settings::GetManualSearchList(ManualSearchListKind::kChinaAndKorea);
    ASSERT_EQ(korea.size(), 21u);
    ASSERT_EQ(both.size(), 23u);
    EXPECT_STREQ(korea[0].label, "7KA 175280 : Korea");
    EXPECT_EQ(korea[0].frequency_khz, 175280);
    EXPECT_STREQ(korea[4].label, "8KB 183008 : Korea - YTN");
    EXPECT_STREQ(korea[20].label, "13KC 214736 : Korea");
    EXPECT_STREQ(both[0].label, "9D 208064 : China");
    EXPECT_EQ(both[1].frequency_khz, 213360);
    EXPECT_EQ(both[2].label, korea[0].label);
    // Every Korean row is a block of the "All of Korea" table.
    const auto all = GetBandTable(3).frequencies_khz;
    for (const auto& row : korea) {
        EXPECT_NE(std::find(all.begin(), all.end(), row.frequency_khz), all.end()) << row.label;
    }
}

TEST(ChannelStore, FixedTextsAndFrequencies) {
    char field[8];
    koru::settings::SetFixedText(field, "abcdefghij");
    EXPECT_EQ(koru::settings::FixedText(field), "abcdefg");
    koru::settings::SetFixedText(field, "ab한국");  // 2 + 3 + 3 bytes: 한 fits, 국 does not
    EXPECT_EQ(koru::settings::FixedText(field), "ab한");
    koru::settings::SetFixedText(field, "");
    EXPECT_EQ(koru::settings::FixedText(field), "");
    EXPECT_EQ(sizeof(koru::settings::ChannelEntry), 44u);
    EXPECT_EQ(sizeof(koru::settings::Reservation), 72u);

    EXPECT_EQ(koru::settings::FrequencyKHz(175.28f), 175280);
    EXPECT_EQ(koru::settings::FrequencyKHz(1452.96f), 1452960);
    EXPECT_EQ(koru::settings::FrequencyKHz(0), 0);
    EXPECT_EQ(koru::settings::FrequencyKHz(-5), 0);
    EXPECT_EQ(koru::settings::FrequencyKHz(3e30f), 0);
    // Every frequency of every table survives the trip through a float in MHz.
    for (int region = 0; region < 6; ++region) {
        for (int khz : GetBandTable(region).frequencies_khz) {
            EXPECT_EQ(koru::settings::FrequencyKHz(static_cast<float>(khz / 1000.0)), khz);
        }
    }
}

}  // namespace
