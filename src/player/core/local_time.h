// The local time that reservations and the names of recordings and captures are made from.
// Taken through a clock so that tests can give the moment they need.
#ifndef PLAYER_CORE_LOCAL_TIME_H
#define PLAYER_CORE_LOCAL_TIME_H

#include <chrono>
#include <ctime>
#include <functional>
#include <optional>
#include <string>

namespace koru::player {

struct LocalTime {
    int month = 1;  // 1 to 12
    int day = 1;
    int hour = 0;
    int minute = 0;
    int second = 0;
    int millisecond = 0;
};

using LocalClock = std::function<LocalTime()>;
using WallTime = std::chrono::system_clock::time_point;

// The wall clock: what time it is, and how fast it runs against the window timers.
class WallClock {
  public:
    virtual ~WallClock() = default;
    virtual WallTime Now() const = 0;
    // Wall-clock seconds that pass in one second of the window timers.
    virtual double Rate() const { return 1; }

    std::time_t Seconds() const { return std::chrono::system_clock::to_time_t(Now()); }
    // The timer milliseconds in which `seconds` of wall-clock time pass, within 0 and a day:
    // a timer due later than that wakes up early and is armed again.
    int TimerMs(long long seconds) const;
};

// A test hook: KORU_WALL_CLOCK="YYYY-MM-DDTHH:MM:SS[,RATE]" makes the player's wall clock start
// at that local time and run RATE times as fast as real time (1 when left out). Nothing when
// the text is not of that form.
struct WallClockHook {
    std::time_t start = 0;
    double rate = 1;
};
std::optional<WallClockHook> ParseWallClockHook(const char* text);

// The player's wall clock: the system's, or the one KORU_WALL_CLOCK sets.
const WallClock& PlayerWallClock();

LocalTime LocalTimeAt(WallTime moment);
// The player's wall-clock time now.
LocalTime LocalTimeNow();

}  // namespace koru::player

#endif
