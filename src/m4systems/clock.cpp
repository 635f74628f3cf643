#include "m4systems/clock.h"

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <mutex>
#include <thread>

namespace {

using RealClock = std::chrono::steady_clock;

// Terminal time = anchor_ms + (real now - anchor_real) * scale, re-anchored on a scale change
// so that terminal time never jumps.
struct ScaledClock {
    std::mutex mutex;
    RealClock::time_point anchor_real = RealClock::now();
    double anchor_ms = 0.0;
    double scale = InitialScale();

    static double InitialScale() {
        const char* text = std::getenv("KORU_CLOCK_SCALE");
        if (text == nullptr) return 1.0;
        double value = std::strtod(text, nullptr);
        return value > 0.0 ? value : 1.0;
    }

    double NowMs() {
        std::lock_guard lock(mutex);
        std::chrono::duration<double, std::milli> real = RealClock::now() - anchor_real;
        return anchor_ms + real.count() * scale;
    }

    void SetScale(double value) {
        std::lock_guard lock(mutex);
        RealClock::time_point now = RealClock::now();
        std::chrono::duration<double, std::milli> real = now - anchor_real;
        anchor_ms += real.count() * scale;
        anchor_real = now;
        scale = value;
    }

    double Scale() {
        std::lock_guard lock(mutex);
        return scale;
    }
};

ScaledClock& Clock() {
    static ScaledClock clock;
    return clock;
}

std::atomic<int> g_users{0};

}  // namespace

void M4_InitClock(void) {
    g_users.fetch_add(1);
}

void M4_StopClock(void) {
    int users = g_users.load();
    while (users > 0 && !g_users.compare_exchange_weak(users, users - 1)) {
    }
}

uint32_t M4_GetSysClock(void) {
    return static_cast<uint32_t>(Clock().NowMs());
}

double M4_GetPreciseClock(void) {
    return Clock().NowMs();
}

uint32_t M4_RealMs(uint32_t ms) {
    if (ms == 0) return 0;
    const double real = static_cast<double>(ms) / Clock().Scale();
    return real < 1.0 ? 1 : static_cast<uint32_t>(real);
}

void M4_Sleep(uint32_t ms) {
    if (ms == 0) {
        std::this_thread::yield();
        return;
    }
    // Sleep until terminal time has advanced by ms; a scale change midway is honoured.
    ScaledClock& clock = Clock();
    const double until = clock.NowMs() + ms;
    for (;;) {
        double left = until - clock.NowMs();
        if (left <= 0.0) return;
        std::this_thread::sleep_for(
            std::chrono::duration<double, std::milli>(left / clock.Scale()));
    }
}

void M4_SetClockScale(double scale) {
    if (scale > 0.0) Clock().SetScale(scale);
}

double M4_GetClockScale(void) {
    return Clock().Scale();
}
