// Live inputs through the test feed plug-in: first picture, recording (exact bytes, splits,
// failures), capture, and time shift through the tsfeed cache. Recording scenarios run on the
// scaled terminal clock (the feed is paced by it); playback scenarios in real time.
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "m4systems/terminal/audio_output.h"
#include "m4systems/terminal/live_source.h"
#include "m4systems/terminal/media_session.h"
#include "m4systems/terminal/video_renderer.h"
#include "support/temp_dir.h"
#include "terminal_harness.h"

namespace koru::test {
namespace {

constexpr size_t kTsPacket = 188;

std::string FeedUrl(const std::string& options, const std::string& media) {
    return "feed://" + options + ";" + MediaPath(media);
}

// Every test leaves the clock unscaled and time shift off.
class LiveInput : public ::testing::Test {
  protected:
    void TearDown() override {
        M4_SetClockScale(1.0);
        SetTimeShiftParams(nullptr, 0);
    }
};

// The live lag: what arrived last, in stream time, minus what plays.
int64_t LagMs(TerminalHarness& harness) {
    return harness.FeedStats().stream_ms - int64_t{M4T_GetCurrentTimeInMS(harness.term())};
}

uint64_t FileSize(const std::filesystem::path& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 ? static_cast<uint64_t>(info.st_size) : 0;
}

bool HasPcr(const uint8_t* packet) {
    return (packet[3] & 0x20) != 0 && packet[4] >= 7 && (packet[5] & 0x10) != 0;
}

TEST_F(LiveInput, FirstPictureFollowsTheFirstKeyFrameAndCaptureIsTheLastPicture) {
    TerminalHarness harness;
    const std::string media = ReadFile(MediaPath("tv10.ts"));
    // Joined in the middle of a group of pictures, as a tuned service is.
    const size_t from = media.size() * 43 / 100 / kTsPacket * kTsPacket;
    const uint32_t connected_ms = M4_GetSysClock();
    ASSERT_EQ(
        M4T_ConnectURL(harness.term(), FeedUrl("from=" + std::to_string(from), "tv10.ts").c_str()),
        M4OK);
    EXPECT_EQ(harness.Text(), "Connecting");
    ASSERT_TRUE(harness.WaitForFrames(1, 3000));
    const FeedPluginStats stats = harness.FeedStats();
    ASSERT_GT(stats.key_frame_ms, 0u);
    const int64_t picture_ms = harness.FirstPictureClockMs();
    // The key frame comes within a GOP (1 s) of the stream time joined, its bytes at the
    // service's bit rate; the picture follows that key frame, not a later one, and not after
    // seconds of probing (how soon is for build/bench/zap to show).
    constexpr int64_t kGopMs = 1000;
    EXPECT_LE(picture_ms - int64_t{connected_ms}, 2 * kGopMs);
    // The feed notes the key frame's time after its delivery returned, by when the picture
    // may already show: a few ms either way.
    EXPECT_GE(picture_ms + 5, int64_t{stats.key_frame_ms});
    EXPECT_LT(picture_ms - int64_t{stats.key_frame_ms}, kGopMs);
    EXPECT_EQ(harness.Text(), "");
    // The plug-in reports first data; the terminal adds no 1226 of its own.
    EXPECT_EQ(harness.Count(WM_SYSTEM_RECEIVING), 1);
    EXPECT_EQ(harness.Count(WM_SYSTEM_FIRST_FRAME), 1);
    EXPECT_EQ(harness.Count(WM_SYSTEM_DURATION), 0);
    EXPECT_EQ(M4T_PlayFromTime(harness.term(), 0), M4NotSupported);

    ASSERT_TRUE(harness.WaitForFrames(10, 2000));
    ASSERT_EQ(M4T_SetOption(harness.term(), M4T_OPTION_PAUSE, 1), M4OK);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    harness.ExpectCaptureIsLastPicture(320, 240);

    // Closing forgets the picture.
    ASSERT_EQ(M4T_CloseURL(harness.term()), M4OK);
    M4CaptureRecord after_close{};
    EXPECT_EQ(M4T_CaptureScreen(harness.term(), &after_close), M4BadParam);
}

TEST_F(LiveInput, RecordingHoldsExactlyTheBytesThatArrived) {
    TempDir dir;
    M4_SetClockScale(10);
    TerminalHarness harness;
    const std::string media = ReadFile(MediaPath("tv10.ts"));
    ASSERT_EQ(M4T_ConnectURL(harness.term(), FeedUrl("", "tv10.ts").c_str()), M4OK);
    ASSERT_TRUE(harness.WaitForMessage(WM_SYSTEM_RECEIVING, 2000));
    M4_Sleep(1000);
    const std::string path = (dir / "news.ts").string();
    // Between two deliveries, so that "what arrived" has sharp edges.
    harness.HoldFeed(true);
    const uint64_t at_start = harness.FeedStats().delivered;
    ASSERT_EQ(M4T_StartRecord(harness.term(), path.c_str()), M4OK);
    harness.HoldFeed(false);
    M4_Sleep(5000);
    harness.HoldFeed(true);
    const uint64_t at_stop = harness.FeedStats().delivered;
    ASSERT_EQ(M4T_StopRecord(harness.term()), M4OK);
    harness.HoldFeed(false);

    const std::string recorded = ReadFile(path);
    ASSERT_GT(at_stop - at_start, 200000u);
    EXPECT_EQ(recorded.size(), at_stop - at_start);
    EXPECT_TRUE(recorded == media.substr(at_start, at_stop - at_start));
    EXPECT_EQ(harness.Count(WM_SYSTEM_RECORD_WRITE_ERROR), 0);
}

TEST_F(LiveInput, TimeJumpSplitsTheRecordingIntoNumberedFiles) {
    TempDir dir;
    M4_SetClockScale(10);
    TerminalHarness harness;
    const std::string media = ReadFile(MediaPath("tv10.ts"));
    // Starts a second before the end; the loop back to the start jumps the stream's time.
    const size_t from = media.size() * 9 / 10 / kTsPacket * kTsPacket;
    ASSERT_EQ(M4T_ConnectURL(harness.term(),
                             FeedUrl("loop,from=" + std::to_string(from), "tv10.ts").c_str()),
              M4OK);
    ASSERT_TRUE(harness.WaitForMessage(WM_SYSTEM_RECEIVING, 2000));
    const std::string base = (dir / "Channel 3-3 14H 5M 9S").string();
    harness.HoldFeed(true);
    const uint64_t at_start = from + harness.FeedStats().delivered;
    ASSERT_EQ(M4T_StartRecord(harness.term(), (base + ".ts").c_str()), M4OK);
    harness.HoldFeed(false);
    ASSERT_TRUE(harness.WaitUntil([&] { return harness.FeedStats().loops >= 1; }, 5000));
    M4_Sleep(2000);
    ASSERT_EQ(M4T_StopRecord(harness.term()), M4OK);

    ASSERT_EQ(harness.Count(WM_SYSTEM_RECORD_SPLIT), 1);
    for (const ReceivedMessage& message : harness.Messages()) {
        if (message.code == WM_SYSTEM_RECORD_SPLIT) {
            EXPECT_EQ(message.wparam, 1);
        }
    }
    const std::string first = ReadFile(base + ".ts");
    const std::string second = ReadFile(base + "-1.ts");
    EXPECT_FALSE(std::filesystem::exists(base + "-2.ts"));
    ASSERT_GE(second.size(), kTsPacket);
    // The new file starts at the packet whose clock reference jumped.
    EXPECT_TRUE(HasPcr(reinterpret_cast<const uint8_t*>(second.data())));
    // The cut is at the loop: the first file ends with the packets before the restarted
    // stream's first clock reference.
    size_t first_pcr = 0;
    while (!HasPcr(reinterpret_cast<const uint8_t*>(media.data()) + first_pcr)) {
        first_pcr += kTsPacket;
    }
    EXPECT_EQ(first.size(), media.size() - at_start + first_pcr);
    // Together they are what arrived, with nothing lost at the cut.
    const std::string delivered = media.substr(at_start) + media + media;
    EXPECT_EQ(delivered.compare(0, first.size() + second.size(), first + second), 0);
}

TEST_F(LiveInput, RecordingFailuresAreReported) {
    M4_SetClockScale(10);
    TerminalHarness harness;
    EXPECT_EQ(M4T_StartRecord(harness.term(), "/tmp/nothing-connected.ts"), M4BadParam);
    ASSERT_EQ(M4T_ConnectURL(harness.term(), FeedUrl("", "tv10.ts").c_str()), M4OK);
    EXPECT_EQ(M4T_StartRecord(harness.term(), "/no/such/folder/x.ts"), M4IOErr);
    EXPECT_EQ(harness.Count(WM_SYSTEM_RECORD_WRITE_ERROR), 1);
    // A device that takes nothing: the failure shows once the buffered bytes are written.
    ASSERT_EQ(M4T_StartRecord(harness.term(), "/dev/full"), M4OK);
    EXPECT_TRUE(
        harness.WaitUntil([&] { return harness.Count(WM_SYSTEM_RECORD_WRITE_ERROR) == 2; }, 3000));
    M4T_StopRecord(harness.term());
    EXPECT_EQ(harness.Count(WM_SYSTEM_RECORD_WRITE_ERROR), 2);
}

// Ten times as fast: the feed, the media clock and the pause all run on the terminal clock.
TEST_F(LiveInput, TimeShiftResumesBehindLiveByThePausedTime) {
    M4_SetClockScale(10);
    TempDir dir;
    const std::filesystem::path cache = dir / "file_cache.ts";
    SetTimeShiftParams(cache.c_str(), 30);
    TerminalHarness harness;
    ASSERT_EQ(M4T_ConnectURL(harness.term(), FeedUrl("", "tv10.ts").c_str()), M4OK);
    // Half a second of live pictures first, so that the lag has settled.
    ASSERT_TRUE(harness.WaitForFrames(22, 15000));
    const int64_t lag_before = LagMs(harness);
    // Watched live, the service leaves the cache empty: it is written only once time shift runs.
    EXPECT_TRUE(std::filesystem::exists(cache));
    EXPECT_EQ(FileSize(cache), 0u);

    ASSERT_EQ(M4T_SetOption(harness.term(), M4T_OPTION_PAUSE, 1), M4OK);
    const uint32_t paused_at = M4_GetSysClock();
    M4_Sleep(100);
    const uint64_t frames = harness.Frames();
    M4_Sleep(1900);
    EXPECT_EQ(harness.Frames(), frames);  // the picture holds
    EXPECT_GT(FileSize(cache), 0u);
    ASSERT_EQ(M4T_SetOption(harness.term(), M4T_OPTION_PAUSE, 0), M4OK);
    // Behind live by as long as it stood still, however long that took on this machine.
    const int64_t paused_ms = M4_GetSysClock() - paused_at;
    ASSERT_TRUE(harness.WaitForFrames(frames + 18, 15000));
    EXPECT_NEAR(static_cast<double>(LagMs(harness) - lag_before), paused_ms, 300.0);
    ASSERT_EQ(M4T_CloseURL(harness.term()), M4OK);
    EXPECT_FALSE(std::filesystem::exists(cache));  // the cache goes with the connection
}

// On the unscaled clock: resuming plays what the decoders held at the pause, then live; on a
// clock ten times as fast the machine's own decoding time counts ten times and brings the lag
// gained near the 300 ms allowed.
TEST_F(LiveInput, WithoutTimeShiftPauseOnlyPauses) {
    TerminalHarness harness;
    ASSERT_EQ(M4T_ConnectURL(harness.term(), FeedUrl("", "tv10.ts").c_str()), M4OK);
    // Half a second of live pictures first, so that the lag has settled.
    ASSERT_TRUE(harness.WaitForFrames(22, 15000));
    const int64_t lag_before = LagMs(harness);
    ASSERT_EQ(M4T_SetOption(harness.term(), M4T_OPTION_PAUSE, 1), M4OK);
    M4_Sleep(100);
    const uint64_t frames = harness.Frames();
    M4_Sleep(1400);
    EXPECT_EQ(harness.Frames(), frames);
    ASSERT_EQ(M4T_SetOption(harness.term(), M4T_OPTION_PAUSE, 0), M4OK);
    // Live again at once: no lag gained from the pause.
    ASSERT_TRUE(harness.WaitForFrames(frames + 18, 15000));
    EXPECT_NEAR(static_cast<double>(LagMs(harness) - lag_before), 0.0, 300.0);
}

TEST_F(LiveInput, TimeShiftCacheHoldsAboutItsLength) {
    TempDir dir;
    const std::filesystem::path cache = dir / "file_cache.ts";
    SetTimeShiftParams(cache.c_str(), 1);
    const double bytes_per_second = static_cast<double>(FileSize(MediaPath("tv10.ts"))) / 10.0;
    M4_SetClockScale(60);  // a minute a second
    TerminalHarness harness;
    ASSERT_EQ(M4T_ConnectURL(harness.term(), FeedUrl("loop", "tv10.ts").c_str()), M4OK);
    ASSERT_TRUE(harness.WaitForMessage(WM_SYSTEM_RECEIVING, 2000));
    ASSERT_EQ(M4T_SetOption(harness.term(), M4T_OPTION_PAUSE, 1), M4OK);
    M4_Sleep(3 * 60000);
    const double block_seconds = 256.0 * 1024 / bytes_per_second;
    const double held = static_cast<double>(FileSize(cache)) / bytes_per_second;
    EXPECT_GE(held, 55.0);
    EXPECT_LE(held, 60.0 + 2 * block_seconds + 1);
    M4_SetClockScale(1);
    const uint64_t frames = harness.Frames();
    ASSERT_EQ(M4T_SetOption(harness.term(), M4T_OPTION_PAUSE, 0), M4OK);
    EXPECT_TRUE(harness.WaitForFrames(frames + 10, 3000));
}

TEST_F(LiveInput, CacheFailuresAreReportedAndLiveGoesOn) {
    {
        SetTimeShiftParams("/no/such/folder/file_cache.ts", 30);
        TerminalHarness harness;
        ASSERT_EQ(M4T_ConnectURL(harness.term(), FeedUrl("", "tv10.ts").c_str()), M4OK);
        EXPECT_EQ(harness.Count(WM_SYSTEM_TIMESHIFT_NO_FILE), 1);
        EXPECT_TRUE(harness.WaitForFrames(5, 3000));
    }
    {
        SetTimeShiftParams("/dev/full", 30);  // opens, but takes no byte
        TerminalHarness harness;
        ASSERT_EQ(M4T_ConnectURL(harness.term(), FeedUrl("", "tv10.ts").c_str()), M4OK);
        EXPECT_TRUE(harness.WaitForFrames(5, 3000));
        // Nothing is written before time shift starts, so the full disk shows at the pause.
        EXPECT_EQ(harness.Count(WM_SYSTEM_TIMESHIFT_NO_SPACE), 0);
        ASSERT_EQ(M4T_SetOption(harness.term(), M4T_OPTION_PAUSE, 1), M4OK);
        EXPECT_TRUE(harness.WaitForMessage(WM_SYSTEM_TIMESHIFT_NO_SPACE, 2000));
        ASSERT_EQ(M4T_SetOption(harness.term(), M4T_OPTION_PAUSE, 0), M4OK);
        const uint64_t frames = harness.Frames();
        EXPECT_TRUE(harness.WaitForFrames(frames + 5, 3000));
        EXPECT_EQ(harness.Count(WM_SYSTEM_TIMESHIFT_NO_SPACE), 1);
    }
    // Radio is no transport stream: no cache at all.
    {
        TempDir dir;
        SetTimeShiftParams((dir / "file_cache.ts").c_str(), 30);
        TerminalHarness harness;
        ASSERT_EQ(M4T_ConnectURL(harness.term(), FeedUrl("", "radio10.mp2").c_str()), M4OK);
        EXPECT_TRUE(harness.WaitUntil([&] { return harness.AudioFrames() > 48000 / 2; }, 3000));
        EXPECT_GT(harness.AudioPeak(), 2000);
        EXPECT_FALSE(std::filesystem::exists(dir / "file_cache.ts"));
        EXPECT_EQ(harness.Frames(), 0u);
    }
}

}  // namespace
}  // namespace koru::test

namespace koru::m4 {
namespace {

// A live input that ends before the demuxer could read anything asks for a reconnect (1124).
TEST(LiveSession, AnInputThatCannotBeReadAsksForAReconnect) {
    AudioOutput audio;
    VideoRenderer video(nullptr);
    std::vector<uint32_t> messages;
    std::mutex mutex;
    LiveSource source(nullptr, nullptr, nullptr);
    source.Finish();
    SessionEvents events;
    events.message = [&](uint32_t message, int64_t, int64_t) {
        std::lock_guard lock(mutex);
        messages.push_back(message);
    };
    MediaSession session(&audio, &video, events);
    session.OpenLive(&source, LiveFormat::kMpegAudio);
    session.Start();
    EXPECT_TRUE(koru::test::TerminalHarness::WaitUntil(
        [&] {
            std::lock_guard lock(mutex);
            return !messages.empty();
        },
        3000));
    session.Stop();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0], static_cast<uint32_t>(WM_SYSTEM_RECONNECT));
}

}  // namespace
}  // namespace koru::m4
