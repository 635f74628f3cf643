#include "usbdev/rxsim/air.h"

#include <cmath>

#include "m4systems/log.h"

namespace rxsim {
namespace {
constexpr const char* kSource = "rxsim_air";
}  // namespace

const AirFrame::SubChannel* AirFrame::Find(int subchannel) const {
    for (const SubChannel& entry : subchannels) {
        if (entry.id == subchannel) return &entry;
    }
    return nullptr;
}

const AirEntry* Air::Find(double rf_mhz, double tolerance_khz) const {
    const AirEntry* nearest = nullptr;
    double nearest_khz = 0.0;
    for (const AirEntry& entry : entries_) {
        double off_khz = std::fabs(rf_mhz * 1000.0 - entry.frequency_khz);
        if (off_khz <= tolerance_khz && (nearest == nullptr || off_khz < nearest_khz)) {
            nearest = &entry;
            nearest_khz = off_khz;
        }
    }
    return nearest;
}

std::shared_ptr<const Ensemble> Air::EnsembleOf(const AirEntry* entry) {
    if (entry == nullptr || failed_.count(entry) != 0) return nullptr;
    auto loaded = loaded_.find(entry);
    if (loaded != loaded_.end()) return loaded->second;
    std::string error;
    std::shared_ptr<const Ensemble> ensemble = LoadEnsemble(entry->eti_path, &error);
    if (ensemble == nullptr) {
        M4_LOG(1, kSource, "%u kHz stays silent: %s", entry->frequency_khz, error.c_str());
        failed_[entry] = true;
        return nullptr;
    }
    M4_LOG(2, kSource, "%u kHz: %zu frames from %s", entry->frequency_khz, ensemble->frames.size(),
           entry->eti_path.c_str());
    loaded_[entry] = ensemble;
    return ensemble;
}

}  // namespace rxsim
