// A terminal with everything a player would give it: a message function that records, a video
// output that counts pictures and keeps the last, an audio tap that counts samples and keeps
// their peak, and the test feed plug-in for live inputs.
#ifndef KORU_TESTS_UNIT_M4SYSTEMS_TERMINAL_HARNESS_H
#define KORU_TESTS_UNIT_M4SYSTEMS_TERMINAL_HARNESS_H

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "feed_plugin_stats.h"
#include "m4systems/m4systems.h"

namespace koru::test {

inline std::string MediaPath(const std::string& name) {
    return std::string(KORU_TEST_MEDIA_DIR) + "/" + name;
}

struct ReceivedMessage {
    uint32_t code;
    M4Param wparam;
    M4Param lparam;
    std::chrono::steady_clock::time_point at;
};

class TerminalHarness {
  public:
    using Steady = std::chrono::steady_clock;

    // audio: "dummy" for the dummy device, "" for a machine without any.
    explicit TerminalHarness(const char* audio = "dummy") {
        if (audio[0] != 0) {
            setenv("SDL_AUDIODRIVER", audio, 1);
        } else {
            setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
        }
        plugins_ = NewPluginManager(KORU_FEED_PLUGIN_DIR, nullptr);
        video_ = {this, &Present, &Clear, &ShowText};
        M4User user{};
        user.owner = this;
        user.MessageFunc = &OnMessage;
        user.plugins = plugins_;
        user.video = &video_;
        term_ = NewMPEG4Term(&user);
        M4T_SetAudioTap(term_, &OnAudio, this);
    }
    ~TerminalHarness() {
        M4T_Delete(term_);
        PM_Delete(plugins_);
    }
    TerminalHarness(const TerminalHarness&) = delete;
    TerminalHarness& operator=(const TerminalHarness&) = delete;

    M4Term* term() const { return term_; }

    FeedPluginStats FeedStats() {
        FeedPluginStats stats{};
        auto get = reinterpret_cast<FeedPluginGetStatsFn>(
            PM_GetProcAddress(plugins_, "feedplugin", "FeedPluginGetStats"));
        if (get != nullptr) get(&stats);
        return stats;
    }

    // Holds the feed between two deliveries (1), lets it go on (0).
    void HoldFeed(bool hold) {
        auto function = reinterpret_cast<FeedPluginHoldFn>(
            PM_GetProcAddress(plugins_, "feedplugin", "FeedPluginHold"));
        if (function != nullptr) function(hold ? 1 : 0);
    }

    // Polls until done() holds or timeout_ms passed; returns done().
    static bool WaitUntil(const std::function<bool()>& done, int timeout_ms) {
        const auto until = Steady::now() + std::chrono::milliseconds(timeout_ms);
        while (!done()) {
            if (Steady::now() > until) return done();
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return true;
    }

    bool WaitForMessage(uint32_t code, int timeout_ms) {
        return WaitUntil([&] { return Count(code) > 0; }, timeout_ms);
    }
    bool WaitForFrames(uint64_t frames, int timeout_ms) {
        return WaitUntil([&] { return Frames() >= frames; }, timeout_ms);
    }

    int Count(uint32_t code) {
        std::lock_guard lock(mutex_);
        int n = 0;
        for (const ReceivedMessage& message : messages_)
            n += message.code == code;
        return n;
    }
    std::vector<ReceivedMessage> Messages() {
        std::lock_guard lock(mutex_);
        return messages_;
    }
    uint64_t Frames() {
        std::lock_guard lock(mutex_);
        return frames_;
    }
    Steady::time_point FirstPictureAt() {
        std::lock_guard lock(mutex_);
        return first_picture_at_;
    }
    // The terminal clock when the first picture came.
    uint32_t FirstPictureClockMs() {
        std::lock_guard lock(mutex_);
        return first_picture_clock_ms_;
    }
    // M4T_CaptureScreen gives the picture last shown: width x height, 3 bytes a pixel (B, G,
    // R), top row first, in a buffer the caller frees.
    void ExpectCaptureIsLastPicture(uint32_t width, uint32_t height) {
        M4CaptureRecord record{};
        ASSERT_EQ(M4T_CaptureScreen(term_, &record), M4OK);
        uint32_t shown_width = 0, shown_height = 0;
        const std::vector<uint8_t> shown = LastPictureBgr(&shown_width, &shown_height);
        EXPECT_EQ(record.width, width);
        EXPECT_EQ(record.height, height);
        EXPECT_EQ(record.pitch, width * 3);
        EXPECT_EQ(record.pixel_size, 3u);
        ASSERT_NE(record.pixels, nullptr);
        EXPECT_EQ(shown.size(), size_t{width} * height * 3);
        EXPECT_TRUE(std::equal(shown.begin(), shown.end(), record.pixels));
        std::free(record.pixels);
    }

    // The last picture as B, G, R bytes, top row first.
    std::vector<uint8_t> LastPictureBgr(uint32_t* width, uint32_t* height) {
        std::lock_guard lock(mutex_);
        *width = last_width_;
        *height = last_height_;
        return last_bgr_;
    }
    uint64_t AudioFrames() {
        std::lock_guard lock(mutex_);
        return audio_frames_;
    }
    int AudioPeak() {
        std::lock_guard lock(mutex_);
        return audio_peak_;
    }
    void ResetAudio() {
        std::lock_guard lock(mutex_);
        audio_frames_ = 0;
        audio_peak_ = 0;
    }
    std::string Text() {
        std::lock_guard lock(mutex_);
        return text_;
    }
    // Position of a file: the clock minus the time base of 1231.
    int64_t PositionMs() {
        M4Param base = 0;
        for (const ReceivedMessage& message : Messages()) {
            if (message.code == WM_SYSTEM_TIME_BASE) base = message.wparam;
        }
        return int64_t{M4T_GetCurrentTimeInMS(term_)} - base;
    }

  private:
    static void OnMessage(void* owner, uint32_t code, M4Param wparam, M4Param lparam) {
        auto* self = static_cast<TerminalHarness*>(owner);
        std::lock_guard lock(self->mutex_);
        self->messages_.push_back({code, wparam, lparam, Steady::now()});
    }
    static void Present(void* user, const uint8_t* pixels, uint32_t width, uint32_t height,
                        uint32_t stride) {
        auto* self = static_cast<TerminalHarness*>(user);
        std::lock_guard lock(self->mutex_);
        if (self->frames_++ == 0) {
            self->first_picture_at_ = Steady::now();
            self->first_picture_clock_ms_ = M4_GetSysClock();
        }
        self->last_width_ = width;
        self->last_height_ = height;
        self->last_bgr_.resize(size_t{width} * height * 3);
        for (uint32_t y = 0; y < height; ++y) {
            for (uint32_t x = 0; x < width; ++x) {
                const uint8_t* from = pixels + size_t{y} * stride + x * 4;
                uint8_t* to = self->last_bgr_.data() + (size_t{y} * width + x) * 3;
                to[0] = from[0];
                to[1] = from[1];
                to[2] = from[2];
            }
        }
    }
    static void Clear(void*) {}
    static void ShowText(void* user, const char* text) {
        auto* self = static_cast<TerminalHarness*>(user);
        std::lock_guard lock(self->mutex_);
        self->text_ = text != nullptr ? text : "";
    }
    static void OnAudio(void* user, const int16_t* samples, uint32_t frames, uint32_t channels,
                        uint32_t) {
        auto* self = static_cast<TerminalHarness*>(user);
        std::lock_guard lock(self->mutex_);
        self->audio_frames_ += frames;
        for (uint32_t i = 0; i < frames * channels; ++i) {
            self->audio_peak_ = std::max(self->audio_peak_, std::abs(int{samples[i]}));
        }
    }

    PluginManager* plugins_ = nullptr;
    M4VideoOutput video_{};
    M4Term* term_ = nullptr;

    std::mutex mutex_;
    std::vector<ReceivedMessage> messages_;
    uint64_t frames_ = 0;
    Steady::time_point first_picture_at_{};
    uint32_t first_picture_clock_ms_ = 0;
    uint32_t last_width_ = 0, last_height_ = 0;
    std::vector<uint8_t> last_bgr_;
    uint64_t audio_frames_ = 0;
    int audio_peak_ = 0;
    std::string text_;
};

}  // namespace koru::test

#endif
