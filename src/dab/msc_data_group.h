// MSC data groups (EN 300 401 clause 5.3.3): the unit that carries MOT headers, bodies and
// directories and other data in packet mode and in X-PAD.
//
//   header: extension flag, CRC flag, segment flag, user access flag, type (4 bits),
//           continuity index (4), repetition index (4), [extension field (16)]
//   session header: [last flag (1), segment number (15)]
//                   [rfa (3), transport id flag (1), length indicator (4), [transport id (16)],
//                    end user address]
//   data field, [CRC-16 over everything before it]
#ifndef DAB_MSC_DATA_GROUP_H
#define DAB_MSC_DATA_GROUP_H

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace koru::dab {

enum DataGroupType : uint8_t {
    kDataGroupGeneral = 0,
    kDataGroupMotHeader = 3,
    kDataGroupMotBody = 4,
    kDataGroupMotBodyCa = 5,
    kDataGroupMotDirectory = 6,
};

struct MscDataGroup {
    uint8_t type = kDataGroupGeneral;
    uint8_t continuity = 0;  // 0 to 15
    uint8_t repetition = 0;  // 0 to 15
    std::optional<uint16_t> extension;
    bool crc = true;
    // Segment field.
    bool segmented = false;
    bool last = false;
    uint16_t segment = 0;  // 0 to 32767
    // User access field.
    bool user_access = false;
    std::optional<uint16_t> transport_id;
    std::vector<uint8_t> end_user_address;
    std::vector<uint8_t> data;  // data group data field

    bool operator==(const MscDataGroup&) const = default;
};

std::vector<uint8_t> BuildMscDataGroup(const MscDataGroup& group);

enum class DataGroupError { kNone, kTooShort, kCrc, kBadUserAccess };

// Parses a whole data group; with the CRC flag the CRC must hold.
std::optional<MscDataGroup> ParseMscDataGroup(std::span<const uint8_t> bytes,
                                              DataGroupError* error = nullptr);

}  // namespace koru::dab

#endif
