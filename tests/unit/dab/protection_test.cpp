#include "dab/protection.h"

#include <gtest/gtest.h>

namespace koru::dab {
namespace {

// Every UEP row must describe its own sub-channel exactly: the L blocks carry the frame's
// bits (32 input bits per 128-bit block) and the punctured blocks, 12 tail bits and the
// padding fill the sub-channel (64 bits per CU).
TEST(UepTable, RowsAreConsistent) {
    for (int i = 0; i < kUepTableSize; ++i) {
        const UepProfile& row = *UepTableEntry(i);
        int blocks = 0;
        int bits = 12 + row.padding_bits;
        for (int k = 0; k < 4; ++k) {
            blocks += row.l[k];
            if (row.l[k] > 0) bits += row.l[k] * 4 * (8 + row.pi[k]);
        }
        EXPECT_EQ(blocks * 32, row.bitrate_kbps * 24) << "index " << i;
        EXPECT_EQ(bits, row.size_cu * 64) << "index " << i;
        EXPECT_EQ(UepTableIndex(row.bitrate_kbps, row.protection_level), i);
    }
    EXPECT_EQ(UepTableEntry(64), nullptr);
    EXPECT_EQ(UepTableEntry(-1), nullptr);
}

TEST(UepTable, KnownRows) {
    // EN 300 401 table 8: index 35 is 128 kbit/s at level 3 in 96 CUs.
    EXPECT_EQ(UepTableEntry(35)->size_cu, 96);
    EXPECT_EQ(UepTableEntry(35)->bitrate_kbps, 128);
    EXPECT_EQ(UepTableEntry(35)->protection_level, 3);
    EXPECT_EQ(UepTableEntry(0)->size_cu, 16);
    EXPECT_EQ(UepTableEntry(63)->size_cu, 416);
    EXPECT_EQ(UepTableIndex(320, 3), -1);  // the table has no such row
    const Protection p = Protection::Uep(35);
    EXPECT_EQ(p.SizeCu(), 96);
    EXPECT_EQ(p.BitrateKbps(), 128);
    EXPECT_EQ(p.Name(), "UEP 3");
}

TEST(EepProfiles, SizesAndPuncturingAgree) {
    for (EepOption option : {EepOption::kA, EepOption::kB}) {
        for (int level = 1; level <= 4; ++level) {
            for (int rate = 8; rate <= 1024; rate += 8) {
                const auto punct = EepPuncturingFor(option, level, rate);
                const int size = EepSizeCu(option, level, rate);
                if (option == EepOption::kB && rate % 32 != 0) {
                    EXPECT_FALSE(punct);
                    EXPECT_EQ(size, 0);
                    continue;
                }
                ASSERT_TRUE(punct);
                EXPECT_EQ((punct->l1 + punct->l2) * 32, rate * 24);
                const int bits =
                    punct->l1 * 4 * (8 + punct->pi1) + punct->l2 * 4 * (8 + punct->pi2) + 12;
                EXPECT_EQ(bits, size * 64) << level << " rate " << rate;
                EXPECT_EQ(EepBitrateKbps(option, level, size), rate);
            }
        }
    }
}

TEST(EepProfiles, KnownSizes) {
    EXPECT_EQ(EepSizeCu(EepOption::kA, 3, 384), 288);  // 6n CUs for 8n kbit/s
    EXPECT_EQ(EepSizeCu(EepOption::kA, 2, 96), 96);
    EXPECT_EQ(EepSizeCu(EepOption::kB, 1, 64), 54);  // 27n CUs for 32n kbit/s
    EXPECT_EQ(EepSizeCu(EepOption::kA, 1, 12), 0);   // not a multiple of 8 kbit/s
    EXPECT_EQ(EepSizeCu(EepOption::kA, 5, 64), 0);
    auto special = EepPuncturingFor(EepOption::kA, 2, 8);
    ASSERT_TRUE(special);
    EXPECT_EQ(special->l1, 5);
    EXPECT_EQ(special->pi1, 13);
    const auto p = Protection::Eep(EepOption::kB, 2, 96);
    ASSERT_TRUE(p);
    EXPECT_EQ(p->SizeCu(), 63);
    EXPECT_EQ(p->Name(), "EEP 2-B");
    EXPECT_FALSE(Protection::Eep(EepOption::kA, 1, 1024));  // larger than a CIF
}

// The TPL values ODR-DabMux wrote into the reference recording.
TEST(Tpl, MatchesIndependentMultiplexer) {
    EXPECT_EQ(TplOf(Protection::Uep(35)), 0x12);
    EXPECT_EQ(TplOf(*Protection::Eep(EepOption::kA, 2, 96)), 0x21);
    EXPECT_EQ(TplOf(*Protection::Eep(EepOption::kB, 1, 64)), 0x24);
    const TplInfo uep = DecodeTpl(0x12);
    EXPECT_TRUE(uep.uep);
    EXPECT_EQ(uep.level, 3);
    const TplInfo eep = DecodeTpl(0x24);
    EXPECT_FALSE(eep.uep);
    EXPECT_EQ(eep.option, EepOption::kB);
    EXPECT_EQ(eep.level, 1);
}

// A decoder's set-up from an ETI stream's TPL and rate is the protection the multiplexer used.
TEST(Tpl, StreamsGiveBackTheirProtectionAndItsCoding) {
    for (int i = 0; i < kUepTableSize; ++i) {
        const Protection uep = Protection::Uep(i);
        const int rate = uep.BitrateKbps();
        const auto back = ProtectionOfStream(TplOf(uep), rate);
        ASSERT_TRUE(back) << i;
        EXPECT_EQ(back->SizeCu(), uep.SizeCu());
        EXPECT_EQ(CodingOf(*back), CodingOf(uep)) << i;
    }
    const Protection eep = *Protection::Eep(EepOption::kB, 3, 96);
    EXPECT_EQ(ProtectionOfStream(TplOf(eep), 96), eep);
    const auto coding = CodingOf(eep);
    ASSERT_TRUE(coding);
    EXPECT_EQ(coding->size_cu, 54);
    EXPECT_EQ(coding->l, (std::array<int, 4>{69, 3, 0, 0}));
    EXPECT_EQ(coding->pi, (std::array<int, 4>{4, 3, 0, 0}));
    EXPECT_FALSE(ProtectionOfStream(0x12, 100));  // no UEP row at 100 kbit/s
    EXPECT_FALSE(ProtectionOfStream(0x34, 64));   // an EEP option the standard does not have
    Protection odd = eep;
    odd.size_cu = 55;  // no whole number of 18-CU steps
    EXPECT_FALSE(CodingOf(odd));
    Protection other_table = Protection::Uep(3);
    other_table.table_switch = 1;
    EXPECT_FALSE(CodingOf(other_table));
}

}  // namespace
}  // namespace koru::dab
