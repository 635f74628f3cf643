// Cuts a live transport stream's packets into whole frames for the decoder. The live input
// reads the stream without FFmpeg's parsers, so each packet is one PES packet: a picture
// leaves the demuxer as soon as its bytes are in, instead of a frame later. A PES packet need
// not hold whole frames, though (ISO/IEC 13818-1 lets a frame run on into the next one, and
// broadcast muxers cut audio that way), so:
// - audio always goes through the codec's parser (ADTS, LATM and MPEG audio frames carry
//   their own length or sync, so a frame comes out as soon as it is complete);
// - video goes through unchanged while every packet begins an access unit and has a time
//   stamp; the first packet that continues an access unit, or comes without a time stamp,
//   hands the stream to the parser for good.
#ifndef M4SYSTEMS_TERMINAL_LIVE_PARSER_H
#define M4SYSTEMS_TERMINAL_LIVE_PARSER_H

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>

#include "m4systems/m4_types.h"

struct AVCodecContext;
struct AVCodecParameters;
struct AVCodecParserContext;
struct AVPacket;

namespace koru::m4 {

class M4_INTERNAL LiveParser {
  public:
    using Sink = std::function<void(AVPacket*)>;

    // A parser for the stream's codec; null when FFmpeg has none for it.
    static std::unique_ptr<LiveParser> Create(const AVCodecParameters* parameters);
    ~LiveParser();
    LiveParser(const LiveParser&) = delete;
    LiveParser& operator=(const LiveParser&) = delete;

    // Hands each whole frame made from packet to sink (the packets sink gets are its own).
    void Parse(const AVPacket& packet, const Sink& sink);
    // The end of the input: what the parser still holds.
    void Drain(const Sink& sink);
    // A flush: what the parser holds is dropped; video passes unchanged again until shown
    // otherwise.
    void Reset();
    bool Parsing() const { return parsing_; }

  private:
    LiveParser(AVCodecContext* context, bool video);
    bool Open();
    void Feed(const uint8_t* data, int size, int64_t pts, int64_t dts, int64_t pos,
              const Sink& sink);

    AVCodecContext* context_;
    AVCodecParserContext* parser_ = nullptr;
    const bool video_;
    bool parsing_;
};

// Whether an H.264 or MPEG-2 video packet begins an access unit: its first start code opens
// an access unit delimiter, a sequence or parameter set, an SEI, a GOP or picture header, or
// the first slice of a picture.
M4_INTERNAL bool BeginsAccessUnit(int codec_id, const uint8_t* data, size_t size);

}  // namespace koru::m4

#endif
