// The FIC of an ensemble, frame by frame: every FIG repeats at least at its rate (TR 101 496-2
// clause 3.1: rate A ten times a second for the MCI, 0/0 once per 96 ms in the first FIB of a
// CIF group; rate B once a second for labels and user applications) and spare room is filled
// with the FIGs due next, so a receiver has the whole service list well within a second.
#ifndef DAB_FIC_CAROUSEL_H
#define DAB_FIC_CAROUSEL_H

#include <cstdint>
#include <vector>

#include "dab/ensemble.h"
#include "dab/fib.h"

namespace koru::dab {

inline constexpr int kRateAFrames = 4;   // 96 ms
inline constexpr int kRateBFrames = 41;  // about 1 s

class FicCarousel {
  public:
    // FIGs 0/1, 0/2, 0/3 at rate A; 0/8, 0/13 and the labels at rate B; 0/0 by itself.
    explicit FicCarousel(const Ensemble& ensemble, int fibs_per_frame = 3);

    // The FIBs of the frame with this CIF count (0 to 4999).
    std::vector<Fib> Next(uint16_t cif_count);

  private:
    struct Entry {
        std::vector<uint8_t> fig;
        int interval;
        int64_t due = 0;
    };
    uint16_t eid_;
    int fibs_per_frame_;
    std::vector<Entry> entries_;
    int64_t frame_ = 0;
};

}  // namespace koru::dab

#endif
