// The audio device (SDL2) and the samples waiting for it. The device runs from the terminal's
// creation to its deletion in one format (Rate() x Channels(), signed 16-bit); the decoders
// resample to it. While it plays, the device is the master of the session's media clock: each
// time it takes samples it anchors the clock to the time stamp of what is heard. Without a
// device the decoders pace the samples by the clock themselves and hand them to Emit.
#ifndef M4SYSTEMS_TERMINAL_AUDIO_OUTPUT_H
#define M4SYSTEMS_TERMINAL_AUDIO_OUTPUT_H

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <vector>

#include "m4systems/terminal.h"
#include "m4systems/terminal/media_clock.h"

namespace koru::m4 {

class M4_INTERNAL AudioOutput {
  public:
    AudioOutput() = default;
    ~AudioOutput();
    AudioOutput(const AudioOutput&) = delete;
    AudioOutput& operator=(const AudioOutput&) = delete;

    // Opens the default device; false (and HasDevice() false) when none opens.
    bool Open();
    bool HasDevice() const { return device_ != 0; }
    int Rate() const { return rate_; }
    int Channels() const { return channels_; }

    // The clock the device masters, or null when nothing plays.
    void SetClock(MediaClock* clock);
    // Device only: queues interleaved samples that start at pts_ms; waits while more than the
    // queue limit waits. False when cancelled (cancel() answered true) before it fit. Samples
    // of a generation older than the last Flush are never played.
    bool Queue(int64_t pts_ms, std::vector<int16_t> samples, uint64_t generation,
               const std::function<bool()>& cancel);
    // Drops what waits; from now on only samples of `generation` play.
    void Flush(uint64_t generation);
    // Nothing waits for the device.
    bool Idle() const;
    // Without a device: the samples are played now (volume, then the tap).
    void Emit(int16_t* samples, size_t frames);

    void SetVolume(int percent);
    int Volume() const { return volume_.load(); }
    void SetTap(M4AudioTap tap, void* user);
    // Sample frames played since the output was made.
    uint64_t PlayedFrames() const { return played_frames_.load(); }

  private:
    struct Chunk {
        int64_t pts_ms;
        uint64_t generation;
        std::vector<int16_t> samples;
        size_t taken = 0;  // samples already played
    };

    static void Callback(void* self, uint8_t* stream, int length);
    void Fill(int16_t* out, size_t frames);
    void ApplyVolumeAndTap(int16_t* samples, size_t frames);

    uint32_t device_ = 0;
    int rate_ = 48000;
    int channels_ = 2;
    int device_buffer_ms_ = 0;
    bool sdl_started_ = false;
    std::atomic<int> volume_{100};
    std::atomic<uint64_t> played_frames_{0};

    mutable std::mutex mutex_;  // guards the fields below
    std::condition_variable room_;
    std::deque<Chunk> chunks_;
    size_t queued_frames_ = 0;
    uint64_t generation_ = 0;
    MediaClock* clock_ = nullptr;

    std::mutex tap_mutex_;
    M4AudioTap tap_ = nullptr;
    void* tap_user_ = nullptr;
};

}  // namespace koru::m4

#endif
