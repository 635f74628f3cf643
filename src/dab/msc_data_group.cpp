#include "dab/msc_data_group.h"

#include <cassert>

#include "dab/bits.h"
#include "dab/crc.h"

namespace koru::dab {

std::vector<uint8_t> BuildMscDataGroup(const MscDataGroup& g) {
    assert(g.end_user_address.size() + (g.transport_id ? 2 : 0) <= 15);
    BitWriter w;
    w.Flag(g.extension.has_value());
    w.Flag(g.crc);
    w.Flag(g.segmented);
    w.Flag(g.user_access);
    w.Bits(g.type, 4);
    w.Bits(g.continuity, 4);
    w.Bits(g.repetition, 4);
    if (g.extension) w.U16(*g.extension);
    if (g.segmented) {
        w.Flag(g.last);
        w.Bits(g.segment, 15);
    }
    if (g.user_access) {
        w.Bits(0, 3);
        w.Flag(g.transport_id.has_value());
        w.Bits(static_cast<uint32_t>((g.transport_id ? 2 : 0) + g.end_user_address.size()), 4);
        if (g.transport_id) w.U16(*g.transport_id);
        w.Bytes(g.end_user_address);
    }
    w.Bytes(g.data);
    if (g.crc) w.Crc16();
    return w.Take();
}

std::optional<MscDataGroup> ParseMscDataGroup(std::span<const uint8_t> bytes,
                                              DataGroupError* error) {
    const auto fail = [&](DataGroupError e) -> std::optional<MscDataGroup> {
        if (error) *error = e;
        return std::nullopt;
    };
    if (bytes.size() < 2) return fail(DataGroupError::kTooShort);
    MscDataGroup g;
    g.crc = (bytes[0] & 0x40) != 0;
    if (g.crc) {
        if (bytes.size() < 4) return fail(DataGroupError::kTooShort);
        if (!Crc16Matches(bytes)) return fail(DataGroupError::kCrc);
        bytes = bytes.first(bytes.size() - 2);
    }
    BitReader r(bytes);
    const bool has_extension = r.Flag();
    r.Flag();
    g.segmented = r.Flag();
    g.user_access = r.Flag();
    g.type = static_cast<uint8_t>(r.Bits(4));
    g.continuity = static_cast<uint8_t>(r.Bits(4));
    g.repetition = static_cast<uint8_t>(r.Bits(4));
    if (has_extension) g.extension = r.U16();
    if (g.segmented) {
        g.last = r.Flag();
        g.segment = static_cast<uint16_t>(r.Bits(15));
    }
    if (g.user_access) {
        r.Bits(3);
        const bool has_tid = r.Flag();
        const size_t length = r.Bits(4);
        if (has_tid && length < 2) return fail(DataGroupError::kBadUserAccess);
        if (has_tid) g.transport_id = r.U16();
        std::span<const uint8_t> address = r.Bytes(length - (has_tid ? 2 : 0));
        g.end_user_address.assign(address.begin(), address.end());
    }
    if (!r.ok()) return fail(DataGroupError::kTooShort);
    std::span<const uint8_t> data = r.Rest();
    g.data.assign(data.begin(), data.end());
    if (error) *error = DataGroupError::kNone;
    return g;
}

}  // namespace koru::dab
