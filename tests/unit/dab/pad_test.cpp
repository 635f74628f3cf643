// X-PAD, dynamic labels and MOT slideshows in audio frames, read from the independent
// recording and written and read by our own encoder.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <map>

#include "dab/dls.h"
#include "dab/eti.h"
#include "dab/mot.h"
#include "dab/mpa.h"
#include "dab/msc_data_group.h"
#include "dab/xpad.h"
#include "support/environment.h"

namespace koru::dab {
namespace {

std::vector<uint8_t> Bytes(std::string_view text) {
    return {text.begin(), text.end()};
}

std::vector<uint8_t> ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Everything a radio's PAD decoding chain gives back.
struct PadChain {
    std::vector<DynamicLabel> labels;
    std::vector<MotObject> objects;
    size_t bad_data_groups = 0;
    DynamicLabelDecoder dl{[this](const DynamicLabel& l) { labels.push_back(l); }};
    MotDecoder mot{[this](const MotObject& o) { objects.push_back(o); }};
    XpadDecoder xpad{[this](uint8_t type, std::vector<uint8_t> group) {
        const bool ok = type == kXpadDlStart ? dl.Feed(group) : mot.Feed(group);
        if (!ok) ++bad_data_groups;
    }};

    void Frame(std::span<const uint8_t> frame) {
        const std::optional<MpaHeader> header = ParseMpaHeader(frame);
        ASSERT_TRUE(header);
        xpad.Feed(XpadAreaOf(frame, ScfCrcLength(*header)), FpadOf(frame));
    }
};

TEST(Pad, DecodesTheIndependentRecording) {
    if (koru::test::ReferenceEti().empty()) GTEST_SKIP() << "reference recording absent";
    auto reader = EtiReader::Open(koru::test::ReferenceEti());
    ASSERT_TRUE(reader);
    PadChain chain;
    EtiFrame frame;
    int index = 0;
    std::map<std::string, int> first_complete;
    while (reader->Next(&frame)) {
        const EtiStream* stream = frame.FindStream(3);
        ASSERT_TRUE(stream);
        const auto header = ParseMpaHeader(stream->data);
        ASSERT_TRUE(header);
        EXPECT_EQ(header->frame_size(), 384u);
        EXPECT_EQ(ScfCrcLength(*header), 4);
        chain.Frame(stream->data);
        for (const MotObject& o : chain.objects) {
            first_complete.emplace(o.header.ContentName().value_or("?"), index);
        }
        ++index;
    }
    EXPECT_EQ(chain.bad_data_groups, 0u);
    ASSERT_FALSE(chain.labels.empty());
    EXPECT_EQ(chain.labels[0].Utf8(),
              "HOLDOUT-A DLS: Alpha Tone 440 Hz test service - ODR-PadEnc 3.1.0");
    EXPECT_EQ(chain.labels[0].charset, 0);
    const std::vector<uint8_t> blue = ReadFile(koru::test::ReferenceDir() / "slide1_blue.jpg");
    const std::vector<uint8_t> red = ReadFile(koru::test::ReferenceDir() / "slide2_red.jpg");
    bool saw_blue = false, saw_red = false;
    for (const MotObject& o : chain.objects) {
        EXPECT_EQ(o.header.content_type, kMotImage);
        EXPECT_EQ(o.header.content_subtype, kMotImageJfif);
        const std::string name = o.header.ContentName().value_or("");
        if (name == "0000.jpg") {
            EXPECT_EQ(o.body, blue);
            saw_blue = true;
        } else if (name == "0001.jpg") {
            EXPECT_EQ(o.body, red);
            saw_red = true;
        } else {
            ADD_FAILURE() << "unexpected object " << name;
        }
    }
    EXPECT_TRUE(saw_blue && saw_red);
    EXPECT_EQ(first_complete["0000.jpg"], 127);  // as the recording's notes say
}

// A 128 kbit/s stereo Layer II frame with CRC, all zero but its header: room for PAD.
std::vector<uint8_t> SilentFrame() {
    std::vector<uint8_t> frame(384, 0);
    frame[0] = 0xFF;
    frame[1] = 0xFC;  // MPEG-1 Layer II, CRC present
    frame[2] = 0x84;  // 128 kbit/s, 48 kHz
    frame[3] = 0x44;  // joint stereo
    return frame;
}

TEST(Pad, LabelsAndSlidesRoundTrip) {
    XpadEncoder encoder(52);
    DynamicLabel korean{Bytes("한국어 라디오 KORU 방송입니다"), 15};
    DynamicLabel latin{Bytes("Now playing: a 1 kHz tone on KORU Radio, the demo station"), 0};
    for (auto& seg : BuildDynamicLabel(latin, false))
        encoder.QueueDynamicLabel(seg);
    MotEncoder mot(600);
    MotObject slide;
    slide.transport_id = 7;
    for (int i = 0; i < 3000; ++i)
        slide.body.push_back(static_cast<uint8_t>(i * 31));
    slide.header.body_size = static_cast<uint32_t>(slide.body.size());
    slide.header.content_type = kMotImage;
    slide.header.content_subtype = kMotImageJfif;
    slide.header.SetContentName("slide1.jpg");
    for (const MscDataGroup& g : mot.EncodeObject(slide))
        encoder.QueueMot(BuildMscDataGroup(g));
    for (auto& seg : BuildDynamicLabel(korean, true))
        encoder.QueueDynamicLabel(seg);

    PadChain chain;
    int frames = 0;
    while (!encoder.empty()) {
        const PadFrame pad = encoder.Next();
        ASSERT_LE(pad.xpad.size(), 52u);
        std::vector<uint8_t> frame = SilentFrame();
        PutPad(frame, 4, pad.xpad, pad.fpad);
        chain.Frame(frame);
        ++frames;
    }
    EXPECT_EQ(encoder.Next().fpad, (std::array<uint8_t, 2>{0, 0}));  // nothing left: no X-PAD
    EXPECT_EQ(chain.bad_data_groups, 0u);
    ASSERT_EQ(chain.labels.size(), 2u);
    EXPECT_EQ(chain.labels[0], latin);
    EXPECT_EQ(chain.labels[1], korean);
    EXPECT_EQ(chain.labels[1].Utf8(), "한국어 라디오 KORU 방송입니다");
    ASSERT_EQ(chain.objects.size(), 1u);
    EXPECT_EQ(chain.objects[0], slide);
    EXPECT_LT(frames, 100);  // about 3.2 kB in 52-byte X-PAD fields
}

TEST(Pad, LostFramesCostOnlyTheirDataGroups) {
    XpadEncoder encoder(30);
    for (int i = 0; i < 3; ++i) {
        DynamicLabel label{Bytes("Label number " + std::to_string(i) + " with some text"), 0};
        for (auto& seg : BuildDynamicLabel(label, i % 2 == 1))
            encoder.QueueDynamicLabel(seg);
    }
    PadChain chain;
    int frame_index = 0;
    while (!encoder.empty()) {
        const PadFrame pad = encoder.Next();
        std::vector<uint8_t> frame = SilentFrame();
        PutPad(frame, 4, pad.xpad, pad.fpad);
        if (frame_index++ == 0) frame[371] ^= 0xFF;  // X-PAD byte 6: in the first segment
        chain.Frame(frame);
    }
    // The first label loses a segment; the other two come through.
    ASSERT_EQ(chain.labels.size(), 2u);
    EXPECT_EQ(chain.labels[0].Utf8(), "Label number 1 with some text");
    EXPECT_GE(chain.bad_data_groups, 1u);
}

TEST(DynamicLabels, SegmentsAndCommands) {
    std::vector<DynamicLabel> got;
    DynamicLabelDecoder decoder([&](const DynamicLabel& l) { got.push_back(l); });
    const DynamicLabel long_label{std::vector<uint8_t>(200, 'x'), 0};
    const auto segments = BuildDynamicLabel(long_label, false);
    ASSERT_EQ(segments.size(), 8u);  // cut to 128 bytes
    // Out of order and repeated segments still make one label, reported once.
    for (int i = 7; i >= 0; --i)
        EXPECT_TRUE(decoder.Feed(segments[i]));
    for (const auto& seg : segments)
        EXPECT_TRUE(decoder.Feed(seg));
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].text.size(), 128u);
    EXPECT_TRUE(decoder.Feed(BuildDynamicLabelClear(true)));
    ASSERT_EQ(got.size(), 2u);
    EXPECT_TRUE(got[1].text.empty());
    std::vector<uint8_t> bad = segments[0];
    bad[5] ^= 1;
    EXPECT_FALSE(decoder.Feed(bad));
    EXPECT_FALSE(decoder.Feed(std::vector<uint8_t>{0x4F, 0x00, 0x41}));  // length lies
}

TEST(XpadDecoder, IgnoresGarbage) {
    int groups = 0;
    XpadDecoder decoder([&](uint8_t, std::vector<uint8_t>) { ++groups; });
    std::vector<uint8_t> area(60, 0xEE);
    decoder.Feed(area, {0x20, 0x02});
    decoder.Feed(area, {0x20, 0x00});
    decoder.Feed(area, {0x10, 0x02});
    decoder.Feed({}, {0x20, 0x02});
    decoder.Feed(std::vector<uint8_t>{0x6C}, {0x20, 0x02});  // MOT start without a length
    EXPECT_EQ(groups, 0);
}

}  // namespace
}  // namespace koru::dab
