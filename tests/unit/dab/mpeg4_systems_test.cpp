#include "dab/mpeg4_systems.h"

#include <gtest/gtest.h>

#include <vector>

namespace koru::dab {
namespace {

using Bytes = std::vector<uint8_t>;

SlConfig StartEndTimestamps() {
    SlConfig c;
    c.use_au_start = c.use_au_end = c.use_random_access = c.use_timestamps = true;
    c.timestamp_resolution = 90000;
    c.timestamp_length = 33;
    return c;
}

TEST(Mpeg4Systems, SlHeadersWithAndWithoutTheAccessUnitStartFlag) {
    const SlConfig c = StartEndTimestamps();
    // start, not end, random access, no DTS, CTS 0x1_2345_6789: 38 bits, 5 bytes.
    const Bytes start = {0xAC, 0x8D, 0x15, 0x9E, 0x24, 0xAA};
    const auto h = ParseSlHeader(start, c);
    ASSERT_TRUE(h);
    EXPECT_TRUE(h->au_start);
    EXPECT_FALSE(h->au_end);
    EXPECT_EQ(h->cts, 0x123456789);
    EXPECT_EQ(h->dts, -1);
    EXPECT_EQ(h->size, 5u);
    // A continuation that ends the unit: two flags, no time stamps, one byte.
    const auto rest = ParseSlHeader(Bytes{0x40, 0xAA}, c);
    ASSERT_TRUE(rest);
    EXPECT_FALSE(rest->au_start);
    EXPECT_TRUE(rest->au_end);
    EXPECT_EQ(rest->cts, -1);
    EXPECT_EQ(rest->size, 1u);
    // Too short for its time stamp.
    EXPECT_FALSE(ParseSlHeader(Bytes{0xAC, 0x8D}, c));
    // Neither flag in use: every packet is a whole unit, and the header is empty.
    const auto null = ParseSlHeader(Bytes{0x12}, SlConfig{});
    ASSERT_TRUE(null);
    EXPECT_TRUE(null->au_start && null->au_end);
    EXPECT_EQ(null->size, 0u);
}

TEST(Mpeg4Systems, ObjectDescriptorUpdatesNameTheirStreams) {
    // ObjectDescriptorUpdate { OD 10 { ES 4: MPEG-4 audio, ASC 0x1190; SLConfig predefined 1 } }.
    const Bytes es = {0x03, 0x19, 0x00, 0x04, 0x00, 0x04, 0x11, 0x40, 0x15,
                      0x00, 0x20, 0x00, 0,    0,    0,    0,    0,    0,
                      0,    0,    0x05, 0x02, 0x11, 0x90, 0x06, 0x01, 0x01};
    Bytes od = {0x01, static_cast<uint8_t>(2 + es.size()), 0x02, 0x9F};
    od.insert(od.end(), es.begin(), es.end());
    Bytes update = {0x01, static_cast<uint8_t>(od.size())};
    update.insert(update.end(), od.begin(), od.end());
    const std::vector<EsDescriptor> streams = ParseObjectDescriptorCommands(update);
    ASSERT_EQ(streams.size(), 1u);
    EXPECT_EQ(streams[0].es_id, 4);
    EXPECT_EQ(streams[0].object_type, kObjectTypeMpeg4Audio);
    EXPECT_EQ(streams[0].stream_type, kStreamTypeAudio);
    EXPECT_EQ(streams[0].specific, (Bytes{0x11, 0x90}));
    // A size that runs past the unit: nothing, and no read beyond it.
    Bytes lying = update;
    lying[1] = 0x7F;
    EXPECT_TRUE(ParseObjectDescriptorCommands(lying).empty());
}

TEST(Mpeg4Systems, AudioConfigsAndWhatAdtsCanCarry) {
    const auto lc = ParseAudioSpecificConfig(Bytes{0x11, 0x90});  // AAC LC, 48 kHz, stereo
    ASSERT_TRUE(lc);
    EXPECT_EQ(lc->object_type, 2);
    EXPECT_EQ(lc->rate_index, 3);
    EXPECT_EQ(lc->channel_configuration, 2);
    const auto adts = AdtsHeader(*lc, 100);
    ASSERT_TRUE(adts);
    EXPECT_EQ(*adts, (Bytes{0xFF, 0xF1, 0x4C, 0x80, 0x0D, 0x7F, 0xFC}));
    // Explicit SBR: the core (AAC LC at 24 kHz) is what ADTS carries.
    const auto sbr = ParseAudioSpecificConfig(Bytes{0x2B, 0x11, 0x88, 0x00});
    ASSERT_TRUE(sbr);
    EXPECT_EQ(sbr->signalled_type, 5);
    EXPECT_EQ(sbr->object_type, 2);
    EXPECT_TRUE(AdtsHeader(*sbr, 100));
    // ER BSAC: no ADTS, and its name for the log.
    const auto bsac = ParseAudioSpecificConfig(Bytes{0xB1, 0x91, 0x00, 0x00, 0x00});
    ASSERT_TRUE(bsac);
    EXPECT_EQ(bsac->object_type, 22);
    EXPECT_FALSE(AdtsHeader(*bsac, 100));
    EXPECT_EQ(AudioObjectTypeText(22), "MPEG-4 audio object type 22 (ER BSAC)");
}

}  // namespace
}  // namespace koru::dab
