// The demo recordings made at build time hold what their descriptions say, read by our own
// decoders (the independent check with dablin is in tests/integration/dablin).
#include <gtest/gtest.h>

#include <set>
#include <sstream>

#include "dab/charset.h"
#include "dab/gzip.h"
#include "dab/outer_code.h"
#include "dab/transport_stream.h"
#include "decoded.h"
#include "support/environment.h"
#include "support/temp_dir.h"
#include "tools/mkens/builder.h"
#include "tools/mkens/media.h"

namespace koru::mkens {
namespace {

// A TV sub-channel: outer-coded or plain as described, every packet whole after the outer
// decoder, and the transport stream in its variant.
void ExpectTvStream(const ServiceDescription& s, const std::vector<uint8_t>& subchannel) {
    // Twice: the recording loops, and the interleaver's first bytes need what came before.
    std::vector<uint8_t> looped = subchannel;
    looped.insert(looped.end(), subchannel.begin(), subchannel.end());
    dab::OuterDecoder decoder;
    std::vector<uint8_t> ts;
    decoder.Process(looped, &ts);
    EXPECT_EQ(decoder.mode(),
              s.outer_code ? dab::OuterDecoder::Mode::kOuterCoded : dab::OuterDecoder::Mode::kPlain)
        << s.label;
    EXPECT_EQ(decoder.counts().uncorrectable, 0u) << s.label;
    ASSERT_EQ(ts.size() % dab::kTsPacketBytes, 0u) << s.label;
    size_t audio_without_time = 0, sl_packets = 0, audio = 0;
    for (const dab::Pes& pes : dab::ReadPes(ts)) {
        if (pes.stream_id == 0xFA) ++sl_packets;
        if (pes.stream_id != 0xC0) continue;
        ++audio;
        if (pes.pts == dab::kNoTime) ++audio_without_time;
    }
    if (s.mpeg4_systems) {
        EXPECT_GT(sl_packets, 100u) << s.label << ": SL-packetized audio and video";
        EXPECT_EQ(audio, 0u) << s.label;
    } else if (s.straddle_audio) {
        // Frames cut across packets: some PES packets have no frame starting in them.
        EXPECT_GT(audio_without_time, 0u) << s.label;
    } else {
        EXPECT_GT(audio, 0u) << s.label;
        EXPECT_EQ(audio_without_time, 0u) << s.label;
    }
}

class Demo : public ::testing::TestWithParam<const char*> {
  protected:
    void SetUp() override {
        std::string error;
        const auto d = ParseDescription(
            koru::test::SourceDir() / "data" / "demo" / (std::string(GetParam()) + ".ens"), &error);
        ASSERT_TRUE(d) << error;
        description_ = *d;
        eti_ = koru::test::BinDir() / "demo" / (std::string(GetParam()) + ".eti");
        ASSERT_TRUE(std::filesystem::exists(eti_)) << eti_ << " is made by the build";
    }
    Description description_;
    std::filesystem::path eti_;
};

TEST_P(Demo, RecordingMatchesItsDescription) {
    const Decoded out = Decode(eti_, description_);
    EXPECT_EQ(out.frames, static_cast<size_t>(description_.frames));
    EXPECT_EQ(out.bad_frames, 0u);
    EXPECT_EQ(out.bad_fibs, 0u);
    const dab::Ensemble expected = ToEnsemble(description_);
    EXPECT_EQ(out.ensemble.eid, expected.eid);
    EXPECT_EQ(out.ensemble.label, expected.label);
    EXPECT_EQ(out.ensemble.subchannels, expected.subchannels);
    ASSERT_EQ(out.ensemble.services.size(), expected.services.size());
    for (const dab::Service& s : expected.services) {
        const dab::Service* got = out.ensemble.FindService(s.sid);
        ASSERT_TRUE(got);
        EXPECT_EQ(*got, s);
    }

    MediaMaker media(KORU_DEMO_MEDIA);  // the build's cache: no FFmpeg run
    for (const ServiceDescription& s : description_.services) {
        if (s.kind == ServiceKind::kRadio) {
            const RadioPadOut& r = out.radio.at(s.sid);
            EXPECT_EQ(r.bad_groups, 0u);
            std::set<std::string> labels;
            for (const auto& l : r.labels)
                labels.insert(l.Utf8());
            EXPECT_EQ(labels, std::set<std::string>(s.dls.begin(), s.dls.end())) << s.label;
            std::set<std::string> names;
            for (const auto& slide : r.slides)
                names.insert(slide.header.ContentName().value());
            EXPECT_EQ(names.size(), s.slides.size());
            for (const dab::MotObject& slide : r.slides) {
                for (const ObjectDescription& item : s.slides) {
                    if (item.name == slide.header.ContentName()) {
                        EXPECT_EQ(slide.body, media.Image(*item.image, ".jpg")) << item.name;
                    }
                }
            }
        } else if (s.kind == ServiceKind::kData) {
            const PacketOut& p = out.packet.at(s.sid);
            std::set<std::string> names;
            for (const auto& o : p.objects) {
                const std::string name = o.header.ContentName().value();
                names.insert(name);
                for (const ObjectDescription& item : s.objects) {
                    if (item.name != name || item.image) continue;
                    const std::string file = koru::test::ReadFile(description_.folder / item.file);
                    std::vector<uint8_t> body = o.body;
                    if (item.gzip) body = dab::GzipDecompress(o.body).value();
                    EXPECT_EQ(std::string(body.begin(), body.end()), file) << name;
                }
            }
            EXPECT_EQ(names.size(), s.objects.size());
            ASSERT_FALSE(p.directories.empty());
            EXPECT_EQ(p.directories[0].entries.size(), s.objects.size());
            // Directory mode: the headers travel in the directory only.
            EXPECT_EQ(p.types.contains(dab::kDataGroupMotHeader), s.mot_header_mode) << s.label;
            EXPECT_TRUE(p.types.contains(dab::kDataGroupMotBody));
        } else if (s.kind == ServiceKind::kTv) {
            ExpectTvStream(s, out.streams.at(s.subchannel));
        } else if (s.kind == ServiceKind::kTpeg) {
            EXPECT_GE(out.packet.at(s.sid).groups.size(), 15u);
        }
    }
    EXPECT_EQ(media.ffmpeg_runs(), 0);
}

INSTANTIATE_TEST_SUITE_P(Ensembles, Demo, ::testing::Values("208736", "205280", "1452960"));

// The emulated stick's air: every frequency names a recording that exists, at a good level.
TEST(Demo, ReceiverConfNamesEveryRecording) {
    const std::string conf = koru::test::ReadFile(koru::test::BinDir() / "demo" / "receiver.conf");
    std::istringstream in(conf);
    std::string line;
    std::set<std::string> frequencies;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream words(line);
        std::string key, frequency, file, level_key;
        double level = 0;
        words >> key >> frequency >> file >> level_key >> level;
        EXPECT_EQ(key, "air");
        EXPECT_EQ(file, frequency + ".eti");
        EXPECT_TRUE(std::filesystem::exists(koru::test::BinDir() / "demo" / file));
        EXPECT_EQ(level_key, "level");
        EXPECT_GT(level, 13.0);
        frequencies.insert(frequency);
    }
    EXPECT_EQ(frequencies, (std::set<std::string>{"208736", "205280", "1452960"}));
}

}  // namespace
}  // namespace koru::mkens
