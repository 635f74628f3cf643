// Bounded queue of demuxed packets between the demux thread and one decoder thread. Overflow
// policy: once full, Put waits until the queue is half empty (the demuxer simply reads less),
// so nothing is dropped; Abort wakes every waiter. Flush empties the queue and raises the serial,
// which tells the decoder to flush its own state (a seek) before it decodes what follows.
#ifndef M4SYSTEMS_TERMINAL_PACKET_QUEUE_H
#define M4SYSTEMS_TERMINAL_PACKET_QUEUE_H

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>

struct AVPacket;

namespace koru::m4 {

class PacketQueue {
  public:
    PacketQueue(size_t max_bytes, size_t max_packets);
    ~PacketQueue();
    PacketQueue(const PacketQueue&) = delete;
    PacketQueue& operator=(const PacketQueue&) = delete;

    // Takes the packet's reference (the packet is left blank). A null packet marks the end of
    // the input: the decoder drains. False when aborted.
    bool Put(AVPacket* packet);
    // Waits for a packet; *packet gets a new packet (the caller frees it) or null for the end
    // mark. *serial is the serial the packet belongs to. False when aborted.
    bool Get(AVPacket** packet, uint64_t* serial);
    void Flush();
    void Abort();
    uint64_t Serial() const;
    size_t Bytes() const;
    size_t Count() const;

  private:
    struct Entry {
        AVPacket* packet;  // null: end of input
        uint64_t serial;
    };

    void ClearLocked();

    const size_t max_bytes_;
    const size_t max_packets_;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Entry> entries_;
    size_t bytes_ = 0;
    bool full_ = false;
    uint64_t serial_ = 0;
    bool aborted_ = false;
};

}  // namespace koru::m4

#endif
