#include "tools/mkens/tv_variants.h"

#include <algorithm>
#include <stdexcept>

#include "dab/bits.h"
#include "dab/transport_stream.h"

namespace koru::mkens {
namespace {

using namespace dab;

constexpr uint8_t kPatTable = 0x00;
constexpr uint8_t kPmtTable = 0x02;
constexpr uint8_t kSectionTable14496 = 0x05;
constexpr uint8_t kStreamTypeSl = 0x12;
constexpr uint8_t kStreamTypeSections = 0x13;
constexpr uint8_t kSlStreamId = 0xFA;  // ISO/IEC 14496-1 SL-packetized stream
constexpr int kScenePid = 0x110;
constexpr int kObjectDescriptorPid = 0x111;
constexpr uint16_t kSceneEsId = 1, kObjectDescriptorEsId = 2, kVideoEsId = 3, kAudioEsId = 4;
constexpr int kRepeatPackets = 300;  // the OD and scene sections, about every second
constexpr size_t kStraddlePayload = 2 * (kTsPacketSize - 4) - 14;

struct Program {
    int pmt_pid = -1;
    int pcr_pid = -1;
    int video_pid = -1;
    int audio_pid = -1;
    uint16_t program_number = 1;
};

Program ReadProgram(const std::vector<uint8_t>& ts) {
    Program program;
    const std::vector<uint8_t> pat = ReadSection(ts, 0, kPatTable);
    if (pat.size() < 16) throw std::runtime_error("the transport stream has no PAT");
    program.program_number = static_cast<uint16_t>((pat[8] << 8) | pat[9]);
    program.pmt_pid = ((pat[10] & 0x1F) << 8) | pat[11];
    const std::vector<uint8_t> pmt = ReadSection(ts, program.pmt_pid, kPmtTable);
    if (pmt.size() < 16) throw std::runtime_error("the transport stream has no PMT");
    program.pcr_pid = ((pmt[8] & 0x1F) << 8) | pmt[9];
    size_t at = 12 + (((pmt[10] & 0x0F) << 8) | pmt[11]);
    while (at + 5 <= pmt.size() - 4) {
        const uint8_t type = pmt[at];
        const int pid = ((pmt[at + 1] & 0x1F) << 8) | pmt[at + 2];
        if (type == 0x1B) program.video_pid = pid;
        if (type == 0x0F) program.audio_pid = pid;
        at += 5 + (((pmt[at + 3] & 0x0F) << 8) | pmt[at + 4]);
    }
    if (program.video_pid < 0 || program.audio_pid < 0) {
        throw std::runtime_error("the transport stream lacks H.264 video or ADTS audio");
    }
    return program;
}

// An ADTS frame at p: its length and header length, 0 when none.
size_t AdtsFrame(const uint8_t* p, size_t left, size_t* header) {
    if (left < 7 || p[0] != 0xFF || (p[1] & 0xF6) != 0xF0) return 0;
    *header = (p[1] & 0x01) ? 7 : 9;
    const size_t length =
        (static_cast<size_t>(p[3] & 0x03) << 11) | (size_t{p[4]} << 3) | (p[5] >> 5);
    return length >= *header && length <= left ? length : 0;
}

int AdtsSampleRate(const uint8_t* p) {
    static const int kRates[] = {96000, 88200, 64000, 48000, 44100, 32000, 24000,
                                 22050, 16000, 12000, 11025, 8000,  7350};
    const int index = (p[2] >> 2) & 0x0F;
    return index < 13 ? kRates[index] : 48000;
}

struct Frame {
    int64_t pts;
    size_t start;  // in the elementary stream
    size_t header;
    size_t length;
};

// The audio's ADTS frames with their time stamps, and the stream they make.
std::vector<Frame> AudioFrames(const std::vector<Pes>& pes, int pid, std::vector<uint8_t>* es) {
    std::vector<Frame> frames;
    for (const Pes& p : pes) {
        if (p.pid != pid) continue;
        int64_t pts = p.pts;
        for (size_t at = 0; at < p.payload.size();) {
            size_t header = 0;
            const size_t length = AdtsFrame(&p.payload[at], p.payload.size() - at, &header);
            if (length == 0) break;
            frames.push_back({pts, es->size() + at, header, length});
            if (pts != kNoTime) pts += 1024 * 90000 / AdtsSampleRate(&p.payload[at]);
            at += length;
        }
        es->insert(es->end(), p.payload.begin(), p.payload.end());
    }
    return frames;
}

bool HasIdrSlice(const std::vector<uint8_t>& unit) {
    for (size_t i = 0; i + 3 < unit.size(); ++i) {
        if (unit[i] == 0 && unit[i + 1] == 0 && unit[i + 2] == 1 && (unit[i + 3] & 0x1F) == 5) {
            return true;
        }
    }
    return false;
}

// ISO/IEC 14496-1 descriptor: tag, size (one byte below 128, else four), body.
std::vector<uint8_t> Descriptor(uint8_t tag, const std::vector<uint8_t>& body) {
    std::vector<uint8_t> out = {tag};
    const size_t n = body.size();
    if (n < 0x80) {
        out.push_back(static_cast<uint8_t>(n));
    } else {
        out.push_back(static_cast<uint8_t>(0x80 | ((n >> 21) & 0x7F)));
        out.push_back(static_cast<uint8_t>(0x80 | ((n >> 14) & 0x7F)));
        out.push_back(static_cast<uint8_t>(0x80 | ((n >> 7) & 0x7F)));
        out.push_back(static_cast<uint8_t>(n & 0x7F));
    }
    out.insert(out.end(), body.begin(), body.end());
    return out;
}

void Append(std::vector<uint8_t>* out, const std::vector<uint8_t>& more) {
    out->insert(out->end(), more.begin(), more.end());
}

// SL configuration of every stream: access unit start and end flags, random access flag,
// composition time stamps of 33 bits at 90 kHz; nothing else.
std::vector<uint8_t> SlConfig() {
    return Descriptor(0x06,
                      {0x00, 0xE4, 0x00, 0x01, 0x5F, 0x90, 0, 0, 0, 0, 33, 0, 0, 0, 0x00, 0x03});
}

std::vector<uint8_t> EsDescriptor(uint16_t es_id, uint8_t object_type, uint8_t stream_type,
                                  const std::vector<uint8_t>& specific) {
    std::vector<uint8_t> config = {object_type, static_cast<uint8_t>((stream_type << 2) | 0x01),
                                   0x00,        0x20,
                                   0x00,  // buffer 8 kB
                                   0x00,        0x0A,
                                   0x00,        0x00,  // max and average bit rate
                                   0x00,        0x08,
                                   0x00,        0x00};
    if (!specific.empty()) Append(&config, Descriptor(0x05, specific));
    std::vector<uint8_t> body = {static_cast<uint8_t>(es_id >> 8), static_cast<uint8_t>(es_id),
                                 0x00};
    Append(&body, Descriptor(0x04, config));
    Append(&body, SlConfig());
    return Descriptor(0x03, body);
}

std::vector<uint8_t> SectionOf(uint8_t table, uint16_t extension, std::vector<uint8_t> body) {
    std::vector<uint8_t> s = {
        table, 0,    0,   static_cast<uint8_t>(extension >> 8), static_cast<uint8_t>(extension),
        0xC1,  0x00, 0x00};
    Append(&s, body);
    const size_t length = s.size() - 3 + 4;
    s[1] = static_cast<uint8_t>(0xB0 | (length >> 8));
    s[2] = static_cast<uint8_t>(length);
    const uint32_t crc = Crc32Mpeg(s);
    for (int shift = 24; shift >= 0; shift -= 8)
        s.push_back(static_cast<uint8_t>(crc >> shift));
    return s;
}

std::vector<uint8_t> SlDescriptor(uint16_t es_id) {
    return {0x1F, 0x02, static_cast<uint8_t>(es_id >> 8), static_cast<uint8_t>(es_id)};
}

std::vector<uint8_t> Pmt(const Program& program) {
    // IOD descriptor: scope 0x10, label 1, then the InitialObjectDescriptor (OD id 1, no URL,
    // no inline profiles, five profile levels "none") with the scene and OD streams.
    std::vector<uint8_t> iod = {0x00, 0x4F, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    Append(&iod, EsDescriptor(kSceneEsId, 0x01, 0x03, {}));
    Append(&iod, EsDescriptor(kObjectDescriptorEsId, 0x01, 0x01, {}));
    std::vector<uint8_t> info = {0x10, 0x01};
    Append(&info, Descriptor(0x02, iod));
    std::vector<uint8_t> program_info = {0x1D, static_cast<uint8_t>(info.size())};
    Append(&program_info, info);

    std::vector<uint8_t> body = {static_cast<uint8_t>(0xE0 | (program.pcr_pid >> 8)),
                                 static_cast<uint8_t>(program.pcr_pid),
                                 static_cast<uint8_t>(0xF0 | (program_info.size() >> 8)),
                                 static_cast<uint8_t>(program_info.size())};
    Append(&body, program_info);
    auto stream = [&](uint8_t type, int pid, uint16_t es_id) {
        const std::vector<uint8_t> sl = SlDescriptor(es_id);
        Append(&body, {type, static_cast<uint8_t>(0xE0 | (pid >> 8)), static_cast<uint8_t>(pid),
                       0xF0, static_cast<uint8_t>(sl.size())});
        Append(&body, sl);
    };
    stream(kStreamTypeSections, kScenePid, kSceneEsId);
    stream(kStreamTypeSections, kObjectDescriptorPid, kObjectDescriptorEsId);
    stream(kStreamTypeSl, program.video_pid, kVideoEsId);
    stream(kStreamTypeSl, program.audio_pid, kAudioEsId);
    return SectionOf(kPmtTable, program.program_number, body);
}

// AudioSpecificConfig: AAC LC (or ER BSAC), the ADTS header's rate and channels.
std::vector<uint8_t> AudioConfig(const uint8_t* adts, bool bsac) {
    const int rate_index = (adts[2] >> 2) & 0x0F;
    const int channels = ((adts[2] & 0x01) << 2) | (adts[3] >> 6);
    dab::BitWriter bits;
    bits.Bits(bsac ? 22 : 2, 5);
    bits.Bits(static_cast<uint32_t>(rate_index), 4);
    bits.Bits(static_cast<uint32_t>(channels), 4);
    bits.Bits(0, 1);  // frameLengthFlag
    bits.Bits(0, 1);  // dependsOnCoreCoder
    if (bsac) {
        bits.Bits(1, 1);   // extensionFlag
        bits.Bits(0, 5);   // numOfSubFrame
        bits.Bits(0, 11);  // layer_length
        bits.Bits(0, 1);   // extensionFlag3
    } else {
        bits.Bits(0, 1);
    }
    while (!bits.aligned())
        bits.Flag(false);
    return bits.Take();
}

// The object descriptor stream's access unit: an ObjectDescriptorUpdate with one object
// descriptor per elementary stream.
std::vector<uint8_t> ObjectDescriptorUpdate(const std::vector<uint8_t>& audio_config,
                                            bool name_audio) {
    auto object = [](uint16_t id, const std::vector<uint8_t>& es) {
        std::vector<uint8_t> body = {static_cast<uint8_t>(id >> 2),
                                     static_cast<uint8_t>(((id & 0x03) << 6) | 0x1F)};
        Append(&body, es);
        return Descriptor(0x01, body);
    };
    std::vector<uint8_t> objects = object(10, EsDescriptor(kVideoEsId, 0x21, 0x04, {}));
    if (name_audio)
        Append(&objects, object(11, EsDescriptor(kAudioEsId, 0x40, 0x05, audio_config)));
    return Descriptor(0x01, objects);
}

// SL packet header for the configuration above.
std::vector<uint8_t> SlHeader(bool start, bool end, bool random_access, int64_t cts) {
    dab::BitWriter bits;
    bits.Bits(start ? 1 : 0, 1);
    bits.Bits(end ? 1 : 0, 1);
    if (start) {
        bits.Bits(random_access ? 1 : 0, 1);
        bits.Bits(0, 1);  // decodingTimeStampFlag
        bits.Bits(cts != kNoTime ? 1 : 0, 1);
        if (cts != kNoTime) {
            bits.Bits(static_cast<uint32_t>(cts >> 32) & 1, 1);
            bits.Bits(static_cast<uint32_t>(cts), 32);
        }
    }
    while (!bits.aligned())
        bits.Flag(false);
    return bits.Take();
}

void WriteSl(int pid, const std::vector<uint8_t>& header, const uint8_t* data, size_t size,
             uint8_t* counter, std::vector<uint8_t>* out) {
    std::vector<uint8_t> sl = header;
    sl.insert(sl.end(), data, data + size);
    WritePes(pid, kSlStreamId, kNoTime, sl, counter, out);
}

// Copies of `packets` (one section's) put into null packets about every kRepeatPackets.
void Repeat(std::vector<uint8_t>* ts, const std::vector<uint8_t>& packets) {
    const size_t count = ts->size() / kTsPacketSize;
    uint8_t counter = 0;
    size_t due = 0;
    for (size_t i = 0; i < count; ++i) {
        uint8_t* p = ts->data() + i * kTsPacketSize;
        if (i < due || PacketPid(p) != kNullPid) continue;
        // The section's packets go in a row of null packets.
        const size_t needed = packets.size() / kTsPacketSize;
        bool room = i + needed <= count;
        for (size_t k = 1; room && k < needed; ++k)
            room = PacketPid(ts->data() + (i + k) * kTsPacketSize) == kNullPid;
        if (!room) continue;
        for (size_t k = 0; k < needed; ++k) {
            uint8_t* slot = ts->data() + (i + k) * kTsPacketSize;
            std::copy_n(packets.begin() + static_cast<long>(k * kTsPacketSize), kTsPacketSize,
                        slot);
            slot[3] = static_cast<uint8_t>((slot[3] & 0xF0) | counter);
            counter = static_cast<uint8_t>((counter + 1) & 0x0F);
        }
        due = i + kRepeatPackets;
    }
}

}  // namespace

void StraddleAudio(std::vector<uint8_t>* ts) {
    const Program program = ReadProgram(*ts);
    std::vector<uint8_t> es;
    const std::vector<Frame> frames = AudioFrames(ReadPes(*ts), program.audio_pid, &es);
    std::vector<uint8_t> packets;
    uint8_t counter = 0;
    size_t next_frame = 0;
    for (size_t at = 0; at < es.size(); at += kStraddlePayload) {
        const size_t take = std::min(kStraddlePayload, es.size() - at);
        while (next_frame < frames.size() && frames[next_frame].start < at)
            ++next_frame;
        const bool starts = next_frame < frames.size() && frames[next_frame].start < at + take;
        WritePes(program.audio_pid, 0xC0, starts ? frames[next_frame].pts : kNoTime,
                 std::span(es).subspan(at, take), &counter, &packets);
    }
    ReplacePid(ts, program.audio_pid, packets);
}

void ToMpeg4Systems(std::vector<uint8_t>* ts, const Mpeg4SystemsOptions& options) {
    const Program program = ReadProgram(*ts);
    const std::vector<Pes> pes = ReadPes(*ts);
    std::vector<uint8_t> es;
    const std::vector<Frame> frames = AudioFrames(pes, program.audio_pid, &es);
    if (frames.empty()) throw std::runtime_error("the transport stream has no ADTS frames");

    // Video: one access unit a PES packet; long ones in two SL packets.
    std::vector<uint8_t> video;
    uint8_t video_counter = 0;
    for (const Pes& p : pes) {
        if (p.pid != program.video_pid) continue;
        const bool key = HasIdrSlice(p.payload);
        if (p.payload.size() <= options.split_above) {
            WriteSl(program.video_pid, SlHeader(true, true, key, p.pts), p.payload.data(),
                    p.payload.size(), &video_counter, &video);
            continue;
        }
        const size_t half = p.payload.size() / 2;
        WriteSl(program.video_pid, SlHeader(true, false, key, p.pts), p.payload.data(), half,
                &video_counter, &video);
        WriteSl(program.video_pid, SlHeader(false, true, false, kNoTime), p.payload.data() + half,
                p.payload.size() - half, &video_counter, &video);
    }
    // Audio: one raw AAC frame (without its ADTS header) an SL packet.
    std::vector<uint8_t> audio;
    uint8_t audio_counter = 0;
    for (const Frame& f : frames) {
        WriteSl(program.audio_pid, SlHeader(true, true, true, f.pts), &es[f.start + f.header],
                f.length - f.header, &audio_counter, &audio);
    }
    ReplacePid(ts, program.video_pid, video);
    ReplacePid(ts, program.audio_pid, audio);

    std::vector<uint8_t> pmt;
    uint8_t pmt_counter = 0;
    WriteSection(program.pmt_pid, Pmt(program), &pmt_counter, &pmt);
    if (pmt.size() != kTsPacketSize) throw std::runtime_error("the PMT needs one packet");
    uint8_t counter = 0;
    for (size_t at = 0; at + kTsPacketSize <= ts->size(); at += kTsPacketSize) {
        uint8_t* p = ts->data() + at;
        if (PacketPid(p) != program.pmt_pid) continue;
        std::copy(pmt.begin(), pmt.end(), p);
        p[3] = static_cast<uint8_t>((p[3] & 0xF0) | counter);
        counter = static_cast<uint8_t>((counter + 1) & 0x0F);
    }

    // The OD stream: an SL packet (start, end and random access flags) in a 14496 section.
    std::vector<uint8_t> od_unit = SlHeader(true, true, true, kNoTime);
    Append(&od_unit, ObjectDescriptorUpdate(AudioConfig(&es[frames[0].start], options.bsac),
                                            options.name_audio));
    std::vector<uint8_t> od;
    uint8_t od_counter = 0;
    WriteSection(kObjectDescriptorPid,
                 SectionOf(kSectionTable14496, kObjectDescriptorEsId, od_unit), &od_counter, &od);
    Repeat(ts, od);
    // The scene: a BIFS access unit that replaces the scene with an empty one; ignored here,
    // as a receiver without a scene renderer does.
    std::vector<uint8_t> scene_unit = SlHeader(true, true, true, kNoTime);
    Append(&scene_unit, {0xC0, 0x00});
    std::vector<uint8_t> scene;
    uint8_t scene_counter = 0;
    WriteSection(kScenePid, SectionOf(kSectionTable14496, kSceneEsId, scene_unit), &scene_counter,
                 &scene);
    Repeat(ts, scene);
}

}  // namespace koru::mkens
