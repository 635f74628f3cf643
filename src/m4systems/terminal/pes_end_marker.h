// Helps FFmpeg's transport stream demuxer hand a picture on as soon as it has arrived. A video
// PES carries no length, so the demuxer learns that a picture is complete only when the next
// one begins, a frame later. Muxers end every PES with a packet padded by adaptation-field
// stuffing (a PES starts at a packet boundary); after such a packet on a video PID this filter
// adds a packet that starts an empty PES on the same PID, which makes the demuxer finish the
// picture at once and is dropped by it when the real next PES starts. The added packet sets
// the discontinuity indicator and repeats the continuity counter, so the stream's counting is
// undisturbed. Used until the first picture is shown: that is where waiting a frame hurts.
#ifndef M4SYSTEMS_TERMINAL_PES_END_MARKER_H
#define M4SYSTEMS_TERMINAL_PES_END_MARKER_H

#include <bitset>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "m4systems/m4_types.h"

namespace koru::m4 {

class M4_INTERNAL PesEndMarker {
  public:
    static constexpr size_t kPacket = 188;

    // Appends the bytes for the demuxer to out: the input, whole packets at a time (a partial
    // packet waits for its rest), with the added packets. Bytes out of step pass unchanged.
    void Process(const uint8_t* data, size_t size, std::vector<uint8_t>* out);
    // From now on the input passes unchanged (what waits for a whole packet first).
    void Stop(std::vector<uint8_t>* out);
    bool Active() const { return active_; }

  private:
    void Packet(const uint8_t* packet, std::vector<uint8_t>* out);

    bool active_ = true;
    std::vector<uint8_t> partial_;
    std::bitset<8192> video_pids_;
};

}  // namespace koru::m4

#endif
