// The local time that recording and capture names are made from. Taken through a LocalClock so
// that tests can give the moment they need.
#ifndef PLAYER_CORE_LOCAL_TIME_H
#define PLAYER_CORE_LOCAL_TIME_H

#include <functional>

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

// The system's local time now.
LocalTime LocalTimeNow();

}  // namespace koru::player

#endif
