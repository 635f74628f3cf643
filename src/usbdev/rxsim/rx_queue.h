// The host's receive queue of the USB pipe: command replies and the unasked stream share it.
// It holds at most its capacity; bytes that do not fit because the host did not read are lost
// and the overrun bit stays set until the queue is flushed.
#ifndef USBDEV_RXSIM_RX_QUEUE_H
#define USBDEV_RXSIM_RX_QUEUE_H

#include <cstddef>
#include <cstdint>
#include <vector>

namespace rxsim {

class RxQueue {
  public:
    explicit RxQueue(size_t capacity);

    void Push(const uint8_t* data, size_t n);
    // One stream packet: id, a byte the host does not read, the 16-bit little-endian payload
    // length, the payload.
    void PushPacket(uint8_t id, const uint8_t* payload, size_t n);
    size_t Pop(uint8_t* out, size_t wanted);
    void Flush();
    void SetOverrun() { overrun_ = true; }

    size_t size() const { return size_; }
    bool overrun() const { return overrun_; }

  private:
    std::vector<uint8_t> ring_;
    size_t head_ = 0;
    size_t size_ = 0;
    bool overrun_ = false;
};

}  // namespace rxsim

#endif
