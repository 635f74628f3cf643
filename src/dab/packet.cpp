#include "dab/packet.h"

#include <algorithm>
#include <array>
#include <cassert>

#include "dab/crc.h"

namespace koru::dab {
namespace {

constexpr std::array<size_t, 4> kLengths{24, 48, 72, 96};

int LengthCode(size_t length) {
    for (int code = 0; code < 4; ++code) {
        if (kLengths[code] == length) return code;
    }
    return -1;
}

}  // namespace

size_t PacketLength(int code) {
    return kLengths[code & 3];
}

std::vector<uint8_t> BuildPacket(const Packet& p) {
    const int code = LengthCode(p.length);
    assert(code >= 0 && p.data.size() <= p.length - kPacketOverhead && p.address < 1024);
    std::vector<uint8_t> out(p.length, 0);
    out[0] = static_cast<uint8_t>((code << 6) | ((p.continuity & 3) << 4) | (p.first ? 8 : 0) |
                                  (p.last ? 4 : 0) | (p.address >> 8));
    out[1] = static_cast<uint8_t>(p.address);
    out[2] = static_cast<uint8_t>((p.command ? 0x80 : 0) | p.data.size());
    std::copy(p.data.begin(), p.data.end(), out.begin() + kPacketHeaderSize);
    PutCrc16(out);
    return out;
}

std::vector<uint8_t> PaddingPacket(size_t length) {
    Packet p;
    p.length = length;
    p.address = kPaddingPacketAddress;
    p.first = p.last = true;
    return BuildPacket(p);
}

std::optional<Packet> ParsePacketHeader(std::span<const uint8_t> bytes) {
    if (bytes.size() < kPacketHeaderSize) return std::nullopt;
    Packet p;
    p.length = PacketLength(bytes[0] >> 6);
    p.continuity = (bytes[0] >> 4) & 3;
    p.first = (bytes[0] & 0x08) != 0;
    p.last = (bytes[0] & 0x04) != 0;
    p.address = static_cast<uint16_t>(((bytes[0] & 3) << 8) | bytes[1]);
    p.command = (bytes[2] & 0x80) != 0;
    return p;
}

std::optional<Packet> ParsePacket(std::span<const uint8_t> bytes, PacketError* error) {
    const auto fail = [&](PacketError e) -> std::optional<Packet> {
        if (error) *error = e;
        return std::nullopt;
    };
    std::optional<Packet> p = ParsePacketHeader(bytes);
    if (!p || bytes.size() < p->length) return fail(PacketError::kTooShort);
    const std::span<const uint8_t> whole = bytes.first(p->length);
    if (!Crc16Matches(whole)) return fail(PacketError::kCrc);
    const size_t useful = bytes[2] & 0x7F;
    if (useful > p->length - kPacketOverhead) return fail(PacketError::kBadLength);
    p->data.assign(whole.begin() + kPacketHeaderSize,
                   whole.begin() + static_cast<std::ptrdiff_t>(kPacketHeaderSize + useful));
    if (error) *error = PacketError::kNone;
    return p;
}

std::vector<std::vector<uint8_t>> PacketWriter::Packetize(std::span<const uint8_t> group) {
    std::vector<std::vector<uint8_t>> packets;
    size_t at = 0;
    do {
        const size_t left = group.size() - at;
        Packet p;
        p.address = address_;
        p.length = kLengths.back();
        for (size_t length : kLengths) {
            if (left <= length - kPacketOverhead) {
                p.length = length;
                break;
            }
        }
        const size_t take = std::min(left, p.length - kPacketOverhead);
        p.first = at == 0;
        p.last = at + take == group.size();
        p.continuity = continuity_;
        continuity_ = (continuity_ + 1) & 3;
        p.data.assign(group.begin() + static_cast<std::ptrdiff_t>(at),
                      group.begin() + static_cast<std::ptrdiff_t>(at + take));
        at += take;
        packets.push_back(BuildPacket(p));
    } while (at < group.size());
    return packets;
}

void PacketAssembler::Feed(std::span<const uint8_t> bytes) {
    pending_.insert(pending_.end(), bytes.begin(), bytes.end());
    size_t at = 0;
    while (pending_.size() - at >= kPacketHeaderSize) {
        const size_t length = PacketLength(pending_[at] >> 6);
        if (pending_.size() - at < length) break;
        const std::optional<Packet> packet = ParsePacket(std::span(pending_).subspan(at));
        if (!packet) {
            // Not a packet here: lost sync or a corrupt packet. Look one byte further.
            if (in_sync_) ++crc_errors_;
            in_sync_ = false;
            ++at;
            continue;
        }
        in_sync_ = true;
        at += length;
        ++packets_;
        Take(*packet);
    }
    pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(at));
}

void PacketAssembler::Take(const Packet& packet) {
    if (packet.address != address_ || packet.command) return;
    const bool in_order = !last_continuity_ || ((*last_continuity_ + 1) & 3) == packet.continuity;
    last_continuity_ = packet.continuity;
    if (!in_order && collecting_) {
        ++continuity_errors_;
        collecting_ = false;
    }
    if (packet.first) {
        group_.clear();
        collecting_ = true;
    } else if (!collecting_) {
        return;  // the middle of a data group whose start was missed
    }
    group_.insert(group_.end(), packet.data.begin(), packet.data.end());
    if (packet.last) {
        collecting_ = false;
        on_data_group_(std::move(group_));
        group_.clear();
    }
}

}  // namespace koru::dab
