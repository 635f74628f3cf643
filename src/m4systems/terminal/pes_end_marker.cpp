#include "m4systems/terminal/pes_end_marker.h"

#include <algorithm>
#include <cstring>

namespace koru::m4 {

namespace {

constexpr uint8_t kSync = 0x47;
// PES header of an empty video PES: start code, stream id 0xE0, no length, no time stamps.
constexpr uint8_t kEmptyPes[] = {0x00, 0x00, 0x01, 0xE0, 0x00, 0x00, 0x80, 0x00, 0x00};

int Pid(const uint8_t* p) {
    return ((p[1] & 0x1F) << 8) | p[2];
}
bool StartsPes(const uint8_t* p) {
    return (p[1] & 0x40) != 0;
}
bool HasAdaptation(const uint8_t* p) {
    return (p[3] & 0x20) != 0;
}
bool HasPayload(const uint8_t* p) {
    return (p[3] & 0x10) != 0;
}

// Bytes the adaptation field's flagged fields take after its length byte (ISO/IEC 13818-1
// 2.4.3.4), or -1 when they do not fit the field.
int FlaggedBytes(const uint8_t* field, int length) {
    if (length < 1) return -1;
    const uint8_t flags = field[0];
    int used = 1;
    if (flags & 0x10) used += 6;  // PCR
    if (flags & 0x08) used += 6;  // OPCR
    if (flags & 0x04) used += 1;  // splice countdown
    if (flags & 0x02) {           // private data
        if (used >= length) return -1;
        used += 1 + field[used];
    }
    if (flags & 0x01) {  // extension
        if (used >= length) return -1;
        used += 1 + field[used];
    }
    return used <= length ? used : -1;
}

// A packet with payload whose adaptation field ends in stuffing: the last packet of a PES.
bool EndsPes(const uint8_t* p) {
    if (!HasAdaptation(p) || !HasPayload(p)) return false;
    const int length = p[4];
    if (length < 2 || length > 182) return false;
    const int used = FlaggedBytes(p + 5, length);
    if (used < 0 || used >= length) return false;
    return std::all_of(p + 5 + used, p + 5 + length, [](uint8_t b) { return b == 0xFF; });
}

}  // namespace

void PesEndMarker::Process(const uint8_t* data, size_t size, std::vector<uint8_t>* out) {
    if (!active_) {
        out->insert(out->end(), data, data + size);
        return;
    }
    partial_.insert(partial_.end(), data, data + size);
    size_t at = 0;
    while (partial_.size() - at >= kPacket) {
        const uint8_t* p = partial_.data() + at;
        if (*p != kSync) {
            const uint8_t* end = partial_.data() + partial_.size();
            const auto* next = static_cast<const uint8_t*>(std::memchr(p + 1, kSync, end - p - 1));
            const size_t skip = (next != nullptr ? next : end) - p;
            out->insert(out->end(), p, p + skip);
            at += skip;
            continue;
        }
        Packet(p, out);
        at += kPacket;
    }
    partial_.erase(partial_.begin(), partial_.begin() + at);
}

void PesEndMarker::Stop(std::vector<uint8_t>* out) {
    active_ = false;
    out->insert(out->end(), partial_.begin(), partial_.end());
    partial_.clear();
}

void PesEndMarker::Packet(const uint8_t* p, std::vector<uint8_t>* out) {
    out->insert(out->end(), p, p + kPacket);
    const int pid = Pid(p);
    if (StartsPes(p) && HasPayload(p)) {
        // The PES header's stream id says whether the PID carries video (0xE0 to 0xEF).
        const size_t offset = HasAdaptation(p) ? 5 + size_t{p[4]} : 4;
        if (offset + 4 <= kPacket) {
            const uint8_t* pes = p + offset;
            video_pids_[pid] = pes[0] == 0 && pes[1] == 0 && pes[2] == 1 && (pes[3] & 0xF0) == 0xE0;
        }
    }
    if (!video_pids_[pid] || !EndsPes(p)) return;
    uint8_t marker[kPacket];
    marker[0] = kSync;
    marker[1] = static_cast<uint8_t>(0x40 | (pid >> 8));  // starts a PES
    marker[2] = static_cast<uint8_t>(pid & 0xFF);
    marker[3] = static_cast<uint8_t>(0x30 | (p[3] & 0x0F));  // same continuity counter
    const uint8_t field_length = static_cast<uint8_t>(kPacket - 5 - sizeof(kEmptyPes));
    marker[4] = field_length;
    marker[5] = 0x80;  // discontinuity indicator
    std::memset(marker + 6, 0xFF, field_length - 1);
    std::memcpy(marker + 5 + field_length, kEmptyPes, sizeof(kEmptyPes));
    out->insert(out->end(), marker, marker + kPacket);
}

}  // namespace koru::m4
