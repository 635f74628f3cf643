#include "m4systems/terminal/live_source.h"

#include <algorithm>
#include <cstring>

#include "m4systems/log.h"
#include "m4systems/messages.h"

namespace koru::m4 {

namespace {
constexpr const char* kSource = "live_input";
}  // namespace

LiveSource::LiveSource(Recorder* recorder, std::unique_ptr<tsfeed::TimeShiftCache> cache,
                       Notify notify, uint32_t queue_bytes)
    : recorder_(recorder),
      notify_(std::move(notify)),
      queue_(SQ_Init(queue_bytes)),
      cache_(std::move(cache)) {}

LiveSource::~LiveSource() {
    SQ_Delete(queue_);
}

void LiveSource::Deliver(const uint8_t* data, size_t length) {
    if (data == nullptr || length == 0) return;
    if (recorder_ != nullptr) recorder_->Write(data, length);
    bool cache_broke = false;
    {
        std::lock_guard lock(mutex_);
        if (finished_ || aborted_) return;
        delivered_ += length;
        if (cache_ != nullptr && shift_started_ && !cache_failed_) {
            if (cache_->Write(data, length)) {
                arrived_.notify_all();
                return;
            }
            // The cache cannot be filled: live playback goes on without it.
            cache_failed_ = true;
            cache_broke = true;
        }
        if (paused_) {
            dropped_ += length;
        } else if (length > UINT32_MAX ||
                   SQ_PutData(queue_, data, static_cast<uint32_t>(length)) == 0) {
            if (dropped_ == 0) M4_LOG(2, kSource, "input queue full: dropping live data");
            dropped_ += length;
        }
        arrived_.notify_all();
    }
    if (cache_broke && notify_) notify_(WM_SYSTEM_TIMESHIFT_NO_SPACE, 0, 0);
}

void LiveSource::ReadAsTransportStream() {
    mpeg4_ = std::make_unique<Mpeg4SystemsInput>(notify_);
    marker_ = std::make_unique<PesEndMarker>();
}

int LiveSource::Read(uint8_t* data, int length) {
    if (length <= 0) return 0;
    if (marker_ == nullptr) return ReadDelivered(data, length);
    while (marked_read_ == marked_.size()) {
        marked_.clear();
        marked_read_ = 0;
        if (stop_marking_ && marker_->Active()) {
            marker_->Stop(&marked_);
            continue;
        }
        uint8_t buffer[16 * 1024];
        const int got = ReadDelivered(buffer, sizeof(buffer));
        rewritten_.clear();
        if (got <= 0) {
            // The end: what waits for a whole packet is still part of the stream.
            mpeg4_->Flush(&rewritten_);
            marker_->Process(rewritten_.data(), rewritten_.size(), &marked_);
            if (marker_->Active()) marker_->Stop(&marked_);
            if (marked_.empty()) return 0;
            break;
        }
        mpeg4_->Process(buffer, static_cast<size_t>(got), &rewritten_);
        marker_->Process(rewritten_.data(), rewritten_.size(), &marked_);
    }
    const size_t part = std::min(static_cast<size_t>(length), marked_.size() - marked_read_);
    std::memcpy(data, marked_.data() + marked_read_, part);
    marked_read_ += part;
    return static_cast<int>(part);
}

int LiveSource::ReadDelivered(uint8_t* data, int length) {
    std::unique_lock lock(mutex_);
    for (;;) {
        if (aborted_) return 0;
        // What the queue held when time shift started is older than anything in the cache.
        if (queued_before_shift_ > 0) {
            const uint32_t part =
                static_cast<uint32_t>(std::min<uint64_t>(queued_before_shift_, length));
            const uint32_t got = SQ_GetData(queue_, data, part);
            queued_before_shift_ = got > 0 ? queued_before_shift_ - got : 0;
            if (got > 0) return static_cast<int>(got);
        }
        // Then the cache: after a cache failure its rest still plays before the queue.
        if (cache_ != nullptr && cache_->Unread() > 0) {
            const long got = cache_->Read(data, static_cast<size_t>(length));
            if (got > 0) return static_cast<int>(got);
            if (got < 0) {
                cache_failed_ = true;
                cache_.reset();
            }
        }
        const uint32_t got = SQ_GetData(queue_, data, static_cast<uint32_t>(length));
        if (got > 0) return static_cast<int>(got);
        if (finished_) return 0;
        arrived_.wait(lock);
    }
}

void LiveSource::Abort() {
    std::lock_guard lock(mutex_);
    aborted_ = true;
    arrived_.notify_all();
}

void LiveSource::Finish() {
    std::lock_guard lock(mutex_);
    finished_ = true;
    arrived_.notify_all();
}

void LiveSource::SetPaused(bool paused) {
    std::lock_guard lock(mutex_);
    paused_ = paused;
}

void LiveSource::DropQueued() {
    std::lock_guard lock(mutex_);
    SQ_Reset(queue_);
    queued_before_shift_ = 0;
}

bool LiveSource::TimeShifting() const {
    std::lock_guard lock(mutex_);
    return cache_ != nullptr && !cache_failed_;
}

bool LiveSource::StartTimeShift() {
    std::lock_guard lock(mutex_);
    if (cache_ == nullptr || cache_failed_) return false;
    if (!shift_started_) {
        shift_started_ = true;
        queued_before_shift_ = SQ_GetDataNum(queue_);
        M4_LOG(2, kSource, "time shift starts: the live input goes to the cache");
    }
    return true;
}

uint64_t LiveSource::Delivered() const {
    std::lock_guard lock(mutex_);
    return delivered_;
}

uint64_t LiveSource::Dropped() const {
    std::lock_guard lock(mutex_);
    return dropped_;
}

uint64_t LiveSource::CacheFileBytes() const {
    std::lock_guard lock(mutex_);
    return cache_ != nullptr ? cache_->FileBytes() : 0;
}

}  // namespace koru::m4
