#include "player/core/local_time.h"

#include <chrono>
#include <ctime>

namespace koru::player {

LocalTime LocalTimeNow() {
    const auto now = std::chrono::system_clock::now();
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    std::tm parts{};
    localtime_r(&seconds, &parts);
    const auto since_second = now - std::chrono::system_clock::from_time_t(seconds);
    LocalTime time;
    time.month = parts.tm_mon + 1;
    time.day = parts.tm_mday;
    time.hour = parts.tm_hour;
    time.minute = parts.tm_min;
    time.second = parts.tm_sec;
    time.millisecond = static_cast<int>(
        std::chrono::duration_cast<std::chrono::milliseconds>(since_second).count() % 1000);
    return time;
}

}  // namespace koru::player
