// MPEG-2 transport stream pieces of DMB video services (ISO/IEC 13818-1): reading PES packets
// and sections, writing PES packets and sections into transport packets, the sections'
// CRC-32. The ensemble builder makes its TV variants with them, the terminal its rewriting of
// MPEG-4 Systems streams.
#ifndef DAB_TRANSPORT_STREAM_H
#define DAB_TRANSPORT_STREAM_H

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace koru::dab {

inline constexpr size_t kTsPacketSize = 188;
inline constexpr int kNullPid = 0x1FFF;
inline constexpr int64_t kNoTime = -1;

int PacketPid(const uint8_t* packet);

// A PES packet: its PID, stream id, time stamps (90 kHz, kNoTime when absent), payload and the
// index of the transport packet it started in.
struct Pes {
    int pid = 0;
    uint8_t stream_id = 0;
    int64_t pts = kNoTime;
    int64_t dts = kNoTime;
    std::vector<uint8_t> payload;
    size_t first_packet = 0;
};

// The PES packets of the stream's PES PIDs (those whose payload starts with a start code), in
// the order they began.
std::vector<Pes> ReadPes(std::span<const uint8_t> ts);

// The first section of table_id on pid (with its CRC), or empty.
std::vector<uint8_t> ReadSection(std::span<const uint8_t> ts, int pid, uint8_t table_id);

// CRC-32 of MPEG-2 sections (generator 0x04C11DB7, preset all ones, not inverted).
uint32_t Crc32Mpeg(std::span<const uint8_t> data);

// Appends the transport packets of one PES packet on pid; the last packet is filled up with
// adaptation-field stuffing. `counter` is the PID's continuity counter.
void WritePes(int pid, uint8_t stream_id, int64_t pts, std::span<const uint8_t> payload,
              uint8_t* counter, std::vector<uint8_t>* out);

// Appends the transport packets of a section (pointer field 0, rest 0xFF).
void WriteSection(int pid, std::span<const uint8_t> section, uint8_t* counter,
                  std::vector<uint8_t>* out);

// Puts `packets` (whole transport packets) into the stream in place of pid's packets, in
// order; more packets than pid had take null packets, keeping pace with the packets they
// replace. What still does not fit is dropped; pid's packets not needed become null packets.
void ReplacePid(std::vector<uint8_t>* ts, int pid, const std::vector<uint8_t>& packets);

}  // namespace koru::dab

#endif
