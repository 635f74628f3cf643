// Playing files: the file clock and its messages, every frame, seeking, pause, volume, no sound
// card. Real time: the media clock follows playback, so these tests take seconds. They wait for
// what playback must reach (a position, a picture or sample count), never for a time, and compare
// the clock with the pictures and samples it paced, not with the wall clock: a loaded machine
// makes them slower, not wrong.
#include <gtest/gtest.h>

#include "terminal_harness.h"

namespace koru::test {
namespace {

constexpr int kGopMs = 1000;  // tv10.ts has a key frame every second
constexpr int kFps = 15;
constexpr uint64_t kSampleRate = 48000;
// Long enough for anything a machine under load may take, never reached by a passing test.
constexpr int kPatience = 15000;

// Waits until another `samples` audio samples have been played.
bool WaitForSamples(TerminalHarness& harness, uint64_t samples) {
    const uint64_t from = harness.AudioFrames();
    return harness.WaitUntil([&] { return harness.AudioFrames() >= from + samples; }, kPatience);
}

TEST(FilePlayback, TransportStreamReportsItsClockPlaysEveryFrameAndSeeks) {
    TerminalHarness harness;
    ASSERT_EQ(M4T_HasAudioOut(harness.term()), 1);
    ASSERT_EQ(M4T_ConnectURL(harness.term(), MediaPath("tv10.ts").c_str()), M4OK);

    // 1230 (duration in whole seconds) and 1231 (time base) come before the first frame.
    std::vector<ReceivedMessage> messages = harness.Messages();
    ASSERT_GE(messages.size(), 2u);
    EXPECT_EQ(messages[0].code, 1230u);
    EXPECT_EQ(messages[0].lparam, 10);
    EXPECT_EQ(messages[1].code, 1231u);
    EXPECT_EQ(messages[1].wparam, 1400);  // the stream's first time stamp
    ASSERT_TRUE(harness.WaitForMessage(WM_SYSTEM_FIRST_FRAME, 2000));
    EXPECT_EQ(harness.Count(WM_SYSTEM_FIRST_FRAME), 1);

    ASSERT_TRUE(harness.WaitUntil([&] { return M4T_IsEndOfStream(harness.term()) == 1; }, 15000));
    EXPECT_EQ(harness.Frames(), 10u * kFps);
    EXPECT_NEAR(static_cast<double>(harness.AudioFrames()), 48000.0 * 10, 48000.0 * 0.1);
    // At the end the position stands at the duration, so a player waiting for it stops.
    EXPECT_GE(harness.PositionMs(), 10000);
    EXPECT_LE(harness.PositionMs(), 10100);

    const uint64_t frames_before_seek = harness.Frames();
    ASSERT_EQ(M4T_PlayFromTime(harness.term(), 1400 + 5000), M4OK);
    ASSERT_TRUE(harness.WaitForFrames(frames_before_seek + 1, 2000));
    const int64_t position = harness.PositionMs();
    EXPECT_GE(position, 5000 - kGopMs);
    EXPECT_LE(position, 5000 + kGopMs);
    EXPECT_EQ(M4T_IsEndOfStream(harness.term()), 0);
    // Playback goes on from there.
    EXPECT_TRUE(
        harness.WaitUntil([&] { return harness.PositionMs() > position + 300; }, kPatience));
    EXPECT_EQ(harness.Count(WM_SYSTEM_FIRST_FRAME), 1);
}

// On a terminal clock ten times as fast: playback, the pause and the waits all run on it.
TEST(FilePlayback, PauseHoldsThePositionAndTheCaptureIsTheLastPicture) {
    M4_SetClockScale(10);
    struct Restore {
        ~Restore() { M4_SetClockScale(1); }
    } restore;
    TerminalHarness harness;
    ASSERT_EQ(M4T_ConnectURL(harness.term(), MediaPath("tv10.ts").c_str()), M4OK);
    ASSERT_TRUE(harness.WaitForFrames(20, 3000));
    ASSERT_EQ(M4T_SetOption(harness.term(), M4T_OPTION_PAUSE, 1), M4OK);
    M4_Sleep(100);
    const int64_t paused_at = harness.PositionMs();
    const uint64_t frames = harness.Frames();
    const uint64_t samples = harness.AudioFrames();
    EXPECT_EQ(harness.Text(), "Paused");
    // Nothing moves while paused (however long one looks).
    M4_Sleep(500);
    EXPECT_EQ(harness.PositionMs(), paused_at);
    EXPECT_EQ(harness.Frames(), frames);
    EXPECT_EQ(harness.AudioFrames(), samples);

    // The capture is the picture on screen.
    harness.ExpectCaptureIsLastPicture(320, 240);

    ASSERT_EQ(M4T_SetOption(harness.term(), M4T_OPTION_PAUSE, 0), M4OK);
    EXPECT_EQ(harness.Text(), "");
    EXPECT_TRUE(harness.WaitUntil(
        [&] { return harness.PositionMs() > paused_at + 400 && harness.Frames() > frames + 5; },
        kPatience));
}

TEST(FilePlayback, LayerTwoFilePlaysItsAudioAndVolumeZeroIsSilent) {
    TerminalHarness harness;
    ASSERT_EQ(M4T_ConnectURL(harness.term(), MediaPath("radio10.mp2").c_str()), M4OK);
    const std::vector<ReceivedMessage> messages = harness.Messages();
    ASSERT_GE(messages.size(), 2u);
    EXPECT_EQ(messages[0].lparam, 10);
    EXPECT_EQ(messages[1].wparam, 0);
    ASSERT_TRUE(harness.WaitForMessage(WM_SYSTEM_FIRST_FRAME, kPatience));
    ASSERT_TRUE(WaitForSamples(harness, kSampleRate / 4));
    const int full_peak = harness.AudioPeak();
    EXPECT_GT(full_peak, 2000);  // the tone, at an eighth of full scale
    EXPECT_EQ(harness.Frames(), 0u);

    // A tenth of a second of samples mixed before the change still plays; then silence.
    ASSERT_EQ(M4T_SetOption(harness.term(), M4T_OPTION_VOLUME, 0), M4OK);
    ASSERT_TRUE(WaitForSamples(harness, kSampleRate / 10));
    harness.ResetAudio();
    ASSERT_TRUE(WaitForSamples(harness, kSampleRate / 4));
    EXPECT_EQ(harness.AudioPeak(), 0);

    ASSERT_EQ(M4T_SetOption(harness.term(), M4T_OPTION_VOLUME, 50), M4OK);
    ASSERT_TRUE(WaitForSamples(harness, kSampleRate / 10));
    harness.ResetAudio();
    ASSERT_TRUE(WaitForSamples(harness, kSampleRate / 4));
    EXPECT_NEAR(harness.AudioPeak(), full_peak / 2, full_peak / 20);
    EXPECT_EQ(M4T_SetOption(harness.term(), M4T_OPTION_VOLUME, 101), M4BadParam);
    EXPECT_EQ(M4T_SetOption(harness.term(), 7, 1), M4NotSupported);
}

TEST(FilePlayback, WithoutASoundCardPlaybackRunsOnTheSystemClock) {
    TerminalHarness harness("");
    EXPECT_EQ(M4T_HasAudioOut(harness.term()), 0);
    ASSERT_EQ(M4T_ConnectURL(harness.term(), MediaPath("tv10.ts").c_str()), M4OK);
    ASSERT_TRUE(harness.WaitForFrames(1, kPatience));
    const auto started = std::chrono::steady_clock::now();
    const int64_t start_position = harness.PositionMs();
    const uint64_t start_frames = harness.Frames();
    // A second and a half of pictures: the clock that paced them moved as far, and never ahead
    // of the system clock it runs on.
    ASSERT_TRUE(harness.WaitForFrames(start_frames + kFps * 3 / 2, kPatience));
    const int64_t moved = harness.PositionMs() - start_position;
    const uint64_t shown = harness.Frames() - start_frames;
    const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
                             std::chrono::steady_clock::now() - started)
                             .count();
    EXPECT_NEAR(static_cast<double>(moved), shown * 1000.0 / kFps, 2 * 1000.0 / kFps);
    EXPECT_LE(moved, elapsed + 1000 / kFps);
    // The samples are still decoded and paced (the tap sees them), only not heard.
    EXPECT_TRUE(WaitForSamples(harness, kSampleRate));
}

TEST(FilePlayback, WhatCannotBePlayedIsRefused) {
    TerminalHarness harness;
    EXPECT_EQ(M4T_ConnectURL(harness.term(), nullptr), M4BadParam);
    EXPECT_EQ(M4T_ConnectURL(harness.term(), "/no/such/file.ts"), M4IOErr);
    EXPECT_EQ(M4T_ConnectURL(harness.term(), "rtsp://example/stream.ts"), M4NotSupported);
    EXPECT_EQ(M4T_PlayFromTime(harness.term(), 1000), M4BadParam);
    EXPECT_EQ(M4T_GetCurrentTimeInMS(harness.term()), 0u);
    M4CaptureRecord record{};
    EXPECT_EQ(M4T_CaptureScreen(harness.term(), &record), M4BadParam);
    EXPECT_EQ(record.pixels, nullptr);
    // A file is no live input: nothing to record.
    ASSERT_EQ(M4T_ConnectURL(harness.term(), MediaPath("radio10.mp2").c_str()), M4OK);
    EXPECT_EQ(M4T_StartRecord(harness.term(), "/tmp/never.mp2"), M4BadParam);
    EXPECT_EQ(M4T_CloseURL(harness.term()), M4OK);
    EXPECT_EQ(M4T_CloseURL(harness.term()), M4OK);
}

}  // namespace
}  // namespace koru::test
