// A small FIC decoder: gathers the ensemble that FIGs 0/0, 0/1, 0/2, 0/3, 0/8, 0/13 and
// 1/0, 1/1, 1/4, 1/5 describe, from FIBs in any order and repeated. Bad FIBs (CRC) and FIGs
// that are cut short are counted and ignored.
#ifndef DAB_FIC_H
#define DAB_FIC_H

#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <utility>
#include <vector>

#include "dab/ensemble.h"
#include "dab/fig.h"

namespace koru::dab {

class FicDecoder {
  public:
    // Decodes one 32-byte FIB; false when its CRC is wrong or a FIG in it was malformed.
    bool Feed(std::span<const uint8_t> fib);

    // The ensemble as far as known: services in the order of their first FIG 0/2, components
    // completed with FIG 0/3, 0/8, 0/13 and 1/4 information.
    Ensemble ensemble() const;
    // True once the ensemble label, every service's label and every packet component's FIG
    // 0/3 are known (and at least one service).
    bool complete() const;
    std::optional<uint16_t> cif_count() const { return cif_count_; }

    size_t fibs() const { return fibs_; }
    size_t crc_errors() const { return crc_errors_; }
    size_t malformed_figs() const { return malformed_figs_; }

  private:
    bool Fig0(const dab::Fig0& fig);
    bool Fig1(const dab::Fig1& fig);

    std::optional<uint16_t> eid_;
    std::optional<uint16_t> cif_count_;
    Label ensemble_label_;
    std::map<int, Subchannel> subchannels_;
    std::vector<Service> services_;  // from FIG 0/2, labels kept here
    std::map<uint32_t, Label> labels_;
    std::map<uint16_t, PacketComponent> packet_;  // by SCId
    std::map<std::pair<uint32_t, int>, std::vector<UserApplication>> apps_;
    std::map<std::pair<uint32_t, int>, Label> component_labels_;
    std::map<std::pair<uint32_t, int>, GlobalComponent> global_;  // FIG 0/8 by SId, SCIdS
    size_t fibs_ = 0;
    size_t crc_errors_ = 0;
    size_t malformed_figs_ = 0;
};

}  // namespace koru::dab

#endif
