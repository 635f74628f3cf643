// The bytes of a live input on their way from the plug-in's deliver-data call (its download
// thread) to the demuxer: first to the recorder, then to a bounded queue, or, once time shift
// has started (the first pause with a cache), to the time-shift cache. Until then the cache file
// stays empty: nothing is written to disk for a service that is only watched live. Overflow
// policy of the queue: a delivery that does not fit is dropped whole and counted (the demuxer
// resynchronises); a paused input without time shift drops what arrives, so that resuming
// continues at live.
#ifndef M4SYSTEMS_TERMINAL_LIVE_SOURCE_H
#define M4SYSTEMS_TERMINAL_LIVE_SOURCE_H

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "m4systems/m4_types.h"
#include "m4systems/queue.h"
#include "m4systems/terminal/mpeg4_systems_input.h"
#include "m4systems/terminal/pes_end_marker.h"
#include "m4systems/terminal/recorder.h"
#include "m4systems/tsfeed/time_shift_cache.h"

namespace koru::m4 {

class M4_INTERNAL LiveSource {
  public:
    using Notify = std::function<void(uint32_t, int64_t, int64_t)>;
    static constexpr uint32_t kQueueBytes = 4 * 1024 * 1024;

    // recorder and cache may be null.
    LiveSource(Recorder* recorder, std::unique_ptr<tsfeed::TimeShiftCache> cache, Notify notify,
               uint32_t queue_bytes = kQueueBytes);
    ~LiveSource();
    LiveSource(const LiveSource&) = delete;
    LiveSource& operator=(const LiveSource&) = delete;

    // The plug-in's thread.
    void Deliver(const uint8_t* data, size_t length);
    // The demuxer: waits for bytes; returns how many were copied, 0 once aborted or finished
    // and drained. A transport stream goes through an Mpeg4SystemsInput, then through a
    // PesEndMarker until StopMarkingPesEnds.
    int Read(uint8_t* data, int length);
    void ReadAsTransportStream();
    // Any thread; takes effect at the next Read.
    void StopMarkingPesEnds() { stop_marking_ = true; }
    // Wakes and ends every Read.
    void Abort();
    // No more deliveries: Read returns what is left, then 0.
    void Finish();

    void SetPaused(bool paused);
    // Forgets queued bytes (resuming at live).
    void DropQueued();
    // True while a cache can take the stream (time shift is available or running).
    bool TimeShifting() const;
    // From now on the live bytes go to the cache (playback paused: it falls behind live).
    // False when there is no usable cache.
    bool StartTimeShift();
    uint64_t Delivered() const;
    uint64_t Dropped() const;
    uint64_t CacheFileBytes() const;

  private:
    int ReadDelivered(uint8_t* data, int length);

    Recorder* const recorder_;
    const Notify notify_;
    M4ByteQueue* const queue_;

    mutable std::mutex mutex_;
    std::condition_variable arrived_;
    std::unique_ptr<tsfeed::TimeShiftCache> cache_;
    bool cache_failed_ = false;
    bool shift_started_ = false;
    // Bytes at the queue's front that arrived before time shift started: they play first.
    uint64_t queued_before_shift_ = 0;
    bool paused_ = false;
    bool aborted_ = false;
    bool finished_ = false;
    uint64_t delivered_ = 0;
    uint64_t dropped_ = 0;

    // Used by the reading thread only.
    std::unique_ptr<Mpeg4SystemsInput> mpeg4_;
    std::unique_ptr<PesEndMarker> marker_;
    std::vector<uint8_t> rewritten_;  // through mpeg4_, on the way to marker_
    std::vector<uint8_t> marked_;     // bytes through the marker, not yet read
    size_t marked_read_ = 0;
    std::atomic<bool> stop_marking_{false};
};

}  // namespace koru::m4

#endif
