// Live transport streams as other multiplexers send them, through the terminal's live input
// (LiveSource, MediaSession, decoders) without waiting for any clock: audio frames cut
// across PES packets, video access units split or without time stamps, T-DMB's MPEG-4
// Systems signalling. Each is played against the same stream sent whole, counting pictures
// and audio samples.
#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/log.h>
}

#include "dab/eti.h"
#include "dab/loas.h"
#include "dab/mpa.h"
#include "dab/transport_stream.h"
#include "m4systems/messages.h"
#include "m4systems/terminal/audio_output.h"
#include "m4systems/terminal/live_source.h"
#include "m4systems/terminal/media_session.h"
#include "m4systems/terminal/mpeg4_systems_input.h"
#include "m4systems/terminal/recorder.h"
#include "m4systems/terminal/video_renderer.h"
#include "support/temp_dir.h"
#include "tools/mkens/tv_variants.h"

namespace koru::m4 {
namespace {

using Bytes = std::vector<uint8_t>;

struct Played {
    uint64_t pictures = 0;
    uint64_t samples = 0;
    std::vector<uint32_t> messages;
};

Played PlayLive(const Bytes& ts) {
    av_log_set_level(AV_LOG_QUIET);
    static std::mutex one_at_a_time;  // the counters below are the session's only output
    std::lock_guard lock(one_at_a_time);
    static std::atomic<uint64_t> pictures, samples;
    pictures = samples = 0;
    Played played;
    std::mutex messages_mutex;
    LiveSource source(nullptr, nullptr, [&](uint32_t code, int64_t, int64_t) {
        std::lock_guard guard(messages_mutex);
        played.messages.push_back(code);
    });
    for (size_t at = 0; at < ts.size(); at += 3000)
        source.Deliver(ts.data() + at, std::min<size_t>(3000, ts.size() - at));
    source.Finish();
    AudioOutput audio;
    audio.SetTap(
        [](void*, const int16_t*, uint32_t frames, uint32_t, uint32_t) { samples += frames; },
        nullptr);
    M4VideoOutput output{nullptr,
                         [](void*, const uint8_t*, uint32_t, uint32_t, uint32_t) { ++pictures; },
                         nullptr, nullptr};
    VideoRenderer video(&output);
    video.SetSize(64, 48);
    SessionEvents events;
    events.message = [&](uint32_t code, int64_t, int64_t) {
        std::lock_guard guard(messages_mutex);
        played.messages.push_back(code);
    };
    {
        MediaSession session(&audio, &video, events);
        session.OpenLive(&source, LiveFormat::kTransportStream);
        session.RunLiveToEnd();
    }
    played.pictures = pictures;
    played.samples = samples;
    return played;
}

Bytes Media(const std::string& name) {
    const std::string bytes = test::ReadFile(std::string(KORU_TEST_MEDIA_DIR) + "/" + name);
    return Bytes(bytes.begin(), bytes.end());
}

Bytes Section(std::vector<uint8_t> s) {
    const size_t length = s.size() - 3 + 4;
    s[1] = static_cast<uint8_t>(0xB0 | (length >> 8));
    s[2] = static_cast<uint8_t>(length);
    const uint32_t crc = dab::Crc32Mpeg(s);
    for (int shift = 24; shift >= 0; shift -= 8)
        s.push_back(static_cast<uint8_t>(crc >> shift));
    return s;
}

// An audio-only stream (PID 0x101 of the given stream type): its frames cut into PES packets
// that end `offset` bytes into every frame (0: whole frames), each PES with the time stamp of
// the first frame that starts in it.
Bytes AudioStream(uint8_t stream_type, const std::vector<Bytes>& frames, int64_t frame_ticks,
                  size_t offset) {
    Bytes ts;
    uint8_t pat_counter = 0, pmt_counter = 0, audio_counter = 0;
    dab::WriteSection(0, Section({0x00, 0, 0, 0, 1, 0xC1, 0, 0, 0, 1, 0xE1, 0x00}), &pat_counter,
                      &ts);
    dab::WriteSection(0x100,
                      Section({0x02, 0, 0, 0, 1, 0xC1, 0, 0, 0xE1, 0x01, 0xF0, 0x00, stream_type,
                               0xE1, 0x01, 0xF0, 0x00}),
                      &pmt_counter, &ts);
    Bytes es;
    std::vector<size_t> starts;
    for (const Bytes& frame : frames) {
        starts.push_back(es.size());
        es.insert(es.end(), frame.begin(), frame.end());
    }
    std::vector<size_t> cuts = {0};
    for (size_t i = 0; i < starts.size(); ++i) {
        if (starts[i] + offset > cuts.back()) cuts.push_back(starts[i] + offset);
    }
    cuts.push_back(es.size());
    size_t next_frame = 0;
    for (size_t c = 0; c + 1 < cuts.size(); ++c) {
        while (next_frame < starts.size() && starts[next_frame] < cuts[c])
            ++next_frame;
        const bool starts_here = next_frame < starts.size() && starts[next_frame] < cuts[c + 1];
        dab::WritePes(
            0x101, 0xC0,
            starts_here ? 90000 + static_cast<int64_t>(next_frame) * frame_ticks : dab::kNoTime,
            std::span(es).subspan(cuts[c], cuts[c + 1] - cuts[c]), &audio_counter, &ts);
    }
    return ts;
}

// The ADTS frames of the test stream's audio (the first `count`).
std::vector<Bytes> AdtsFrames(const Bytes& ts, size_t count) {
    std::vector<Bytes> frames;
    for (const dab::Pes& pes : dab::ReadPes(ts)) {
        if (pes.stream_id != 0xC0) continue;
        for (size_t at = 0; at + 7 <= pes.payload.size() && frames.size() < count;) {
            const uint8_t* p = &pes.payload[at];
            const size_t length = (size_t(p[3] & 3) << 11) | (size_t(p[4]) << 3) | (p[5] >> 5);
            if (p[0] != 0xFF || length < 7 || at + length > pes.payload.size()) break;
            frames.emplace_back(p, p + length);
            at += length;
        }
    }
    return frames;
}

TEST(LiveStreams, AudioFramesCutAtEveryByteOffsetAllDecode) {
    const std::vector<Bytes> aac = AdtsFrames(Media("tv10.ts"), 40);
    ASSERT_EQ(aac.size(), 40u);
    const Played whole = PlayLive(AudioStream(0x0F, aac, 1920, 0));
    EXPECT_GE(whole.samples, 39u * 1024);
    for (size_t offset = 1; offset < aac[0].size(); ++offset) {
        EXPECT_EQ(PlayLive(AudioStream(0x0F, aac, 1920, offset)).samples, whole.samples)
            << "ADTS cut " << offset << " bytes into each frame";
    }

    const std::string radio = test::ReadFile(std::string(KORU_TEST_MEDIA_DIR) + "/radio10.mp2");
    std::vector<Bytes> mp2;
    for (size_t at = 0; mp2.size() < 30;) {
        const auto header = dab::ParseMpaHeader(
            std::span(reinterpret_cast<const uint8_t*>(radio.data()) + at, radio.size() - at));
        ASSERT_TRUE(header);
        mp2.emplace_back(radio.begin() + static_cast<long>(at),
                         radio.begin() + static_cast<long>(at + header->frame_size()));
        at += header->frame_size();
    }
    const Played whole_mp2 = PlayLive(AudioStream(0x03, mp2, 2160, 0));
    EXPECT_GE(whole_mp2.samples, 29u * 1152);
    for (size_t offset = 1; offset < mp2[0].size(); offset += 7) {
        EXPECT_EQ(PlayLive(AudioStream(0x03, mp2, 2160, offset)).samples, whole_mp2.samples)
            << "MPEG audio cut " << offset << " bytes into each frame";
    }
}

// The same AAC frames in LOAS/LATM (stream type 0x11), as DVB and T-DMB muxers may send them:
// the AudioSpecificConfig of each ADTS header in every frame.
std::vector<Bytes> LatmFrames(const std::vector<Bytes>& adts) {
    std::vector<Bytes> frames;
    for (const Bytes& frame : adts) {
        const size_t header = (frame[1] & 1) != 0 ? 7 : 9;  // no CRC : CRC
        const int object_type = ((frame[2] >> 6) & 3) + 1;
        const int rate_index = (frame[2] >> 2) & 0xF;
        const int channels = ((frame[2] & 1) << 2) | (frame[3] >> 6);
        const uint8_t config[2] = {static_cast<uint8_t>(object_type << 3 | rate_index >> 1),
                                   static_cast<uint8_t>((rate_index & 1) << 7 | channels << 3)};
        frames.push_back(dab::WriteLoasFrame(config, 16, std::span(frame).subspan(header)));
    }
    return frames;
}

TEST(LiveStreams, LatmFramesCutAcrossPesPacketsAllDecode) {
    const std::vector<Bytes> latm = LatmFrames(AdtsFrames(Media("tv10.ts"), 40));
    const Played whole = PlayLive(AudioStream(0x11, latm, 1920, 0));
    EXPECT_GE(whole.samples, 39u * 1024);
    for (size_t offset = 1; offset < latm[0].size(); offset += 5) {
        EXPECT_EQ(PlayLive(AudioStream(0x11, latm, 1920, offset)).samples, whole.samples)
            << "LATM cut " << offset << " bytes into each frame";
    }
}

// The test stream with its video PES packets rewritten by `rewrite` (one PES in, any out).
template <typename Rewrite>
Bytes WithVideo(const Bytes& ts, Rewrite rewrite) {
    Bytes video;
    uint8_t counter = 0;
    int pid = -1;
    for (const dab::Pes& pes : dab::ReadPes(ts)) {
        if ((pes.stream_id & 0xF0) != 0xE0) continue;
        pid = pes.pid;
        rewrite(pes, [&](int64_t pts, std::span<const uint8_t> bytes) {
            dab::WritePes(pes.pid, pes.stream_id, pts, bytes, &counter, &video);
        });
    }
    Bytes out = ts;
    dab::ReplacePid(&out, pid, video);
    return out;
}

TEST(LiveStreams, VideoSplitOverPesPacketsOrWithoutTimeStampsStillPlays) {
    const Bytes ts = Media("tv10.ts");
    const Played whole = PlayLive(ts);
    ASSERT_GE(whole.pictures, 140u);
    int n = 0;
    const Bytes split = WithVideo(ts, [](const dab::Pes& pes, auto write) {
        const size_t half = pes.payload.size() / 2;
        write(pes.pts, std::span(pes.payload).first(half));
        write(dab::kNoTime, std::span(pes.payload).subspan(half));
    });
    const Bytes untimed = WithVideo(ts, [&](const dab::Pes& pes, auto write) {
        write(++n % 3 == 0 ? dab::kNoTime : pes.pts, pes.payload);
    });
    for (const Bytes* variant : {&split, &untimed}) {
        const Played played = PlayLive(*variant);
        // The first packet that is not a whole picture switches to parsing: at most one lost.
        EXPECT_GE(played.pictures + 1, whole.pictures);
        EXPECT_LE(played.pictures, whole.pictures);
        EXPECT_EQ(played.samples, whole.samples);
    }
}

// What a file player meets in a recording: its audio codec and the count of audio packets.
std::pair<AVCodecID, int> FileAudio(const std::string& path) {
    AVFormatContext* format = nullptr;
    if (avformat_open_input(&format, path.c_str(), nullptr, nullptr) < 0) return {};
    std::pair<AVCodecID, int> audio{AV_CODEC_ID_NONE, 0};
    if (avformat_find_stream_info(format, nullptr) >= 0) {
        const int index = av_find_best_stream(format, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
        if (index >= 0) audio.first = format->streams[index]->codecpar->codec_id;
        AVPacket* packet = av_packet_alloc();
        while (index >= 0 && av_read_frame(format, packet) >= 0) {
            audio.second += packet->stream_index == index;
            av_packet_unref(packet);
        }
        av_packet_free(&packet);
    }
    avformat_close_input(&format);
    return audio;
}

TEST(LiveStreams, Mpeg4SystemsPlaysWhatTheObjectDescriptorsName) {
    const Bytes ts = Media("tv10.ts");
    const Played plain = PlayLive(ts);

    // Pictures above 3000 bytes come in two SL packets, the second without the access unit
    // start flag; audio as raw AAC a packet.
    Bytes sl = ts;
    mkens::ToMpeg4Systems(&sl, {});
    const Played played = PlayLive(sl);
    EXPECT_GE(played.pictures * 100, plain.pictures * 95);
    EXPECT_GE(played.samples * 100, plain.samples * 95);
    EXPECT_TRUE(played.messages.empty());

    // Recorded, it plays as a file with its sound, here and in other players.
    test::TempDir dir;
    const std::string path = (dir / "sl.ts").string();
    {
        Recorder recorder(nullptr, [] { return 0u; });
        ASSERT_TRUE(recorder.Start(path));
        for (size_t at = 0; at < sl.size(); at += 1000)
            recorder.Write(sl.data() + at, std::min<size_t>(1000, sl.size() - at));
    }
    const auto original = FileAudio(std::string(KORU_TEST_MEDIA_DIR) + "/tv10.ts");
    const auto recorded = FileAudio(path);
    EXPECT_EQ(recorded.first, AV_CODEC_ID_AAC);
    EXPECT_GE(recorded.second * 100, original.second * 95);

    // Object descriptors that name no audio: the picture alone, nothing reported.
    Bytes no_audio = ts;
    mkens::ToMpeg4Systems(&no_audio, {.name_audio = false});
    const Played silent = PlayLive(no_audio);
    EXPECT_GE(silent.pictures * 100, plain.pictures * 95);
    EXPECT_EQ(silent.samples, 0u);
    EXPECT_TRUE(silent.messages.empty());

    // ER BSAC: no decoder here; the picture plays and the sound is reported once.
    Bytes bsac = ts;
    mkens::ToMpeg4Systems(&bsac, {.bsac = true});
    const Played unplayable = PlayLive(bsac);
    EXPECT_GE(unplayable.pictures * 100, plain.pictures * 95);
    EXPECT_EQ(unplayable.samples, 0u);
    EXPECT_EQ(unplayable.messages,
              std::vector<uint32_t>{static_cast<uint32_t>(WM_SYSTEM_AUDIO_UNSUPPORTED)});
}

// The independent TV recording's transport stream (sub-channel 9), as a tune receives it.
Bytes ReferenceTransportStream() {
    Bytes ts;
    std::optional<dab::EtiReader> reader =
        dab::EtiReader::Open(std::string(KORU_REFERENCE_DIR) + "/gpac-tv-b.eti");
    dab::EtiFrame frame;
    while (reader && reader->Next(&frame)) {
        if (const dab::EtiStream* stream = frame.FindStream(9))
            ts.insert(ts.end(), stream->data.begin(), stream->data.end());
    }
    return ts;
}

// A tune lands anywhere in the table carousel (a PAT and PMT every 72 packets here): where
// PES packets come before the next PMT, what the demuxer meets first must not decide their
// codecs (joined just after an audio PES start, FFmpeg took the AAC for MPEG audio: silence).
// Every join in one carousel period plays the sound of a tune that met the tables first.
TEST(LiveStreams, ATuneAnywhereInTheTableCarouselPlaysItsSound) {
    const Bytes ts = ReferenceTransportStream();
    constexpr size_t kPeriod = 72, kWindow = 800;
    ASSERT_GT(ts.size(), (kPeriod + kWindow) * 188)
        << "no reference recording in " << KORU_REFERENCE_DIR;
    const auto window = [&](size_t first) {
        return Bytes(ts.begin() + static_cast<long>(first * 188),
                     ts.begin() + static_cast<long>((first + kWindow) * 188));
    };
    const Played met_tables = PlayLive(window(0));
    ASSERT_GE(met_tables.samples, 2u * 48000);
    for (size_t first = 2; first < 2 + kPeriod; ++first) {
        EXPECT_GE(PlayLive(window(first)).samples * 100, met_tables.samples * 95)
            << "joined at packet " << first;
    }

    // A stream that never sends the tables is held no longer than its first 2048 packets.
    Bytes untabled;
    for (size_t at = 0; at + 188 <= 2400 * 188; at += 188) {
        const int pid = ((ts[at + 1] & 0x1F) << 8) | ts[at + 2];
        if (pid != 0 && pid != 0x64) untabled.insert(untabled.end(), &ts[at], &ts[at] + 188);
    }
    Mpeg4SystemsInput input(nullptr);
    Bytes out;
    input.Process(untabled.data(), 2047 * 188, &out);
    EXPECT_TRUE(out.empty());
    input.Process(untabled.data() + 2047 * 188, untabled.size() - 2047 * 188, &out);
    EXPECT_EQ(out, untabled);
    const Played tables_first = PlayLive(Bytes(ts.begin(), ts.begin() + 2400 * 188));
    EXPECT_GE(PlayLive(untabled).pictures * 100, tables_first.pictures * 90);
}

}  // namespace
}  // namespace koru::m4
