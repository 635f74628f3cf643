#include "player/core/reservation_schedule.h"

#include <algorithm>

#include "m4systems/log.h"
#include "m4systems/messages.h"
#include "player/settings/reservation_time.h"

namespace koru::player {

namespace {

constexpr const char* kSource = "VelmarPlayerDlg";
// The first picture of a TV service comes before its sound settles: the recording waits.
constexpr int kTvRecordDelayMs = 2000;
// A paused time shift is stopped, then played again after this long.
constexpr int kReplayDelayMs = 500;

}  // namespace

int ScheduledRecording::WatchKind() const {
    return kind == settings::kReservationKindRadio ? settings::kWatchKindRadio
                                                   : settings::kWatchKindTv;
}

std::vector<ScheduledRecording> ScheduledRecordings(const PlayerState& state) {
    std::vector<ScheduledRecording> entries;
    state.WithStore([&entries](const settings::ChannelStore& store) {
        const int count = std::clamp(store.reservation_count, 0, settings::kMaxReservations);
        for (int slot = 0; slot < count; ++slot) {
            const settings::Reservation& reservation =
                store.reservations[static_cast<size_t>(slot)];
            ScheduledRecording entry;
            entry.slot = slot;
            entry.kind = reservation.kind;
            entry.index = reservation.index;
            entry.channel = std::string(settings::FixedText(reservation.channel));
            entry.start_text = std::string(settings::FixedText(reservation.start));
            entry.end_text = std::string(settings::FixedText(reservation.end));
            const auto start = settings::ParseReservationTime(entry.start_text);
            const auto end = settings::ParseReservationTime(entry.end_text);
            if (!start || !end || *end <= *start) continue;
            entry.start = *start;
            entry.end = *end;
            entries.push_back(std::move(entry));
        }
    });
    return entries;
}

ReservationSchedule::ReservationSchedule(MainController& controller, Recording& recording,
                                         TimeShift& time_shift, const WallClock& clock)
    : controller_(controller),
      state_(controller.state()),
      timers_(controller.timers()),
      recording_(recording),
      time_shift_(time_shift),
      clock_(clock) {
    // The reservations of the last run.
    Arm();
}

std::string ReservationSchedule::Key(const ScheduledRecording& entry) {
    return entry.start_text + '|' + entry.end_text + '|' + std::to_string(entry.kind) + '|' +
           std::to_string(entry.index) + '|' + entry.channel;
}

void ReservationSchedule::UpdateWatch(bool has_reservations) {
    if (!has_reservations && !running_) {
        timers_.Stop(timer::kReservationWatch);
    } else if (!timers_.IsActive(timer::kReservationWatch)) {
        timers_.Start(timer::kReservationWatch, clock_.TimerMs(kReservationWatchSeconds));
    }
}

void ReservationSchedule::Arm() {
    const std::time_t now = clock_.Seconds();
    const std::vector<ScheduledRecording> entries = ScheduledRecordings(state_);
    UpdateWatch(!entries.empty());
    const auto next = std::find_if(entries.begin(), entries.end(),
                                   [now](const ScheduledRecording& e) { return e.start > now; });
    if (next == entries.end()) {
        timers_.Stop(timer::kReservationStart);
        if (armed_) M4_LOG(2, kSource, "no reserved recording ahead");
        armed_.reset();
        return;
    }
    if (armed_ != *next) {
        M4_LOG(2, kSource, "reserved recording of %s (%s ~ %s) armed, %lld s ahead",
               next->channel.c_str(), next->start_text.c_str(), next->end_text.c_str(),
               static_cast<long long>(next->start - now));
    }
    armed_ = *next;
    if (recording_.pending()) return;
    timers_.Start(timer::kReservationStart, clock_.TimerMs(next->start - now), true);
}

bool ReservationSchedule::OnTimer(int id) {
    switch (id) {
        case timer::kReservationStart:
            OnStartTimer();
            return true;
        case timer::kDelayedRecording:
            timers_.Stop(timer::kDelayedRecording);
            if (recording_.pending() && (!running_ || PlaysReservedChannel())) recording_.Command();
            return true;
        case timer::kReservationEnd:
            OnEndTimer();
            return true;
        case timer::kReservationWatch:
            Watch();
            return true;
        case timer::kReservationReplay:
            timers_.Stop(timer::kReservationReplay);
            controller_.Play();
            return true;
        default:
            return false;
    }
}

void ReservationSchedule::OnStartTimer() {
    timers_.Stop(timer::kReservationStart);
    const std::time_t now = clock_.Seconds();
    // Early: a start more than a day ahead, or the clock was put back.
    if (!armed_ || now < armed_->start) {
        Arm();
        return;
    }
    const ScheduledRecording entry = *armed_;
    if (state_.Recording()) {
        M4_LOG(2, kSource, "reserved recording of %s (%s ~ %s) passed over: a recording runs",
               entry.channel.c_str(), entry.start_text.c_str(), entry.end_text.c_str());
        handled_.insert(Key(entry));
    } else if (now >= entry.end) {
        M4_LOG(1, kSource, "reserved recording of %s (%s ~ %s) missed", entry.channel.c_str(),
               entry.start_text.c_str(), entry.end_text.c_str());
    } else if (Idle()) {
        Begin(entry);
        return;
    }
    // A search or another reservation waiting for its picture: the watch begins it later.
    Arm();
}

bool ReservationSchedule::Idle() const {
    return !state_.Recording() && !recording_.pending() && !running_ && !state_.Searching();
}

int ReservationSchedule::ChannelIndex(const ScheduledRecording& entry) const {
    const int watch_kind = entry.WatchKind();
    auto labelled = [&](int index) {
        const std::optional<settings::ChannelEntry> channel = state_.Channel(watch_kind, index);
        return channel && settings::FixedText(channel->label) == entry.channel;
    };
    const int count = state_.ChannelCount(watch_kind);
    if (entry.index >= 0 && entry.index < count && labelled(entry.index)) return entry.index;
    for (int index = 0; index < count; ++index) {
        if (labelled(index)) return index;
    }
    return -1;
}

void ReservationSchedule::Begin(ScheduledRecording entry) {
    const std::string key = Key(entry);
    handled_.insert(key);
    // A channel search replaces the lists: the index may name another channel by now.
    entry.index = ChannelIndex(entry);
    if (entry.index < 0) {
        M4_LOG(1, kSource, "reserved channel %s is not stored", entry.channel.c_str());
        Arm();
        controller_.ShowMessage(Format(controller_.Text(Text::kReserveChannelGone),
                                       entry.channel.c_str(), entry.start_text.c_str(),
                                       entry.end_text.c_str()));
        return;
    }
    const std::time_t now = clock_.Seconds();
    const bool late = now - entry.start >= kReservationLateSeconds;
    M4_LOG(2, kSource, "reserved recording of %s (%s ~ %s) begins%s, %lld s to its end",
           entry.channel.c_str(), entry.start_text.c_str(), entry.end_text.c_str(),
           late ? " late" : "", static_cast<long long>(entry.end - now));
    running_ = entry;
    running_key_ = key;
    recording_.set_pending(true);
    timers_.Start(timer::kReservationEnd, clock_.TimerMs(entry.end - now), true);
    BringOn(entry);
    Arm();
    if (late) {
        const settings::CivilTime at = settings::LocalCivilTime(now);
        controller_.ShowMessage(Format(controller_.Text(Text::kReserveStartedLate),
                                       entry.channel.c_str(), entry.start_text.c_str(),
                                       entry.end_text.c_str(), at.hour, at.minute));
    }
}

bool ReservationSchedule::PlaysReservedChannel() const {
    return running_ && state_.play_source == kPlaySourceLive &&
           state_.connection_state == kConnectionPlaying &&
           state_.WatchKind() == running_->WatchKind() &&
           state_.CurrentIndex(running_->WatchKind()) == running_->index;
}

void ReservationSchedule::BringOn(const ScheduledRecording& entry) {
    const int watch_kind = entry.WatchKind();
    if (state_.WatchKind() != watch_kind) {
        // The switch tunes the list's current channel.
        state_.SetCurrentIndex(watch_kind, entry.index);
        controller_.SwitchWatchKind(watch_kind);
        return;
    }
    if (PlaysReservedChannel()) {
        if (watch_kind == settings::kWatchKindTv && time_shift_.paused()) {
            // Recording starts from live: stop, play again, and the picture records.
            controller_.Stop();
            timers_.Start(timer::kReservationReplay, kReplayDelayMs, true);
            return;
        }
        recording_.Command();
        return;
    }
    if (state_.FilePlayback()) controller_.Stop();
    controller_.Post(WM_SYSTEM_TUNE_IF_PRESENT, entry.index);
}

void ReservationSchedule::FirstFrame() {
    if (!recording_.pending() || state_.FilePlayback()) return;
    if (running_ && !PlaysReservedChannel()) {
        M4_LOG(2, kSource, "a picture of another channel than the reserved %s",
               running_->channel.c_str());
        return;
    }
    if (state_.WatchKind() == settings::kWatchKindRadio) {
        recording_.Command();
    } else {
        timers_.Start(timer::kDelayedRecording, kTvRecordDelayMs, true);
    }
}

void ReservationSchedule::OnEndTimer() {
    timers_.Stop(timer::kReservationEnd);
    timers_.Stop(timer::kDelayedRecording);
    if (running_) M4_LOG(2, kSource, "reserved recording of %s ends", running_->channel.c_str());
    running_.reset();
    // A channel that never played gives up its recording.
    recording_.set_pending(false);
    if (state_.Recording()) controller_.Stop();
    Arm();
}

void ReservationSchedule::RecordingStopped() {
    if (running_) {
        M4_LOG(2, kSource, "reserved recording of %s stopped before its end",
               running_->channel.c_str());
        running_.reset();
        timers_.Stop(timer::kReservationEnd);
    }
    Arm();
}

void ReservationSchedule::FirstRowDeleted() {
    if (!running_ || state_.Recording()) return;
    const std::vector<ScheduledRecording> entries = ScheduledRecordings(state_);
    const bool kept = std::any_of(entries.begin(), entries.end(),
                                  [this](const auto& entry) { return Key(entry) == running_key_; });
    if (kept) return;
    M4_LOG(2, kSource, "reserved recording of %s given up", running_->channel.c_str());
    recording_.set_pending(false);
    timers_.Stop(timer::kDelayedRecording);
    // Its end timer would otherwise stop whatever records by then.
    timers_.Stop(timer::kReservationEnd);
    running_.reset();
}

void ReservationSchedule::Watch() {
    if (running_) {
        const long long left = running_->end - clock_.Seconds();
        if (left <= 0) {
            OnEndTimer();
            return;
        }
        timers_.Start(timer::kReservationEnd, clock_.TimerMs(left), true);
    } else {
        CatchUp();
    }
    Arm();
}

void ReservationSchedule::CatchUp() {
    if (!Idle()) return;
    const std::time_t now = clock_.Seconds();
    for (const ScheduledRecording& entry : ScheduledRecordings(state_)) {
        if (entry.start <= now && now < entry.end && handled_.count(Key(entry)) == 0) {
            Begin(entry);
            return;
        }
    }
}

}  // namespace koru::player
