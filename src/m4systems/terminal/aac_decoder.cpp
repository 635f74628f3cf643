#include "m4systems/terminal/aac_decoder.h"

#include <neaacdec.h>

#include <algorithm>
#include <cstring>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/channel_layout.h>
#include <libavutil/frame.h>
}

#include "dab/mpeg4_systems.h"
#include "dab/superframe.h"
#include "m4systems/log.h"

namespace koru::m4 {

namespace {

constexpr const char* kSource = "decoder";
constexpr int kRates[] = {96000, 88200, 64000, 48000, 44100, 32000, 24000,
                          22050, 16000, 12000, 11025, 8000,  7350};

int RateOf(int index) {
    return index >= 0 && index < static_cast<int>(std::size(kRates)) ? kRates[index] : 0;
}

NeAACDecHandle Handle(void* handle) {
    return static_cast<NeAACDecHandle>(handle);
}

}  // namespace

std::unique_ptr<AacDecoder> AacDecoder::ForStream(const AVCodecParameters* parameters,
                                                  bool dab_plus_input) {
    if (parameters->codec_id == AV_CODEC_ID_AAC_LATM && dab_plus_input) {
        return std::make_unique<AacDecoder>(true, std::vector<uint8_t>());
    }
    if (parameters->codec_id != AV_CODEC_ID_AAC || parameters->extradata_size <= 0) return nullptr;
    std::vector<uint8_t> config(parameters->extradata,
                                parameters->extradata + parameters->extradata_size);
    const auto parsed = dab::ParseAudioSpecificConfig(config);
    if (!parsed || !parsed->frame_length_960) return nullptr;
    return std::make_unique<AacDecoder>(false, std::move(config));
}

AacDecoder::AacDecoder(bool loas, std::vector<uint8_t> config)
    : loas_(loas), frame_(av_frame_alloc()) {
    if (!loas_) Open(config);
}

AacDecoder::~AacDecoder() {
    Close();
    av_frame_free(&frame_);
}

bool AacDecoder::Open(const std::vector<uint8_t>& config) {
    Close();
    config_ = config;
    NeAACDecHandle handle = NeAACDecOpen();
    if (handle == nullptr) return false;
    NeAACDecConfigurationPtr settings = NeAACDecGetCurrentConfiguration(handle);
    settings->outputFormat = FAAD_FMT_FLOAT;
    settings->downMatrix = 0;
    NeAACDecSetConfiguration(handle, settings);
    unsigned long rate = 0;
    unsigned char channels = 0;
    std::vector<uint8_t> copy = config;  // libfaad takes a non-const buffer
    if (copy.empty() || NeAACDecInit2(handle, copy.data(), static_cast<unsigned long>(copy.size()),
                                      &rate, &channels) != 0) {
        M4_LOG(1, kSource, "AAC config of %zu bytes not taken by the decoder", config.size());
        NeAACDecClose(handle);
        return false;
    }
    handle_ = handle;
    rate_ = static_cast<int>(rate);
    channels_ = channels;
    // Until a unit decodes, a lost one lasts a frame of the core scaled to the output rate.
    const auto parsed = dab::ParseAudioSpecificConfig(config);
    const int frame = parsed && parsed->frame_length_960 ? dab::kDabPlusFrameSamples : 1024;
    const int core = parsed ? RateOf(parsed->rate_index) : 0;
    unit_samples_ = core > 0 ? static_cast<int>(int64_t{frame} * rate_ / core) : frame;
    M4_LOG(2, kSource, "AAC through libfaad: %d Hz, %d channels, %d samples a unit", rate_,
           channels_, unit_samples_);
    return true;
}

void AacDecoder::Close() {
    if (handle_ != nullptr) NeAACDecClose(Handle(handle_));
    handle_ = nullptr;
}

void AacDecoder::Flush() {
    pending_.clear();
    if (loas_) {
        Close();
        config_.clear();
        reader_.Reset();
    } else if (handle_ != nullptr) {
        NeAACDecPostSeekReset(Handle(handle_), 0);
    }
}

void AacDecoder::Decode(const AVPacket& packet, const FrameSink& frames, const PadSink& pad) {
    if (packet.data == nullptr || packet.size <= 0) return;
    const std::span<const uint8_t> bytes(packet.data, static_cast<size_t>(packet.size));
    if (loas_) {
        DecodeLoas(bytes, packet.pts, frames, pad);
        return;
    }
    int64_t pts = packet.pts;
    DecodeUnit(bytes, &pts, frames, pad);
}

void AacDecoder::DecodeLoas(std::span<const uint8_t> bytes, int64_t pts, const FrameSink& frames,
                            const PadSink& pad) {
    pending_.insert(pending_.end(), bytes.begin(), bytes.end());
    size_t at = 0;
    while (pending_.size() - at >= dab::kLoasHeaderBytes) {
        const std::span<const uint8_t> rest(pending_.data() + at, pending_.size() - at);
        const size_t length = dab::LoasFrameLength(rest);
        if (length == 0) {  // no frame here: on to the next sync word
            if (counts_.bad_frames++ == 0) M4_LOG(2, kSource, "LOAS bytes without sync skipped");
            ++at;
            continue;
        }
        if (length > rest.size()) break;
        const auto unit = reader_.Read(rest.first(length));
        at += length;
        if (!unit) {
            ++counts_.bad_frames;
            continue;
        }
        if (reader_.config() != config_) Open(reader_.config());
        DecodeUnit(*unit, &pts, frames, pad);
    }
    pending_.erase(pending_.begin(), pending_.begin() + static_cast<long>(at));
}

void AacDecoder::DecodeUnit(std::span<const uint8_t> unit, int64_t* pts, const FrameSink& frames,
                            const PadSink& pad) {
    ++counts_.units;
    if (dab::IsEmptyAccessUnit(unit)) {
        ++counts_.lost;
        Emit(nullptr, unit_samples_, pts, frames);
        return;
    }
    if (const std::optional<dab::PadFrame> frame_pad = dab::PadOfAccessUnit(unit); frame_pad) {
        if (pad) pad(*frame_pad);
    }
    if (handle_ == nullptr) {
        ++counts_.failed;
        return;
    }
    NeAACDecFrameInfo info{};
    std::vector<uint8_t> copy(unit.begin(), unit.end());
    auto* samples = static_cast<float*>(NeAACDecDecode(Handle(handle_), &info, copy.data(),
                                                       static_cast<unsigned long>(copy.size())));
    if (info.error != 0 || samples == nullptr) {
        if (counts_.failed++ == 0) {
            M4_LOG(2, kSource, "AAC unit not decoded: %s", NeAACDecGetErrorMessage(info.error));
        }
        Emit(nullptr, unit_samples_, pts, frames);
        return;
    }
    if (info.channels == 0 || info.samples == 0) return;  // the decoder's start-up delay
    if (info.sbr != 0) ++counts_.sbr_frames;
    if (info.ps != 0) ++counts_.ps_frames;
    rate_ = static_cast<int>(info.samplerate);
    channels_ = info.channels;
    unit_samples_ = static_cast<int>(info.samples / info.channels);
    Emit(samples, unit_samples_, pts, frames);
}

// samples null: silence.
void AacDecoder::Emit(const float* samples, int frames_per_channel, int64_t* pts,
                      const FrameSink& sink) {
    if (rate_ <= 0 || channels_ <= 0 || frames_per_channel <= 0) return;
    av_frame_unref(frame_);
    frame_->format = AV_SAMPLE_FMT_FLT;
    frame_->sample_rate = rate_;
    frame_->nb_samples = frames_per_channel;
    av_channel_layout_default(&frame_->ch_layout, channels_);
    if (av_frame_get_buffer(frame_, 0) < 0) return;
    const size_t bytes =
        sizeof(float) * static_cast<size_t>(frames_per_channel) * static_cast<size_t>(channels_);
    if (samples != nullptr) {
        std::memcpy(frame_->data[0], samples, bytes);
    } else {
        std::memset(frame_->data[0], 0, bytes);
    }
    frame_->pts = *pts;
    frame_->best_effort_timestamp = *pts;
    *pts = AV_NOPTS_VALUE;  // the next units continue from this one
    sink(frame_);
    av_frame_unref(frame_);
}

}  // namespace koru::m4
