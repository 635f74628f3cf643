#include "usbdev/rxsim/baseband.h"

#include <algorithm>

namespace rxsim {

std::vector<uint8_t> VideoDecoder::Process(int subchannel, const std::vector<uint8_t>& bytes) {
    if (subchannel_ != subchannel) {
        outer_.Reset();
        subchannel_ = subchannel;
    }
    std::vector<uint8_t> stream;
    outer_.Process(bytes, &stream);
    return stream;
}

void VideoDecoder::Reset() {
    outer_.Reset();
    subchannel_.reset();
}

void EmitServicePackets(const FrameContext& context, const std::vector<uint8_t>& bytes,
                        size_t max_payload) {
    for (size_t start = 0; start < bytes.size(); start += max_payload) {
        size_t n = std::min(max_payload, bytes.size() - start);
        if (!context.faults->packets.Take()) {
            context.host->PushPacket(3, bytes.data() + start, n);
            continue;
        }
        std::vector<uint8_t> damaged(bytes.begin() + start, bytes.begin() + start + n);
        for (size_t i = n / 2; i < n && i < n / 2 + 4; ++i)
            damaged[i] ^= 0xFF;
        context.host->PushPacket(3, damaged.data(), n);
    }
}

bool DamageFibByFault(const FrameContext& context, uint8_t* fib, size_t index) {
    if (!context.faults->fibs.Take()) return false;
    fib[index % 30] ^= 0x5A;  // a burst the CRC catches
    return true;
}

}  // namespace rxsim
