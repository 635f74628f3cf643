// DAB+ audio in the terminal: the AAC decoder on LOAS frames made from the independent
// recording's units (AAC LC 32 kHz mono, HE-AAC 48 kHz stereo, a header that signals HE-AAC v2),
// lost units as silence, and the recorder's MPEG-4 audio files.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/frame.h>
}

#include "dab/loas.h"
#include "dab/superframe.h"
#include "m4systems/messages.h"
#include "m4systems/terminal/aac_decoder.h"
#include "m4systems/terminal/recorder.h"
#include "support/dabplus_reference.h"
#include "support/temp_dir.h"

namespace koru::m4 {
namespace {

using koru::test::kIndia;
using koru::test::kJuliet;

std::vector<uint8_t> Loas(const dab::SuperframeFormat& format,
                          const std::vector<std::vector<uint8_t>>& units) {
    dab::BitWriter config;
    dab::PutAudioSpecificConfig(format, &config);
    std::vector<uint8_t> stream;
    for (const auto& unit : units) {
        const auto frame = dab::WriteLoasFrame(config.bytes(), config.bit_size(), unit);
        stream.insert(stream.end(), frame.begin(), frame.end());
    }
    return stream;
}

// What the decoder gave: each frame's length, rate, channels and whether it was silent, and
// the tone of the first channel from its zero crossings after the first second (while the
// decoder settles, quiet noise crosses zero more often than the tone).
struct Decoded {
    struct Frame {
        int samples, rate, channels;
        bool silent;
    };
    std::vector<Frame> frames;
    size_t pads = 0;
    uint64_t crossings = 0, samples = 0;
    bool positive = false;

    void Take(AVFrame* frame) {
        const auto* data = reinterpret_cast<const float*>(frame->data[0]);
        const int channels = frame->ch_layout.nb_channels;
        bool silent = true;
        const bool settled = frames.size() >= 25;
        for (int i = 0; i < frame->nb_samples; ++i) {
            const float sample = data[i * channels];
            silent = silent && sample == 0.0f;
            if (!settled) continue;
            if ((sample > 0) != positive && samples > 0) ++crossings;
            positive = sample > 0;
            ++samples;
        }
        frames.push_back({frame->nb_samples, frame->sample_rate, channels, silent});
    }
    double Tone() const {
        return frames.empty() ? 0 : crossings / 2.0 * frames.back().rate / double(samples);
    }
};

Decoded DecodeLoas(const std::vector<uint8_t>& stream, size_t piece) {
    AacDecoder decoder(true, {});
    Decoded out;
    for (size_t at = 0; at < stream.size(); at += piece) {
        AVPacket packet{};
        packet.data = const_cast<uint8_t*>(stream.data() + at);
        packet.size = static_cast<int>(std::min(piece, stream.size() - at));
        packet.pts = AV_NOPTS_VALUE;
        decoder.Decode(
            packet, [&](AVFrame* frame) { out.Take(frame); },
            [&](const dab::PadFrame&) { ++out.pads; });
    }
    return out;
}

TEST(DabPlusAudio, DecodesAacLcAt32KhzMonoAndHeAacAt48KhzStereo) {
    if (koru::test::ReferenceDabPlusEti().empty()) GTEST_SKIP() << "reference recording absent";
    struct Case {
        koru::test::DabPlusService service;
        int rate, samples;
        double tone;
        bool pad;
    };
    for (const Case& c :
         {Case{kJuliet, 32000, 960, 2200, false}, Case{kIndia, 48000, 1920, 900, true}}) {
        const auto units = koru::test::ReferenceUnits(c.service);
        ASSERT_GT(units.size(), 100u);
        // In odd pieces, as a demuxer may hand them on.
        const Decoded got = DecodeLoas(Loas(c.service.format, units), 97);
        // libfaad keeps the first unit back.
        ASSERT_GE(got.frames.size(), units.size() - 1);
        for (const auto& frame : got.frames) {
            EXPECT_EQ(frame.rate, c.rate);
            EXPECT_EQ(frame.samples, c.samples);
            EXPECT_FALSE(frame.silent);
        }
        EXPECT_NEAR(got.Tone(), c.tone, c.tone * 0.03);
        EXPECT_EQ(got.pads > 0, c.pad);
    }
}

TEST(DabPlusAudio, AHeAacV2HeaderPlaysStereoAt48Khz) {
    if (koru::test::ReferenceDabPlusEti().empty()) GTEST_SKIP() << "reference recording absent";
    // No Debian encoder writes 960-sample HE-AAC v2, so India's units stand in under a header
    // that signals PS: the decoder is opened for a mono core with PS and plays stereo at 48 kHz.
    const dab::SuperframeFormat v2{true, true, false, true, 0};
    const auto units = koru::test::ReferenceUnits(kIndia);
    const Decoded got = DecodeLoas(Loas(v2, {units.begin(), units.begin() + 50}), 4096);
    ASSERT_GE(got.frames.size(), 40u);
    for (const auto& frame : got.frames) {
        EXPECT_EQ(frame.rate, 48000);
        EXPECT_EQ(frame.channels, 2);
        EXPECT_EQ(frame.samples, 1920);
    }
}

TEST(DabPlusAudio, LostUnitsPlayAsSilenceOfTheirLengthAndGarbageIsSkipped) {
    if (koru::test::ReferenceDabPlusEti().empty()) GTEST_SKIP() << "reference recording absent";
    auto units = koru::test::ReferenceUnits(kJuliet);
    units.resize(40);
    units[20] = std::vector<uint8_t>(dab::EmptyAccessUnit().begin(), dab::EmptyAccessUnit().end());
    units[21] = units[20];
    std::vector<uint8_t> stream = Loas(kJuliet.format, units);
    // Bytes that are no frame between two frames.
    const size_t second = dab::LoasFrameLength(stream);
    stream.insert(stream.begin() + static_cast<long>(second), {0x56, 0x12, 0x34, 0x00, 0x56});
    AacDecoder decoder(true, {});
    Decoded got;
    AVPacket packet{};
    packet.data = stream.data();
    packet.size = static_cast<int>(stream.size());
    packet.pts = AV_NOPTS_VALUE;
    decoder.Decode(
        packet, [&](AVFrame* frame) { got.Take(frame); }, nullptr);
    EXPECT_EQ(decoder.counts().units, 40u);
    EXPECT_EQ(decoder.counts().lost, 2u);
    EXPECT_GT(decoder.counts().bad_frames, 0u);
    ASSERT_EQ(got.frames.size(), 39u);  // the first unit kept back
    for (size_t i = 0; i < got.frames.size(); ++i) {
        EXPECT_EQ(got.frames[i].samples, 960) << i;
        EXPECT_EQ(got.frames[i].silent, i == 19 || i == 20) << i;
    }
}

TEST(DabPlusAudio, RecordingsAreMpeg4AudioOfTheirTrueLength) {
    if (koru::test::ReferenceDabPlusEti().empty()) GTEST_SKIP() << "reference recording absent";
    koru::test::TempDir folder;
    std::vector<std::array<int64_t, 3>> messages;
    Recorder recorder(
        [&](uint32_t m, int64_t w, int64_t l) {
            messages.push_back({m, w, l});
        },
        [] { return 0u; });
    auto units = koru::test::ReferenceUnits(kIndia);
    units.resize(75);  // 3 s
    units[30] = std::vector<uint8_t>(dab::EmptyAccessUnit().begin(), dab::EmptyAccessUnit().end());
    const std::vector<uint8_t> stream = Loas(kIndia.format, units);
    const std::string path = (folder.path() / "india.m4a").string();
    ASSERT_TRUE(recorder.Start(path));
    // Joined in the middle of a frame: the file begins with the next whole one.
    for (size_t at = 11; at < stream.size(); at += 500)
        recorder.Write(stream.data() + at, std::min<size_t>(500, stream.size() - at));
    recorder.Stop();
    EXPECT_TRUE(messages.empty());
    std::string probe;
    const std::string command =
        "ffprobe -v error -show_entries format=duration -of csv=p=0 '" + path + "' 2>&1";
    if (std::FILE* pipe = popen(command.c_str(), "r")) {
        char buffer[128];
        while (std::fgets(buffer, sizeof buffer, pipe) != nullptr)
            probe += buffer;
        pclose(pipe);
    }
    // 74 whole units of 40 ms, the lost one among them.
    EXPECT_NEAR(std::atof(probe.c_str()), 74 * 0.040, 0.001) << probe;

    // A full disk: the recording stops with 1237, and what was written still plays.
    messages.clear();
    Recorder limited(
        [&](uint32_t m, int64_t w, int64_t l) {
            messages.push_back({m, w, l});
        },
        [] { return 0u; }, 6000);
    ASSERT_TRUE(limited.Start(path));
    limited.Write(stream.data(), stream.size());
    limited.Stop();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0][0], WM_SYSTEM_RECORD_SIZE_LIMIT);
}

}  // namespace
}  // namespace koru::m4
