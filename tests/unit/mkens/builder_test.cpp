// mkens on a small ensemble of every kind: what it writes, read back by our decoders, and the
// same bytes on every run.
#include "tools/mkens/builder.h"

#include <gtest/gtest.h>

#include "dab/gzip.h"
#include "decoded.h"
#include "support/temp_dir.h"

namespace koru::mkens {
namespace {

constexpr char kSmall[] = R"(
[ensemble]
eid = 0x4321
label = Small Test
short = Small
seconds = 4

[subchannel 1]
bitrate = 64
protection = eep 3-a

[subchannel 2]
bitrate = 128
protection = uep 2

[subchannel 3]
bitrate = 32
protection = eep 2-b

[tv]
sid = 0x4001
label = Small TV
subchannel = 1
tone = 500
outer = off

[radio]
sid = 0x4002
label = Small Radio
subchannel = 2
mode = stereo
tone = 750
pad = 120
dls = First label
dls = Zweite Beschriftung äöü
dls = 세 번째
dls_seconds = 1
slide = s.jpg smptebars "S"

[data]
sid = 0xE0004003
label = Small Web
subchannel = 3
address = 17
mot = header
object = index.htm file site/index.htm gzip
object = pic/p.png image rgbtestsrc 32x24

[tpeg]
sid = 0xE0004004
label = Small TPEG
subchannel = 3
address = 18
)";

class Builder : public ::testing::Test {
  protected:
    void SetUp() override {
        std::filesystem::create_directories(dir_ / "site");
        koru::test::WriteFile(dir_ / "site" / "index.htm",
                              "<html><body>" + std::string(500, 'x') + "</body></html>\n");
        std::string error;
        auto d = ParseDescriptionText(kSmall, dir_.path(), &error, "small.ens");
        ASSERT_TRUE(d) << error;
        description_ = *d;
    }
    koru::test::TempDir dir_;
    Description description_;
};

TEST_F(Builder, WritesWhatTheDescriptionSays) {
    MediaMaker media(dir_ / "cache");
    const auto eti = dir_ / "small.eti";
    WriteEnsemble(description_, media, eti);
    EXPECT_FALSE(std::filesystem::exists(dir_ / "small.eti.part"));
    EXPECT_EQ(std::filesystem::file_size(eti), 188u * dab::kEtiFrameSize);
    const Decoded out = Decode(eti, description_);
    EXPECT_EQ(out.frames, 188u);
    EXPECT_EQ(out.bad_frames, 0u);
    EXPECT_EQ(out.bad_fibs, 0u);

    // The FIC describes exactly the ensemble of the description.
    const dab::Ensemble expected = ToEnsemble(description_);
    EXPECT_EQ(out.ensemble.label, expected.label);
    EXPECT_EQ(out.ensemble.subchannels, expected.subchannels);
    for (const dab::Service& s : expected.services) {
        const dab::Service* got = out.ensemble.FindService(s.sid);
        ASSERT_TRUE(got) << s.label.Text();
        EXPECT_EQ(*got, s) << s.label.Text();
    }

    // TV: a transport stream, packets aligned from the first byte.
    const std::vector<uint8_t>& ts = out.streams.at(1);
    EXPECT_EQ(ts.size(), 188u * 64 * 3);
    for (size_t at = 0; at < ts.size(); at += 188)
        ASSERT_EQ(ts[at], 0x47) << at;

    // Radio: every label in turn, in its character set, and the slide.
    const RadioPadOut& radio = out.radio.at(0x4002);
    EXPECT_EQ(radio.bad_groups, 0u);
    std::vector<std::string> texts;
    for (const auto& l : radio.labels)
        texts.push_back(l.Utf8());
    ASSERT_GE(texts.size(), 3u);
    EXPECT_EQ(std::vector<std::string>(texts.begin(), texts.begin() + 3),
              (std::vector<std::string>{"First label", "Zweite Beschriftung äöü", "세 번째"}));
    EXPECT_EQ(radio.labels[1].charset, 0);
    EXPECT_EQ(radio.labels[2].charset, 15);
    ASSERT_FALSE(radio.slides.empty());
    EXPECT_EQ(radio.slides[0].header.ContentName(), "s.jpg");
    EXPECT_EQ(radio.slides[0].body,
              media.Image(description_.services[1].slides[0].image.value(), ".jpg"));
    EXPECT_EQ(radio.slides[0].body[0], 0xFF);  // a JPEG
    EXPECT_EQ(radio.slides[0].body[1], 0xD8);

    // Website: both objects, the index gzip-compressed, and the directory naming it.
    const PacketOut& web = out.packet.at(0xE0004003);
    std::map<std::string, dab::MotObject> objects;
    for (const auto& o : web.objects)
        objects[o.header.ContentName().value_or("?")] = o;
    ASSERT_TRUE(objects.contains("index.htm") && objects.contains("pic/p.png"));
    const dab::MotObject& index = objects["index.htm"];
    EXPECT_EQ(index.header.CompressionType(), dab::kMotCompressionGzip);
    const auto html = dab::GzipDecompress(index.body);
    ASSERT_TRUE(html);
    EXPECT_EQ(std::string(html->begin(), html->end()),
              koru::test::ReadFile(dir_ / "site" / "index.htm"));
    EXPECT_EQ(objects["pic/p.png"].header.content_subtype, dab::kMotImagePng);
    ASSERT_FALSE(web.directories.empty());
    const dab::MotParameter* dir_index = nullptr;
    for (const auto& p : web.directories[0].parameters) {
        if (p.id == dab::kMotDirectoryIndex) dir_index = &p;
    }
    ASSERT_TRUE(dir_index);
    EXPECT_EQ(std::string(dir_index->data.begin() + 1, dir_index->data.end()), "index.htm");
    EXPECT_EQ(web.directories[0].entries.size(), 2u);
    EXPECT_EQ(web.types, (std::set<uint8_t>{dab::kDataGroupMotHeader, dab::kDataGroupMotBody,
                                            dab::kDataGroupMotDirectory}));

    // TPEG: a data group a second, each a TPEG frame.
    const PacketOut& tpeg = out.packet.at(0xE0004004);
    EXPECT_GE(tpeg.groups.size(), 4u);
    const auto group = dab::ParseMscDataGroup(tpeg.groups.at(0));
    ASSERT_TRUE(group);
    EXPECT_EQ(group->data.at(0), 0xFF);
    EXPECT_EQ(group->data.at(1), 0x0F);
}

TEST_F(Builder, SameBytesOnEveryRun) {
    MediaMaker first(dir_ / "cache-a");
    WriteEnsemble(description_, first, dir_ / "a.eti");
    EXPECT_GT(first.ffmpeg_runs(), 0);
    MediaMaker again(dir_ / "cache-a");  // everything from the cache
    WriteEnsemble(description_, again, dir_ / "b.eti");
    EXPECT_EQ(again.ffmpeg_runs(), 0);
    MediaMaker fresh(dir_ / "cache-b");  // FFmpeg again, deterministically
    WriteEnsemble(description_, fresh, dir_ / "c.eti");
    const std::string a = koru::test::ReadFile(dir_ / "a.eti");
    EXPECT_TRUE(a == koru::test::ReadFile(dir_ / "b.eti"));
    EXPECT_TRUE(a == koru::test::ReadFile(dir_ / "c.eti"));
}

TEST_F(Builder, ReportsMissingFiles) {
    std::filesystem::remove(dir_ / "site" / "index.htm");
    MediaMaker media(dir_ / "cache");
    try {
        WriteEnsemble(description_, media, dir_ / "x.eti");
        ADD_FAILURE() << "no error";
    } catch (const std::runtime_error& e) {
        EXPECT_NE(std::string(e.what()).find("cannot read"), std::string::npos) << e.what();
    }
    EXPECT_FALSE(std::filesystem::exists(dir_ / "x.eti"));
}

TEST(Tone, LayerTwoFramesWithRoomForPad) {
    const AudioFrames audio = EncodeTone(1000, 128, "joint", 58, 10);
    ASSERT_EQ(audio.frames.size(), 10u);
    EXPECT_EQ(audio.scf_crc_length, 4);
    for (const auto& frame : audio.frames) {
        const auto header = dab::ParseMpaHeader(frame);
        ASSERT_TRUE(header);
        EXPECT_EQ(header->bitrate_kbps, 128);
        EXPECT_EQ(header->sample_rate, 48000);
        EXPECT_TRUE(header->crc);
        EXPECT_EQ(frame.size(), 384u);
        // X-PAD room (58 - 2 bytes) before the ScF-CRC and the F-PAD are left zero.
        for (size_t i = frame.size() - 62; i < frame.size() - 6; ++i)
            EXPECT_EQ(frame[i], 0) << i;
        EXPECT_EQ(frame[frame.size() - 2], 0);
        EXPECT_EQ(frame[frame.size() - 1], 0);
    }
    EXPECT_EQ(EncodeTone(1000, 64, "mono", 16, 1).scf_crc_length, 4);
    EXPECT_EQ(EncodeTone(1000, 96, "joint", 16, 1).scf_crc_length, 2);
    EXPECT_THROW(EncodeTone(1000, 100, "joint", 16, 1), std::runtime_error);
}

}  // namespace
}  // namespace koru::mkens
