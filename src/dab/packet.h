// Packet mode (EN 300 401 clause 5.3.2): packets of 24, 48, 72 or 96 bytes that carry data
// groups of several services in one sub-channel, told apart by a 10-bit address.
//
//   byte 0-1: packet length (2 bits), continuity index (2), first flag, last flag,
//             address (10)
//   byte 2:   command flag, useful data length (7)
//   useful data, padding (zeros) to the packet length less 2, CRC-16
#ifndef DAB_PACKET_H
#define DAB_PACKET_H

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <vector>

namespace koru::dab {

inline constexpr size_t kPacketHeaderSize = 3;
inline constexpr size_t kPacketOverhead = kPacketHeaderSize + 2;
inline constexpr uint16_t kPaddingPacketAddress = 0;

struct Packet {
    size_t length = 96;  // 24, 48, 72 or 96
    uint8_t continuity = 0;
    bool first = true;
    bool last = true;
    uint16_t address = 0;
    bool command = false;
    std::vector<uint8_t> data;  // useful data, at most length - 5 bytes

    bool operator==(const Packet&) const = default;
};

// Packet length of the 2-bit length code, and back.
size_t PacketLength(int code);
std::vector<uint8_t> BuildPacket(const Packet& packet);
// A padding packet of `length` bytes (address 0, no useful data).
std::vector<uint8_t> PaddingPacket(size_t length = 24);

enum class PacketError { kNone, kTooShort, kCrc, kBadLength };

// The header fields of the packet at the start of `bytes` (3 bytes needed): length,
// continuity, flags, address, command; data empty and the CRC not looked at.
std::optional<Packet> ParsePacketHeader(std::span<const uint8_t> bytes);
// Parses a packet at the start of `bytes` (which may hold more); nullopt when too few bytes,
// a CRC mismatch, or a useful data length beyond the packet.
std::optional<Packet> ParsePacket(std::span<const uint8_t> bytes, PacketError* error = nullptr);

// Cuts data groups of one address into packets: 96-byte packets, the last one as short as
// its data allows, with the continuity index counting on across data groups.
class PacketWriter {
  public:
    explicit PacketWriter(uint16_t address) : address_(address) {}
    std::vector<std::vector<uint8_t>> Packetize(std::span<const uint8_t> data_group);
    uint16_t address() const { return address_; }

  private:
    uint16_t address_;
    uint8_t continuity_ = 0;
};

// Joins the packets of one address, read from a packet-mode sub-channel's bytes in any
// pieces, into data groups. It finds packet sync by length and CRC, skips other addresses,
// and drops a data group when a packet is missing (continuity) or corrupt.
class PacketAssembler {
  public:
    using DataGroupHandler = std::function<void(std::vector<uint8_t> data_group)>;

    PacketAssembler(uint16_t address, DataGroupHandler on_data_group)
        : address_(address), on_data_group_(std::move(on_data_group)) {}

    void Feed(std::span<const uint8_t> bytes);

    size_t packets() const { return packets_; }
    // Losses of packet sync (a corrupt packet or bytes that are no packets).
    size_t crc_errors() const { return crc_errors_; }
    size_t continuity_errors() const { return continuity_errors_; }

  private:
    void Take(const Packet& packet);

    uint16_t address_;
    DataGroupHandler on_data_group_;
    std::vector<uint8_t> pending_;  // bytes not yet parsed
    std::vector<uint8_t> group_;
    bool collecting_ = false;
    bool in_sync_ = true;
    std::optional<uint8_t> last_continuity_;
    size_t packets_ = 0;
    size_t crc_errors_ = 0;
    size_t continuity_errors_ = 0;
};

}  // namespace koru::dab

#endif
