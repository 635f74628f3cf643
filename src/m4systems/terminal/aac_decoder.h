// The terminal's AAC decoder for what FFmpeg's does not play: AAC frames of 960 samples, as
// DAB+ sends them, with SBR (HE-AAC) and parametric stereo (HE-AAC v2). FFmpeg 5.1 decodes
// 960-sample frames of AAC LC but leaves SBR out of them (and with it PS), so HE-AAC would play
// at half its rate and without its upper band; libfaad decodes them whole.
//
// It takes LOAS (FFmpeg's AAC_LATM: the live DAB+ input of the receiver plug-in, a frame a
// unit with the config in it) and raw AAC units whose AudioSpecificConfig tells 960-sample
// frames (".m4a" recordings of DAB+). An empty unit (only the END element) stands for one the
// receiver lost and plays as silence of one unit; a unit that does not decode does too. The
// PAD of each unit (a data stream element at its start) goes to the PAD sink before the unit
// is decoded.
#ifndef M4SYSTEMS_TERMINAL_AAC_DECODER_H
#define M4SYSTEMS_TERMINAL_AAC_DECODER_H

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <vector>

#include "dab/loas.h"
#include "dab/xpad.h"
#include "m4systems/m4_types.h"

struct AVCodecParameters;
struct AVFrame;
struct AVPacket;

namespace koru::m4 {

class M4_INTERNAL AacDecoder {
  public:
    // A frame of interleaved float samples; the frame is unreferenced after the call.
    using FrameSink = std::function<void(AVFrame*)>;
    using PadSink = std::function<void(const dab::PadFrame&)>;
    struct Counts {
        uint64_t units = 0;
        uint64_t lost = 0;        // empty units: silence
        uint64_t failed = 0;      // units that did not decode: silence
        uint64_t sbr_frames = 0;  // decoded with SBR
        uint64_t ps_frames = 0;   // decoded with parametric stereo
        uint64_t bad_frames = 0;  // LOAS bytes that were no frame, skipped
    };

    // The decoder for a stream that FFmpeg's would not play whole, else null: raw units of
    // 960 samples, and with dab_plus_input (the receiver's live DAB+ audio) LOAS.
    static std::unique_ptr<AacDecoder> ForStream(const AVCodecParameters* parameters,
                                                 bool dab_plus_input);
    // LOAS input (loas), or raw units with this AudioSpecificConfig.
    AacDecoder(bool loas, std::vector<uint8_t> config);
    ~AacDecoder();
    AacDecoder(const AacDecoder&) = delete;
    AacDecoder& operator=(const AacDecoder&) = delete;

    // One packet: LOAS bytes in any pieces, or one raw unit. Its time stamp (the packet's pts)
    // goes to the first frame it gives.
    void Decode(const AVPacket& packet, const FrameSink& frames, const PadSink& pad);
    // A flush (seek, resume at live): what is held is dropped, the decoder starts afresh.
    void Flush();

    const Counts& counts() const { return counts_; }
    int sample_rate() const { return rate_; }
    int channels() const { return channels_; }

  private:
    void DecodeLoas(std::span<const uint8_t> bytes, int64_t pts, const FrameSink& frames,
                    const PadSink& pad);
    void DecodeUnit(std::span<const uint8_t> unit, int64_t* pts, const FrameSink& frames,
                    const PadSink& pad);
    bool Open(const std::vector<uint8_t>& config);
    void Close();
    void Emit(const float* samples, int frames_per_channel, int64_t* pts, const FrameSink& sink);

    const bool loas_;
    std::vector<uint8_t> config_;
    void* handle_ = nullptr;  // NeAACDecHandle
    int rate_ = 0;
    int channels_ = 0;
    int unit_samples_ = 0;  // per channel, of the last unit that decoded
    dab::LoasReader reader_;
    std::vector<uint8_t> pending_;  // LOAS bytes short of a whole frame
    AVFrame* frame_ = nullptr;
    Counts counts_;
};

}  // namespace koru::m4

#endif
