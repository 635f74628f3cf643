// DAB+ superframes: the independent recording read as it is, and superframes rebuilt from its
// access units, then corrupted, cut, reordered and lied about.
#include <gtest/gtest.h>

#include <random>

#include "dab/dls.h"
#include "dab/loas.h"
#include "dab/mpeg4_systems.h"
#include "dab/reed_solomon.h"
#include "dab/superframe.h"
#include "support/dabplus_reference.h"

namespace koru::dab {
namespace {

using koru::test::kIndia;
using koru::test::kJuliet;

// What a decoder hands on: each unit's bytes, or nullopt for a lost one.
struct Collected {
    std::vector<std::optional<std::vector<uint8_t>>> units;
    std::vector<SuperframeFormat> formats;
    SuperframeDecoder decoder;

    explicit Collected(int kbps)
        : decoder(SuperframeSize(kbps),
                  [this](const SuperframeFormat& format, std::span<const uint8_t> unit, bool good) {
                      formats.push_back(format);
                      if (good) {
                          units.emplace_back(std::vector<uint8_t>(unit.begin(), unit.end()));
                      } else {
                          units.emplace_back(std::nullopt);
                      }
                  }) {}
    size_t Lost() const {
        return static_cast<size_t>(std::count(units.begin(), units.end(), std::nullopt));
    }
};

std::vector<uint8_t> Joined(const std::vector<std::vector<uint8_t>>& parts) {
    std::vector<uint8_t> out;
    for (const auto& part : parts)
        out.insert(out.end(), part.begin(), part.end());
    return out;
}

// Writes the fire code and the parity of a superframe again after its data was changed.
void Reseal(std::vector<uint8_t>* superframe, int s) {
    const uint16_t fire = FireCode(std::span(*superframe).subspan(2, 9));
    (*superframe)[0] = static_cast<uint8_t>(fire >> 8);
    (*superframe)[1] = static_cast<uint8_t>(fire);
    const ReedSolomon code(kSuperframeCodewordBytes, kSuperframeParityBytes);
    const auto step = static_cast<size_t>(s);
    for (size_t i = 0; i < step; ++i) {
        std::vector<uint8_t> data(kSuperframeDataBytes), parity(kSuperframeParityBytes);
        for (size_t j = 0; j < data.size(); ++j)
            data[j] = (*superframe)[i + step * j];
        code.Encode(data, parity);
        for (size_t j = 0; j < parity.size(); ++j)
            (*superframe)[i + step * (kSuperframeDataBytes + j)] = parity[j];
    }
}

TEST(Superframe, ReadsBothServicesOfTheIndependentRecording) {
    if (koru::test::ReferenceDabPlusEti().empty()) GTEST_SKIP() << "reference recording absent";
    for (const auto& service : {kIndia, kJuliet}) {
        Collected got(service.bitrate_kbps);
        for (const auto& frame : koru::test::ReferenceFrames(service))
            got.decoder.Feed(frame);
        // 501 frames: 100 whole superframes.
        EXPECT_EQ(got.units.size(), 100u * service.format.AccessUnits());
        EXPECT_EQ(got.Lost(), 0u);
        EXPECT_EQ(got.decoder.counts().syncs, 1u);
        EXPECT_EQ(got.decoder.counts().corrected_bytes, 0u);
        ASSERT_FALSE(got.formats.empty());
        EXPECT_EQ(got.formats.front(), service.format);
    }
}

TEST(Superframe, AudioSpecificConfigNamesTheFormat) {
    struct Case {
        SuperframeFormat format;
        int signalled, core_rate_index, output_rate_index, channels;
    };
    const Case cases[] = {
        {kIndia.format, 5, 6, 3, 2},                   // HE-AAC 48 kHz stereo
        {kJuliet.format, 2, 5, -1, 1},                 // AAC LC 32 kHz mono
        {{true, true, false, true, 0}, 29, 6, 3, 1},   // HE-AAC v2: a mono core with PS
        {{false, true, false, false, 0}, 5, 8, 5, 1},  // HE-AAC 32 kHz mono
    };
    for (const Case& c : cases) {
        const auto config = ParseAudioSpecificConfig(AudioSpecificConfigOf(c.format));
        ASSERT_TRUE(config);
        EXPECT_EQ(config->signalled_type, c.signalled);
        EXPECT_EQ(config->object_type, 2);
        EXPECT_EQ(config->rate_index, c.core_rate_index);
        EXPECT_EQ(config->output_rate_index, c.output_rate_index);
        EXPECT_EQ(config->channel_configuration, c.channels);
        EXPECT_TRUE(config->frame_length_960);
    }
    EXPECT_EQ((SuperframeFormat{true, true, false, true, 0}.OutputChannels()), 2);
}

TEST(Superframe, CorrectsFiveBytesPerCodewordAndDetectsSix) {
    if (koru::test::ReferenceDabPlusEti().empty()) GTEST_SKIP() << "reference recording absent";
    const auto superframes = koru::test::RebuiltSuperframes(kIndia, 20);
    ASSERT_EQ(superframes.size(), 20u);
    const auto s = static_cast<size_t>(SuperframeSize(kIndia.bitrate_kbps).s);
    std::mt19937 random(25);
    for (size_t n = 0; n < superframes.size(); ++n) {
        // Five wrong bytes in every codeword: all corrected.
        std::vector<uint8_t> damaged = superframes[n];
        for (size_t i = 0; i < s; ++i) {
            std::vector<size_t> rows(kSuperframeCodewordBytes);
            std::iota(rows.begin(), rows.end(), 0);
            std::shuffle(rows.begin(), rows.end(), random);
            for (size_t k = 0; k < 5; ++k)
                damaged[i + s * rows[k]] ^= static_cast<uint8_t>(1 + random() % 255);
        }
        EXPECT_EQ(CorrectSuperframe(damaged), static_cast<int>(5 * s));
        EXPECT_EQ(damaged, superframes[n]);
        // A sixth in one codeword: that one is beyond correction and said to be.
        const size_t codeword = n % s;
        std::vector<uint8_t> beyond = superframes[n];
        for (size_t k = 0; k < 6; ++k)
            beyond[codeword + s * (k * 19 + n)] ^= 0xA5;
        EXPECT_EQ(CorrectSuperframe(beyond), -1);
    }
}

TEST(Superframe, DecoderCorrectsOrConcealsWhatTheCodeCannot) {
    if (koru::test::ReferenceDabPlusEti().empty()) GTEST_SKIP() << "reference recording absent";
    const auto superframes = koru::test::RebuiltSuperframes(kJuliet, 6);
    const auto units = koru::test::ReferenceUnits(kJuliet);
    const auto s = static_cast<size_t>(SuperframeSize(kJuliet.bitrate_kbps).s);
    std::vector<std::vector<uint8_t>> stream = superframes;
    for (size_t i = 0; i < s; ++i)  // superframe 1: five bytes in every codeword
        for (size_t k = 0; k < 5; ++k)
            stream[1][i + s * (k * 23 + 1)] ^= 0x3C;
    for (size_t k = 0; k < 6; ++k)  // superframe 3: codeword 0 beyond correction, in unit 0
        stream[3][s * (k + 10)] ^= 0x77;
    Collected got(kJuliet.bitrate_kbps);
    got.decoder.Feed(Joined(stream));
    ASSERT_EQ(got.units.size(), 24u);
    EXPECT_EQ(got.decoder.counts().corrected_bytes, 5 * s);
    EXPECT_EQ(got.decoder.counts().uncorrectable, 1u);
    for (size_t i = 0; i < got.units.size(); ++i) {
        // The uncorrected codeword's bytes lie in unit 0 of superframe 3 only.
        if (i == 12) {
            EXPECT_FALSE(got.units[i]) << i;
        } else {
            ASSERT_TRUE(got.units[i]) << i;
            EXPECT_EQ(*got.units[i], units[i]) << i;
        }
    }
}

TEST(Superframe, AUnitWithABadCrcIsConcealedAlone) {
    if (koru::test::ReferenceDabPlusEti().empty()) GTEST_SKIP() << "reference recording absent";
    auto superframes = koru::test::RebuiltSuperframes(kIndia, 3);
    const auto units = koru::test::ReferenceUnits(kIndia);
    // A byte of unit 1 of superframe 1 changed and the code made to fit: only its CRC tells.
    const auto contents = ParseSuperframe(superframes[1], SuperframeSize(kIndia.bitrate_kbps));
    ASSERT_TRUE(contents);
    const size_t at = static_cast<size_t>(contents->units[1].data.data() - superframes[1].data());
    superframes[1][at + 10] ^= 0x01;
    Reseal(&superframes[1], SuperframeSize(kIndia.bitrate_kbps).s);
    Collected got(kIndia.bitrate_kbps);
    got.decoder.Feed(Joined(superframes));
    ASSERT_EQ(got.units.size(), 9u);
    EXPECT_EQ(got.Lost(), 1u);
    EXPECT_FALSE(got.units[4]);
    EXPECT_EQ(*got.units[3], units[3]);
    EXPECT_EQ(*got.units[5], units[5]);
    EXPECT_EQ(got.decoder.counts().uncorrectable, 0u);
}

TEST(Superframe, AFrameLostInTheMiddleCostsOnlyTheUnitsInIt) {
    if (koru::test::ReferenceDabPlusEti().empty()) GTEST_SKIP() << "reference recording absent";
    const auto superframes = koru::test::RebuiltSuperframes(kIndia, 6);
    const auto units = koru::test::ReferenceUnits(kIndia);
    const size_t frame = SuperframeSize(kIndia.bitrate_kbps).FrameBytes();
    std::vector<uint8_t> stream = Joined(superframes);
    // Logical frame 2 of superframe 2 never came.
    stream.erase(stream.begin() + static_cast<long>(2 * 5 * frame + 2 * frame),
                 stream.begin() + static_cast<long>(2 * 5 * frame + 3 * frame));
    Collected got(kIndia.bitrate_kbps);
    for (size_t at = 0; at < stream.size(); at += frame)  // as the receiver hands frames on
        got.decoder.Feed(std::span(stream).subspan(at, std::min(frame, stream.size() - at)));
    // Unit 0 of that superframe lies before the gap; units 1 and 2 are lost, in their place;
    // the next superframe, which began a frame early, is whole, and the time stays whole.
    ASSERT_EQ(got.units.size(), 18u);
    for (size_t i = 0; i < got.units.size(); ++i) {
        if (i == 7 || i == 8) {
            EXPECT_FALSE(got.units[i]) << i;
        } else {
            ASSERT_TRUE(got.units[i]) << i;
            EXPECT_EQ(*got.units[i], units[i]) << i;
        }
    }
    EXPECT_EQ(got.decoder.counts().syncs, 2u);
}

TEST(Superframe, FindsSyncAgainAfterASlipOrGarbage) {
    if (koru::test::ReferenceDabPlusEti().empty()) GTEST_SKIP() << "reference recording absent";
    auto superframes = koru::test::RebuiltSuperframes(kJuliet, 8);
    const auto units = koru::test::ReferenceUnits(kJuliet);
    std::vector<uint8_t> stream;
    std::mt19937 random(7);
    for (int i = 0; i < 333; ++i)  // the receiver joins in the middle of nothing
        stream.push_back(static_cast<uint8_t>(random()));
    for (size_t n = 0; n < 4; ++n)
        stream.insert(stream.end(), superframes[n].begin(), superframes[n].end());
    stream.resize(stream.size() - 77);  // the end of superframe 3 cut off, then a slip
    for (size_t n = 4; n < 8; ++n)
        stream.insert(stream.end(), superframes[n].begin(), superframes[n].end());
    Collected got(kJuliet.bitrate_kbps);
    for (size_t at = 0; at < stream.size(); at += 97)
        got.decoder.Feed(std::span(stream).subspan(at, std::min<size_t>(97, stream.size() - at)));
    EXPECT_EQ(got.decoder.counts().syncs, 2u);
    // Superframe 3 gives the units before its cut end; the rest is whole, the time too.
    ASSERT_EQ(got.units.size(), 32u);
    for (size_t i = 0; i < got.units.size(); ++i) {
        if (i == 15) {
            EXPECT_FALSE(got.units[i]) << i;
        } else {
            ASSERT_TRUE(got.units[i]) << i;
            EXPECT_EQ(*got.units[i], units[i]) << i;
        }
    }
}

TEST(Superframe, ReorderedSuperframesEachStandAlone) {
    if (koru::test::ReferenceDabPlusEti().empty()) GTEST_SKIP() << "reference recording absent";
    auto superframes = koru::test::RebuiltSuperframes(kIndia, 4);
    const auto units = koru::test::ReferenceUnits(kIndia);
    std::swap(superframes[1], superframes[2]);
    Collected got(kIndia.bitrate_kbps);
    got.decoder.Feed(Joined(superframes));
    ASSERT_EQ(got.units.size(), 12u);
    EXPECT_EQ(got.Lost(), 0u);
    EXPECT_EQ(*got.units[3], units[6]);
    EXPECT_EQ(*got.units[6], units[3]);
}

TEST(Superframe, ALyingAuTableOrHeaderNeverReadsPastTheSuperframe) {
    if (koru::test::ReferenceDabPlusEti().empty()) GTEST_SKIP() << "reference recording absent";
    const SuperframeSize size(kJuliet.bitrate_kbps);
    const auto superframes = koru::test::RebuiltSuperframes(kJuliet, 2);
    struct Lie {
        const char* what;
        std::function<void(std::vector<uint8_t>&)> apply;
    };
    const Lie lies[] = {
        {"a start past the audio data", [](auto& f) { f[3] = 0xFF, f[4] |= 0xF0; }},
        {"starts that go back", [](auto& f) { f[6] = 0x00, f[7] = 0x10; }},
        {"a unit of its CRC alone", [](auto& f) { f[3] = 0x00, f[4] = 0x8A; }},
        {"six units where four fit", [](auto& f) { f[2] = 0x40; }},
    };
    for (const Lie& lie : lies) {
        std::vector<uint8_t> lying = superframes[0];
        lie.apply(lying);
        Reseal(&lying, size.s);
        EXPECT_FALSE(ParseSuperframe(lying, size)) << lie.what;
        // The decoder skips it and reads the next one.
        Collected got(kJuliet.bitrate_kbps);
        std::vector<uint8_t> stream = lying;
        stream.insert(stream.end(), superframes[1].begin(), superframes[1].end());
        got.decoder.Feed(stream);
        EXPECT_EQ(got.units.size(), 4u) << lie.what;
        EXPECT_EQ(got.Lost(), 0u) << lie.what;
    }
}

TEST(Superframe, PadOfTheIndependentRecordingGivesItsLabel) {
    if (koru::test::ReferenceDabPlusEti().empty()) GTEST_SKIP() << "reference recording absent";
    std::vector<DynamicLabel> labels;
    DynamicLabelDecoder dl([&](const DynamicLabel& label) { labels.push_back(label); });
    XpadDecoder xpad([&](uint8_t type, std::vector<uint8_t> group) {
        if (type == kXpadDlStart) {
            EXPECT_TRUE(dl.Feed(group));
        }
    });
    size_t with_pad = 0;
    for (const auto& unit : koru::test::ReferenceUnits(kIndia)) {
        const std::optional<PadFrame> pad = PadOfAccessUnit(unit);
        if (!pad) continue;
        ++with_pad;
        xpad.Feed(pad->xpad, pad->fpad);
    }
    EXPECT_GT(with_pad, 250u);
    ASSERT_FALSE(labels.empty());
    EXPECT_EQ(labels[0].Utf8(), "REFERENCE-C DLS: India HE-AAC 64 kbit/s with slideshow");
    EXPECT_EQ(labels[0].charset, 0);
    for (const auto& unit : koru::test::ReferenceUnits(kJuliet))
        EXPECT_FALSE(PadOfAccessUnit(unit));
    // A data stream element that claims more than the unit holds gives nothing.
    const std::vector<uint8_t> claims{0x80, 0x40, 1, 2, 3};
    EXPECT_FALSE(PadOfAccessUnit(claims));
}

TEST(Loas, CarriesUnitsAndTheirConfig) {
    const SuperframeFormat formats[] = {
        kIndia.format, kJuliet.format, {true, true, false, true, 0}};
    LoasReader reader;
    std::mt19937 random(3);
    for (const SuperframeFormat& format : formats) {
        BitWriter config;
        PutAudioSpecificConfig(format, &config);
        for (size_t length : {0u, 1u, 254u, 255u, 256u, 700u}) {
            std::vector<uint8_t> unit(length);
            for (uint8_t& byte : unit)
                byte = static_cast<uint8_t>(random());
            const std::vector<uint8_t> frame =
                WriteLoasFrame(config.bytes(), config.bit_size(), unit);
            EXPECT_EQ(LoasFrameLength(frame), frame.size());
            const auto read = reader.Read(frame);
            ASSERT_TRUE(read) << length;
            EXPECT_EQ(*read, unit);
            EXPECT_EQ(reader.config(), AudioSpecificConfigOf(format));
        }
    }
    // Cut short, or with another sync word: nothing.
    BitWriter config;
    PutAudioSpecificConfig(kJuliet.format, &config);
    std::vector<uint8_t> frame =
        WriteLoasFrame(config.bytes(), config.bit_size(), std::vector<uint8_t>(40, 1));
    EXPECT_FALSE(reader.Read(std::span(frame).first(frame.size() - 1)));
    frame[0] = 0x57;
    EXPECT_EQ(LoasFrameLength(frame), 0u);
    // A frame that reuses a config before any came.
    LoasReader fresh;
    const std::vector<uint8_t> same{0x56, 0xE0, 0x02, 0x80 | 0x01, 0x00};
    EXPECT_FALSE(fresh.Read(same));
}

}  // namespace
}  // namespace koru::dab
