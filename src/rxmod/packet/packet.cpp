// Packet mode, data groups and MOT objects.
#include "rxmod/packet/packet.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <mutex>
#include <optional>
#include <span>
#include <string_view>

#include "dab/charset.h"
#include "dab/crc.h"
#include "dab/gzip.h"
#include "dab/msc_data_group.h"
#include "dab/packet.h"
#include "m4systems/atomic_file.h"
#include "m4systems/log.h"
#include "m4systems/messages.h"
#include "m4systems/terminal.h"
#include "rxmod/rxmod_api.h"

namespace {

namespace dab = koru::dab;

constexpr const char* kSource = "packet";
constexpr size_t kLargestPacket = 96;
constexpr int kNoContinuity = 4;

std::mutex g_body_path_mutex;  // the player sets the path while the download thread reads it
std::string g_body_path;

// The paths that message 1247 refers to: each message takes the next slot, so the text a
// message points at stays unchanged until kMotDirectoryPaths further directories came.
char g_directory_paths[kMotDirectoryPaths][kMaxPathLength + 1];
int g_next_directory_path = 0;

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
    while (SQ_PeekData(input, packet, dab::kPacketHeaderSize) == dab::kPacketHeaderSize) {
        const std::optional<dab::Packet> header = dab::ParsePacketHeader(packet);
        if (header->address == address) {
            if (SQ_GetDataNum(input) < header->length) return false;  // wait for all of it
            SQ_PeekData(input, packet, static_cast<uint32_t>(header->length));
            if (dab::ParsePacket(std::span<const uint8_t>(packet, header->length))) {
                context->packet.state = 1;
                return true;
            }
        }
        uint8_t dropped;
        SQ_GetData(input, &dropped, 1);
    }
    return false;
}

// --- MOT objects -------------------------------------------------------------------------------

// A name parameter (ContentName, DirectoryIndex): a byte whose high four bits give the character
// set, then the name, as UTF-8. "/" and "\" separate folders in every set: they are ASCII bytes
// in the single-byte sets and in UTF-8 (EBU Latin alone would read "\" as a letter).
std::string NameText(std::span<const uint8_t> name, uint8_t charset) {
    if (charset == dab::kCharsetUcs2) return dab::DabTextToUtf8(name, charset);
    std::string text;
    size_t from = 0;
    for (size_t at = 0; at <= name.size(); ++at) {
        if (at < name.size() && name[at] != '/' && name[at] != '\\') continue;
        text += dab::DabTextToUtf8(name.subspan(from, at - from), charset);
        if (at < name.size()) text += '/';
        from = at + 1;
    }
    return text;
}

std::string NameParameterPath(const dab::MotParameter& parameter) {
    if (parameter.data.empty()) return "";
    const uint8_t charset = parameter.data[0] >> 4;
    const std::span<const uint8_t> name = std::span(parameter.data).subspan(1);
    if (charset != dab::kCharsetUcs2 && std::find(name.begin(), name.end(), 0) != name.end()) {
        M4_LOG(1, kSource, "MOT content name refused: %s", NameText(name, charset).c_str());
        return "";
    }
    const std::string text = NameText(name, charset);
    return PKT_ObjectPath(reinterpret_cast<const uint8_t*>(text.data()), text.size());
}

// Where a header's object goes and whether its body is packed.
struct ObjectTarget {
    std::string path;
    bool compressed = false;
};

ObjectTarget TargetOf(const dab::MotHeader& header) {
    ObjectTarget target;
    for (const dab::MotParameter& parameter : header.parameters) {
        switch (parameter.id) {
            case dab::kMotContentName:
            case dab::kMotDirectoryIndex:
                if (!parameter.data.empty()) target.path = NameParameterPath(parameter);
                break;
            case dab::kMotCompressionType:
                if (!parameter.data.empty()) target.compressed = parameter.data[0] != 0;
                break;
            default:  // read and dropped
                break;
        }
    }
    return target;
}

// The body as it is written: unpacked when the header says it is compressed (data without the
// gzip magic passes unchanged). MOT_ERR_UNPACK when it does not unpack within the limit.
int FinalBody(std::span<const uint8_t> body, bool compressed, std::vector<uint8_t>* out) {
    if (!compressed || !dab::IsGzip(body)) {
        out->assign(body.begin(), body.end());
        return PKT_SUCCESS;
    }
    dab::GzipError error = dab::GzipError::kNone;
    std::optional<std::vector<uint8_t>> plain =
        dab::GzipDecompress(body, kMaxUnpackedBytes, &error);
    if (!plain) {
        if (error == dab::GzipError::kTooLarge) {
            M4_LOG(1, kSource, "unzip : insize(%d) unpacks to more than %d bytes",
                   static_cast<int>(body.size()), static_cast<int>(kMaxUnpackedBytes));
        } else {
            M4_LOG(1, kSource, "unzip : broken gzip data, insize(%d)",
                   static_cast<int>(body.size()));
        }
        return MOT_ERR_UNPACK;
    }
    M4_LOG(2, kSource, "unzip : insize(%d), outsize(%d)", static_cast<int>(body.size()),
           static_cast<int>(plain->size()));
    *out = std::move(*plain);
    return PKT_SUCCESS;
}

size_t Digest(const std::string& path, const std::vector<uint8_t>& bytes) {
    const std::hash<std::string_view> hash;
    const size_t of_bytes =
        hash(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
    return of_bytes ^ (hash(path) + 0x9E3779B97F4A7C15ull + (of_bytes << 6) + (of_bytes >> 2));
}

void WriteObject(const std::string& path, const std::vector<uint8_t>& body) {
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

// 1247: the start page's path and the carousel period.
void ReportDirectory(const std::string& path, uint32_t period) {
    char* text = g_directory_paths[g_next_directory_path];
    g_next_directory_path = (g_next_directory_path + 1) % kMotDirectoryPaths;
    const size_t length = std::min(path.size(), kMaxPathLength);
    std::memcpy(text, path.data(), length);
    text[length] = '\0';
    M4T_SendMessage(WM_SYSTEM_MOT_DIR_TIME, reinterpret_cast<M4Param>(text),
                    static_cast<M4Param>(period));
}

bool EveryObjectWritten(const MotCarousel& carousel) {
    return std::all_of(carousel.entries.begin(), carousel.entries.end(),
                       [&](const auto& entry) { return carousel.written.contains(entry.first); });
}

// A body has been written: once every object of the directory is on disk, the start page is
// reported again, so that a directory that came before its bodies opens a page that is there.
void Written(MotCarousel& carousel, uint16_t transport_id, size_t digest) {
    carousel.written[transport_id] = digest;
    if (carousel.report_when_written && EveryObjectWritten(carousel)) {
        carousel.report_when_written = false;
        ReportDirectory(carousel.start_page, carousel.carousel_period);
    }
}

// --- header mode -------------------------------------------------------------------------------

int HeaderStep(MotDecoderState& mot, const DataGroupAssemblerState& object) {
    const std::vector<uint8_t>& bytes = object.object;
    if (bytes.size() > kMotHeaderBytes) {
        M4_LOG(1, kSource, "MOT header of %d bytes is larger than its buffer",
               static_cast<int>(bytes.size()));
        return MOT_ERR_TOO_LARGE;
    }
    const std::optional<dab::MotHeaderCore> core = dab::ParseMotHeaderCore(bytes);
    if (!core) return MOT_ERR_HEADER;
    PKT_ResetMotDecoder(mot);  // a new header starts a new object
    mot.header = bytes;
    mot.body_size = core->body_size;
    mot.header_size = core->header_size;
    mot.content_type = core->content_type;
    mot.content_subtype = core->content_subtype;
    mot.transport_id = object.has_transport_id ? object.transport_id : 0xFFFF;
    if (mot.header_size == bytes.size()) {
        if (const std::optional<dab::MotHeader> header = dab::ParseMotHeader(bytes)) {
            const ObjectTarget target = TargetOf(*header);
            mot.object_path = target.path;
            mot.compressed = target.compressed;
        } else {
            M4_LOG(1, kSource, "MOT header parameter runs past the header");
        }
    }
    M4_LOG(2, kSource, "MOT header received: %d bytes", static_cast<int>(bytes.size()));
    return PKT_SKIPPED;
}

int HeaderModeBodyStep(MotDecoderState& mot, const DataGroupAssemblerState& object) {
    if (!MakeRoom(mot.body, &mot.capacity, object.object.size(), kMaxObjectBytes)) {
        M4_LOG(1, kSource, "MOT body larger than %d bytes", static_cast<int>(kMaxObjectBytes));
        return MOT_ERR_TOO_LARGE;
    }
    mot.body.insert(mot.body.end(), object.object.begin(), object.object.end());
    M4_LOG(2, kSource, "MOT Body received: %d bytes", static_cast<int>(mot.body.size()));
    if (mot.body.size() < mot.body_size) return PKT_SKIPPED;

    std::vector<uint8_t> body;
    const int unpacked =
        FinalBody(std::span(mot.body.data(), mot.body_size), mot.compressed, &body);
    if (unpacked != PKT_SUCCESS) return unpacked;
    WriteObject(mot.object_path, body);
    Written(mot.carousel, mot.transport_id, Digest(mot.object_path, body));
    PKT_ResetMotDecoder(mot);
    return PKT_SUCCESS;
}

// --- directory mode ----------------------------------------------------------------------------

// A body whose directory entry is known: written under the entry's name unless the same bytes
// are there already.
int DirectoryModeBody(MotCarousel& carousel, uint16_t transport_id,
                      const std::vector<uint8_t>& bytes) {
    const dab::MotHeader& header = carousel.entries.at(transport_id);
    if (bytes.size() != header.body_size) {
        M4_LOG(1, kSource, "MOT body %d of %d bytes, its directory entry says %d",
               static_cast<int>(transport_id), static_cast<int>(bytes.size()),
               static_cast<int>(header.body_size));
        return MOT_ERR_BODY_SIZE;
    }
    M4_LOG(2, kSource, "MOT Body received: %d bytes", static_cast<int>(bytes.size()));
    const ObjectTarget target = TargetOf(header);
    std::vector<uint8_t> body;
    const int unpacked = FinalBody(bytes, target.compressed, &body);
    if (unpacked != PKT_SUCCESS) return unpacked;
    const size_t digest = Digest(target.path, body);
    if (auto found = carousel.written.find(transport_id);
        found != carousel.written.end() && found->second == digest) {
        M4_LOG(3, kSource, "MOT object %d unchanged", static_cast<int>(transport_id));
        return PKT_SKIPPED;
    }
    WriteObject(target.path, body);
    Written(carousel, transport_id, digest);
    return PKT_SUCCESS;
}

// Takes a held body out of the carousel (empty when none is held).
std::vector<uint8_t> TakeHeld(MotCarousel& carousel, uint16_t transport_id) {
    auto found = carousel.held.find(transport_id);
    if (found == carousel.held.end()) return {};
    std::vector<uint8_t> body = std::move(found->second);
    carousel.held_bytes -= body.size();
    carousel.held.erase(found);
    std::erase(carousel.held_order, transport_id);
    return body;
}

// A body that no directory lists yet waits for one, within kMaxHeldBodyBytes in all.
int HoldBody(MotCarousel& carousel, uint16_t transport_id, const std::vector<uint8_t>& bytes) {
    TakeHeld(carousel, transport_id);  // a repetition replaces what was held
    if (bytes.size() > kMaxHeldBodyBytes) {
        M4_LOG(1, kSource, "MOT body %d of %d bytes is too large to wait for its directory",
               static_cast<int>(transport_id), static_cast<int>(bytes.size()));
        return PKT_SKIPPED;
    }
    while (carousel.held_bytes + bytes.size() > kMaxHeldBodyBytes) {
        const uint16_t oldest = carousel.held_order.front();
        M4_LOG(2, kSource, "MOT body %d dropped: no directory came for it",
               static_cast<int>(oldest));
        TakeHeld(carousel, oldest);
    }
    carousel.held[transport_id] = bytes;
    carousel.held_order.push_back(transport_id);
    carousel.held_bytes += bytes.size();
    M4_LOG(2, kSource, "MOT body %d kept until its directory comes",
           static_cast<int>(transport_id));
    return PKT_SKIPPED;
}

// A new directory replaces the set of objects: what was written for an object it no longer
// lists, or lists with another header, no longer counts as written.
void TakeDirectory(MotCarousel& carousel, const std::vector<uint8_t>& bytes,
                   const dab::MotDirectory& directory) {
    if (bytes == carousel.directory) return;
    std::map<uint16_t, dab::MotHeader> entries;
    for (const dab::MotObject& entry : directory.entries)
        entries[entry.transport_id] = entry.header;
    std::erase_if(carousel.written, [&](const auto& written) {
        const auto now = entries.find(written.first);
        if (now == entries.end()) return true;
        const auto before = carousel.entries.find(written.first);
        return before != carousel.entries.end() && before->second != now->second;
    });
    carousel.entries = std::move(entries);
    carousel.directory = bytes;
}

const char* DirectoryFault(dab::MotDirectoryError error) {
    switch (error) {
        case dab::MotDirectoryError::kCompressed:
            return "compressed directories are not supported";
        case dab::MotDirectoryError::kSize:
            return "DirectorySize is not its length";
        case dab::MotDirectoryError::kExtension:
            return "its extension runs past its end";
        case dab::MotDirectoryError::kObjectCount:
            return "NumberOfObjects does not match its entries";
        default:
            return "too short";
    }
}

int DirectoryStep(MotCarousel& carousel, const DataGroupAssemblerState& object) {
    const std::vector<uint8_t>& bytes = object.object;
    dab::MotDirectoryError error = dab::MotDirectoryError::kNone;
    const std::optional<dab::MotDirectory> directory =
        bytes.size() <= kMaxDirectoryBytes ? dab::ParseMotDirectory(bytes, &error) : std::nullopt;
    if (!directory) {
        M4_LOG(1, kSource, "MOT directory of %d bytes rejected: %s", static_cast<int>(bytes.size()),
               bytes.size() > kMaxDirectoryBytes ? "larger than its limit" : DirectoryFault(error));
        return MOT_ERR_DIRECTORY;
    }
    M4_LOG(2, kSource, "dir_size[%d], dir_num[%d], dir_time[%d]", static_cast<int>(bytes.size()),
           static_cast<int>(directory->entries.size()),
           static_cast<int>(directory->carousel_period));

    // The first extension parameter (the DirectoryIndex) names the start page.
    std::string path;
    if (!directory->parameters.empty()) path = NameParameterPath(directory->parameters.front());
    if (path.empty()) path = PKT_BodyPath();

    TakeDirectory(carousel, bytes, *directory);
    carousel.start_page = path;
    carousel.carousel_period = directory->carousel_period;
    carousel.report_when_written = false;
    for (const auto& entry : carousel.entries) {
        const uint16_t transport_id = entry.first;
        if (!carousel.held.contains(transport_id)) continue;
        if (DirectoryModeBody(carousel, transport_id, TakeHeld(carousel, transport_id)) ==
            PKT_SUCCESS) {
            M4_LOG(2, kSource, "MOT data is made up. Use this!!");
        }
    }
    ReportDirectory(path, directory->carousel_period);
    carousel.report_when_written = !EveryObjectWritten(carousel);
    return PKT_SKIPPED;
}

// A body: the current header's (header mode), a listed object's (directory mode), a body of
// another object than the current header's (-7), or one that waits for its directory.
int BodyStep(MotDecoderState& mot, const DataGroupAssemblerState& object) {
    if (!object.has_transport_id) return MOT_ERR_TRANSPORT_ID;
    const uint16_t transport_id = object.transport_id;
    if (!mot.header.empty() && transport_id == mot.transport_id) {
        return HeaderModeBodyStep(mot, object);
    }
    if (mot.carousel.entries.contains(transport_id)) {
        return DirectoryModeBody(mot.carousel, transport_id, object.object);
    }
    if (!mot.header.empty()) return MOT_ERR_TRANSPORT_ID;
    return HoldBody(mot.carousel, transport_id, object.object);
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

void PKT_ResetPacketAssembler(PacketAssemblerState& packet) {
    packet.state = 0;
    packet.last_continuity = kNoContinuity;
    packet.data.clear();
}

void PKT_ResetDataGroupAssembler(DataGroupAssemblerState& group) {
    group.state = 0;
    group.type = 0;
    group.continuity = 0;
    group.repetition = 0;
    group.transport_id = 0;
    group.has_transport_id = false;
    group.last_segment = -1;
    group.object.clear();
}

void PKT_ResetMotDecoder(MotDecoderState& mot) {
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
    PacketAssemblerState& packet = context->packet;
    const uint32_t queued = SQ_GetDataNum(input);
    if (queued == 0) {
        M4_LOG(3, kSource, "End of file");
        return PKT_NEED_MORE;
    }
    uint8_t bytes[kLargestPacket];
    if (SQ_PeekData(input, bytes, dab::kPacketHeaderSize) != dab::kPacketHeaderSize) {
        return PKT_NEED_MORE;
    }
    const size_t length = dab::ParsePacketHeader(bytes)->length;
    if (queued < length) return PKT_NEED_MORE;
    SQ_GetData(input, bytes, static_cast<uint32_t>(length));

    const std::span<const uint8_t> whole(bytes, length);
    dab::PacketError error = dab::PacketError::kNone;
    const std::optional<dab::Packet> parsed = dab::ParsePacket(whole, &error);
    if (error == dab::PacketError::kCrc) {
        M4_LOG(1, kSource, "Check Sum is not matched: %04x!=%04x",
               dab::Crc16(whole.first(length - 2)), bytes[length - 2] << 8 | bytes[length - 1]);
        return PKT_CRC_ERROR;
    }
    if (!parsed) {
        M4_LOG(1, kSource, "PacketInfo: useful data length %d beyond the packet", bytes[2] & 0x7F);
        return PKT_CRC_ERROR;
    }
    if (parsed->address != packet_address) return PKT_SKIPPED;

    if (packet.last_continuity != kNoContinuity &&
        ((packet.last_continuity + 1) & 0x03) != parsed->continuity) {
        M4_LOG(1, kSource, "Continuity counter error: current=%d,received=%d",
               packet.last_continuity, parsed->continuity);
        return PKT_CONTINUITY_ERROR;
    }
    packet.last_continuity = parsed->continuity;

    const std::vector<uint8_t>& data = parsed->data;
    if (parsed->first) {
        // A first packet always starts a data group (one whose last packet got lost is dropped).
        packet.data.assign(data.begin(), data.end());
        packet.state = 2;
        M4_LOG(3, kSource, "PacketInfo: Packet started. data len=%d",
               static_cast<int>(data.size()));
    } else if (packet.state == 1) {
        M4_LOG(3, kSource, "PacketInfo: Packet More Data. data len=%d",
               static_cast<int>(data.size()));
        return PKT_SKIPPED;
    } else {
        if (!MakeRoom(packet.data, &packet.capacity, data.size(), kMaxDataGroupBytes, true)) {
            M4_LOG(1, kSource, "PacketInfo: data group longer than %d bytes",
                   static_cast<int>(kMaxDataGroupBytes));
            return PKT_CRC_ERROR;
        }
        packet.data.insert(packet.data.end(), data.begin(), data.end());
    }
    if (!parsed->last) return PKT_SKIPPED;
    packet.state = 1;
    M4_LOG(3, kSource, "PacketInfo: Packet finished. length=%d",
           static_cast<int>(packet.data.size()));
    return PKT_SUCCESS;
}

int PKT_DataGroupStep(DataGroupAssemblerState& group, const uint8_t* bytes, size_t length) {
    dab::DataGroupError error = dab::DataGroupError::kNone;
    const std::optional<dab::MscDataGroup> parsed =
        dab::ParseMscDataGroup(std::span(bytes, length), &error);
    if (error == dab::DataGroupError::kCrc) {
        M4_LOG(1, kSource, "Data Group CRC Error");
        return PKT_CRC_ERROR;
    }
    if (parsed) M4_LOG(3, kSource, "DataGroup_Decode data group type [%d]", parsed->type);
    // The MOT segmentation header (repetition count, segment size) is not part of the object.
    const std::optional<dab::MotSegment> segment =
        parsed ? dab::ParseMotSegment(parsed->data) : std::nullopt;
    if (!segment) {
        M4_LOG(1, kSource, "DataGroup_Decode: data group of %d bytes is too short",
               static_cast<int>(length));
        return PKT_CRC_ERROR;
    }
    const int type = parsed->type;
    const int number = parsed->segment;
    const bool has_transport_id = parsed->transport_id.has_value();
    const uint16_t transport_id = parsed->transport_id.value_or(0);

    // A segment of another entity, or a new segment 0, abandons a partly joined object: joining
    // it would mix two objects.
    if (group.state == 1 &&
        (number == 0 || type != group.type || has_transport_id != group.has_transport_id ||
         transport_id != group.transport_id)) {
        PKT_ResetDataGroupAssembler(group);
    }
    if (group.state == 0) {
        if (number != 0) return PKT_SKIPPED;
        group.type = type;
        group.continuity = parsed->continuity;
        group.repetition = parsed->repetition;
        group.transport_id = transport_id;
        group.has_transport_id = has_transport_id;
        group.object.clear();
        group.state = 1;
    } else if (number != group.last_segment + 1) {
        return PKT_CONTINUITY_ERROR;
    }
    if (!MakeRoom(group.object, &group.capacity, segment->data.size(), kMaxObjectBytes)) {
        M4_LOG(1, kSource, "DataGroup_Decode: object larger than %d bytes",
               static_cast<int>(kMaxObjectBytes));
        return PKT_CRC_ERROR;
    }
    group.object.insert(group.object.end(), segment->data.begin(), segment->data.end());
    group.last_segment = number;
    if (!parsed->last) return PKT_SKIPPED;
    group.state = 0;
    return PKT_SUCCESS;
}

int PKT_MotStep(MotDecoderState& mot, const DataGroupAssemblerState& object) {
    switch (object.type) {
        case dab::kDataGroupMotHeader:
            return HeaderStep(mot, object);
        case dab::kDataGroupMotBody:
            return BodyStep(mot, object);
        case dab::kDataGroupMotDirectory:
            return DirectoryStep(mot.carousel, object);
        case dab::kDataGroupMotBodyCa:
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
