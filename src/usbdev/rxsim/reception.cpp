#include "usbdev/rxsim/reception.h"

#include <algorithm>

#include "m4systems/clock.h"

namespace rxsim {

void Reception::Update(uint32_t now, const FrontEnd& front, const Faults& faults) {
    const AirEntry* entry =
        front.rf_mhz ? air_->Find(*front.rf_mhz, config_.tolerance_khz) : nullptr;
    bool band_ok = entry != nullptr && (entry->frequency_khz >= 245000) == front.l_band_input;
    bool signal = band_ok && front.demod_running && !faults.lock_lost;
    level_ = faults.level.value_or(entry != nullptr ? entry->level : 0.0);
    std::shared_ptr<const Ensemble> ensemble;
    if (signal) {
        bool first_use = !air_->Tried(entry);
        ensemble = air_->EnsembleOf(entry);
        if (first_use) now = M4_GetSysClock();  // reading the recording is not air time
    }
    bool syncable = ensemble != nullptr && level_ >= config_.lock_level;

    Key key{signal ? entry : nullptr, front.demod_starts, syncable};
    if (!(key == key_)) {
        key_ = key;
        acquisition_start_ = now;
    }
    entry_ = key.entry;
    ensemble_ = syncable ? ensemble : nullptr;
    if (!signal) {
        phase_ = SyncPhase::kNoSignal;
        progress_ = 0.0;
        return;
    }
    int32_t elapsed = static_cast<int32_t>(now - acquisition_start_);
    if (!syncable || elapsed < static_cast<int32_t>(config_.acquisition_ms)) {
        phase_ = SyncPhase::kAcquiring;
        progress_ = syncable && config_.acquisition_ms > 0
                        ? std::clamp(elapsed / double(config_.acquisition_ms), 0.0, 1.0)
                        : 0.0;
        return;
    }
    phase_ = SyncPhase::kLocked;
    progress_ = 1.0;
}

void Reception::Reset() {
    key_ = Key{};
    phase_ = SyncPhase::kNoSignal;
    progress_ = 0.0;
    entry_ = nullptr;
    ensemble_ = nullptr;
}

}  // namespace rxsim
