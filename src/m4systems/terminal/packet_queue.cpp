#include "m4systems/terminal/packet_queue.h"

extern "C" {
#include <libavcodec/packet.h>
}

namespace koru::m4 {

PacketQueue::PacketQueue(size_t max_bytes, size_t max_packets)
    : max_bytes_(max_bytes), max_packets_(max_packets) {}

PacketQueue::~PacketQueue() {
    ClearLocked();
}

void PacketQueue::ClearLocked() {
    for (Entry& entry : entries_)
        av_packet_free(&entry.packet);
    entries_.clear();
    bytes_ = 0;
    full_ = false;
}

bool PacketQueue::Put(AVPacket* packet) {
    std::unique_lock lock(mutex_);
    const size_t size = packet != nullptr ? static_cast<size_t>(packet->size) : 0;
    // One packet larger than the whole queue is still taken when the queue is empty.
    changed_.wait(lock, [&] { return aborted_ || entries_.empty() || !full_; });
    if (aborted_) return false;
    AVPacket* owned = nullptr;
    if (packet != nullptr) {
        owned = av_packet_alloc();
        if (owned == nullptr) return false;
        av_packet_move_ref(owned, packet);
    }
    entries_.push_back({owned, serial_});
    bytes_ += size;
    full_ = bytes_ >= max_bytes_ || entries_.size() >= max_packets_;
    changed_.notify_all();
    return true;
}

bool PacketQueue::Get(AVPacket** packet, uint64_t* serial) {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return aborted_ || !entries_.empty(); });
    if (aborted_) return false;
    Entry entry = entries_.front();
    entries_.pop_front();
    if (entry.packet != nullptr) bytes_ -= static_cast<size_t>(entry.packet->size);
    *packet = entry.packet;
    *serial = entry.serial;
    // The demuxer refills a half-empty queue in one go rather than a packet at a time.
    if (full_ && bytes_ <= max_bytes_ / 2 && entries_.size() <= max_packets_ / 2) {
        full_ = false;
        changed_.notify_all();
    }
    return true;
}

void PacketQueue::Flush() {
    std::lock_guard lock(mutex_);
    ClearLocked();
    ++serial_;
    changed_.notify_all();
}

void PacketQueue::Abort() {
    std::lock_guard lock(mutex_);
    aborted_ = true;
    changed_.notify_all();
}

uint64_t PacketQueue::Serial() const {
    std::lock_guard lock(mutex_);
    return serial_;
}

size_t PacketQueue::Bytes() const {
    std::lock_guard lock(mutex_);
    return bytes_;
}

size_t PacketQueue::Count() const {
    std::lock_guard lock(mutex_);
    return entries_.size();
}

}  // namespace koru::m4
