// Multimedia Object Transfer (EN 301 234): MOT headers with their parameters, MOT
// directories, the segmentation of headers, bodies and directories into MSC data groups, and
// a decoder that joins such data groups back into objects (header mode and directory mode).
#ifndef DAB_MOT_H
#define DAB_MOT_H

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "dab/msc_data_group.h"

namespace koru::dab {

// Parameter ids of the header extension (EN 301 234 clause 6.2, TS 101 498 for websites).
enum MotParameterId : uint8_t {
    kMotTriggerTime = 0x05,
    kMotVersion = 0x06,
    kMotExpiration = 0x09,
    kMotPriority = 0x0A,
    kMotLabel = 0x0B,
    kMotContentName = 0x0C,
    kMotMimeType = 0x10,
    kMotCompressionType = 0x11,
    kMotDirectoryIndex = 0x22,
};

inline constexpr uint8_t kMotCompressionGzip = 1;

// Content types (EN 301 234 clause 6.3 and TS 101 756 table 17).
enum MotContentType : uint8_t {
    kMotGeneralData = 0,
    kMotText = 1,
    kMotImage = 2,
    kMotAudio = 3,
    kMotVideo = 4,
    kMotTransport = 5,
    kMotSystem = 6,
    kMotApplication = 7,
};
inline constexpr uint16_t kMotTextAscii = 0;
inline constexpr uint16_t kMotTextHtml = 2;
inline constexpr uint16_t kMotImageGif = 0;
inline constexpr uint16_t kMotImageJfif = 1;
inline constexpr uint16_t kMotImagePng = 3;

struct MotParameter {
    uint8_t id = 0;
    std::vector<uint8_t> data;

    bool operator==(const MotParameter&) const = default;
};

struct MotHeader {
    uint32_t body_size = 0;  // 28 bits: the body as transported (compressed when compressed)
    uint8_t content_type = 0;
    uint16_t content_subtype = 0;
    std::vector<MotParameter> parameters;  // in order

    const MotParameter* Find(uint8_t id) const;
    // ContentName without its character set byte, as UTF-8.
    std::optional<std::string> ContentName() const;
    void SetContentName(const std::string& name);  // EBU Latin / ASCII names, set 0
    std::optional<uint8_t> CompressionType() const;

    bool operator==(const MotHeader&) const = default;
};

// The header core (EN 301 234 clause 6.1): the first 7 bytes of every header.
struct MotHeaderCore {
    uint32_t body_size = 0;    // 28 bits
    uint16_t header_size = 0;  // 13 bits: the core and the extension
    uint8_t content_type = 0;
    uint16_t content_subtype = 0;
};
// nullopt when fewer than 7 bytes.
std::optional<MotHeaderCore> ParseMotHeaderCore(std::span<const uint8_t> bytes);

// Header core (7 bytes) and extension; HeaderSize is computed.
std::vector<uint8_t> BuildMotHeader(const MotHeader& header);
// Parses a header of exactly `bytes.size()` bytes as its HeaderSize says (a longer buffer is
// cut to HeaderSize); nullopt when HeaderSize or a parameter runs past the bytes.
std::optional<MotHeader> ParseMotHeader(std::span<const uint8_t> bytes);

struct MotObject {
    uint16_t transport_id = 0;
    MotHeader header;
    std::vector<uint8_t> body;  // as transported

    bool operator==(const MotObject&) const = default;
};

// A MOT directory: the carousel's description and the headers of its objects.
struct MotDirectory {
    uint32_t carousel_period = 0;          // 1/10 s, 24 bits
    uint16_t segment_size = 0;             // 13 bits
    std::vector<MotParameter> parameters;  // directory extension, e.g. DirectoryIndex
    std::vector<MotObject> entries;        // transport id and header; bodies empty

    bool operator==(const MotDirectory&) const = default;
};

std::vector<uint8_t> BuildMotDirectory(const MotDirectory& directory);

enum class MotDirectoryError {
    kNone,
    kTooShort,     // not even the fixed fields
    kCompressed,   // the compression flag is set (not supported)
    kSize,         // DirectorySize is not the number of bytes
    kExtension,    // the extension, or a parameter in it, runs past its end
    kObjectCount,  // NumberOfObjects headers do not fill the directory exactly
};
// Parses a whole directory: DirectorySize must equal the bytes given, and NumberOfObjects
// entries (transport id and header each) must fill the rest exactly.
std::optional<MotDirectory> ParseMotDirectory(std::span<const uint8_t> bytes,
                                              MotDirectoryError* error = nullptr);

// The segmentation header that starts each segment of a header, body or directory
// (EN 301 234 clause 5.1.1): repetition count (3 bits) and segment size (13 bits).
struct MotSegment {
    uint8_t repetition_count = 0;
    std::span<const uint8_t> data;  // the segment's SegmentSize bytes
};
// nullopt when the data field is shorter than 2 bytes or than the segment size says.
std::optional<MotSegment> ParseMotSegment(std::span<const uint8_t> data_field);

// Cuts MOT entities into segmented MSC data groups (segmentation header, transport id, CRC).
// Each data group type has its own continuity index.
class MotEncoder {
  public:
    explicit MotEncoder(size_t segment_size = 1024) : segment_size_(segment_size) {}

    // Header mode: the header (type 3) then the body (type 4).
    std::vector<MscDataGroup> EncodeObject(const MotObject& object);
    std::vector<MscDataGroup> EncodeHeader(const MotObject& object);
    std::vector<MscDataGroup> EncodeBody(const MotObject& object);
    // Directory mode: the directory (type 6) under its own transport id.
    std::vector<MscDataGroup> EncodeDirectory(const MotDirectory& directory, uint16_t transport_id);

  private:
    std::vector<MscDataGroup> Segment(uint8_t type, uint16_t transport_id,
                                      std::span<const uint8_t> entity);

    size_t segment_size_;
    std::map<uint8_t, uint8_t> continuity_;
};

// Joins data groups into MOT objects. Segments may come in any order and repeated; a new
// transport id on a data group type starts afresh. Objects are reported once each (per
// transport id and body), directories whenever a new one is complete.
class MotDecoder {
  public:
    using ObjectHandler = std::function<void(const MotObject& object)>;
    using DirectoryHandler = std::function<void(const MotDirectory& directory)>;

    MotDecoder(ObjectHandler on_object, DirectoryHandler on_directory = nullptr)
        : on_object_(std::move(on_object)), on_directory_(std::move(on_directory)) {}

    // Takes one data group (parsed); data groups of other types are ignored. Returns false
    // when the data group is no MOT segment (no segment field or transport id).
    bool Feed(const MscDataGroup& group);
    // Parses the bytes first; false on a bad data group (CRC).
    bool Feed(std::span<const uint8_t> data_group);

    // Objects bigger than this are dropped (default 16 MB).
    void set_max_object_size(size_t bytes) { max_object_size_ = bytes; }

  private:
    struct Entity {
        std::map<uint16_t, std::vector<uint8_t>> segments;
        std::optional<uint16_t> last;
        size_t bytes = 0;
        bool Complete() const;
        std::vector<uint8_t> Join() const;
    };
    bool AddSegment(Entity& entity, const MscDataGroup& group);
    void TryComplete(uint16_t transport_id);

    ObjectHandler on_object_;
    DirectoryHandler on_directory_;
    size_t max_object_size_ = 16 << 20;
    std::map<uint16_t, Entity> headers_;
    std::map<uint16_t, Entity> bodies_;
    std::map<uint16_t, MotHeader> known_headers_;  // from header mode or the directory
    Entity directory_;
    std::optional<uint16_t> directory_tid_;
    std::vector<uint8_t> last_directory_;
    std::map<uint16_t, size_t> delivered_;  // transport id -> hash of the body delivered
};

}  // namespace koru::dab

#endif
