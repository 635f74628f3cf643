#include "dab/mpeg4_systems.h"

#include "dab/bits.h"

namespace koru::dab {
namespace {

constexpr uint8_t kObjectDescriptorTag = 0x01;
constexpr uint8_t kInitialObjectDescriptorTag = 0x02;
constexpr uint8_t kEsDescriptorTag = 0x03;
constexpr uint8_t kDecoderConfigTag = 0x04;
constexpr uint8_t kDecoderSpecificInfoTag = 0x05;
constexpr uint8_t kSlConfigTag = 0x06;
constexpr uint8_t kMp4InitialObjectDescriptorTag = 0x10;
constexpr uint8_t kObjectDescriptorUpdateCommand = 0x01;

struct Descriptor {
    uint8_t tag = 0;
    std::span<const uint8_t> body;
};

// The next descriptor at the reader: tag, expandable size (up to four bytes of seven bits),
// body; nullopt when the size runs past the data.
std::optional<Descriptor> NextDescriptor(BitReader* in) {
    Descriptor d;
    d.tag = in->U8();
    size_t size = 0;
    for (int i = 0; i < 4; ++i) {
        const uint8_t byte = in->U8();
        size = (size << 7) | (byte & 0x7F);
        if ((byte & 0x80) == 0) break;
    }
    if (!in->ok() || size > in->bytes_left()) return std::nullopt;
    d.body = in->Bytes(size);
    return d;
}

// Calls visit for each descriptor of data, as far as they are whole.
template <typename Visit>
void ForEachDescriptor(std::span<const uint8_t> data, Visit visit) {
    BitReader in(data);
    while (in.bytes_left() >= 2) {
        const std::optional<Descriptor> d = NextDescriptor(&in);
        if (!d) return;
        visit(*d);
    }
}

std::optional<SlConfig> ParseSlConfig(std::span<const uint8_t> body) {
    BitReader in(body);
    const uint8_t predefined = in.U8();
    SlConfig c;
    if (!in.ok()) return std::nullopt;
    // 1: a null header, every packet one access unit; 2 (MP4 files) likewise here.
    if (predefined != 0) return c;
    c.use_au_start = in.Flag();
    c.use_au_end = in.Flag();
    c.use_random_access = in.Flag();
    in.Skip(1);  // hasRandomAccessUnitsOnlyFlag
    c.use_padding = in.Flag();
    c.use_timestamps = in.Flag();
    c.use_idle = in.Flag();
    in.Skip(1);  // durationFlag: the durations that follow are not needed
    c.timestamp_resolution = in.U32();
    in.Skip(32);  // OCRResolution
    c.timestamp_length = in.U8();
    c.ocr_length = in.U8();
    c.au_length = in.U8();
    c.instant_bitrate_length = in.U8();
    c.degradation_priority_length = static_cast<int>(in.Bits(4));
    c.au_seq_num_length = static_cast<int>(in.Bits(5));
    c.packet_seq_num_length = static_cast<int>(in.Bits(5));
    if (!in.ok() || c.timestamp_length > 64 || c.ocr_length > 64 || c.au_length > 32 ||
        c.instant_bitrate_length > 32) {
        return std::nullopt;
    }
    return c;
}

void ParseDecoderConfig(std::span<const uint8_t> body, EsDescriptor* es) {
    BitReader in(body);
    es->object_type = in.U8();
    es->stream_type = static_cast<uint8_t>(in.Bits(6));
    in.Skip(2 + 24 + 32 + 32);  // upStream, reserved, buffer size, bit rates
    if (!in.ok()) return;
    ForEachDescriptor(in.Rest(), [&](const Descriptor& d) {
        if (d.tag == kDecoderSpecificInfoTag) es->specific.assign(d.body.begin(), d.body.end());
    });
}

std::optional<EsDescriptor> ParseEsDescriptor(std::span<const uint8_t> body) {
    BitReader in(body);
    EsDescriptor es;
    es.es_id = in.U16();
    const bool depends = in.Flag();
    const bool url = in.Flag();
    const bool ocr_stream = in.Flag();
    in.Skip(5);  // streamPriority
    if (depends) in.Skip(16);
    if (url) in.Skip(8 * size_t{in.U8()});
    if (ocr_stream) in.Skip(16);
    if (!in.ok()) return std::nullopt;
    bool has_sl = false;
    ForEachDescriptor(in.Rest(), [&](const Descriptor& d) {
        if (d.tag == kDecoderConfigTag) ParseDecoderConfig(d.body, &es);
        if (d.tag == kSlConfigTag) {
            if (const std::optional<SlConfig> sl = ParseSlConfig(d.body)) {
                es.sl = *sl;
                has_sl = true;
            }
        }
    });
    // Without its SL configuration nobody can read the stream's packets.
    if (!has_sl) return std::nullopt;
    return es;
}

// The ES descriptors among the descriptors of data.
void CollectEsDescriptors(std::span<const uint8_t> data, std::vector<EsDescriptor>* out) {
    ForEachDescriptor(data, [&](const Descriptor& d) {
        if (d.tag != kEsDescriptorTag) return;
        if (std::optional<EsDescriptor> es = ParseEsDescriptor(d.body)) out->push_back(*es);
    });
}

// An (initial) object descriptor's ES descriptors: after the 16-bit id and flags (and for the
// IOD the profile levels); none when it only points to a URL.
void ObjectDescriptorStreams(std::span<const uint8_t> body, bool initial,
                             std::vector<EsDescriptor>* out) {
    BitReader in(body);
    in.Skip(10);
    const bool url = in.Flag();
    in.Skip(5);
    if (url || !in.ok()) return;
    if (initial) in.Skip(5 * 8);
    if (!in.ok()) return;
    CollectEsDescriptors(in.Rest(), out);
}

int ReadObjectType(BitReader* in) {
    const int type = static_cast<int>(in->Bits(5));
    return type == 31 ? 32 + static_cast<int>(in->Bits(6)) : type;
}

}  // namespace

std::optional<std::vector<EsDescriptor>> ParseIodDescriptor(std::span<const uint8_t> body) {
    if (body.size() < 2) return std::nullopt;
    BitReader in(body.subspan(2));  // Scope_of_IOD_label, IOD_label
    const std::optional<Descriptor> iod = NextDescriptor(&in);
    if (!iod ||
        (iod->tag != kInitialObjectDescriptorTag && iod->tag != kMp4InitialObjectDescriptorTag)) {
        return std::nullopt;
    }
    std::vector<EsDescriptor> streams;
    ObjectDescriptorStreams(iod->body, true, &streams);
    return streams;
}

std::vector<EsDescriptor> ParseObjectDescriptorCommands(std::span<const uint8_t> unit) {
    std::vector<EsDescriptor> streams;
    ForEachDescriptor(unit, [&](const Descriptor& command) {
        if (command.tag != kObjectDescriptorUpdateCommand) return;
        ForEachDescriptor(command.body, [&](const Descriptor& od) {
            if (od.tag == kObjectDescriptorTag) ObjectDescriptorStreams(od.body, false, &streams);
        });
    });
    return streams;
}

std::optional<SlHeader> ParseSlHeader(std::span<const uint8_t> packet, const SlConfig& c) {
    BitReader in(packet);
    SlHeader h;
    h.au_start = c.use_au_start ? in.Flag() : true;
    h.au_end = c.use_au_end ? in.Flag() : true;
    if (c.use_au_start && !c.use_au_end) h.au_end = false;  // ends where the next one starts
    const bool ocr = c.ocr_length > 0 && in.Flag();
    const bool idle = c.use_idle && in.Flag();
    const bool padding = c.use_padding && in.Flag();
    const uint32_t padding_bits = padding ? in.Bits(3) : 0;
    auto long_field = [&](int bits) -> int64_t {
        const int high = bits > 32 ? bits - 32 : 0;
        const uint64_t top = in.Bits(high);
        return static_cast<int64_t>((top << (bits - high)) | in.Bits(bits - high));
    };
    h.carries_data = !idle && (!padding || padding_bits != 0);
    if (h.carries_data) {
        in.Skip(static_cast<size_t>(c.packet_seq_num_length));
        if (c.degradation_priority_length > 0 && in.Flag()) {
            in.Skip(static_cast<size_t>(c.degradation_priority_length));
        }
        if (ocr) in.Skip(static_cast<size_t>(c.ocr_length));
        if (h.au_start) {
            if (c.use_random_access) in.Skip(1);
            in.Skip(static_cast<size_t>(c.au_seq_num_length));
            const bool dts = c.use_timestamps && in.Flag();
            const bool cts = c.use_timestamps && in.Flag();
            const bool rate = c.instant_bitrate_length > 0 && in.Flag();
            if (dts) h.dts = long_field(c.timestamp_length);
            if (cts) h.cts = long_field(c.timestamp_length);
            in.Skip(static_cast<size_t>(c.au_length));
            if (rate) in.Skip(static_cast<size_t>(c.instant_bitrate_length));
        }
    }
    if (!in.ok()) return std::nullopt;
    h.size = (packet.size() * 8 - in.bits_left() + 7) / 8;
    return h;
}

std::optional<AudioSpecificConfig> ParseAudioSpecificConfig(std::span<const uint8_t> config) {
    BitReader in(config);
    AudioSpecificConfig a;
    a.signalled_type = a.object_type = ReadObjectType(&in);
    a.rate_index = static_cast<int>(in.Bits(4));
    if (a.rate_index == 15) in.Skip(24);  // an explicit rate
    a.channel_configuration = static_cast<int>(in.Bits(4));
    if (a.object_type == 5 || a.object_type == 29) {
        // Explicit SBR (and PS): the output rate, then the core's object type.
        if (in.Bits(4) == 15) in.Skip(24);
        a.object_type = ReadObjectType(&in);
    }
    if (!in.ok()) return std::nullopt;
    return a;
}

std::string AudioObjectTypeText(int type) {
    std::string text = "MPEG-4 audio object type " + std::to_string(type);
    const char* name = "";
    switch (type) {
        case 1:
            name = "AAC Main";
            break;
        case 2:
            name = "AAC LC";
            break;
        case 3:
            name = "AAC SSR";
            break;
        case 4:
            name = "AAC LTP";
            break;
        case 5:
            name = "SBR";
            break;
        case 17:
            name = "ER AAC LC";
            break;
        case 20:
            name = "ER AAC scalable";
            break;
        case 22:
            name = "ER BSAC";
            break;
        case 23:
            name = "ER AAC LD";
            break;
        case 29:
            name = "PS";
            break;
        case 39:
            name = "ER AAC ELD";
            break;
        default:
            break;
    }
    if (*name != '\0') text += std::string(" (") + name + ")";
    return text;
}

std::optional<std::vector<uint8_t>> AdtsHeader(const AudioSpecificConfig& a, size_t frame_bytes) {
    const size_t length = frame_bytes + 7;
    if (a.object_type < 1 || a.object_type > 4 || a.rate_index > 12 ||
        a.channel_configuration > 7 || length > 0x1FFF) {
        return std::nullopt;
    }
    BitWriter out;
    out.Bits(0xFFF, 12);  // syncword
    out.Bits(0, 1);       // MPEG-4
    out.Bits(0, 2);       // layer
    out.Bits(1, 1);       // no CRC
    out.Bits(static_cast<uint32_t>(a.object_type - 1), 2);
    out.Bits(static_cast<uint32_t>(a.rate_index), 4);
    out.Bits(0, 1);
    out.Bits(static_cast<uint32_t>(a.channel_configuration), 3);
    out.Bits(0, 4);  // original, home, copyright bits
    out.Bits(static_cast<uint32_t>(length), 13);
    out.Bits(0x7FF, 11);  // buffer fullness: variable rate
    out.Bits(0, 2);       // one raw data block
    return out.Take();
}

}  // namespace koru::dab
