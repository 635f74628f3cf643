// One connection's playback: the input (a file, or a live input's bytes through a custom
// AVIOContext), the demux thread that feeds the decoders, seeking, pausing and the end of a
// file. Live inputs skip FFmpeg's stream probing: the transport stream's tables name the
// codecs, the decoders learn the rest from the data, so the first picture follows the first
// key frame.
#ifndef M4SYSTEMS_TERMINAL_MEDIA_SESSION_H
#define M4SYSTEMS_TERMINAL_MEDIA_SESSION_H

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>

#include "m4systems/m4_types.h"
#include "m4systems/terminal/decoder.h"

struct AVFormatContext;
struct AVIOContext;

namespace koru::m4 {

class LiveSource;

enum class LiveFormat { kTransportStream, kMpegAudio };

struct SessionEvents {
    std::function<void(uint32_t, int64_t, int64_t)> message;
    std::function<void()> first_frame;
    std::function<void(const uint8_t*, size_t)> mpeg_audio_frame;
};

class M4_INTERNAL MediaSession {
  public:
    MediaSession(AudioOutput* audio, VideoRenderer* video, SessionEvents events);
    ~MediaSession();
    MediaSession(const MediaSession&) = delete;
    MediaSession& operator=(const MediaSession&) = delete;

    // A file: opened and probed here; false when it holds nothing playable. Sends 1230 and 1231.
    bool OpenFile(const std::string& path);
    // A live input: opened on the demux thread once its bytes arrive. source outlives the
    // session.
    void OpenLive(LiveSource* source, LiveFormat format);
    void Start();
    // Ends every thread of the session (the live source is aborted).
    void Stop();

    bool IsLive() const { return live_ != nullptr; }
    // Seeks a file to stream time ms.
    void Seek(int64_t ms);
    void SetPaused(bool paused);
    bool Paused() const;
    int64_t NowMs() const;
    bool EndOfStream() const { return end_of_stream_.load(); }
    MediaClock* Clock() { return &state_.clock; }

    // For the fuzzer: runs the demuxer on this thread until the live input ends, decoding
    // without waiting for any clock.
    void RunLiveToEnd();

  private:
    void Run();
    bool OpenLiveInput();
    void ChooseFileStreams();
    void Route(AVPacket* packet);
    void AddDecoder(int index, std::unique_ptr<Decoder>* slot, int* slot_index);
    void NoteUnplayable(int index);
    void DoPendingSeek();
    void FlushPipeline();
    void CheckEnd();
    void EndOfInput();
    void Send(uint32_t message, int64_t wparam, int64_t lparam);
    static int ReadLive(void* opaque, uint8_t* buffer, int size);
    static int Interrupted(void* opaque);

    AudioOutput* const audio_;
    const SessionEvents events_;
    PlaybackState state_;

    AVFormatContext* format_ = nullptr;
    AVIOContext* io_ = nullptr;
    LiveSource* live_ = nullptr;
    LiveFormat live_format_ = LiveFormat::kTransportStream;
    std::thread thread_;

    // Written by the demux thread (a live stream found late), read by the others under it.
    std::mutex decoders_mutex_;
    std::atomic<bool> started_{false};
    std::unique_ptr<Decoder> video_;
    std::unique_ptr<Decoder> audio_decoder_;
    int video_index_ = -1;
    int audio_index_ = -1;
    std::set<int> unplayable_;  // streams whose decoder would not open: not tried again
    bool audio_unsupported_sent_ = false;

    int64_t start_ms_ = 0;
    int64_t duration_ms_ = -1;
    bool input_ended_ = false;
    std::atomic<bool> end_of_stream_{false};

    mutable std::mutex seek_mutex_;
    std::optional<int64_t> pending_seek_ms_;
};

}  // namespace koru::m4

#endif
