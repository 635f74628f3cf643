#include "player/core/local_time.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "m4systems/log.h"
#include "player/settings/reservation_time.h"

namespace koru::player {

namespace {

constexpr long long kLongestTimerMs = 24LL * 60 * 60 * 1000;

class SystemWallClock : public WallClock {
  public:
    SystemWallClock() {
        const std::optional<WallClockHook> hook =
            ParseWallClockHook(std::getenv("KORU_WALL_CLOCK"));
        if (!hook) return;
        hooked_ = true;
        start_ = std::chrono::system_clock::from_time_t(hook->start);
        rate_ = hook->rate;
        steady_start_ = std::chrono::steady_clock::now();
        M4_LOG(2, "VelmarPlayerDlg", "wall clock from %s, %g times as fast",
               settings::ReservationTimeText(hook->start).c_str(), rate_);
    }

    WallTime Now() const override {
        if (!hooked_) return std::chrono::system_clock::now();
        const std::chrono::duration<double> elapsed =
            std::chrono::steady_clock::now() - steady_start_;
        return start_ +
               std::chrono::duration_cast<std::chrono::system_clock::duration>(elapsed * rate_);
    }
    double Rate() const override { return rate_; }

  private:
    bool hooked_ = false;
    WallTime start_;
    double rate_ = 1;
    std::chrono::steady_clock::time_point steady_start_;
};

}  // namespace

int WallClock::TimerMs(long long seconds) const {
    const double rate = Rate() > 0 ? Rate() : 1;
    const double ms = static_cast<double>(std::max(seconds, 0LL)) * 1000.0 / rate;
    return static_cast<int>(std::min(ms, static_cast<double>(kLongestTimerMs)));
}

std::optional<WallClockHook> ParseWallClockHook(const char* text) {
    if (text == nullptr) return std::nullopt;
    settings::CivilTime time;
    char separator = 0;
    int used = 0;
    if (std::sscanf(text, "%4d-%2d-%2d%c%2d:%2d:%2d%n", &time.year, &time.month, &time.day,
                    &separator, &time.hour, &time.minute, &time.second, &used) != 7 ||
        (separator != 'T' && separator != ' ')) {
        return std::nullopt;
    }
    const std::optional<std::time_t> start = settings::LocalMoment(time);
    if (!start) return std::nullopt;
    WallClockHook hook;
    hook.start = *start;
    const char* rest = text + used;
    if (*rest == ',') {
        char* end = nullptr;
        hook.rate = std::strtod(rest + 1, &end);
        if (end == rest + 1 || *end != '\0' || !(hook.rate > 0 && hook.rate <= 1000))
            return std::nullopt;
    } else if (*rest != '\0') {
        return std::nullopt;
    }
    return hook;
}

const WallClock& PlayerWallClock() {
    static const SystemWallClock clock;
    return clock;
}

LocalTime LocalTimeAt(WallTime moment) {
    const std::time_t seconds = std::chrono::system_clock::to_time_t(moment);
    std::tm parts{};
    localtime_r(&seconds, &parts);
    const auto since_second = moment - std::chrono::system_clock::from_time_t(seconds);
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

LocalTime LocalTimeNow() {
    return LocalTimeAt(PlayerWallClock().Now());
}

}  // namespace koru::player
