// The media clock: stream time in milliseconds that advances with playback time. Whoever
// masters it (the audio device while it plays, else the first picture or sample) anchors it to
// a time stamp; between anchors it runs on the terminal clock (so that a scaled terminal clock
// plays faster), and it stands still while paused or at the end of a file.
#ifndef M4SYSTEMS_TERMINAL_MEDIA_CLOCK_H
#define M4SYSTEMS_TERMINAL_MEDIA_CLOCK_H

#include <cstdint>
#include <mutex>

#include "m4systems/m4_types.h"

namespace koru::m4 {

class M4_INTERNAL MediaClock {
  public:
    // Forgets the anchor: the next frame anchors it again (after a seek or a flush).
    void Reset();
    bool Anchored() const;
    // Stream time now; 0 when not anchored.
    int64_t NowMs() const;
    // Stream time the clock stood at when last read or anchored; kept across Reset.
    int64_t LastMs() const;
    // stream_ms is the stream time now.
    void Anchor(int64_t stream_ms);
    // Anchors only when nobody has; true when this call anchored it.
    bool AnchorIfUnset(int64_t stream_ms);
    void SetPaused(bool paused);
    bool Paused() const;
    // Stops the clock at stream_ms (end of a file); an Anchor or Reset starts it again.
    void Freeze(int64_t stream_ms);

  private:
    // now: terminal time (M4_GetPreciseClock).
    int64_t NowLocked(double now) const;

    mutable std::mutex mutex_;
    bool anchored_ = false;
    bool paused_ = false;
    bool frozen_ = false;
    int64_t anchor_ms_ = 0;
    double anchor_at_ = 0;  // terminal time of the anchor
    mutable int64_t last_ms_ = 0;
};

}  // namespace koru::m4

#endif
