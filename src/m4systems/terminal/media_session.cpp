#include "m4systems/terminal/media_session.h"

#include <pthread.h>

#include <chrono>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/mem.h>
}

#include "m4systems/log.h"
#include "m4systems/messages.h"
#include "m4systems/terminal/audio_output.h"
#include "m4systems/terminal/live_source.h"
#include "m4systems/terminal/video_renderer.h"

namespace koru::m4 {

namespace {

constexpr const char* kSource = "session";
constexpr int kIoBufferBytes = 32 * 1024;
// Just enough to start: the tables and codecs of a live input show up in its first packets,
// and FFmpeg adds streams it meets later by itself.
constexpr const char* kLiveTsProbeBytes = "1504";
constexpr const char* kLiveAudioProbeBytes = "4096";
constexpr int kIdlePollMs = 10;

void SleepMs(int ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

}  // namespace

MediaSession::MediaSession(AudioOutput* audio, VideoRenderer* video, SessionEvents events)
    : audio_(audio), events_(std::move(events)) {
    state_.audio = audio;
    state_.video = video;
    state_.on_first_frame = events_.first_frame;
    state_.on_mpeg_audio_frame = events_.mpeg_audio_frame;
}

MediaSession::~MediaSession() {
    Stop();
    video_.reset();
    audio_decoder_.reset();
    avformat_close_input(&format_);
    if (io_ != nullptr) {
        av_freep(&io_->buffer);
        avio_context_free(&io_);
    }
}

void MediaSession::Send(uint32_t message, int64_t wparam, int64_t lparam) {
    if (events_.message) events_.message(message, wparam, lparam);
}

bool MediaSession::OpenFile(const std::string& path) {
    if (avformat_open_input(&format_, path.c_str(), nullptr, nullptr) < 0) {
        M4_LOG(1, kSource, "cannot open %s", path.c_str());
        return false;
    }
    if (avformat_find_stream_info(format_, nullptr) < 0) {
        M4_LOG(2, kSource, "%s: stream information incomplete", path.c_str());
    }
    ChooseFileStreams();
    if (video_ == nullptr && audio_decoder_ == nullptr) {
        M4_LOG(1, kSource, "%s holds nothing playable", path.c_str());
        return false;
    }
    start_ms_ = format_->start_time != AV_NOPTS_VALUE ? format_->start_time / 1000 : 0;
    duration_ms_ = format_->duration != AV_NOPTS_VALUE ? format_->duration / 1000 : -1;
    // Whole seconds, rounded down: a player that stops at the duration never waits past the end.
    Send(WM_SYSTEM_DURATION, 0, duration_ms_ > 0 ? duration_ms_ / 1000 : 0);
    Send(WM_SYSTEM_TIME_BASE, start_ms_, 0);
    M4_LOG(2, kSource, "%s: start %lld ms, duration %lld ms", path.c_str(),
           static_cast<long long>(start_ms_), static_cast<long long>(duration_ms_));
    return true;
}

void MediaSession::ChooseFileStreams() {
    const int video = av_find_best_stream(format_, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    if (video >= 0) AddDecoder(video, &video_, &video_index_);
    const int audio = av_find_best_stream(format_, AVMEDIA_TYPE_AUDIO, -1, video, nullptr, 0);
    if (audio >= 0) AddDecoder(audio, &audio_decoder_, &audio_index_);
}

void MediaSession::AddDecoder(int index, std::unique_ptr<Decoder>* slot, int* slot_index) {
    if (unplayable_.count(index) != 0) return;
    std::unique_ptr<Decoder> decoder = Decoder::Create(format_->streams[index], &state_, IsLive());
    if (decoder == nullptr) {
        NoteUnplayable(index);
        return;
    }
    if (slot == &audio_decoder_) state_.audio_master = audio_->HasDevice() && !state_.free_running;
    // Started at once when the session already runs (a live stream found late).
    if (started_ || state_.free_running) decoder->Start();
    std::lock_guard lock(decoders_mutex_);
    *slot = std::move(decoder);
    *slot_index = index;
}

// A stream no decoder here takes: logged once; for sound the player is told once, and the
// picture plays on.
void MediaSession::NoteUnplayable(int index) {
    unplayable_.insert(index);
    const AVCodecParameters* parameters = format_->streams[index]->codecpar;
    const std::string format = DescribeFormat(parameters);
    M4_LOG(1, kSource, "stream %d (%s) cannot be played", index, format.c_str());
    if (parameters->codec_type == AVMEDIA_TYPE_AUDIO && !audio_unsupported_sent_) {
        audio_unsupported_sent_ = true;
        Send(WM_SYSTEM_AUDIO_UNSUPPORTED, 0, 0);
    }
}

void MediaSession::OpenLive(LiveSource* source, LiveFormat format) {
    live_ = source;
    live_format_ = format;
    if (format == LiveFormat::kTransportStream) {
        // PES ends are marked until the first picture: then a picture a frame later costs
        // nothing.
        live_->ReadAsTransportStream();
        state_.on_first_picture = [source] { source->StopMarkingPesEnds(); };
    }
}

void MediaSession::Start() {
    audio_->Flush(state_.generation.load());
    // A file's decoders exist already; a live input's appear on the demux thread.
    if (video_ != nullptr) video_->Start();
    if (audio_decoder_ != nullptr) audio_decoder_->Start();
    started_ = true;
    thread_ = std::thread([this] {
        pthread_setname_np(pthread_self(), "m4demux");
        Run();
    });
}

void MediaSession::Stop() {
    state_.abort = true;
    state_.Wake();
    if (live_ != nullptr) live_->Abort();
    // The decoders see the abort and drop what they take, so a demuxer waiting for room in a
    // queue goes on and ends.
    if (thread_.joinable()) thread_.join();
    std::lock_guard lock(decoders_mutex_);
    if (video_ != nullptr) video_->Stop();
    if (audio_decoder_ != nullptr) audio_decoder_->Stop();
}

int MediaSession::ReadLive(void* opaque, uint8_t* buffer, int size) {
    auto* session = static_cast<MediaSession*>(opaque);
    const int got = session->live_->Read(buffer, size);
    return got > 0 ? got : AVERROR_EOF;
}

int MediaSession::Interrupted(void* opaque) {
    return static_cast<MediaSession*>(opaque)->state_.abort.load() ? 1 : 0;
}

bool MediaSession::OpenLiveInput() {
    auto* buffer = static_cast<uint8_t*>(av_malloc(kIoBufferBytes));
    if (buffer == nullptr) return false;
    io_ = avio_alloc_context(buffer, kIoBufferBytes, 0, this, &MediaSession::ReadLive, nullptr,
                             nullptr);
    if (io_ == nullptr) {
        av_free(buffer);
        return false;
    }
    io_->seekable = 0;
    format_ = avformat_alloc_context();
    if (format_ == nullptr) return false;
    format_->pb = io_;
    format_->flags |= AVFMT_FLAG_CUSTOM_IO;
    format_->interrupt_callback = {&MediaSession::Interrupted, this};
    const bool ts = live_format_ == LiveFormat::kTransportStream;
    // A transport stream's packets go to the decoders as whole PES packets, which cut them
    // into frames as far as needed (LiveParser): the demuxer's parsers would hold every
    // picture until the next one begins. MPEG audio needs its parser to be cut into frames.
    if (ts) format_->flags |= AVFMT_FLAG_NOPARSE;
    const AVInputFormat* input = av_find_input_format(ts ? "mpegts" : "mp3");
    AVDictionary* options = nullptr;
    av_dict_set(&options, "probesize", ts ? kLiveTsProbeBytes : kLiveAudioProbeBytes, 0);
    const int result = avformat_open_input(&format_, nullptr, input, &options);
    av_dict_free(&options);
    if (result < 0) {
        if (!state_.abort) M4_LOG(1, kSource, "the live input cannot be read");
        return false;
    }
    Route(nullptr);  // the streams the header named
    return true;
}

// Picks up streams of a live input as they appear; routes a packet to its decoder.
void MediaSession::Route(AVPacket* packet) {
    if (IsLive() && (video_index_ < 0 || audio_index_ < 0)) {
        for (unsigned i = 0; i < format_->nb_streams; ++i) {
            const AVCodecParameters* parameters = format_->streams[i]->codecpar;
            if (parameters->codec_id == AV_CODEC_ID_NONE) continue;
            if (video_index_ < 0 && parameters->codec_type == AVMEDIA_TYPE_VIDEO) {
                AddDecoder(static_cast<int>(i), &video_, &video_index_);
            } else if (audio_index_ < 0 && parameters->codec_type == AVMEDIA_TYPE_AUDIO) {
                AddDecoder(static_cast<int>(i), &audio_decoder_, &audio_index_);
            }
        }
    }
    if (packet == nullptr) return;
    if (packet->stream_index == video_index_ && video_ != nullptr) {
        video_->Queue().Put(packet);
    } else if (packet->stream_index == audio_index_ && audio_decoder_ != nullptr) {
        audio_decoder_->Queue().Put(packet);
    }
}

void MediaSession::Run() {
    if (IsLive() && !OpenLiveInput()) {
        // The plug-in still delivers, but nothing here can read it: connect afresh.
        if (!state_.abort) Send(WM_SYSTEM_RECONNECT, 0, 0);
        return;
    }
    AVPacket* packet = av_packet_alloc();
    while (packet != nullptr && !state_.abort) {
        DoPendingSeek();
        if (input_ended_) {
            CheckEnd();
            SleepMs(kIdlePollMs);
            continue;
        }
        const int result = av_read_frame(format_, packet);
        if (result == AVERROR(EAGAIN)) {
            SleepMs(1);
            continue;
        }
        if (result < 0) {
            if (IsLive()) {
                if (!state_.abort && result != AVERROR_EOF) {
                    M4_LOG(1, kSource, "the live input broke off (%d)", result);
                    Send(WM_SYSTEM_RECONNECT, 0, 0);
                }
                break;
            }
            EndOfInput();
            continue;
        }
        Route(packet);
        av_packet_unref(packet);
    }
    av_packet_free(&packet);
}

void MediaSession::RunLiveToEnd() {
    state_.free_running = true;
    if (!IsLive() || !OpenLiveInput()) return;
    AVPacket* packet = av_packet_alloc();
    while (packet != nullptr && av_read_frame(format_, packet) >= 0) {
        Route(packet);
        av_packet_unref(packet);
    }
    av_packet_free(&packet);
    EndOfInput();
    while ((video_ != nullptr && !video_->Drained()) ||
           (audio_decoder_ != nullptr && !audio_decoder_->Drained())) {
        SleepMs(1);
    }
}

void MediaSession::EndOfInput() {
    input_ended_ = true;
    if (video_ != nullptr) video_->Queue().Put(nullptr);
    if (audio_decoder_ != nullptr) audio_decoder_->Queue().Put(nullptr);
}

// A file has ended once every decoder has shown its last frame and the device has played the
// last sample; the clock then stays at the end.
void MediaSession::CheckEnd() {
    if (end_of_stream_ || state_.clock.Paused()) return;
    if (video_ != nullptr && !video_->Drained()) return;
    if (audio_decoder_ != nullptr && (!audio_decoder_->Drained() || !audio_->Idle())) return;
    int64_t end = state_.clock.LastMs();
    if (duration_ms_ > 0) end = std::max(end, start_ms_ + duration_ms_);
    state_.clock.Freeze(end);
    end_of_stream_ = true;
    M4_LOG(2, kSource, "end of the file at %lld ms", static_cast<long long>(end));
}

void MediaSession::Seek(int64_t ms) {
    {
        std::lock_guard lock(seek_mutex_);
        pending_seek_ms_ = ms;
    }
    end_of_stream_ = false;
    // Frees a demuxer waiting for room in a queue; it flushes again after the seek.
    std::lock_guard lock(decoders_mutex_);
    if (video_ != nullptr) video_->Queue().Flush();
    if (audio_decoder_ != nullptr) audio_decoder_->Queue().Flush();
    state_.Wake();
}

void MediaSession::DoPendingSeek() {
    int64_t target;
    {
        std::lock_guard lock(seek_mutex_);
        if (!pending_seek_ms_) return;
        target = *pending_seek_ms_;
        pending_seek_ms_.reset();
    }
    const int64_t stamp = av_rescale(target, AV_TIME_BASE, 1000);
    // The key frame at or before the target; failing that, any position near it.
    if (avformat_seek_file(format_, -1, INT64_MIN, stamp, stamp, 0) < 0 &&
        avformat_seek_file(format_, -1, INT64_MIN, stamp, INT64_MAX, 0) < 0) {
        M4_LOG(1, kSource, "cannot seek to %lld ms", static_cast<long long>(target));
    }
    state_.skip_until_ms = target;
    FlushPipeline();
    input_ended_ = false;
    end_of_stream_ = false;
    M4_LOG(2, kSource, "seek to %lld ms", static_cast<long long>(target));
}

void MediaSession::FlushPipeline() {
    const uint64_t generation = state_.generation.fetch_add(1) + 1;
    audio_->Flush(generation);
    std::lock_guard lock(decoders_mutex_);
    if (video_ != nullptr) video_->Queue().Flush();
    if (audio_decoder_ != nullptr) audio_decoder_->Queue().Flush();
    state_.clock.Reset();
    state_.Wake();
}

void MediaSession::SetPaused(bool paused) {
    if (paused == state_.clock.Paused()) return;
    // With a cache, the first pause starts time shift: the stream goes on into the cache.
    const bool shifting =
        live_ != nullptr && live_->TimeShifting() && (!paused || live_->StartTimeShift());
    if (live_ != nullptr && !shifting) {
        live_->SetPaused(paused);
        if (!paused) {
            // Without a cache, what came before the pause is old: play on at live.
            live_->DropQueued();
            state_.skip_until_ms = INT64_MIN;
            FlushPipeline();
        }
    }
    state_.clock.SetPaused(paused);
    state_.Wake();
}

bool MediaSession::Paused() const {
    return state_.clock.Paused();
}

int64_t MediaSession::NowMs() const {
    return state_.clock.LastMs();
}

}  // namespace koru::m4
