#include "dab/transport_stream.h"

#include <algorithm>
#include <map>

namespace koru::dab {
namespace {

constexpr uint8_t kSync = 0x47;

bool StartsUnit(const uint8_t* p) {
    return (p[1] & 0x40) != 0;
}

// The payload of a transport packet, empty when it has none.
std::span<const uint8_t> Payload(const uint8_t* p) {
    size_t offset = 4;
    if (p[3] & 0x20) offset += 1 + size_t{p[4]};
    if (!(p[3] & 0x10) || offset >= kTsPacketSize) return {};
    return {p + offset, kTsPacketSize - offset};
}

int64_t ReadTime(const uint8_t* t) {
    return (int64_t{t[0] & 0x0E} << 29) | (int64_t{t[1]} << 22) | (int64_t{t[2] & 0xFE} << 14) |
           (int64_t{t[3]} << 7) | (t[4] >> 1);
}

void PutTime(uint8_t marker, int64_t time, std::vector<uint8_t>* out) {
    out->push_back(static_cast<uint8_t>(marker | ((time >> 29) & 0x0E) | 1));
    out->push_back(static_cast<uint8_t>(time >> 22));
    out->push_back(static_cast<uint8_t>(((time >> 14) & 0xFE) | 1));
    out->push_back(static_cast<uint8_t>(time >> 7));
    out->push_back(static_cast<uint8_t>(((time << 1) & 0xFE) | 1));
}

bool ParseHeader(Pes* pes) {
    const std::vector<uint8_t>& b = pes->payload;
    if (b.size() < 9 || b[0] != 0 || b[1] != 0 || b[2] != 1) return false;
    pes->stream_id = b[3];
    const uint8_t flags = b[7];
    const size_t header = 9 + size_t{b[8]};
    if (header > b.size()) return false;
    if ((flags & 0x80) && b.size() >= 14) pes->pts = ReadTime(&b[9]);
    if ((flags & 0x40) && b.size() >= 19) pes->dts = ReadTime(&b[14]);
    pes->payload.erase(pes->payload.begin(), pes->payload.begin() + static_cast<long>(header));
    return true;
}

// Appends transport packets carrying `unit` on pid; the first starts the unit.
void Packetise(int pid, std::span<const uint8_t> unit, uint8_t* counter,
               std::vector<uint8_t>* out) {
    size_t at = 0;
    bool first = true;
    while (at < unit.size() || first) {
        const size_t left = unit.size() - at;
        const size_t room = kTsPacketSize - 4;
        const size_t take = std::min(left, room);
        out->push_back(kSync);
        out->push_back(static_cast<uint8_t>((first ? 0x40 : 0) | (pid >> 8)));
        out->push_back(static_cast<uint8_t>(pid));
        const bool stuffed = take < room;
        out->push_back(static_cast<uint8_t>((stuffed ? 0x30 : 0x10) | (*counter & 0x0F)));
        *counter = static_cast<uint8_t>((*counter + 1) & 0x0F);
        if (stuffed) {
            const size_t field = room - take - 1;  // adaptation field bytes after its length
            out->push_back(static_cast<uint8_t>(field));
            if (field > 0) {
                out->push_back(0x00);
                out->insert(out->end(), field - 1, 0xFF);
            }
        }
        out->insert(out->end(), unit.begin() + static_cast<long>(at),
                    unit.begin() + static_cast<long>(at + take));
        at += take;
        first = false;
    }
}

}  // namespace

int PacketPid(const uint8_t* packet) {
    return ((packet[1] & 0x1F) << 8) | packet[2];
}

std::vector<Pes> ReadPes(std::span<const uint8_t> ts) {
    std::vector<Pes> done;
    std::map<int, Pes> open;
    auto finish = [&](int pid) {
        auto it = open.find(pid);
        if (it == open.end()) return;
        if (ParseHeader(&it->second)) done.push_back(std::move(it->second));
        open.erase(it);
    };
    for (size_t i = 0; (i + 1) * kTsPacketSize <= ts.size(); ++i) {
        const uint8_t* p = ts.data() + i * kTsPacketSize;
        if (p[0] != kSync) continue;
        const int pid = PacketPid(p);
        const std::span<const uint8_t> payload = Payload(p);
        if (pid == kNullPid || payload.empty()) continue;
        if (StartsUnit(p)) {
            finish(pid);
            if (payload.size() < 3 || payload[0] != 0 || payload[1] != 0 || payload[2] != 1) {
                continue;  // a section
            }
            open[pid] = Pes{pid, 0, kNoTime, kNoTime, {}, i};
        }
        auto it = open.find(pid);
        if (it != open.end()) {
            it->second.payload.insert(it->second.payload.end(), payload.begin(), payload.end());
        }
    }
    for (auto it = open.begin(); it != open.end();)
        finish((it++)->first);
    std::stable_sort(done.begin(), done.end(),
                     [](const Pes& a, const Pes& b) { return a.first_packet < b.first_packet; });
    return done;
}

std::vector<uint8_t> ReadSection(std::span<const uint8_t> ts, int pid, uint8_t table_id) {
    for (size_t i = 0; (i + 1) * kTsPacketSize <= ts.size(); ++i) {
        const uint8_t* p = ts.data() + i * kTsPacketSize;
        if (p[0] != kSync || PacketPid(p) != pid || !StartsUnit(p)) continue;
        const std::span<const uint8_t> payload = Payload(p);
        if (payload.empty() || size_t{payload[0]} + 4 > payload.size()) continue;
        const std::span<const uint8_t> section = payload.subspan(1 + payload[0]);
        if (section[0] != table_id) continue;
        const size_t length = 3 + (((section[1] & 0x0F) << 8) | section[2]);
        if (length > section.size()) continue;  // sections of one packet are enough here
        return {section.begin(), section.begin() + static_cast<long>(length)};
    }
    return {};
}

uint32_t Crc32Mpeg(std::span<const uint8_t> data) {
    uint32_t crc = 0xFFFFFFFF;
    for (uint8_t byte : data) {
        crc ^= uint32_t{byte} << 24;
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 0x80000000) ? (crc << 1) ^ 0x04C11DB7 : crc << 1;
    }
    return crc;
}

void WritePes(int pid, uint8_t stream_id, int64_t pts, std::span<const uint8_t> payload,
              uint8_t* counter, std::vector<uint8_t>* out) {
    std::vector<uint8_t> pes = {0, 0, 1, stream_id, 0, 0, 0x80, 0, 0};
    if (pts != kNoTime) {
        pes[7] = 0x80;
        pes[8] = 5;
        PutTime(0x20, pts, &pes);
    }
    // Audio and SL packets give their length; video may leave it 0 (unbounded).
    const size_t length = pes.size() - 6 + payload.size();
    if (length <= 0xFFFF) {
        pes[4] = static_cast<uint8_t>(length >> 8);
        pes[5] = static_cast<uint8_t>(length);
    }
    pes.insert(pes.end(), payload.begin(), payload.end());
    Packetise(pid, pes, counter, out);
}

void WriteSection(int pid, std::span<const uint8_t> section, uint8_t* counter,
                  std::vector<uint8_t>* out) {
    std::vector<uint8_t> unit = {0x00};  // pointer field
    unit.insert(unit.end(), section.begin(), section.end());
    Packetise(pid, unit, counter, out);
    // Sections fill up with 0xFF rather than adaptation stuffing: rewrite the last packet.
    const size_t last = out->size() - kTsPacketSize;
    uint8_t* p = out->data() + last;
    if ((p[3] & 0x20) == 0) return;
    const size_t field = size_t{p[4]} + 1;
    std::vector<uint8_t> body(p + 4 + field, p + kTsPacketSize);
    p[3] = static_cast<uint8_t>((p[3] & 0x0F) | 0x10);
    std::copy(body.begin(), body.end(), p + 4);
    std::fill(p + 4 + body.size(), p + kTsPacketSize, 0xFF);
}

void ReplacePid(std::vector<uint8_t>* ts, int pid, const std::vector<uint8_t>& packets) {
    const size_t count = packets.size() / kTsPacketSize;
    size_t own_total = 0;
    for (size_t at = 0; at + kTsPacketSize <= ts->size(); at += kTsPacketSize)
        own_total += PacketPid(ts->data() + at) == pid ? 1 : 0;
    size_t next = 0;      // of packets
    size_t replaced = 0;  // pid's packets met so far
    for (size_t at = 0; at + kTsPacketSize <= ts->size(); at += kTsPacketSize) {
        uint8_t* p = ts->data() + at;
        const int here = PacketPid(p);
        const bool own = here == pid;
        if (own) ++replaced;
        // A null packet is taken while the new packets lag behind the old ones' pace.
        const bool behind = next * own_total < replaced * count;
        const bool take = own || (here == kNullPid && behind);
        if (!take) continue;
        if (next < count) {
            std::copy_n(packets.begin() + static_cast<long>(next * kTsPacketSize), kTsPacketSize,
                        p);
            ++next;
        } else if (own) {
            const uint8_t null[4] = {kSync, 0x1F, 0xFF, 0x10};
            std::copy_n(null, 4, p);
            std::fill(p + 4, p + kTsPacketSize, 0xFF);
        }
    }
}

}  // namespace koru::dab
