#include "m4systems/terminal/m4a_writer.h"

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/mem.h>
#include <libavutil/opt.h>
}

#include "dab/mpeg4_systems.h"
#include "m4systems/log.h"

namespace koru::m4 {

namespace {

constexpr const char* kSource = "recorder";
constexpr int kIoBufferBytes = 64 * 1024;
constexpr const char* kFragmentMicroseconds = "1000000";
constexpr int kRates[] = {96000, 88200, 64000, 48000, 44100, 32000, 24000,
                          22050, 16000, 12000, 11025, 8000,  7350};

int RateOf(int index) {
    return index >= 0 && index < static_cast<int>(std::size(kRates)) ? kRates[index] : 0;
}

}  // namespace

M4aWriter::M4aWriter(Output output) : output_(std::move(output)), packet_(av_packet_alloc()) {}

M4aWriter::~M4aWriter() {
    Abandon();
    av_packet_free(&packet_);
}

int M4aWriter::WriteOut(void* opaque, uint8_t* data, int size) {
    auto* writer = static_cast<M4aWriter*>(opaque);
    if (writer->failed_ || size < 0) return AVERROR(EIO);
    if (!writer->output_(data, static_cast<size_t>(size))) {
        writer->failed_ = true;
        return AVERROR(EIO);
    }
    return size;
}

bool M4aWriter::Begin(const std::vector<uint8_t>& config) {
    const auto parsed = dab::ParseAudioSpecificConfig(config);
    const int core = parsed ? RateOf(parsed->rate_index) : 0;
    if (!parsed || core == 0 || parsed->channel_configuration == 0) {
        M4_LOG(1, kSource, "DAB+ audio config not understood: nothing recorded");
        failed_ = true;
        return false;
    }
    const int rate = parsed->output_rate_index >= 0 ? RateOf(parsed->output_rate_index) : core;
    const int frame = parsed->frame_length_960 ? 960 : 1024;
    unit_duration_ = int64_t{frame} * rate / core;
    // Parametric stereo plays a mono core as stereo.
    const int channels = parsed->signalled_type == 29 ? 2 : parsed->channel_configuration;

    if (avformat_alloc_output_context2(&format_, nullptr, "mp4", nullptr) < 0) return false;
    auto* buffer = static_cast<uint8_t*>(av_malloc(kIoBufferBytes));
    io_ = buffer != nullptr ? avio_alloc_context(buffer, kIoBufferBytes, 1, this, nullptr,
                                                 &M4aWriter::WriteOut, nullptr)
                            : nullptr;
    if (io_ == nullptr) {
        av_free(buffer);
        return false;
    }
    format_->pb = io_;
    format_->flags |= AVFMT_FLAG_CUSTOM_IO;
    AVStream* stream = avformat_new_stream(format_, nullptr);
    if (stream == nullptr) return false;
    AVCodecParameters* parameters = stream->codecpar;
    parameters->codec_type = AVMEDIA_TYPE_AUDIO;
    parameters->codec_id = AV_CODEC_ID_AAC;
    parameters->sample_rate = rate;
    parameters->frame_size = static_cast<int>(unit_duration_);
    av_channel_layout_default(&parameters->ch_layout, channels);
    parameters->extradata =
        static_cast<uint8_t*>(av_mallocz(config.size() + AV_INPUT_BUFFER_PADDING_SIZE));
    if (parameters->extradata == nullptr) return false;
    std::copy(config.begin(), config.end(), parameters->extradata);
    parameters->extradata_size = static_cast<int>(config.size());
    stream->time_base = AVRational{1, rate};
    AVDictionary* options = nullptr;
    av_dict_set(&options, "movflags", "+empty_moov+default_base_moof", 0);
    av_dict_set(&options, "frag_duration", kFragmentMicroseconds, 0);
    const int result = avformat_write_header(format_, &options);
    av_dict_free(&options);
    if (result < 0) {
        M4_LOG(1, kSource, "the MPEG-4 audio file cannot be begun (%d)", result);
        failed_ = true;
        return false;
    }
    config_ = config;
    M4_LOG(2, kSource, "DAB+ recording: MPEG-4 audio, %d Hz, %d channels, %lld samples a unit",
           rate, channels, static_cast<long long>(unit_duration_));
    return true;
}

void M4aWriter::Write(const uint8_t* data, size_t length) {
    if (failed_ || data == nullptr) return;
    pending_.insert(pending_.end(), data, data + length);
    size_t at = 0;
    while (!failed_ && pending_.size() - at >= dab::kLoasHeaderBytes) {
        const std::span<const uint8_t> rest(pending_.data() + at, pending_.size() - at);
        const size_t frame = dab::LoasFrameLength(rest);
        if (frame == 0) {
            ++at;  // not in step with the frames: on to the next sync word
            continue;
        }
        if (frame > rest.size()) break;
        const auto unit = reader_.Read(rest.first(frame));
        at += frame;
        if (!unit) continue;
        if (format_ == nullptr) {
            if (!Begin(reader_.config())) {
                Abandon();
                failed_ = true;
                break;
            }
        } else if (reader_.config() != config_ && !changed_logged_) {
            changed_logged_ = true;
            M4_LOG(1, kSource, "the DAB+ audio changed its format during the recording");
        }
        WriteUnit(*unit);
    }
    pending_.erase(pending_.begin(), pending_.begin() + static_cast<long>(at));
}

void M4aWriter::WriteUnit(const std::vector<uint8_t>& unit) {
    if (av_new_packet(packet_, static_cast<int>(unit.size())) < 0) return;
    std::copy(unit.begin(), unit.end(), packet_->data);
    packet_->stream_index = 0;
    packet_->pts = packet_->dts = next_pts_;
    packet_->duration = unit_duration_;
    packet_->flags |= AV_PKT_FLAG_KEY;
    next_pts_ += unit_duration_;
    if (av_write_frame(format_, packet_) < 0 && !failed_) {
        M4_LOG(1, kSource, "a unit could not be recorded");
    }
    av_packet_unref(packet_);
    ++units_;
}

bool M4aWriter::Finish() {
    bool ok = !failed_;
    if (format_ != nullptr && !failed_) {
        ok = av_write_trailer(format_) >= 0 && !failed_;
        avio_flush(io_);
        ok = ok && !failed_;
    }
    Abandon();
    return ok;
}

void M4aWriter::Abandon() {
    if (format_ != nullptr) {
        avformat_free_context(format_);
        format_ = nullptr;
    }
    if (io_ != nullptr) {
        av_freep(&io_->buffer);
        avio_context_free(&io_);
    }
}

}  // namespace koru::m4
