// Scheduled recordings as the main window runs them: timer 2028 is armed for the first
// reservation in table order whose start is still ahead; when it fires the reserved channel is
// brought on (the list switched, the channel tuned, or recorded at once when it plays already)
// with the record-pending flag set, so that its first picture starts the recording (radio at
// once, TV after timer 2029); timer 2031 ends it at the reservation's end and arms the next.
// The channel is the one of the reservation's label, wherever a later search put it.
//
// The timers count time only while the machine runs, and the wall clock may jump. So while
// reservations exist the schedule reads the wall clock every 10 s and arms its timers again
// from it. A reservation whose start has passed while nothing was recorded (the player was not
// running, the machine slept, the clock jumped) is begun for what is left of it, if its end is
// still ahead, and a message box says that it started late; one whose end has passed too is
// not begun.
#ifndef PLAYER_CORE_RESERVATION_SCHEDULE_H
#define PLAYER_CORE_RESERVATION_SCHEDULE_H

#include <ctime>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "player/core/local_time.h"
#include "player/core/main_controller.h"
#include "player/core/recording.h"
#include "player/core/time_shift.h"

namespace koru::player {

namespace timer {
// The player's own timers of the schedule: the wall-clock watch (every 10 s of wall time while
// reservations exist) and the replay after a paused time shift was stopped for a recording.
constexpr int kReservationWatch = 2030;
constexpr int kReservationReplay = 2034;
}  // namespace timer

// How often the wall clock is read while reservations exist, in wall-clock seconds.
constexpr int kReservationWatchSeconds = 10;
// A reservation begun this long after its start or later is said to have started late.
constexpr int kReservationLateSeconds = 60;

// One reservation with the moments its texts name.
struct ScheduledRecording {
    int slot = -1;  // its place in the table
    int32_t kind = 0;
    int32_t index = 0;
    std::string channel;
    std::string start_text;
    std::string end_text;
    std::time_t start = 0;
    std::time_t end = 0;

    bool operator==(const ScheduledRecording&) const = default;
    // The watch kind of the list it records from.
    int WatchKind() const;
};

// The usable reservations in table order; those whose texts name no moment are left out.
std::vector<ScheduledRecording> ScheduledRecordings(const PlayerState& state);

class ReservationSchedule {
  public:
    ReservationSchedule(MainController& controller, Recording& recording, TimeShift& time_shift,
                        const WallClock& clock);

    // Arms timer 2028 for the first reservation in table order that is still ahead (unless a
    // recording is pending); with none, the timer stops.
    void Arm();
    // The schedule's timers (2028, 2029, 2030, 2031, 2034); false for any other id.
    bool OnTimer(int id);
    // The first picture of what was tuned arrived (1226).
    void FirstFrame();
    // A recording ended (Stop, the terminal's reports, the end timer).
    void RecordingStopped();
    // The reserved recording dialog deleted its first row. A reservation begun but not yet
    // recording that is no longer in the table is given up: its pending mark is cleared.
    void FirstRowDeleted();

    const WallClock& clock() const { return clock_; }
    // The reservation timer 2028 is armed for (also while a recording is pending).
    const std::optional<ScheduledRecording>& armed() const { return armed_; }
    // The reserved recording under way (from its start until its end timer or a stop).
    const std::optional<ScheduledRecording>& running() const { return running_; }

  private:
    void OnStartTimer();
    void OnEndTimer();
    void Watch();
    // Begins a reservation whose start has passed and whose end is ahead, when nothing else
    // records, waits to record or searches.
    void CatchUp();
    bool Idle() const;
    void Begin(ScheduledRecording entry);
    // The reserved channel's place in its list now, found by its label when a search has moved
    // it; -1 when no channel of that label is stored.
    int ChannelIndex(const ScheduledRecording& entry) const;
    void BringOn(const ScheduledRecording& entry);
    // True when the reserved channel of the running reservation plays live.
    bool PlaysReservedChannel() const;
    void UpdateWatch(bool has_reservations);
    static std::string Key(const ScheduledRecording& entry);

    MainController& controller_;
    PlayerState& state_;
    TimerMap& timers_;
    Recording& recording_;
    TimeShift& time_shift_;
    const WallClock& clock_;
    std::optional<ScheduledRecording> armed_;
    std::optional<ScheduledRecording> running_;
    std::string running_key_;  // its key as the table holds it
    // The reservations begun (or passed over for a recording that ran) in this run.
    std::set<std::string> handled_;
};

}  // namespace koru::player

#endif
