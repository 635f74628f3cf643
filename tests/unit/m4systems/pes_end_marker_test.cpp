#include "m4systems/terminal/pes_end_marker.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>
#include <tuple>
#include <vector>

extern "C" {
#include <libavformat/avformat.h>
}

#include "support/temp_dir.h"

namespace koru::m4 {
namespace {

using Bytes = std::vector<uint8_t>;
constexpr size_t kPacket = PesEndMarker::kPacket;

// A transport packet: adaptation field of `field` bytes (after its length byte) when given,
// payload filled with `fill` after an optional PES header of stream `stream_id`.
Bytes Packet(int pid, int cc, bool pes_start, const Bytes& field, int stream_id = -1,
             uint8_t fill = 0x11) {
    Bytes p(kPacket, fill);
    p[0] = 0x47;
    p[1] = static_cast<uint8_t>((pes_start ? 0x40 : 0) | (pid >> 8));
    p[2] = static_cast<uint8_t>(pid & 0xFF);
    p[3] = static_cast<uint8_t>((field.empty() ? 0x10 : 0x30) | cc);
    size_t at = 4;
    if (!field.empty()) {
        p[4] = static_cast<uint8_t>(field.size());
        std::copy(field.begin(), field.end(), p.begin() + 5);
        at = 5 + field.size();
    }
    if (stream_id >= 0) {
        const uint8_t header[] = {0, 0, 1, static_cast<uint8_t>(stream_id), 0, 0, 0x80, 0, 0};
        std::copy(std::begin(header), std::end(header), p.begin() + static_cast<long>(at));
    }
    return p;
}

Bytes Stuffing(size_t bytes) {
    Bytes field(bytes, 0xFF);
    field[0] = 0x00;  // no flags
    return field;
}

Bytes Join(const std::vector<Bytes>& packets) {
    Bytes out;
    for (const Bytes& p : packets)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

Bytes MarkAll(PesEndMarker& marker, const Bytes& in, size_t piece) {
    Bytes out;
    for (size_t at = 0; at < in.size(); at += piece) {
        marker.Process(in.data() + at, std::min(piece, in.size() - at), &out);
    }
    return out;
}

TEST(PesEndMarker, EndsAVideoPesAtItsStuffedLastPacket) {
    const Bytes pcr_only = {0x10, 1, 2, 3, 4, 5, 6};  // a PCR, no stuffing: not an end
    const Bytes video_start = Packet(0x100, 3, true, {}, 0xE0);
    const Bytes video_middle = Packet(0x100, 4, false, pcr_only);
    const Bytes video_last = Packet(0x100, 5, false, Stuffing(40));
    const Bytes audio_start = Packet(0x101, 7, true, {}, 0xC0);
    const Bytes audio_last = Packet(0x101, 8, false, Stuffing(20));
    const Bytes in = Join({video_start, video_middle, audio_start, audio_last, video_last});

    PesEndMarker marker;
    const Bytes out = MarkAll(marker, in, 100);  // pieces that cut packets
    ASSERT_EQ(out.size(), in.size() + kPacket);
    EXPECT_TRUE(std::equal(in.begin(), in.end(), out.begin()));
    const uint8_t* added = out.data() + in.size();
    EXPECT_EQ(added[0], 0x47);
    EXPECT_EQ(added[1], 0x41);  // starts a PES on 0x100
    EXPECT_EQ(added[2], 0x00);
    EXPECT_EQ(added[3], 0x30 | 5);     // the counter of the packet it follows
    EXPECT_EQ(added[5], 0x80);         // discontinuity indicator
    EXPECT_EQ(added[4] + 5 + 9, 188);  // stuffing up to an empty PES header
    EXPECT_EQ(Bytes(added + 179, added + 188), (Bytes{0, 0, 1, 0xE0, 0, 0, 0x80, 0, 0}));
}

TEST(PesEndMarker, PassesAnythingElseUnchanged) {
    PesEndMarker marker;
    const Bytes video_start = Packet(0x100, 0, true, {}, 0xE0);
    // Out of step, then a packet whose stuffing is not all 0xFF, then a partial packet.
    Bytes odd = {1, 2, 3};
    Bytes not_stuffing = Stuffing(30);
    not_stuffing[10] = 0x00;
    const Bytes in =
        Join({odd, video_start, Packet(0x100, 1, false, not_stuffing), Bytes(50, 0x47)});
    Bytes out = MarkAll(marker, in, 1000);
    marker.Stop(&out);
    EXPECT_EQ(out, in);
    // Stopped, even a stuffed end passes alone.
    Bytes after;
    const Bytes last = Packet(0x100, 2, false, Stuffing(40));
    marker.Process(last.data(), last.size(), &after);
    EXPECT_EQ(after, last);
}

// Reads the packets FFmpeg's demuxer (as the terminal opens live inputs: no parser) makes of
// a transport stream in memory: stream, time stamp and bytes of each.
std::vector<std::tuple<int, int64_t, std::string>> Demux(const Bytes& ts) {
    struct Input {
        const Bytes* bytes;
        size_t at = 0;
    } input{&ts};
    auto read = [](void* opaque, uint8_t* buffer, int size) -> int {
        auto* in = static_cast<Input*>(opaque);
        const size_t n = std::min(static_cast<size_t>(size), in->bytes->size() - in->at);
        if (n == 0) return AVERROR_EOF;
        std::memcpy(buffer, in->bytes->data() + in->at, n);
        in->at += n;
        return static_cast<int>(n);
    };
    std::vector<std::tuple<int, int64_t, std::string>> packets;
    auto* buffer = static_cast<uint8_t*>(av_malloc(32768));
    AVIOContext* io = avio_alloc_context(buffer, 32768, 0, &input, read, nullptr, nullptr);
    AVFormatContext* format = avformat_alloc_context();
    format->pb = io;
    format->flags |= AVFMT_FLAG_CUSTOM_IO | AVFMT_FLAG_NOPARSE;
    if (avformat_open_input(&format, nullptr, av_find_input_format("mpegts"), nullptr) == 0) {
        AVPacket* packet = av_packet_alloc();
        while (av_read_frame(format, packet) >= 0) {
            packets.emplace_back(packet->stream_index, packet->pts,
                                 std::string(reinterpret_cast<char*>(packet->data),
                                             static_cast<size_t>(packet->size)));
            av_packet_unref(packet);
        }
        av_packet_free(&packet);
    }
    avformat_close_input(&format);
    av_freep(&io->buffer);
    avio_context_free(&io);
    return packets;
}

using Demuxed = std::vector<std::tuple<int, int64_t, std::string>>;

std::map<int, Demuxed> PerStream(const Demuxed& packets) {
    std::map<int, Demuxed> streams;
    for (const auto& packet : packets)
        streams[std::get<0>(packet)].push_back(packet);
    return streams;
}

TEST(PesEndMarker, FfmpegDemuxesTheSamePacketsFromAMarkedStream) {
    av_log_set_level(AV_LOG_QUIET);
    const std::string media = koru::test::ReadFile(std::string(KORU_TEST_MEDIA_DIR) + "/tv10.ts");
    const Bytes raw(media.begin(), media.end());
    PesEndMarker marker;
    const Bytes marked = MarkAll(marker, raw, 4096);
    ASSERT_GT(marked.size(), raw.size() + 100 * kPacket);  // most pictures got their end
    const auto expected = Demux(raw);
    ASSERT_GT(expected.size(), 150u);
    // Pictures come out earlier, so the streams interleave differently; each stream's own
    // packets are the same.
    EXPECT_TRUE(PerStream(Demux(marked)) == PerStream(expected));
}

}  // namespace
}  // namespace koru::m4
