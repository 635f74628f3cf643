#include "m4systems/terminal/media_clock.h"

#include "m4systems/clock.h"

namespace koru::m4 {

void MediaClock::Reset() {
    std::lock_guard lock(mutex_);
    anchored_ = false;
    frozen_ = false;
}

bool MediaClock::Anchored() const {
    std::lock_guard lock(mutex_);
    return anchored_;
}

int64_t MediaClock::NowLocked(double now) const {
    if (!anchored_) return 0;
    if (paused_ || frozen_) return anchor_ms_;
    return anchor_ms_ + static_cast<int64_t>(now - anchor_at_);
}

int64_t MediaClock::NowMs() const {
    std::lock_guard lock(mutex_);
    int64_t now = NowLocked(M4_GetPreciseClock());
    if (anchored_) last_ms_ = now;
    return now;
}

int64_t MediaClock::LastMs() const {
    std::lock_guard lock(mutex_);
    if (anchored_) last_ms_ = NowLocked(M4_GetPreciseClock());
    return last_ms_;
}

void MediaClock::Anchor(int64_t stream_ms) {
    const double at = M4_GetPreciseClock();
    std::lock_guard lock(mutex_);
    anchored_ = true;
    frozen_ = false;
    // While paused the clock keeps the value it is given and starts from it on resume.
    anchor_ms_ = stream_ms;
    anchor_at_ = at;
    last_ms_ = stream_ms;
}

bool MediaClock::AnchorIfUnset(int64_t stream_ms) {
    std::lock_guard lock(mutex_);
    if (anchored_) return false;
    anchored_ = true;
    frozen_ = false;
    anchor_ms_ = stream_ms;
    anchor_at_ = M4_GetPreciseClock();
    last_ms_ = stream_ms;
    return true;
}

void MediaClock::SetPaused(bool paused) {
    std::lock_guard lock(mutex_);
    if (paused == paused_) return;
    const double now = M4_GetPreciseClock();
    if (paused) {
        anchor_ms_ = NowLocked(now);
    } else {
        anchor_at_ = now;  // resume from the value it stood at
    }
    paused_ = paused;
}

bool MediaClock::Paused() const {
    std::lock_guard lock(mutex_);
    return paused_;
}

void MediaClock::Freeze(int64_t stream_ms) {
    std::lock_guard lock(mutex_);
    anchored_ = true;
    frozen_ = true;
    anchor_ms_ = stream_ms;
    anchor_at_ = M4_GetPreciseClock();
    last_ms_ = stream_ms;
}

}  // namespace koru::m4
