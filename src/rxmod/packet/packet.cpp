// Packet mode, data groups and MOT objects.
#include "rxmod/packet/packet.h"

#include <sys/stat.h>
#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <mutex>
#include <span>
#include <string_view>

#include "dab/bits.h"
#include "dab/crc.h"
#include "m4systems/atomic_file.h"
#include "m4systems/log.h"
#include "m4systems/messages.h"
#include "m4systems/terminal.h"
#include "rxmod/rxmod_api.h"

namespace {

constexpr const char* kSource = "packet";
constexpr size_t kLargestPacket = 96;
constexpr size_t kPacketCrcBytes = 2;
constexpr size_t kPacketHeaderBytes = 3;
constexpr size_t kMotCoreBytes = 7;
constexpr size_t kMotDirectoryFixedBytes = 13;
constexpr size_t kSegmentationHeaderBytes = 2;
constexpr int kNoContinuity = 4;

// Data group types (EN 300 401 clause 5.3.3.1).
constexpr int kTypeMotHeader = 3;
constexpr int kTypeMotBody = 4;
constexpr int kTypeMotBodyCa = 5;
constexpr int kTypeMotDirectory = 6;

// MOT parameters (EN 301 234 clause 6.2, TS 101 498).
constexpr int kParamContentName = 12;
constexpr int kParamCompressionType = 17;
constexpr int kParamDirectoryIndex = 34;

std::mutex g_body_path_mutex;  // the player sets the path while the download thread reads it
std::string g_body_path;

// The paths that message 1247 refers to: each message takes the next slot, so the text a
// message points at stays unchanged until kMotDirectoryPaths further directories came.
char g_directory_paths[kMotDirectoryPaths][kMaxPathLength + 1];
int g_next_directory_path = 0;

size_t PacketLength(uint8_t first_byte) {
    return 24 * (static_cast<size_t>(first_byte >> 6) + 1);
}

// Room for `more` bytes in a buffer that grows by kBufferStep, up to limit. False (nothing
// changed) when the limit would be passed. The packet assembler logs its growth.
bool MakeRoom(std::vector<uint8_t>& data, size_t* capacity, size_t more, size_t limit,
              bool log_growth = false) {
    const size_t wanted = data.size() + more;
    if (wanted > limit) return false;
    while (wanted > *capacity) {
        *capacity += kBufferStep;
        if (log_growth) {
            M4_LOG(2, kSource, "PacketInfo: Buffer size is increased: %d",
                   static_cast<int>(*capacity));
        }
    }
    data.reserve(*capacity);
    return true;
}

// --- packet synchronisation --------------------------------------------------------------------

// Drops bytes until the queue starts with a packet of the wanted address whose CRC holds.
bool Synchronise(DataDecoderContext* context, uint16_t address) {
    M4ByteQueue* input = context->input;
    if (SQ_GetDataNum(input) < kSyncQueueBytes) return false;
    uint8_t packet[kLargestPacket];
    while (SQ_PeekData(input, packet, 2) == 2) {
        if (((packet[0] << 8 | packet[1]) & 0x3FF) == address) {
            const size_t length = PacketLength(packet[0]);
            if (SQ_GetDataNum(input) < length) return false;  // wait for the whole packet
            SQ_PeekData(input, packet, static_cast<uint32_t>(length));
            if (koru::dab::Crc16Matches(std::span<const uint8_t>(packet, length))) {
                context->packet.state = 1;
                return true;
            }
        }
        uint8_t dropped;
        SQ_GetData(input, &dropped, 1);
    }
    return false;
}

// --- MOT -------------------------------------------------------------------------------------

struct MotParameter {
    int pli = 0;
    int id = 0;
    const uint8_t* data = nullptr;
    size_t length = 0;
};

// The parameter at *at of bytes[0, end); false when it runs past end.
bool NextParameter(const uint8_t* bytes, size_t end, size_t* at, MotParameter* parameter) {
    size_t pos = *at;
    if (pos >= end) return false;
    parameter->pli = bytes[pos] >> 6;
    parameter->id = bytes[pos] & 0x3F;
    ++pos;
    size_t length = 0;
    switch (parameter->pli) {
        case 1:
            length = 1;
            break;
        case 2:
            length = 4;
            break;
        case 3:
            if (pos >= end) return false;
            length = bytes[pos] & 0x7F;
            if (bytes[pos++] & 0x80) {  // 15-bit DataFieldLength
                if (pos >= end) return false;
                length = length << 8 | bytes[pos++];
            }
            break;
        default:
            break;
    }
    if (length > end - pos) return false;
    parameter->data = bytes + pos;
    parameter->length = length;
    *at = pos + length;
    return true;
}

// A content name parameter: a character set byte, then the name.
std::string NameParameterPath(const MotParameter& parameter) {
    if (parameter.pli != 3 || parameter.length < 1) return "";
    return PKT_ObjectPath(parameter.data + 1, parameter.length - 1);
}

void ReadHeaderParameters(MotDecoder& mot) {
    size_t at = kMotCoreBytes;
    MotParameter parameter;
    while (at < mot.header_size) {
        if (!NextParameter(mot.header.data(), mot.header_size, &at, &parameter)) {
            M4_LOG(1, kSource, "MOT header parameter runs past the header");
            return;
        }
        switch (parameter.id) {
            case kParamContentName:
            case kParamDirectoryIndex:
                if (parameter.pli == 3) mot.object_path = NameParameterPath(parameter);
                break;
            case kParamCompressionType:
                if (parameter.length >= 1) mot.compressed = parameter.data[0] != 0;
                break;
            default:  // read and dropped
                break;
        }
    }
}

int HeaderStep(MotDecoder& mot, const DataGroupAssembler& object) {
    const std::vector<uint8_t>& bytes = object.object;
    if (bytes.size() > kMotHeaderBytes) {
        M4_LOG(1, kSource, "MOT header of %d bytes is larger than its buffer",
               static_cast<int>(bytes.size()));
        return MOT_ERR_TOO_LARGE;
    }
    if (bytes.size() < kMotCoreBytes) return MOT_ERR_HEADER;
    PKT_ResetMotDecoder(mot);  // a new header starts a new object
    mot.header = bytes;
    koru::dab::BitReader reader(bytes);
    mot.body_size = reader.Bits(28);
    mot.header_size = reader.Bits(13);
    mot.content_type = static_cast<uint8_t>(reader.Bits(6));
    mot.content_subtype = static_cast<uint16_t>(reader.Bits(9));
    mot.transport_id = object.has_transport_id ? object.transport_id : 0xFFFF;
    if (mot.header_size == bytes.size()) ReadHeaderParameters(mot);
    M4_LOG(2, kSource, "MOT header received: %d bytes", static_cast<int>(bytes.size()));
    return PKT_SKIPPED;
}

enum class Unpacked { kPlain, kDone, kBroken, kTooLarge };

uint32_t LittleEndian32(const uint8_t* bytes) {
    return static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
           static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24;
}

// Where the deflate data of a gzip member (RFC 1952) starts, or 0 when the header is broken.
size_t GzipDataStart(std::span<const uint8_t> in) {
    constexpr uint8_t kHeaderCrc = 0x02, kExtra = 0x04, kName = 0x08, kComment = 0x10;
    if (in.size() < 10 || in[2] != 8) return 0;  // method 8: deflate
    const uint8_t flags = in[3];
    size_t at = 10;
    if (flags & kExtra) {
        if (in.size() < at + 2) return 0;
        at += 2 + static_cast<size_t>(in[at] | in[at + 1] << 8);
    }
    for (uint8_t text : {kName, kComment}) {
        if ((flags & text) == 0) continue;
        while (at < in.size() && in[at] != 0)
            ++at;
        ++at;  // the terminating zero
    }
    if (flags & kHeaderCrc) at += 2;
    return at < in.size() ? at : 0;
}

// Unpacks a gzip body: raw deflate through inflate with a 15-bit window, then the trailer's
// CRC-32 and size checked. Data without the gzip magic passes unchanged.
Unpacked Gunzip(std::span<const uint8_t> in, std::vector<uint8_t>* out) {
    if (in.size() < 2 || in[0] != 0x1F || in[1] != 0x8B) return Unpacked::kPlain;
    const size_t start = GzipDataStart(in);
    if (start == 0) return Unpacked::kBroken;
    z_stream z{};
    if (inflateInit2(&z, -15) != Z_OK) return Unpacked::kBroken;
    z.next_in = const_cast<Bytef*>(in.data() + start);
    z.avail_in = static_cast<uInt>(in.size() - start);
    out->clear();
    Unpacked result = Unpacked::kBroken;
    uint8_t chunk[16384];
    for (;;) {
        z.next_out = chunk;
        z.avail_out = sizeof chunk;
        const int status = inflate(&z, Z_NO_FLUSH);
        const size_t got = sizeof chunk - z.avail_out;
        if (out->size() + got > kMaxUnpackedBytes) {
            result = Unpacked::kTooLarge;
            break;
        }
        out->insert(out->end(), chunk, chunk + got);
        if (status == Z_STREAM_END) {
            result = Unpacked::kDone;
            break;
        }
        if (status != Z_OK || (got == 0 && z.avail_in == 0)) break;  // broken or cut short
    }
    const size_t trailer = in.size() - z.avail_in;
    inflateEnd(&z);
    if (result != Unpacked::kDone) return result;
    if (in.size() - trailer < 8) return Unpacked::kBroken;
    const uint32_t crc = static_cast<uint32_t>(
        crc32(crc32(0L, Z_NULL, 0), out->data(), static_cast<uInt>(out->size())));
    if (LittleEndian32(&in[trailer]) != crc ||
        LittleEndian32(&in[trailer + 4]) != static_cast<uint32_t>(out->size())) {
        return Unpacked::kBroken;
    }
    return Unpacked::kDone;
}

void WriteObject(const std::string& path, std::span<const uint8_t> body) {
    if (path.empty()) {
        M4_LOG(1, kSource, "MOT object without a usable name: %d bytes dropped",
               static_cast<int>(body.size()));
        return;
    }
    // Replaced whole, so the data display never reads a file half written.
    if (!koru::WriteFileAtomically(
            path, std::string_view(reinterpret_cast<const char*>(body.data()), body.size()))) {
        M4_LOG(1, kSource, "cannot write %s", path.c_str());
    }
}

int BodyStep(MotDecoder& mot, const DataGroupAssembler& object) {
    if (mot.header.empty() || !object.has_transport_id || object.transport_id != mot.transport_id) {
        return MOT_ERR_TRANSPORT_ID;
    }
    if (!MakeRoom(mot.body, &mot.capacity, object.object.size(), kMaxObjectBytes)) {
        M4_LOG(1, kSource, "MOT body larger than %d bytes", static_cast<int>(kMaxObjectBytes));
        return MOT_ERR_TOO_LARGE;
    }
    mot.body.insert(mot.body.end(), object.object.begin(), object.object.end());
    M4_LOG(2, kSource, "MOT Body received: %d bytes", static_cast<int>(mot.body.size()));
    if (mot.body.size() < mot.body_size) return PKT_SKIPPED;

    std::span<const uint8_t> body(mot.body.data(), mot.body_size);
    std::vector<uint8_t> unpacked;
    if (mot.compressed) {
        switch (Gunzip(body, &unpacked)) {
            case Unpacked::kPlain:
                break;
            case Unpacked::kDone:
                M4_LOG(2, kSource, "unzip : insize(%d), outsize(%d)", static_cast<int>(body.size()),
                       static_cast<int>(unpacked.size()));
                body = unpacked;
                break;
            case Unpacked::kBroken:
                M4_LOG(1, kSource, "unzip : broken gzip data, insize(%d)",
                       static_cast<int>(body.size()));
                return MOT_ERR_UNPACK;
            case Unpacked::kTooLarge:
                M4_LOG(1, kSource, "unzip : insize(%d) unpacks to more than %d bytes",
                       static_cast<int>(body.size()), static_cast<int>(kMaxUnpackedBytes));
                return MOT_ERR_UNPACK;
        }
    }
    WriteObject(mot.object_path, body);
    PKT_ResetMotDecoder(mot);
    return PKT_SUCCESS;
}

int DirectoryStep(const DataGroupAssembler& object) {
    const std::vector<uint8_t>& bytes = object.object;
    koru::dab::BitReader reader(bytes);
    reader.Bits(2);
    const uint32_t size = reader.Bits(30);
    const uint32_t objects = reader.Bits(16);
    const uint32_t period = reader.Bits(24);
    reader.Bits(3);
    reader.Bits(13);  // SegmentSize
    const size_t extension_length = reader.Bits(16);
    if (!reader.ok()) {
        M4_LOG(1, kSource, "MOT directory of %d bytes is too short",
               static_cast<int>(bytes.size()));
        return MOT_ERR_HEADER;
    }
    M4_LOG(2, kSource, "dir_size[%d], dir_num[%d], dir_time[%d]", static_cast<int>(size),
           static_cast<int>(objects), static_cast<int>(period));

    // The first extension parameter (the DirectoryIndex) names the start page.
    const size_t end = std::min(bytes.size(), kMotDirectoryFixedBytes + extension_length);
    size_t at = kMotDirectoryFixedBytes;
    MotParameter parameter;
    std::string path;
    if (NextParameter(bytes.data(), end, &at, &parameter)) path = NameParameterPath(parameter);
    if (path.empty()) path = PKT_BodyPath();

    char* text = g_directory_paths[g_next_directory_path];
    g_next_directory_path = (g_next_directory_path + 1) % kMotDirectoryPaths;
    const size_t length = std::min(path.size(), kMaxPathLength);
    std::memcpy(text, path.data(), length);
    text[length] = '\0';
    M4T_SendMessage(WM_SYSTEM_MOT_DIR_TIME, reinterpret_cast<M4Param>(text),
                    static_cast<M4Param>(period));
    return PKT_SKIPPED;
}

// A finished data group of the wanted address, by DSCTy.
void HandOn(DataDecoderContext* context, uint16_t dscty) {
    const std::vector<uint8_t>& group = context->packet.data;
    if (dscty != kMotDscty) {
        // Other data services are not decoded here; nothing reads their data groups.
        M4_LOG(3, kSource, "TDC Packet Made. OK!!");
        return;
    }
    const int result = PKT_DataGroupStep(context->group, group.data(), group.size());
    if (result == PKT_CRC_ERROR) {
        PKT_ResetDataGroupAssembler(context->group);
        return;
    }
    if (result != PKT_SUCCESS) return;  // skipped, or a continuity fault that changes nothing
    const int mot = PKT_MotStep(context->mot, context->group);
    if (mot == PKT_SUCCESS) {
        M4_LOG(2, kSource, "MOT data is made up. Use this!!");
    } else if (mot != PKT_SKIPPED) {
        M4_LOG(1, kSource, "MOT_Decoder returns an error(%d)", mot);
        PKT_ResetMotDecoder(context->mot);
    }
}

}  // namespace

// --- the decoder context ---------------------------------------------------------------------

DataDecoderContext* NewBBContext() {
    auto* context = new DataDecoderContext;
    context->input = SQ_Init(kDataInputQueueBytes);
    context->packet.data.reserve(kBufferStep);
    context->group.object.reserve(kBufferStep);
    context->mot.header.reserve(kMotHeaderBytes);
    context->mot.body.reserve(kBufferStep);
    return context;
}

void DeleteBBContext(DataDecoderContext* context) {
    if (context == nullptr) return;
    SQ_Delete(context->input);
    delete context;
}

void PKT_ResetPacketAssembler(PacketAssembler& packet) {
    packet.state = 0;
    packet.last_continuity = kNoContinuity;
    packet.data.clear();
}

void PKT_ResetDataGroupAssembler(DataGroupAssembler& group) {
    group.state = 0;
    group.type = 0;
    group.continuity = 0;
    group.repetition = 0;
    group.transport_id = 0;
    group.has_transport_id = false;
    group.last_segment = -1;
    group.object.clear();
}

void PKT_ResetMotDecoder(MotDecoder& mot) {
    mot.transport_id = 0xFFFF;
    mot.header.clear();
    mot.body_size = 0;
    mot.header_size = 0;
    mot.content_type = 0;
    mot.content_subtype = 0;
    mot.compressed = false;
    mot.object_path.clear();
    mot.body.clear();
}

// --- the data path ---------------------------------------------------------------------------

void PKT_DataPath(DataDecoderContext* context, const uint8_t* payload, int length,
                  uint16_t packet_address, uint16_t dscty) {
    if (context == nullptr || payload == nullptr || length <= 0) return;
    if (SQ_PutData(context->input, payload, static_cast<uint32_t>(length)) == 0) {
        M4_LOG(1, kSource, "packet input full: %d bytes dropped", length);
        PKT_ResetPacketAssembler(context->packet);
        SQ_Reset(context->input);
        return;
    }
    if (context->packet.state == 0 && !Synchronise(context, packet_address)) return;
    for (;;) {
        const int result = PKT_PacketStep(context, packet_address);
        if (result == PKT_SUCCESS) {
            HandOn(context, dscty);
        } else if (result == PKT_NEED_MORE) {
            return;
        } else if (result != PKT_SKIPPED) {  // CRC or continuity: the buffered input is lost
            PKT_ResetPacketAssembler(context->packet);
            SQ_Reset(context->input);
            return;
        }
    }
}

int PKT_PacketStep(DataDecoderContext* context, uint16_t packet_address) {
    M4ByteQueue* input = context->input;
    PacketAssembler& packet = context->packet;
    const uint32_t queued = SQ_GetDataNum(input);
    if (queued == 0) {
        M4_LOG(3, kSource, "End of file");
        return PKT_NEED_MORE;
    }
    uint8_t bytes[kLargestPacket];
    SQ_PeekData(input, bytes, 1);
    const size_t length = PacketLength(bytes[0]);
    if (queued < length) return PKT_NEED_MORE;
    SQ_GetData(input, bytes, static_cast<uint32_t>(length));

    const uint16_t crc = koru::dab::Crc16(std::span<const uint8_t>(bytes, length - 2));
    const uint16_t sent = static_cast<uint16_t>(bytes[length - 2] << 8 | bytes[length - 1]);
    if (crc != sent) {
        M4_LOG(1, kSource, "Check Sum is not matched: %04x!=%04x", crc, sent);
        return PKT_CRC_ERROR;
    }
    if (((bytes[0] << 8 | bytes[1]) & 0x3FF) != packet_address) return PKT_SKIPPED;

    const int continuity = (bytes[0] >> 4) & 0x03;
    if (packet.last_continuity != kNoContinuity &&
        ((packet.last_continuity + 1) & 0x03) != continuity) {
        M4_LOG(1, kSource, "Continuity counter error: current=%d,received=%d",
               packet.last_continuity, continuity);
        return PKT_CONTINUITY_ERROR;
    }
    packet.last_continuity = continuity;

    const bool first = bytes[0] & 0x08;
    const bool last = bytes[0] & 0x04;
    const size_t useful = bytes[2] & 0x7F;
    if (useful > length - kPacketHeaderBytes - kPacketCrcBytes) {
        M4_LOG(1, kSource, "PacketInfo: useful data length %d beyond the packet",
               static_cast<int>(useful));
        return PKT_CRC_ERROR;
    }
    const uint8_t* data = bytes + kPacketHeaderBytes;
    if (first) {
        // A first packet always starts a data group (one whose last packet got lost is dropped).
        packet.data.assign(data, data + useful);
        packet.state = 2;
        M4_LOG(3, kSource, "PacketInfo: Packet started. data len=%d", static_cast<int>(useful));
    } else if (packet.state == 1) {
        M4_LOG(3, kSource, "PacketInfo: Packet More Data. data len=%d", static_cast<int>(useful));
        return PKT_SKIPPED;
    } else {
        if (!MakeRoom(packet.data, &packet.capacity, useful, kMaxDataGroupBytes, true)) {
            M4_LOG(1, kSource, "PacketInfo: data group longer than %d bytes",
                   static_cast<int>(kMaxDataGroupBytes));
            return PKT_CRC_ERROR;
        }
        packet.data.insert(packet.data.end(), data, data + useful);
    }
    if (!last) return PKT_SKIPPED;
    packet.state = 1;
    M4_LOG(3, kSource, "PacketInfo: Packet finished. length=%d",
           static_cast<int>(packet.data.size()));
    return PKT_SUCCESS;
}

int PKT_DataGroupStep(DataGroupAssembler& group, const uint8_t* bytes, size_t length) {
    std::span<const uint8_t> all(bytes, length);
    if (length > 0 && (bytes[0] & 0x40) != 0) {  // CRC flag: the last two bytes are the CRC
        if (length < 2 || !koru::dab::Crc16Matches(all)) {
            M4_LOG(1, kSource, "Data Group CRC Error");
            return PKT_CRC_ERROR;
        }
        all = all.first(length - 2);
    }
    koru::dab::BitReader reader(all);
    const bool extension = reader.Flag();
    reader.Flag();  // CRC flag, handled above
    const bool segmented = reader.Flag();
    const bool user_access = reader.Flag();
    const int type = static_cast<int>(reader.Bits(4));
    const int continuity = static_cast<int>(reader.Bits(4));
    const int repetition = static_cast<int>(reader.Bits(4));
    M4_LOG(3, kSource, "DataGroup_Decode data group type [%d]", type);
    if (extension) reader.Bits(16);
    bool last = false;
    int segment = 0;
    if (segmented) {
        last = reader.Flag();
        segment = static_cast<int>(reader.Bits(15));
    }
    bool has_transport_id = false;
    uint16_t transport_id = 0;
    if (user_access) {
        reader.Bits(3);
        has_transport_id = reader.Flag();
        const size_t indicator = reader.Bits(4);
        if (has_transport_id) transport_id = reader.U16();
        const size_t address_bytes =
            indicator - std::min<size_t>(indicator, has_transport_id ? 2 : 0);
        reader.Skip(address_bytes * 8);
    }
    if (!reader.ok() || reader.bytes_left() < kSegmentationHeaderBytes) {
        M4_LOG(1, kSource, "DataGroup_Decode: data group of %d bytes is too short",
               static_cast<int>(length));
        return PKT_CRC_ERROR;
    }
    // The MOT segmentation header (repetition count, segment size) is not part of the object.
    const std::span<const uint8_t> data = reader.Rest().subspan(kSegmentationHeaderBytes);

    // A segment of another entity, or a new segment 0, abandons a partly joined object: joining
    // it would mix two objects.
    if (group.state == 1 &&
        (segment == 0 || type != group.type || has_transport_id != group.has_transport_id ||
         transport_id != group.transport_id)) {
        PKT_ResetDataGroupAssembler(group);
    }
    if (group.state == 0) {
        if (segment != 0) return PKT_SKIPPED;
        group.type = type;
        group.continuity = continuity;
        group.repetition = repetition;
        group.transport_id = transport_id;
        group.has_transport_id = has_transport_id;
        group.object.clear();
        group.state = 1;
    } else if (segment != group.last_segment + 1) {
        return PKT_CONTINUITY_ERROR;
    }
    if (!MakeRoom(group.object, &group.capacity, data.size(), kMaxObjectBytes)) {
        M4_LOG(1, kSource, "DataGroup_Decode: object larger than %d bytes",
               static_cast<int>(kMaxObjectBytes));
        return PKT_CRC_ERROR;
    }
    group.object.insert(group.object.end(), data.begin(), data.end());
    group.last_segment = segment;
    if (!last) return PKT_SKIPPED;
    group.state = 0;
    return PKT_SUCCESS;
}

int PKT_MotStep(MotDecoder& mot, const DataGroupAssembler& object) {
    switch (object.type) {
        case kTypeMotHeader:
            return HeaderStep(mot, object);
        case kTypeMotBody:
            return BodyStep(mot, object);
        case kTypeMotDirectory:
            return DirectoryStep(object);
        case kTypeMotBodyCa:
            M4_LOG(2, kSource, "CA is not supported yet");
            return PKT_SKIPPED;
        default:
            M4_LOG(2, kSource, "Unknown data group type(%d)", object.type);
            return PKT_SKIPPED;
    }
}

// --- paths -----------------------------------------------------------------------------------

std::string PKT_BodyPath() {
    std::lock_guard lock(g_body_path_mutex);
    return g_body_path;
}

std::string PKT_ObjectPath(const uint8_t* name, size_t length) {
    std::string relative(reinterpret_cast<const char*>(name), length);
    std::replace(relative.begin(), relative.end(), '\\', '/');
    M4_LOG(2, kSource, "===================%s===========", relative.c_str());
    M4_LOG(3, kSource, "MOTParamContent");
    const std::string body = PKT_BodyPath();
    if (body.empty()) {
        M4_LOG(1, kSource, "no MOT body path: %s not written", relative.c_str());
        return "";
    }
    // Names stay inside the body path: no absolute names, no "..", no NUL bytes, no overlong ones.
    bool inside = !relative.empty() && relative[0] != '/' &&
                  relative.find('\0') == std::string::npos &&
                  body.size() + relative.size() <= kMaxPathLength;
    for (size_t from = 0; inside && from <= relative.size();) {
        size_t to = relative.find('/', from);
        if (to == std::string::npos) to = relative.size();
        if (relative.compare(from, to - from, "..") == 0) inside = false;
        from = to + 1;
    }
    if (!inside) {
        M4_LOG(1, kSource, "MOT content name refused: %s", relative.c_str());
        return "";
    }
    for (size_t at = relative.find('/'); at != std::string::npos; at = relative.find('/', at + 1)) {
        mkdir((body + relative.substr(0, at)).c_str(), 0755);  // an existing folder stays
    }
    return body + relative;
}

int32_t SetMOTBodyPath(const char* path) {
    if (path == nullptr) return 0;
    const size_t length = std::strlen(path);
    if (length > kMaxPathLength) {
        M4_LOG(1, kSource, "SetMOTBodyPath: a path of %d characters is too long",
               static_cast<int>(length));
        return 0;
    }
    std::lock_guard lock(g_body_path_mutex);
    g_body_path.assign(path, length);
    return static_cast<int32_t>(length + 1);
}
