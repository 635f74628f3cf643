#include "usbdev/rxsim/rx_queue.h"

#include <algorithm>

namespace rxsim {

RxQueue::RxQueue(size_t capacity) : ring_(std::max<size_t>(capacity, 1)) {}

void RxQueue::Push(const uint8_t* data, size_t n) {
    size_t room = ring_.size() - size_;
    if (n > room) {
        overrun_ = true;
        n = room;
    }
    for (size_t i = 0; i < n; ++i)
        ring_[(head_ + size_ + i) % ring_.size()] = data[i];
    size_ += n;
}

void RxQueue::PushPacket(uint8_t id, const uint8_t* payload, size_t n) {
    const uint8_t header[4] = {id, 0x00, static_cast<uint8_t>(n & 0xFF),
                               static_cast<uint8_t>((n >> 8) & 0xFF)};
    Push(header, sizeof header);
    Push(payload, n);
}

size_t RxQueue::Pop(uint8_t* out, size_t wanted) {
    size_t n = std::min(wanted, size_);
    for (size_t i = 0; i < n; ++i)
        out[i] = ring_[(head_ + i) % ring_.size()];
    head_ = (head_ + n) % ring_.size();
    size_ -= n;
    return n;
}

void RxQueue::Flush() {
    head_ = 0;
    size_ = 0;
    overrun_ = false;
}

}  // namespace rxsim
