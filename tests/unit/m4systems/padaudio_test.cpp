// padaudio: labels and slides out of the PAD of Layer II frames, from the independent reference
// recording (service 0x4A01, SubChId 3) and from frames our own X-PAD encoder fills, directly
// and through the terminal's playback.
#include "m4systems/padaudio/padaudio.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <set>

#include "dab/charset.h"
#include "dab/dls.h"
#include "dab/eti.h"
#include "dab/mot.h"
#include "dab/mpa.h"
#include "dab/xpad.h"
#include "m4systems/padaudio/pad_service.h"
#include "support/environment.h"
#include "support/temp_dir.h"
#include "terminal_harness.h"
#include "tools/mkens/description.h"
#include "tools/mkens/media.h"

namespace koru::test {
namespace {

constexpr char kReferenceLabel[] =
    "HOLDOUT-A DLS: Alpha Tone 440 Hz test service - ODR-PadEnc 3.1.0";

struct Reported {
    uint32_t message;
    int64_t wparam;
    int64_t lparam;
};

// The Layer II frames of one sub-channel of an ETI recording.
std::vector<std::vector<uint8_t>> SubchannelFrames(const std::filesystem::path& eti, int id) {
    std::vector<std::vector<uint8_t>> frames;
    auto reader = dab::EtiReader::Open(eti);
    if (!reader) return frames;
    dab::EtiFrame frame;
    while (reader->Next(&frame)) {
        if (const dab::EtiStream* stream = frame.FindStream(id)) frames.push_back(stream->data);
    }
    return frames;
}

// The reference recording's service 0x4A01.
std::vector<std::vector<uint8_t>> ReferenceFrames() {
    return SubchannelFrames(ReferenceEti(), 3);
}

std::string Label() {
    uint8_t buffer[256];
    const int length = GetDLSData(buffer);
    EXPECT_EQ(buffer[length], 0);
    return std::string(reinterpret_cast<const char*>(buffer), static_cast<size_t>(length));
}

// Each test starts from nothing.
class PadAudio : public ::testing::Test {
  protected:
    void SetUp() override {
        folder_ = dir_.str() + "/MOT/";
        std::filesystem::create_directories(folder_);
        EXPECT_EQ(SetMOTPath(folder_.c_str()), static_cast<int>(folder_.size()) + 1);
        MOTInitVariable(1);
    }
    void Feed(const std::vector<uint8_t>& frame) {
        padaudio::FeedAudioFrame(frame.data(), frame.size(),
                                 [this](uint32_t m, int64_t w, int64_t l) {
                                     reported_.push_back({m, w, l});
                                 });
    }
    std::vector<Reported> Reports(uint32_t message) const {
        std::vector<Reported> out;
        for (const Reported& r : reported_) {
            if (r.message == message) out.push_back(r);
        }
        return out;
    }

    TempDir dir_;
    std::string folder_;
    std::vector<Reported> reported_;
};

TEST_F(PadAudio, TheReferenceRecordingGivesItsLabelAndBothSlidesExactly) {
    if (ReferenceEti().empty()) GTEST_SKIP() << "reference recording absent";
    const std::vector<std::vector<uint8_t>> frames = ReferenceFrames();
    ASSERT_EQ(frames.size(), 501u);
    std::map<std::string, size_t> slide_at;  // file -> frame index it came complete in
    for (size_t i = 0; i < frames.size(); ++i) {
        const size_t before = Reports(WM_SYSTEM_MOT_FILE).size();
        Feed(frames[i]);
        if (Reports(WM_SYSTEM_MOT_FILE).size() > before) {
            MOTFileName record;
            ASSERT_EQ(GetMOTFileName(&record), 1);
            slide_at.emplace(record.name, i);
            EXPECT_EQ(record.content_type, 2);
            EXPECT_EQ(record.content_subtype, 1);
        }
    }
    // The label is repeated every 1.2 s but reported once, in EBU Latin (set 0).
    const std::vector<Reported> labels = Reports(WM_SYSTEM_DLS);
    ASSERT_EQ(labels.size(), 1u);
    EXPECT_EQ(labels[0].wparam, 0);
    EXPECT_EQ(labels[0].lparam, static_cast<int64_t>(std::strlen(kReferenceLabel)));
    EXPECT_EQ(Label(), kReferenceLabel);

    // Each slide is sent about twice and reported once, byte for byte the files beside the
    // recording.
    ASSERT_EQ(Reports(WM_SYSTEM_MOT_FILE).size(), 2u);
    EXPECT_EQ(slide_at[folder_ + "0000.jpg"], 127u);
    EXPECT_TRUE(slide_at.count(folder_ + "0001.jpg"));
    EXPECT_EQ(ReadFile(folder_ + "0000.jpg"), ReadFile(ReferenceDir() / "slide1_blue.jpg"));
    EXPECT_EQ(ReadFile(folder_ + "0001.jpg"), ReadFile(ReferenceDir() / "slide2_red.jpg"));
    EXPECT_EQ(Reports(WM_SYSTEM_MOT_FILE)[0].lparam, 6450);

    // A new service starts from nothing.
    MOTInitVariable(1);
    EXPECT_EQ(Label(), "");
    MOTFileName record;
    EXPECT_EQ(GetMOTFileName(&record), 0);
    EXPECT_EQ(record.name[0], 0);
}

// The demo radio service of 208736 kHz: every label and every slide the ensemble builder put
// in comes out as it went in.
TEST_F(PadAudio, TheDemoRadioServiceGivesEveryLabelAndSlideExactly) {
    std::string error;
    const auto description =
        mkens::ParseDescription(SourceDir() / "data" / "demo" / "208736.ens", &error);
    ASSERT_TRUE(description) << error;
    const mkens::ServiceDescription* radio = nullptr;
    for (const mkens::ServiceDescription& service : description->services) {
        if (service.kind == mkens::ServiceKind::kRadio) radio = &service;
    }
    ASSERT_NE(radio, nullptr);
    const std::vector<std::vector<uint8_t>> frames =
        SubchannelFrames(BinDir() / "demo" / "208736.eti", radio->subchannel);
    ASSERT_EQ(frames.size(), static_cast<size_t>(description->frames));

    std::set<std::string> labels;
    for (const std::vector<uint8_t>& frame : frames) {
        const size_t before = Reports(WM_SYSTEM_DLS).size();
        Feed(frame);
        if (Reports(WM_SYSTEM_DLS).size() > before) {
            const Reported report = Reports(WM_SYSTEM_DLS).back();
            uint8_t buffer[256];
            ASSERT_EQ(GetDLSData(buffer), report.lparam);
            const std::vector<uint8_t> text(buffer, buffer + report.lparam);
            labels.insert(dab::DabTextToUtf8(text, static_cast<uint8_t>(report.wparam)));
            // Hangul needs UTF-8 (set 15); the others go in EBU Latin (set 0).
            EXPECT_EQ(report.wparam,
                      dab::DabTextToUtf8(text, 0) == dab::DabTextToUtf8(text, 15) ? 0 : 15);
        }
    }
    EXPECT_EQ(labels, std::set<std::string>(radio->dls.begin(), radio->dls.end()));

    mkens::MediaMaker media(KORU_DEMO_MEDIA);  // the build's cache: the very bytes sent
    ASSERT_EQ(Reports(WM_SYSTEM_MOT_FILE).size(), radio->slides.size());
    for (const mkens::ObjectDescription& slide : radio->slides) {
        const std::vector<uint8_t> sent = media.Image(*slide.image, ".jpg");
        const std::string written = ReadFile(folder_ + slide.name);
        EXPECT_TRUE(written == std::string(sent.begin(), sent.end())) << slide.name;
    }
    EXPECT_EQ(media.ffmpeg_runs(), 0);
}

// A 128 kbit/s stereo Layer II frame with CRC, silent, carrying one frame's PAD.
std::vector<uint8_t> FrameWithPad(const dab::PadFrame& pad) {
    std::vector<uint8_t> frame(384, 0);
    frame[0] = 0xFF;
    frame[1] = 0xFC;
    frame[2] = 0x84;
    frame[3] = 0x44;
    dab::PutPad(frame, 4, pad.xpad, pad.fpad);
    return frame;
}

std::vector<std::vector<uint8_t>> Frames(dab::XpadEncoder& encoder) {
    std::vector<std::vector<uint8_t>> frames;
    while (!encoder.empty())
        frames.push_back(FrameWithPad(encoder.Next()));
    return frames;
}

TEST_F(PadAudio, AWeakSignalDropsWhatIsHalfReceived) {
    const dab::DynamicLabel label{
        {'K', 'O', 'R', 'U', ' ', 'R', 'a', 'd', 'i', 'o', ' ', '9', '5', '.', '1'}, 0};
    dab::XpadEncoder encoder(8);  // the label's segment spans several frames
    for (auto& segment : dab::BuildDynamicLabel(label, false))
        encoder.QueueDynamicLabel(segment);
    const std::vector<std::vector<uint8_t>> frames = Frames(encoder);
    ASSERT_GE(frames.size(), 2u);

    Feed(frames[0]);
    PADDataInValidCheck(78);  // 7.8 dB: the PAD in flight cannot be trusted
    for (size_t i = 1; i < frames.size(); ++i)
        Feed(frames[i]);
    EXPECT_TRUE(Reports(WM_SYSTEM_DLS).empty());

    Feed(frames[0]);
    PADDataInValidCheck(134);  // a good signal changes nothing
    for (size_t i = 1; i < frames.size(); ++i)
        Feed(frames[i]);
    ASSERT_EQ(Reports(WM_SYSTEM_DLS).size(), 1u);
    EXPECT_EQ(Label(), "KORU Radio 95.1");
}

TEST_F(PadAudio, SlideNamesStayInsideTheFolderAndUtf8LabelsKeepTheirBytes) {
    const std::string korean = "한국어 라디오";
    dab::XpadEncoder encoder(52);
    for (auto& segment :
         dab::BuildDynamicLabel(dab::DynamicLabel{{korean.begin(), korean.end()}, 15}, true)) {
        encoder.QueueDynamicLabel(segment);
    }
    dab::MotEncoder mot(300);
    const std::vector<std::pair<std::string, std::string>> names = {
        {"news/today.jpg", "news/today.jpg"},
        {"../../escape.jpg", "__/__/escape.jpg"},
        {"sub\\dir\\name.jpg", "sub/dir/name.jpg"},  // a UTF-8 name (set 15) may hold "\"
        {"/etc/passwd", "etc/passwd"},
        {"", "slide14.png"},
        {"text.txt", ""},  // no image: not written, not reported
    };
    uint16_t transport_id = 10;
    for (const auto& [name, expected] : names) {
        dab::MotObject object;
        object.transport_id = transport_id++;
        object.body.assign(700, static_cast<uint8_t>(transport_id));
        object.header.body_size = 700;
        const bool image = !expected.empty();
        object.header.content_type = image ? dab::kMotImage : dab::kMotText;
        object.header.content_subtype = name.empty() ? dab::kMotImagePng : dab::kMotImageJfif;
        if (name.find('\\') != std::string::npos) {
            std::vector<uint8_t> parameter(name.size() + 1, 0xF0);  // character set 15
            std::copy(name.begin(), name.end(), parameter.begin() + 1);
            object.header.parameters.push_back({dab::kMotContentName, parameter});
        } else if (!name.empty()) {
            object.header.SetContentName(name);
        }
        for (const dab::MscDataGroup& group : mot.EncodeObject(object)) {
            encoder.QueueMot(dab::BuildMscDataGroup(group));
        }
    }
    for (const std::vector<uint8_t>& frame : Frames(encoder))
        Feed(frame);

    ASSERT_EQ(Reports(WM_SYSTEM_DLS).size(), 1u);
    EXPECT_EQ(Reports(WM_SYSTEM_DLS)[0].wparam, 15);
    EXPECT_EQ(Label(), korean);
    ASSERT_EQ(Reports(WM_SYSTEM_MOT_FILE).size(), 5u);
    for (const auto& [name, expected] : names) {
        if (!expected.empty()) {
            EXPECT_TRUE(std::filesystem::exists(folder_ + expected)) << expected;
        }
    }
    EXPECT_FALSE(std::filesystem::exists(folder_ + "text.txt"));
    EXPECT_FALSE(std::filesystem::exists(dir_ / "escape.jpg"));
    MOTFileName record;
    ASSERT_EQ(GetMOTFileName(&record), 1);
    EXPECT_EQ(std::string(record.name), folder_ + "slide14.png");
    EXPECT_EQ(record.content_subtype, 3);
    EXPECT_EQ(Reports(WM_SYSTEM_MOT_FILE)[4].wparam, 14);
}

TEST_F(PadAudio, WhatIsNoLayerTwoFrameIsSkipped) {
    Feed({0x00, 0x01, 0x02});
    Feed(std::vector<uint8_t>(100, 0xFF));
    std::vector<uint8_t> truncated = FrameWithPad(dab::PadFrame{});
    truncated.resize(200);
    Feed(truncated);
    EXPECT_TRUE(reported_.empty());
    EXPECT_EQ(GetDLSData(nullptr), 0);
    EXPECT_EQ(GetMOTFileName(nullptr), 0);
    EXPECT_EQ(SetMOTPath(nullptr), 0);
}

// The whole road: the reference's Layer II stream as a live "mp2" input, played by the terminal.
TEST_F(PadAudio, TheTerminalDecodesThePadOfTheRadioItPlays) {
    if (ReferenceEti().empty()) GTEST_SKIP() << "reference recording absent";
    const std::string stream = (dir_ / "alpha.mp2").string();
    {
        std::string bytes;
        for (const std::vector<uint8_t>& frame : ReferenceFrames())
            bytes.append(frame.begin(), frame.end());
        WriteFile(stream, bytes);
    }
    EXPECT_EQ(GetCurrentRadioType(1), 1);
    TerminalHarness harness;
    ASSERT_EQ(M4T_ConnectURL(harness.term(), ("feed://;" + stream).c_str()), M4OK);
    ASSERT_TRUE(harness.WaitForMessage(WM_SYSTEM_DLS, 3000));
    EXPECT_EQ(Label(), kReferenceLabel);
    ASSERT_TRUE(harness.WaitUntil([&] { return harness.Count(WM_SYSTEM_MOT_FILE) == 2; }, 12000));
    EXPECT_EQ(ReadFile(folder_ + "0000.jpg"), ReadFile(ReferenceDir() / "slide1_blue.jpg"));
    EXPECT_EQ(ReadFile(folder_ + "0001.jpg"), ReadFile(ReferenceDir() / "slide2_red.jpg"));
    EXPECT_GT(harness.AudioPeak(), 1000);  // the 440 Hz tone plays meanwhile
}

}  // namespace
}  // namespace koru::test
