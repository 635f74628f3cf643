#include "m4systems/tsfeed/tsfeed.h"

#include <mutex>

#include "m4systems/log.h"
#include "m4systems/tsfeed/time_shift_cache.h"

namespace koru::tsfeed {

namespace {

struct SharedSettings {
    std::mutex mutex;
    TimeShiftSettings settings;
};

SharedSettings& Shared() {
    static SharedSettings shared;
    return shared;
}

}  // namespace

TimeShiftSettings CurrentTimeShiftSettings() {
    SharedSettings& shared = Shared();
    std::lock_guard lock(shared.mutex);
    return shared.settings;
}

}  // namespace koru::tsfeed

M4Err SetTimeShiftParams(const char* path, uint32_t minutes) {
    koru::tsfeed::SharedSettings& shared = koru::tsfeed::Shared();
    std::lock_guard lock(shared.mutex);
    shared.settings.path = path != nullptr ? path : "";
    shared.settings.minutes = minutes;
    M4_LOG(2, "tsfeed", "time shift %s, %u minutes", shared.settings.path.c_str(), minutes);
    return M4OK;
}
