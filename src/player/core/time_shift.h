// Time shift of live TV as the main window drives it: Play pauses live TV (the terminal holds
// the picture and the stream goes on into its cache) and resumes it behind live; the delay
// counter (timer 2033) grows by a second a tick while paused, up to the length chosen in the
// settings, where playback resumes by itself. Resuming keeps the delay; a channel change, file
// playback or Stop resets it.
#ifndef PLAYER_CORE_TIME_SHIFT_H
#define PLAYER_CORE_TIME_SHIFT_H

#include <string>

#include "player/core/main_controller.h"

namespace koru::player {

class TimeShift {
  public:
    explicit TimeShift(MainController& controller) : controller_(controller) {}

    // The longest delay of a length setting (0 to 3: 30, 60, 90, 120 minutes).
    static int LimitSeconds(int length_setting);

    // Play on live TV with time shift on and ready: pause, or resume behind live.
    void PlayPause();
    // Timer 2033.
    void Tick();
    void Reset();
    // Play was pressed while time shift is off: the time-shift text says so until a reset.
    void NoteOff() { off_shown_ = true; }

    // "TimeShift  hh:mm:ss" while paused or behind live; empty at the live point.
    std::string Text() const;
    // Time shift is on, the TV list plays and the limit has not been reached.
    bool Available() const;
    bool paused() const { return paused_; }
    int delay_seconds() const { return delay_seconds_; }

  private:
    void Resume();

    MainController& controller_;
    bool paused_ = false;
    bool limit_reached_ = false;
    bool off_shown_ = false;
    int delay_seconds_ = 0;
};

}  // namespace koru::player

#endif
