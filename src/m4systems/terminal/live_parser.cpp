#include "m4systems/terminal/live_parser.h"

#include <cstring>

extern "C" {
#include <libavcodec/avcodec.h>
}

#include "m4systems/log.h"

namespace koru::m4 {

namespace {

constexpr const char* kSource = "decoder";

// The byte after the first start code (00 00 01) of data, or null.
const uint8_t* AfterStartCode(const uint8_t* data, size_t size) {
    for (size_t i = 0; i + 3 < size; ++i) {
        if (data[i] == 0 && data[i + 1] == 0 && data[i + 2] == 1) return data + i + 3;
    }
    return nullptr;
}

bool WholeUnitsPossible(int codec_id) {
    return codec_id == AV_CODEC_ID_H264 || codec_id == AV_CODEC_ID_MPEG2VIDEO ||
           codec_id == AV_CODEC_ID_MPEG1VIDEO;
}

}  // namespace

bool BeginsAccessUnit(int codec_id, const uint8_t* data, size_t size) {
    if (data == nullptr) return false;
    const uint8_t* code = AfterStartCode(data, size);
    if (code == nullptr) return false;
    const size_t left = size - static_cast<size_t>(code - data);
    if (codec_id == AV_CODEC_ID_H264) {
        const int type = code[0] & 0x1F;
        if (type == 9 || type == 7 || type == 8 || type == 6) return true;
        // A slice whose first_mb_in_slice (ue(v), first bit 1 for 0) is the picture's first.
        if (type == 1 || type == 5) return left >= 2 && (code[1] & 0x80) != 0;
        return false;
    }
    // MPEG-1/2 video: sequence header, GOP or picture start code.
    return code[0] == 0xB3 || code[0] == 0xB8 || code[0] == 0x00;
}

std::unique_ptr<LiveParser> LiveParser::Create(const AVCodecParameters* parameters) {
    // AAC with its AudioSpecificConfig comes as raw frames, one a packet: nothing to cut.
    if (parameters->codec_id == AV_CODEC_ID_AAC && parameters->extradata_size > 0) return nullptr;
    AVCodecContext* context = avcodec_alloc_context3(nullptr);
    if (context == nullptr) return nullptr;
    if (avcodec_parameters_to_context(context, parameters) < 0) {
        avcodec_free_context(&context);
        return nullptr;
    }
    std::unique_ptr<LiveParser> parser(
        new LiveParser(context, parameters->codec_type == AVMEDIA_TYPE_VIDEO));
    if (!parser->Open()) return nullptr;
    return parser;
}

LiveParser::LiveParser(AVCodecContext* context, bool video)
    : context_(context),
      video_(video),
      parsing_(!video || !WholeUnitsPossible(context->codec_id)) {}

LiveParser::~LiveParser() {
    av_parser_close(parser_);
    avcodec_free_context(&context_);
}

bool LiveParser::Open() {
    av_parser_close(parser_);
    parser_ = av_parser_init(context_->codec_id);
    return parser_ != nullptr;
}

void LiveParser::Reset() {
    if (!Open()) M4_LOG(1, kSource, "the parser of codec %d cannot restart", context_->codec_id);
    parsing_ = !video_ || !WholeUnitsPossible(context_->codec_id);
}

void LiveParser::Parse(const AVPacket& packet, const Sink& sink) {
    if (parser_ == nullptr) return;
    if (!parsing_) {
        const bool whole =
            packet.pts != AV_NOPTS_VALUE &&
            BeginsAccessUnit(context_->codec_id, packet.data, static_cast<size_t>(packet.size));
        if (whole) {
            AVPacket* copy = av_packet_clone(&packet);
            if (copy != nullptr) sink(copy);
            return;
        }
        parsing_ = true;
        M4_LOG(2, kSource, "video packets do not hold whole pictures: parsing them");
    }
    Feed(packet.data, packet.size, packet.pts, packet.dts, packet.pos, sink);
}

void LiveParser::Drain(const Sink& sink) {
    if (parser_ != nullptr && parsing_) Feed(nullptr, 0, AV_NOPTS_VALUE, AV_NOPTS_VALUE, -1, sink);
}

void LiveParser::Feed(const uint8_t* data, int size, int64_t pts, int64_t dts, int64_t pos,
                      const Sink& sink) {
    const bool draining = data == nullptr;
    do {
        uint8_t* out = nullptr;
        int out_size = 0;
        const int used =
            av_parser_parse2(parser_, context_, &out, &out_size, data, size, pts, dts, pos);
        if (used < 0) return;
        if (!draining) {
            data += used;
            size -= used;
        }
        // The time stamps belong to the frame that starts in this packet.
        pts = dts = AV_NOPTS_VALUE;
        if (out_size <= 0) {
            if (draining || used == 0) return;
            continue;
        }
        AVPacket* frame = av_packet_alloc();
        if (frame == nullptr || av_new_packet(frame, out_size) < 0) {
            av_packet_free(&frame);
            return;
        }
        std::memcpy(frame->data, out, static_cast<size_t>(out_size));
        frame->pts = parser_->pts;
        frame->dts = parser_->dts;
        if (parser_->key_frame == 1) frame->flags |= AV_PKT_FLAG_KEY;
        sink(frame);
    } while (draining || size > 0);
}

}  // namespace koru::m4
