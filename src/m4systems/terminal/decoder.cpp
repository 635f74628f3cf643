#include "m4systems/terminal/decoder.h"

#include <pthread.h>

#include <algorithm>
#include <chrono>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libswresample/swresample.h>
}

#include "dab/mpeg4_systems.h"
#include "m4systems/clock.h"
#include "m4systems/log.h"
#include "m4systems/terminal/aac_decoder.h"
#include "m4systems/terminal/audio_output.h"
#include "m4systems/terminal/live_parser.h"
#include "m4systems/terminal/video_renderer.h"

namespace koru::m4 {

namespace {

constexpr const char* kSource = "decoder";
// A time stamp this far from the clock is a jump in the stream, not a frame to wait for.
constexpr int64_t kResyncMs = 1000;
// Waits end early when woken; the limit only bounds how stale a wait can get.
constexpr int64_t kLongestWaitMs = 200;
// Queues hold about two seconds of a T-DMB service; the byte limits guard big files.
constexpr size_t kVideoQueueBytes = 16 * 1024 * 1024;
constexpr size_t kVideoQueuePackets = 60;
constexpr size_t kAudioQueueBytes = 2 * 1024 * 1024;
constexpr size_t kAudioQueuePackets = 120;
// Above this width a file's video is decoded on several threads.
constexpr int kSingleThreadMaxWidth = 720;

class VideoDecoder : public Decoder {
  public:
    VideoDecoder(AVStream* stream, AVCodecContext* codec, PlaybackState* state)
        : Decoder(stream, codec, state, kVideoQueueBytes, kVideoQueuePackets) {}

  private:
    void HandleFrame(AVFrame* frame) override {
        const AVRational rate = stream_->avg_frame_rate;
        const int64_t duration_ms = rate.num > 0 && rate.den > 0 ? 1000 * rate.den / rate.num : 40;
        const int64_t ms = FrameMs(frame, duration_ms);
        if (ms < skip_until_ms_) return;
        if (!WaitForClock(ms)) return;
        if (!state_->video->Render(frame)) return;
        if (!state_->first_picture_seen.exchange(true) && state_->on_first_picture) {
            state_->on_first_picture();
        }
        NoteFrameShown();
    }
};

class AudioDecoder : public Decoder {
  public:
    // aac: decodes the stream in place of the codec (null: the codec does).
    AudioDecoder(AVStream* stream, AVCodecContext* codec, PlaybackState* state,
                 std::unique_ptr<AacDecoder> aac)
        : Decoder(stream, codec, state, kAudioQueueBytes, kAudioQueuePackets),
          aac_(std::move(aac)) {}
    ~AudioDecoder() override { swr_free(&resampler_); }

  private:
    bool DecodeOwn(const AVPacket& packet) override {
        if (aac_ == nullptr) return false;
        aac_->Decode(
            packet,
            [this](AVFrame* frame) {
                if (!Cancelled()) HandleFrame(frame);
            },
            state_->on_access_unit_pad);
        return true;
    }

    void FlushOwn() override {
        if (aac_ != nullptr) aac_->Flush();
    }

    // DAB radio is MPEG Layer II; the MPEG audio demuxer names any layer MP3.
    void HandlePacket(const AVPacket& packet) override {
        const AVCodecID id = codec_->codec_id;
        const bool mpeg_audio =
            id == AV_CODEC_ID_MP1 || id == AV_CODEC_ID_MP2 || id == AV_CODEC_ID_MP3;
        const bool layer_two =
            packet.size >= 4 && packet.data[0] == 0xFF && (packet.data[1] & 0xE6) == 0xE4;
        if (mpeg_audio && layer_two && state_->on_mpeg_audio_frame) {
            state_->on_mpeg_audio_frame(packet.data, static_cast<size_t>(packet.size));
        }
    }

    void HandleFrame(AVFrame* frame) override {
        if (frame->sample_rate <= 0 || frame->nb_samples <= 0) return;
        const int64_t ms = FrameMs(frame, int64_t{frame->nb_samples} * 1000 / frame->sample_rate);
        if (ms < skip_until_ms_) return;
        std::vector<int16_t> samples;
        if (!Resample(frame, &samples)) return;
        AudioOutput& audio = *state_->audio;
        if (audio.HasDevice()) {
            if (audio.Queue(ms, std::move(samples), generation_, [this] { return Cancelled(); })) {
                NoteFrameShown();
            }
            return;
        }
        if (!WaitForClock(ms)) return;
        audio.Emit(samples.data(), samples.size() / static_cast<size_t>(audio.Channels()));
        NoteFrameShown();
    }

    // To the output's rate and channels, signed 16-bit interleaved.
    bool Resample(const AVFrame* frame, std::vector<int16_t>* out) {
        const AudioOutput& audio = *state_->audio;
        AVChannelLayout in_layout{};  // zeroed: av_channel_layout_copy frees what it overwrites
        if (frame->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC ||
            frame->ch_layout.nb_channels == 0) {
            av_channel_layout_default(&in_layout, std::max(frame->ch_layout.nb_channels, 1));
        } else if (av_channel_layout_copy(&in_layout, &frame->ch_layout) < 0) {
            return false;
        }
        const bool changed = resampler_ == nullptr || in_rate_ != frame->sample_rate ||
                             in_format_ != frame->format ||
                             av_channel_layout_compare(&in_layout_, &in_layout) != 0;
        if (changed) {
            swr_free(&resampler_);
            AVChannelLayout out_layout{};
            av_channel_layout_default(&out_layout, audio.Channels());
            int result = swr_alloc_set_opts2(
                &resampler_, &out_layout, AV_SAMPLE_FMT_S16, audio.Rate(), &in_layout,
                static_cast<AVSampleFormat>(frame->format), frame->sample_rate, 0, nullptr);
            av_channel_layout_uninit(&out_layout);
            if (result < 0 || swr_init(resampler_) < 0) {
                M4_LOG(1, kSource, "cannot resample %d Hz format %d", frame->sample_rate,
                       frame->format);
                swr_free(&resampler_);
                av_channel_layout_uninit(&in_layout);
                return false;
            }
            av_channel_layout_uninit(&in_layout_);
            av_channel_layout_copy(&in_layout_, &in_layout);
            in_rate_ = frame->sample_rate;
            in_format_ = frame->format;
        }
        av_channel_layout_uninit(&in_layout);
        const int capacity = swr_get_out_samples(resampler_, frame->nb_samples);
        if (capacity <= 0) return false;
        out->resize(static_cast<size_t>(capacity) * static_cast<size_t>(audio.Channels()));
        auto* target = reinterpret_cast<uint8_t*>(out->data());
        const int got =
            swr_convert(resampler_, &target, capacity,
                        const_cast<const uint8_t**>(frame->extended_data), frame->nb_samples);
        if (got <= 0) return false;
        out->resize(static_cast<size_t>(got) * static_cast<size_t>(audio.Channels()));
        return true;
    }

    std::unique_ptr<AacDecoder> aac_;
    SwrContext* resampler_ = nullptr;
    AVChannelLayout in_layout_{};
    int in_rate_ = 0;
    int in_format_ = -1;
};

}  // namespace

std::string DescribeFormat(const AVCodecParameters* parameters) {
    const char* name = avcodec_get_name(parameters->codec_id);
    std::string text = name != nullptr ? name : "unknown";
    if (parameters->codec_id == AV_CODEC_ID_AAC && parameters->extradata_size >= 1) {
        const auto config = dab::ParseAudioSpecificConfig(
            {parameters->extradata, static_cast<size_t>(parameters->extradata_size)});
        if (config) text += ", " + dab::AudioObjectTypeText(config->signalled_type);
    }
    if (parameters->sample_rate > 0) text += ", " + std::to_string(parameters->sample_rate) + " Hz";
    return text;
}

std::unique_ptr<Decoder> Decoder::Create(AVStream* stream, PlaybackState* state, bool live) {
    const AVCodecParameters* parameters = stream->codecpar;
    if (parameters->codec_type == AVMEDIA_TYPE_AUDIO) {
        if (std::unique_ptr<AacDecoder> aac =
                AacDecoder::ForStream(parameters, live && state->dab_plus_input)) {
            AVCodecContext* context = avcodec_alloc_context3(nullptr);
            if (context == nullptr || avcodec_parameters_to_context(context, parameters) < 0) {
                avcodec_free_context(&context);
                return nullptr;
            }
            M4_LOG(2, kSource, "stream %d: aac (libfaad)", stream->index);
            return std::make_unique<AudioDecoder>(stream, context, state, std::move(aac));
        }
    }
    const AVCodec* codec = avcodec_find_decoder(parameters->codec_id);
    if (codec == nullptr) {
        M4_LOG(1, kSource, "no decoder for codec %d", parameters->codec_id);
        return nullptr;
    }
    AVCodecContext* context = avcodec_alloc_context3(codec);
    if (context == nullptr) return nullptr;
    if (avcodec_parameters_to_context(context, parameters) < 0) {
        avcodec_free_context(&context);
        return nullptr;
    }
    context->pkt_timebase = stream->time_base;
    // Frame threads delay every picture by a frame a thread: small pictures and live inputs
    // decode on one thread.
    context->thread_count = live || parameters->width <= kSingleThreadMaxWidth ? 1 : 0;
    if (avcodec_open2(context, codec, nullptr) < 0) {
        M4_LOG(1, kSource, "cannot open the %s decoder", codec->name);
        avcodec_free_context(&context);
        return nullptr;
    }
    M4_LOG(2, kSource, "stream %d: %s", stream->index, codec->name);
    std::unique_ptr<Decoder> decoder;
    if (parameters->codec_type == AVMEDIA_TYPE_VIDEO) {
        decoder = std::make_unique<VideoDecoder>(stream, context, state);
    } else if (parameters->codec_type == AVMEDIA_TYPE_AUDIO) {
        decoder = std::make_unique<AudioDecoder>(stream, context, state, nullptr);
    } else {
        avcodec_free_context(&context);
        return nullptr;
    }
    // A file's demuxer parses by itself.
    if (live) decoder->parser_ = LiveParser::Create(parameters);
    return decoder;
}

Decoder::Decoder(AVStream* stream, AVCodecContext* codec, PlaybackState* state, size_t queue_bytes,
                 size_t queue_packets)
    : stream_(stream), codec_(codec), state_(state), queue_(queue_bytes, queue_packets) {}

Decoder::~Decoder() {
    Stop();
    avcodec_free_context(&codec_);
}

void Decoder::Start() {
    thread_ = std::thread([this] {
        pthread_setname_np(pthread_self(),
                           codec_->codec_type == AVMEDIA_TYPE_VIDEO ? "m4video" : "m4audio");
        Run();
    });
}

void Decoder::Stop() {
    queue_.Abort();
    if (thread_.joinable()) thread_.join();
}

bool Decoder::Cancelled() const {
    return state_->abort.load() || serial_ != queue_.Serial();
}

void Decoder::StartSerial(uint64_t serial) {
    if (serial_ != UINT64_MAX) {
        if (avcodec_is_open(codec_)) avcodec_flush_buffers(codec_);
        FlushOwn();
        if (parser_ != nullptr) parser_->Reset();
    }
    serial_ = serial;
    generation_ = state_->generation.load();
    skip_until_ms_ = state_->skip_until_ms.load();
    first_after_flush_ = true;
    next_ms_ = INT64_MIN;
    drained_ = false;
}

void Decoder::Run() {
    AVFrame* frame = av_frame_alloc();
    if (frame == nullptr) return;
    AVPacket* packet = nullptr;
    uint64_t serial = 0;
    while (queue_.Get(&packet, &serial)) {
        if (serial != queue_.Serial()) {  // read before a flush: stale
            av_packet_free(&packet);
            continue;
        }
        if (serial != serial_) StartSerial(serial);
        if (packet == nullptr) {  // end of the input: drain what the parser and decoder hold
            if (parser_ != nullptr) parser_->Drain([&](AVPacket* unit) { Decode(unit, frame); });
            if (avcodec_is_open(codec_)) {
                avcodec_send_packet(codec_, nullptr);
                Receive(frame);
            }
            drained_ = true;
            continue;
        }
        if (parser_ != nullptr) {
            parser_->Parse(*packet, [&](AVPacket* unit) { Decode(unit, frame); });
            av_packet_free(&packet);
        } else {
            Decode(packet, frame);
        }
    }
    av_frame_free(&frame);
}

// Takes the packet.
void Decoder::Decode(AVPacket* packet, AVFrame* frame) {
    HandlePacket(*packet);
    if (DecodeOwn(*packet)) {
        av_packet_free(&packet);
        return;
    }
    // Broken input is the broadcast's business: the decoder skips what it cannot use.
    avcodec_send_packet(codec_, packet);
    av_packet_free(&packet);
    Receive(frame);
}

void Decoder::Receive(AVFrame* frame) {
    while (avcodec_receive_frame(codec_, frame) == 0) {
        if (!Cancelled()) HandleFrame(frame);
        av_frame_unref(frame);
    }
}

int64_t Decoder::FrameMs(const AVFrame* frame, int64_t duration_ms) {
    int64_t stamp = frame->best_effort_timestamp;
    if (stamp == AV_NOPTS_VALUE) stamp = frame->pts;
    int64_t ms;
    if (stamp != AV_NOPTS_VALUE) {
        ms = av_rescale_q(stamp, stream_->time_base, AVRational{1, 1000});
    } else {
        ms = next_ms_ != INT64_MIN ? next_ms_ : 0;
    }
    next_ms_ = ms + duration_ms;
    return ms;
}

bool Decoder::WaitForClock(int64_t ms) {
    MediaClock& clock = state_->clock;
    const bool follow_audio = state_->audio_master.load();
    if (state_->free_running) return !Cancelled();
    for (;;) {
        if (Cancelled()) return false;
        if (first_after_flush_) {
            // The first picture after a start or a seek shows at once.
            first_after_flush_ = false;
            clock.AnchorIfUnset(ms);
            return true;
        }
        int64_t wait_ms = kLongestWaitMs;
        if (!clock.Paused()) {
            if (clock.AnchorIfUnset(ms)) return true;
            const int64_t ahead = ms - clock.NowMs();
            if (ahead <= 0 || ahead > kResyncMs) {
                // Far off either way: the stream jumped. The audio device follows its own
                // samples; otherwise the clock follows the stream.
                if ((ahead > kResyncMs || ahead < -kResyncMs) && !follow_audio) clock.Anchor(ms);
                return true;
            }
            wait_ms = std::min(ahead, kLongestWaitMs);
        }
        std::unique_lock lock(state_->wake_mutex);
        if (Cancelled()) return false;
        state_->wake.wait_for(lock,
                              std::chrono::milliseconds(M4_RealMs(static_cast<uint32_t>(wait_ms))));
    }
}

void Decoder::NoteFrameShown() {
    if (!state_->first_frame_seen.exchange(true) && state_->on_first_frame) {
        state_->on_first_frame();
    }
}

}  // namespace koru::m4
