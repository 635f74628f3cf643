#include "m4systems/queue.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <vector>

struct M4ByteQueue {
    std::mutex mutex;
    std::vector<uint8_t> ring;
    size_t head = 0;   // next byte to read
    size_t count = 0;  // bytes queued
    uint32_t overflows = 0;

    // Copies n bytes starting at the head into out, without consuming them.
    void CopyOut(uint8_t* out, size_t n) const {
        size_t first = std::min(n, ring.size() - head);
        std::memcpy(out, ring.data() + head, first);
        std::memcpy(out + first, ring.data(), n - first);
    }
};

M4ByteQueue* SQ_Init(uint32_t capacity) {
    if (capacity == 0) return nullptr;
    auto* q = new M4ByteQueue;
    q->ring.resize(capacity);
    return q;
}

uint32_t SQ_PutData(M4ByteQueue* q, const void* data, uint32_t len) {
    if (q == nullptr || data == nullptr || len == 0) return 0;
    std::lock_guard lock(q->mutex);
    if (len > q->ring.size() - q->count) {
        ++q->overflows;
        return 0;
    }
    size_t tail = (q->head + q->count) % q->ring.size();
    size_t first = std::min<size_t>(len, q->ring.size() - tail);
    const auto* bytes = static_cast<const uint8_t*>(data);
    std::memcpy(q->ring.data() + tail, bytes, first);
    std::memcpy(q->ring.data(), bytes + first, len - first);
    q->count += len;
    return len;
}

uint32_t SQ_GetData(M4ByteQueue* q, void* buf, uint32_t len) {
    if (q == nullptr || buf == nullptr) return 0;
    std::lock_guard lock(q->mutex);
    size_t n = std::min<size_t>(len, q->count);
    q->CopyOut(static_cast<uint8_t*>(buf), n);
    q->head = (q->head + n) % q->ring.size();
    q->count -= n;
    return static_cast<uint32_t>(n);
}

uint32_t SQ_PeekData(M4ByteQueue* q, void* buf, uint32_t len) {
    if (q == nullptr || buf == nullptr) return 0;
    std::lock_guard lock(q->mutex);
    size_t n = std::min<size_t>(len, q->count);
    q->CopyOut(static_cast<uint8_t*>(buf), n);
    return static_cast<uint32_t>(n);
}

uint32_t SQ_GetDataNum(M4ByteQueue* q) {
    if (q == nullptr) return 0;
    std::lock_guard lock(q->mutex);
    return static_cast<uint32_t>(q->count);
}

uint32_t SQ_GetOverflowCount(M4ByteQueue* q) {
    if (q == nullptr) return 0;
    std::lock_guard lock(q->mutex);
    return q->overflows;
}

void SQ_Reset(M4ByteQueue* q) {
    if (q == nullptr) return;
    std::lock_guard lock(q->mutex);
    q->head = 0;
    q->count = 0;
    q->overflows = 0;
}

void SQ_Delete(M4ByteQueue* q) {
    delete q;
}
