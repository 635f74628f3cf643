// The time-shift cache: a ring file of fixed-size blocks. The writer appends live bytes; the
// reader (the demuxer) follows. A block is reused once the reader has passed it, or once its
// newest byte is older than the cache's length (the reader, paused that long, then skips to the
// oldest byte still kept), so the file never holds much more than the length of the stream.
#ifndef M4SYSTEMS_TSFEED_TIME_SHIFT_CACHE_H
#define M4SYSTEMS_TSFEED_TIME_SHIFT_CACHE_H

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "m4systems/m4_types.h"

namespace koru::tsfeed {

struct TimeShiftSettings {
    std::string path;
    uint32_t minutes = 0;
    bool On() const { return minutes > 0 && !path.empty(); }
};

// What SetTimeShiftParams set last.
M4_INTERNAL TimeShiftSettings CurrentTimeShiftSettings();

class M4_INTERNAL TimeShiftCache {
  public:
    using NowMs = std::function<uint32_t()>;
    static constexpr size_t kBlockBytes = 256 * 1024;

    // Creates or empties the file; null when it cannot be opened for reading and writing.
    // now_ms is the arrival clock (the terminal clock).
    static std::unique_ptr<TimeShiftCache> Create(const std::string& path, uint32_t length_ms,
                                                  NowMs now_ms, size_t block_bytes = kBlockBytes);
    ~TimeShiftCache();
    TimeShiftCache(const TimeShiftCache&) = delete;
    TimeShiftCache& operator=(const TimeShiftCache&) = delete;

    // Appends live bytes. False when the file cannot take them (no space, I/O error).
    bool Write(const uint8_t* data, size_t length);
    // Copies up to `length` unread bytes; 0 when nothing is unread, -1 on a read error.
    long Read(uint8_t* data, size_t length);
    uint64_t Unread() const;
    // Bytes the reader lost because they fell out of the cache's length.
    uint64_t Skipped() const;
    // The space the ring takes in the file.
    uint64_t FileBytes() const;

  private:
    struct Block {
        size_t slot;         // position in the file, in blocks
        uint64_t start;      // stream offset of its first byte
        size_t size;         // bytes held
        uint32_t newest_ms;  // arrival of its newest byte
    };

    TimeShiftCache(int fd, std::string path, bool remove_at_end, uint32_t length_ms, NowMs now_ms,
                   size_t block_bytes);
    void StartBlockLocked(uint32_t now);

    const int fd_;
    const std::string path_;
    const bool remove_at_end_;
    const uint32_t length_ms_;
    const NowMs now_ms_;
    const size_t block_bytes_;

    mutable std::mutex mutex_;
    std::deque<Block> blocks_;  // oldest first
    std::vector<size_t> free_slots_;
    size_t slot_count_ = 0;
    uint64_t written_ = 0;  // stream offset of the next byte written
    uint64_t read_ = 0;     // stream offset of the next byte read
    uint64_t skipped_ = 0;
};

}  // namespace koru::tsfeed

#endif
