// The air around the stick: ensembles on frequencies, each looped from an ETI-NI recording and
// heard with a signal level. All transmitters share one time base: air frame k (24 ms each)
// carries frame k modulo the recording's length.
#ifndef USBDEV_RXSIM_AIR_H
#define USBDEV_RXSIM_AIR_H

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "dab/protection.h"
#include "usbdev/rxsim/rxsim.h"

namespace rxsim {

struct AirFrame {
    std::vector<uint8_t> fibs;  // the FIC: 32-byte FIBs with their CRC (three in mode I)
    // A sub-channel as the multiplex carries it: where it lies in the CIF and how it is
    // protected, which a receiver must know to decode it, and this frame's bytes.
    struct SubChannel {
        int id;
        int start_cu = 0;
        std::optional<koru::dab::Protection> protection;  // none: fits no profile
        std::vector<uint8_t> bytes;  // this frame's stream bytes of the sub-channel
    };
    std::vector<SubChannel> subchannels;

    const SubChannel* Find(int subchannel) const;
};

struct Ensemble {
    std::vector<AirFrame> frames;
};

// Reads an ETI-NI recording; null (with *error) when it holds no usable frame. Emulators of
// one process share a recording while any of them holds it.
std::shared_ptr<const Ensemble> LoadEnsemble(const std::string& path, std::string* error);

// True when a 32-byte FIB's CRC (EN 300 401 clause 5.2.1) is right.
bool FibCrcOk(const uint8_t* fib);

class Air {
  public:
    explicit Air(std::vector<AirEntry> entries) : entries_(std::move(entries)) {}

    // The transmitter nearest to rf_mhz within the tolerance, or null.
    const AirEntry* Find(double rf_mhz, double tolerance_khz) const;
    // Its recording, read on first use; null when it cannot be read (logged once).
    std::shared_ptr<const Ensemble> EnsembleOf(const AirEntry* entry);
    // Whether EnsembleOf was called for the entry before.
    bool Tried(const AirEntry* entry) const {
        return loaded_.count(entry) != 0 || failed_.count(entry) != 0;
    }

  private:
    std::vector<AirEntry> entries_;
    std::map<const AirEntry*, std::shared_ptr<const Ensemble>> loaded_;
    std::map<const AirEntry*, bool> failed_;
};

}  // namespace rxsim

#endif
