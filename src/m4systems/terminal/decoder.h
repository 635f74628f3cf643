// The decoder threads of a session: one for video, one for audio. Each takes packets from its
// queue, decodes them, waits for the media clock and hands the result on: pictures to the
// video renderer, samples to the audio device (which then paces itself) or, without a device,
// to the audio output at the clock's time.
#ifndef M4SYSTEMS_TERMINAL_DECODER_H
#define M4SYSTEMS_TERMINAL_DECODER_H

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "m4systems/terminal/media_clock.h"
#include "m4systems/terminal/packet_queue.h"

struct AVCodecContext;
struct AVCodecParameters;
struct AVFrame;
struct AVPacket;
struct AVStream;
struct SwrContext;

namespace koru::m4 {

class AudioOutput;
class LiveParser;
class VideoRenderer;

// What a session shares with its decoders.
struct PlaybackState {
    MediaClock clock;
    std::atomic<bool> abort{false};
    // Raised on every flush (seek, resume at live); audio of an older generation is dropped.
    std::atomic<uint64_t> generation{0};
    // Frames before this stream time are decoded but not shown (the target of a seek).
    std::atomic<int64_t> skip_until_ms{INT64_MIN};
    // The audio device plays this session's audio and so masters the clock.
    std::atomic<bool> audio_master{false};
    AudioOutput* audio = nullptr;
    VideoRenderer* video = nullptr;
    std::function<void()> on_first_frame;    // a picture shown or samples played, once
    std::function<void()> on_first_picture;  // a picture shown, once
    std::function<void(const uint8_t*, size_t)> on_mpeg_audio_frame;  // each Layer II frame
    std::atomic<bool> first_frame_seen{false};
    std::atomic<bool> first_picture_seen{false};
    // Decode as fast as possible, never waiting for the clock (fuzzing).
    bool free_running = false;

    // Wakes decoders waiting for the clock: a pause or resume, a flush, the end.
    void Wake() {
        std::lock_guard lock(wake_mutex);
        wake.notify_all();
    }
    std::mutex wake_mutex;
    std::condition_variable wake;
};

// A stream's format for the log: the codec, and for MPEG-4 audio the object type that its
// AudioSpecificConfig names (e.g. "aac, MPEG-4 audio object type 22 (ER BSAC)").
std::string DescribeFormat(const AVCodecParameters* parameters);

class Decoder {
  public:
    // A decoder for the stream, or null when its codec cannot be opened. live: a live input
    // (single-threaded decoding, no frame delay, packets cut into frames here).
    static std::unique_ptr<Decoder> Create(AVStream* stream, PlaybackState* state, bool live);
    virtual ~Decoder();
    Decoder(const Decoder&) = delete;
    Decoder& operator=(const Decoder&) = delete;

    void Start();
    // Ends the thread; packets still queued are dropped.
    void Stop();
    PacketQueue& Queue() { return queue_; }
    // Everything up to the end of the input (a null packet) has been decoded and handed on.
    bool Drained() const { return drained_.load(); }

  protected:
    Decoder(AVStream* stream, AVCodecContext* codec, PlaybackState* state, size_t queue_bytes,
            size_t queue_packets);

    // A decoded frame; the frame is unreferenced after the call.
    virtual void HandleFrame(AVFrame* frame) = 0;
    virtual void HandlePacket(const AVPacket& packet) {}
    // The stream time of a frame in ms, continuing from the last one when it has none.
    int64_t FrameMs(const AVFrame* frame, int64_t duration_ms);
    // Waits until the clock reaches ms; false when a flush or the end came first.
    bool WaitForClock(int64_t ms);
    bool Cancelled() const;
    void NoteFrameShown();

    AVStream* const stream_;
    AVCodecContext* codec_;
    PlaybackState* const state_;
    uint64_t generation_ = 0;  // of the packets being decoded
    int64_t skip_until_ms_ = INT64_MIN;

  private:
    void Run();
    void Decode(AVPacket* packet, AVFrame* frame);
    void Receive(AVFrame* frame);
    void StartSerial(uint64_t serial);

    PacketQueue queue_;
    std::unique_ptr<LiveParser> parser_;  // live inputs only
    std::thread thread_;
    uint64_t serial_ = UINT64_MAX;
    bool first_after_flush_ = true;
    int64_t next_ms_ = INT64_MIN;
    std::atomic<bool> drained_{false};
};

}  // namespace koru::m4

#endif
