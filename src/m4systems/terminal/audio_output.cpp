#include "m4systems/terminal/audio_output.h"

#include <SDL2/SDL.h>

#include <algorithm>
#include <chrono>
#include <cstring>

#include "m4systems/clock.h"
#include "m4systems/log.h"

namespace koru::m4 {

namespace {

constexpr const char* kSource = "audio_out";
constexpr int kWantedRate = 48000;
constexpr int kWantedChannels = 2;
constexpr int kDeviceFrames = 1024;
// How much decoded audio may wait for the device: enough to ride over a slow decode.
constexpr int kQueueMs = 300;

}  // namespace

AudioOutput::~AudioOutput() {
    if (device_ != 0) SDL_CloseAudioDevice(device_);
    if (sdl_started_) SDL_QuitSubSystem(SDL_INIT_AUDIO);
}

bool AudioOutput::Open() {
    // A sound card plays at its own rate, which a scaled terminal clock would leave behind.
    if (const double scale = M4_GetClockScale(); scale != 1.0) {
        M4_LOG(2, kSource, "terminal clock at %g times: playing without the sound card", scale);
        return false;
    }
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
        M4_LOG(1, kSource, "no audio system: %s", SDL_GetError());
        return false;
    }
    sdl_started_ = true;
    SDL_AudioSpec want{};
    want.freq = kWantedRate;
    want.format = AUDIO_S16SYS;
    want.channels = kWantedChannels;
    want.samples = kDeviceFrames;
    want.callback = &AudioOutput::Callback;
    want.userdata = this;
    SDL_AudioSpec have{};
    device_ =
        SDL_OpenAudioDevice(nullptr, 0, &want, &have,
                            SDL_AUDIO_ALLOW_FREQUENCY_CHANGE | SDL_AUDIO_ALLOW_CHANNELS_CHANGE);
    if (device_ == 0) {
        M4_LOG(1, kSource, "no audio device: %s", SDL_GetError());
        return false;
    }
    rate_ = have.freq;
    channels_ = have.channels;
    device_buffer_ms_ = have.samples * 1000 / std::max(have.freq, 1);
    M4_LOG(2, kSource, "audio device %s: %d Hz, %d channels, %d frames a buffer",
           SDL_GetCurrentAudioDriver(), rate_, channels_, have.samples);
    SDL_PauseAudioDevice(device_, 0);
    return true;
}

void AudioOutput::SetClock(MediaClock* clock) {
    std::lock_guard lock(mutex_);
    clock_ = clock;
}

bool AudioOutput::Queue(int64_t pts_ms, std::vector<int16_t> samples, uint64_t generation,
                        const std::function<bool()>& cancel) {
    const size_t frames = samples.size() / static_cast<size_t>(channels_);
    const size_t limit = static_cast<size_t>(rate_) * kQueueMs / 1000;
    std::unique_lock lock(mutex_);
    while (queued_frames_ > 0 && queued_frames_ + frames > limit) {
        if (cancel()) return false;
        room_.wait_for(lock, std::chrono::milliseconds(50));
    }
    if (cancel() || generation != generation_) return false;
    chunks_.push_back({pts_ms, generation, std::move(samples)});
    queued_frames_ += frames;
    return true;
}

void AudioOutput::Flush(uint64_t generation) {
    std::lock_guard lock(mutex_);
    generation_ = generation;
    chunks_.clear();
    queued_frames_ = 0;
    room_.notify_all();
}

bool AudioOutput::Idle() const {
    std::lock_guard lock(mutex_);
    return chunks_.empty();
}

void AudioOutput::Callback(void* self, uint8_t* stream, int length) {
    auto* output = static_cast<AudioOutput*>(self);
    const size_t frames =
        static_cast<size_t>(length) / sizeof(int16_t) / static_cast<size_t>(output->channels_);
    std::memset(stream, 0, static_cast<size_t>(length));
    output->Fill(reinterpret_cast<int16_t*>(stream), frames);
}

// Takes up to `frames` queued frames into out (already silent). Paused: takes nothing.
void AudioOutput::Fill(int16_t* out, size_t frames) {
    size_t filled = 0;
    {
        std::lock_guard lock(mutex_);
        if (clock_ == nullptr || clock_->Paused() || chunks_.empty()) return;
        const size_t channels = static_cast<size_t>(channels_);
        const Chunk& first = chunks_.front();
        const int64_t first_pts =
            first.pts_ms + static_cast<int64_t>(first.taken / channels) * 1000 / rate_;
        while (filled < frames && !chunks_.empty()) {
            Chunk& chunk = chunks_.front();
            const size_t available = (chunk.samples.size() - chunk.taken) / channels;
            const size_t take = std::min(available, frames - filled);
            std::memcpy(out + filled * channels, chunk.samples.data() + chunk.taken,
                        take * channels * sizeof(int16_t));
            chunk.taken += take * channels;
            filled += take;
            if (chunk.taken >= chunk.samples.size()) chunks_.pop_front();
        }
        queued_frames_ -= std::min(queued_frames_, filled);
        // What is heard now was handed to the device one buffer ago.
        clock_->Anchor(first_pts - device_buffer_ms_);
        // The decoder refills half the queue at a time.
        if (queued_frames_ <= static_cast<size_t>(rate_) * kQueueMs / 2000) room_.notify_all();
    }
    ApplyVolumeAndTap(out, filled);
}

void AudioOutput::Emit(int16_t* samples, size_t frames) {
    ApplyVolumeAndTap(samples, frames);
}

void AudioOutput::ApplyVolumeAndTap(int16_t* samples, size_t frames) {
    if (frames == 0) return;
    played_frames_ += frames;
    const int volume = volume_.load();
    const size_t count = frames * static_cast<size_t>(channels_);
    if (volume < 100) {
        for (size_t i = 0; i < count; ++i)
            samples[i] = static_cast<int16_t>(samples[i] * volume / 100);
    }
    std::lock_guard lock(tap_mutex_);
    if (tap_ != nullptr) {
        tap_(tap_user_, samples, static_cast<uint32_t>(frames), static_cast<uint32_t>(channels_),
             static_cast<uint32_t>(rate_));
    }
}

void AudioOutput::SetVolume(int percent) {
    volume_ = std::clamp(percent, 0, 100);
}

void AudioOutput::SetTap(M4AudioTap tap, void* user) {
    std::lock_guard lock(tap_mutex_);
    tap_ = tap;
    tap_user_ = user;
}

}  // namespace koru::m4
