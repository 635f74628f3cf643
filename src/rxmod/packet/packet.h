// Packet-mode data services: the raw bytes of a packet-mode sub-channel are cut into the packets
// of one address (EN 300 401 clause 5.3.2), joined into MSC data groups (clause 5.3.3), data-group
// segments into objects and, for MOT services (DSCTy 60), into MOT headers, bodies and
// directories (EN 301 234). Finished bodies are written as files under the MOT body path that
// the player sets with SetMOTBodyPath; a directory is reported to the player with message 1247.
//
// The wire formats are read by the parsers of src/dab; this module keeps the receiver's own
// state machines, results and log lines. MOT comes in both of its modes: header mode (a type 3
// header before each body) and directory mode (one type 6 directory carrying every object's
// header, as broadcast websites are sent, with the bodies under the directory's transport ids).
#ifndef RXMOD_PACKET_PACKET_H
#define RXMOD_PACKET_PACKET_H

#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <string>
#include <vector>

#include "dab/mot.h"
#include "m4systems/queue.h"

// Results of the packet, data-group and MOT steps.
constexpr int PKT_SUCCESS = 0;  // a data group, an object or a MOT body is complete
constexpr int PKT_CRC_ERROR = -30;
constexpr int PKT_CONTINUITY_ERROR = -31;
constexpr int PKT_SKIPPED = -32;
constexpr int PKT_NEED_MORE = -33;
constexpr int MOT_ERR_TRANSPORT_ID = -7;  // a body of another object than the last header's
constexpr int MOT_ERR_TOO_LARGE = -8;     // header or body beyond its buffer limit
constexpr int MOT_ERR_UNPACK = -9;        // a gzip body that is broken or unpacks too large
constexpr int MOT_ERR_HEADER = -10;       // a header shorter than its 7-byte core
constexpr int MOT_ERR_BODY_SIZE = -11;    // a body of another size than its directory entry's
constexpr int MOT_ERR_DIRECTORY = -12;    // a directory whose size or object count lies

constexpr uint16_t kMotDscty = 60;
constexpr uint32_t kDataInputQueueBytes = 524288;
constexpr size_t kBufferStep = 131072;          // buffers start at this size and grow by it
constexpr size_t kMotHeaderBytes = 8192;        // the header buffer
constexpr size_t kSyncQueueBytes = 288;         // bytes needed before packet sync is looked for
constexpr size_t kMaxDataGroupBytes = 1 << 20;  // a data group cut from packets
constexpr size_t kMaxObjectBytes = 8 << 20;     // segments joined, and a MOT body
constexpr size_t kMaxUnpackedBytes = 8 << 20;   // a gzip body once unpacked
constexpr size_t kMaxDirectoryBytes = 1 << 20;  // a MOT directory (thousands of objects)
constexpr size_t kMaxHeldBodyBytes = 4 << 20;   // all bodies held until their directory comes
constexpr size_t kMaxPathLength = 255;          // body path and object path
constexpr int kMotDirectoryPaths = 16;          // paths of 1247 that stay valid at once

// Joins the packets of the wanted address into data groups.
struct PacketAssemblerState {
    int state = 0;            // 0 not synchronised, 1 waiting for a first packet, 2 collecting
    int last_continuity = 4;  // 4: none yet
    std::vector<uint8_t> data;
    size_t capacity = kBufferStep;
};

// Joins data-group segments (MOT segmentation headers left out) into objects.
struct DataGroupAssemblerState {
    int state = 0;  // 0 expecting segment 0, 1 collecting
    int type = 0;
    int continuity = 0;
    int repetition = 0;
    uint16_t transport_id = 0;
    bool has_transport_id = false;
    int last_segment = -1;
    std::vector<uint8_t> object;
    size_t capacity = kBufferStep;
};

// Directory mode: the objects the last MOT directory lists, the bodies that came before any
// directory listed them, and what is on disk. Bodies are written once; a repetition of the
// carousel that brings the same bytes under the same name leaves the file alone.
struct MotCarousel {
    std::vector<uint8_t> directory;                    // the last directory, as received
    std::map<uint16_t, koru::dab::MotHeader> entries;  // its objects by transport id
    std::string start_page;                            // the path 1247 reports
    uint32_t carousel_period = 0;                      // tenths of a second
    bool report_when_written = false;  // 1247 once more when every listed object is written
    // Bodies waiting for a directory, at most kMaxHeldBodyBytes in all (the oldest go first).
    std::map<uint16_t, std::vector<uint8_t>> held;
    std::deque<uint16_t> held_order;
    size_t held_bytes = 0;
    std::map<uint16_t, size_t> written;  // transport id -> digest of the path and bytes written
};

// The MOT object being received: its header (header mode) and its body, and the carousel of
// directory mode, which a reset of the header-mode object leaves as it is.
struct MotDecoderState {
    uint16_t transport_id = 0xFFFF;
    std::vector<uint8_t> header;
    uint32_t body_size = 0;        // 28 bits
    uint32_t header_size = 0;      // 13 bits
    uint8_t content_type = 0;      // 6 bits
    uint16_t content_subtype = 0;  // 9 bits
    bool compressed = false;       // CompressionType (parameter 17) of this header
    std::string object_path;       // the body path joined with this header's content name
    std::vector<uint8_t> body;
    size_t capacity = kBufferStep;
    MotCarousel carousel;
};

// One per stream start (made and destroyed through the receiver's data-decoder hooks).
// Finished data groups and MOT bodies are not kept: nothing reads an output queue.
struct DataDecoderContext {
    M4ByteQueue* input = nullptr;
    PacketAssemblerState packet;
    DataGroupAssemblerState group;
    MotDecoderState mot;
};

DataDecoderContext* NewBBContext();
void DeleteBBContext(DataDecoderContext* context);

// The data path: the payload of one stream packet of a data service. Joins packets of
// packet_address into data groups and hands them on by DSCTy.
void PKT_DataPath(DataDecoderContext* context, const uint8_t* payload, int length,
                  uint16_t packet_address, uint16_t dscty);

// The steps, one unit each (exposed for tests).
int PKT_PacketStep(DataDecoderContext* context, uint16_t packet_address);
int PKT_DataGroupStep(DataGroupAssemblerState& group, const uint8_t* bytes, size_t length);
int PKT_MotStep(MotDecoderState& mot, const DataGroupAssemblerState& object);
void PKT_ResetPacketAssembler(PacketAssemblerState& packet);
void PKT_ResetDataGroupAssembler(DataGroupAssemblerState& group);
// Forgets the header-mode object; the directory-mode carousel stays.
void PKT_ResetMotDecoder(MotDecoderState& mot);

// The body path set by the player ("" when none).
std::string PKT_BodyPath();
// Turns a MOT content name (UTF-8, without its character set byte) into the object's path: the
// body path joined with the name, "/" and "\" as folder separators, folders created on the way.
// Empty when no body path is set or the name would lead outside it (absolute, "..").
std::string PKT_ObjectPath(const uint8_t* name, size_t length);

#endif
