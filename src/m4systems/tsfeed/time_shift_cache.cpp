#include "m4systems/tsfeed/time_shift_cache.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "m4systems/log.h"

namespace koru::tsfeed {

namespace {
constexpr const char* kSource = "tsfeed";
}  // namespace

std::unique_ptr<TimeShiftCache> TimeShiftCache::Create(const std::string& path, uint32_t length_ms,
                                                       NowMs now_ms, size_t block_bytes) {
    if (path.empty() || block_bytes == 0) return nullptr;
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        M4_LOG(1, kSource, "cannot create the time-shift cache %s: %s", path.c_str(),
               std::strerror(errno));
        return nullptr;
    }
    struct stat info {};
    const bool regular = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
    M4_LOG(2, kSource, "time-shift cache %s, %u s", path.c_str(), length_ms / 1000);
    return std::unique_ptr<TimeShiftCache>(
        new TimeShiftCache(fd, path, regular, length_ms, std::move(now_ms), block_bytes));
}

TimeShiftCache::TimeShiftCache(int fd, std::string path, bool remove_at_end, uint32_t length_ms,
                               NowMs now_ms, size_t block_bytes)
    : fd_(fd),
      path_(std::move(path)),
      remove_at_end_(remove_at_end),
      length_ms_(length_ms),
      now_ms_(std::move(now_ms)),
      block_bytes_(block_bytes) {}

TimeShiftCache::~TimeShiftCache() {
    ::close(fd_);
    // Only a file of our own goes; a device given as the path stays.
    if (remove_at_end_) ::unlink(path_.c_str());
}

void TimeShiftCache::StartBlockLocked(uint32_t now) {
    if (!blocks_.empty()) {
        const Block& oldest = blocks_.front();
        const uint64_t oldest_end = oldest.start + oldest.size;
        const bool passed = read_ >= oldest_end;
        const bool expired = static_cast<uint32_t>(now - oldest.newest_ms) > length_ms_;
        if (passed || expired) {
            if (!passed) {
                skipped_ += oldest_end - read_;
                M4_LOG(2, kSource, "paused longer than the cache: %llu bytes dropped",
                       static_cast<unsigned long long>(oldest_end - read_));
                read_ = oldest_end;
            }
            free_slots_.push_back(oldest.slot);
            blocks_.pop_front();
        }
    }
    size_t slot;
    if (!free_slots_.empty()) {
        slot = free_slots_.back();
        free_slots_.pop_back();
    } else {
        slot = slot_count_++;
    }
    blocks_.push_back({slot, written_, 0, now});
}

bool TimeShiftCache::Write(const uint8_t* data, size_t length) {
    std::lock_guard lock(mutex_);
    const uint32_t now = now_ms_();
    while (length > 0) {
        if (blocks_.empty() || blocks_.back().size == block_bytes_) StartBlockLocked(now);
        Block& block = blocks_.back();
        const size_t part = std::min(length, block_bytes_ - block.size);
        const off_t at = static_cast<off_t>(block.slot * block_bytes_ + block.size);
        const ssize_t done = ::pwrite(fd_, data, part, at);
        if (done != static_cast<ssize_t>(part)) {
            M4_LOG(1, kSource, "cannot write the time-shift cache %s: %s", path_.c_str(),
                   done < 0 ? std::strerror(errno) : "short write");
            return false;
        }
        block.size += part;
        block.newest_ms = now;
        written_ += part;
        data += part;
        length -= part;
    }
    return true;
}

long TimeShiftCache::Read(uint8_t* data, size_t length) {
    std::lock_guard lock(mutex_);
    if (read_ >= written_ || length == 0) return 0;
    for (const Block& block : blocks_) {
        if (read_ < block.start || read_ >= block.start + block.size) continue;
        const size_t offset = static_cast<size_t>(read_ - block.start);
        const size_t part = std::min(length, block.size - offset);
        const ssize_t done =
            ::pread(fd_, data, part, static_cast<off_t>(block.slot * block_bytes_ + offset));
        if (done <= 0) {
            M4_LOG(1, kSource, "cannot read the time-shift cache %s: %s", path_.c_str(),
                   done < 0 ? std::strerror(errno) : "end of file");
            return -1;
        }
        read_ += static_cast<uint64_t>(done);
        return done;
    }
    return 0;
}

uint64_t TimeShiftCache::Unread() const {
    std::lock_guard lock(mutex_);
    return written_ - read_;
}

uint64_t TimeShiftCache::Skipped() const {
    std::lock_guard lock(mutex_);
    return skipped_;
}

uint64_t TimeShiftCache::FileBytes() const {
    std::lock_guard lock(mutex_);
    return static_cast<uint64_t>(slot_count_) * block_bytes_;
}

}  // namespace koru::tsfeed
