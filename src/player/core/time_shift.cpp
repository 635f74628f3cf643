#include "player/core/time_shift.h"

#include <algorithm>

#include "m4systems/log.h"
#include "m4systems/messages.h"

namespace koru::player {

namespace {
constexpr const char* kSource = "VelmarPlayerDlg";
}  // namespace

int TimeShift::LimitSeconds(int length_setting) {
    return 30 * 60 * (std::clamp(length_setting, 0, 3) + 1);
}

bool TimeShift::Available() const {
    return controller_.settings().timeshiftonoff() != 0 &&
           controller_.state().WatchKind() == settings::kWatchKindTv && !limit_reached_;
}

std::string TimeShift::Text() const {
    if (paused_ || delay_seconds_ > 0) {
        return Format(controller_.Text(player::Text::kTimeShiftCounter), delay_seconds_ / 3600,
                      delay_seconds_ / 60 % 60, delay_seconds_ % 60);
    }
    return off_shown_ ? controller_.Text(player::Text::kTimeShiftOff) : "";
}

void TimeShift::PlayPause() {
    if (paused_) {
        Resume();
        return;
    }
    if (controller_.state().Recording()) {
        controller_.ShowMessage(controller_.Text(player::Text::kTimeShiftWhileRecording));
        return;
    }
    // At the limit the cache holds no more: playback stays where it is.
    if (limit_reached_) return;
    paused_ = true;
    controller_.timers().Start(timer::kTimeShiftCounter, 1000, false);
    controller_.SetMessageLine(2, Text());
    controller_.Post(WM_SYSTEM_PAUSE);
}

void TimeShift::Resume() {
    paused_ = false;
    controller_.timers().Stop(timer::kTimeShiftCounter);
    controller_.Post(WM_SYSTEM_RESUME);
}

void TimeShift::Tick() {
    if (!paused_) {
        controller_.timers().Stop(timer::kTimeShiftCounter);
        return;
    }
    ++delay_seconds_;
    if (delay_seconds_ >= LimitSeconds(controller_.settings().timeshift())) {
        M4_LOG(2, kSource, "time shift reached its length of %d s: playback resumes",
               delay_seconds_);
        limit_reached_ = true;
        Resume();
    }
    controller_.SetMessageLine(2, Text());
}

void TimeShift::Reset() {
    paused_ = false;
    limit_reached_ = false;
    off_shown_ = false;
    delay_seconds_ = 0;
    controller_.timers().Stop(timer::kTimeShiftCounter);
}

}  // namespace koru::player
