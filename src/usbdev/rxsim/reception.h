// What the demodulator makes of the signal: no signal, acquiring sync, locked. It locks when
// the tuner's output frequency carries an ensemble (within the tolerance), the RF band switch
// is on that band, the demodulator runs and the signal is strong enough, and all of that has
// held for the acquisition time. Any change of those restarts the acquisition.
#ifndef USBDEV_RXSIM_RECEPTION_H
#define USBDEV_RXSIM_RECEPTION_H

#include <memory>
#include <optional>

#include "usbdev/rxsim/air.h"
#include "usbdev/rxsim/faults.h"

namespace rxsim {

enum class SyncPhase { kNoSignal, kAcquiring, kLocked };

// The chips' state as the demodulator sees it.
struct FrontEnd {
    std::optional<double> rf_mhz;  // what the tuner passes on
    bool l_band_input = false;     // the firmware's RF band switch
    bool demod_running = false;
    uint32_t demod_starts = 0;  // each start of the demodulator restarts sync
};

class Reception {
  public:
    Reception(const StickConfig& config, Air* air) : config_(config), air_(air) {}

    void Update(uint32_t now, const FrontEnd& front, const Faults& faults);
    void Reset();

    SyncPhase phase() const { return phase_; }
    double progress() const { return progress_; }  // 0..1 of the acquisition time
    const AirEntry* entry() const { return entry_; }
    const Ensemble* ensemble() const {
        return phase_ == SyncPhase::kLocked ? ensemble_.get() : nullptr;
    }
    double level() const { return level_; }

  private:
    struct Key {
        const AirEntry* entry = nullptr;
        uint32_t demod_starts = 0;
        bool syncable = false;
        bool operator==(const Key&) const = default;
    };

    const StickConfig& config_;
    Air* air_;
    Key key_;
    uint32_t acquisition_start_ = 0;
    SyncPhase phase_ = SyncPhase::kNoSignal;
    double progress_ = 0.0;
    const AirEntry* entry_ = nullptr;
    std::shared_ptr<const Ensemble> ensemble_;
    double level_ = 0.0;
};

}  // namespace rxsim

#endif
