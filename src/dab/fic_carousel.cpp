#include "dab/fic_carousel.h"

#include <algorithm>
#include <numeric>
#include <span>

#include "dab/fig.h"

namespace koru::dab {

FicCarousel::FicCarousel(const Ensemble& ensemble, int fibs_per_frame)
    : eid_(ensemble.eid), fibs_per_frame_(fibs_per_frame) {
    const auto add = [this](std::vector<std::vector<uint8_t>> figs, int interval) {
        for (auto& fig : figs)
            entries_.push_back(Entry{std::move(fig), interval});
    };
    add(BuildFig0_1(ensemble.subchannels), kRateAFrames);
    add(BuildFig0_2(ensemble.services), kRateAFrames);
    add(BuildFig0_3(ensemble.services), kRateAFrames);
    add({BuildFig1_0(ensemble.eid, ensemble.label)}, kRateBFrames);
    add(BuildServiceLabels(ensemble.services), kRateBFrames);
    add(BuildFig0_13(ensemble.services), kRateBFrames);
    add(BuildFig0_8(ensemble.services), kRateBFrames);
}

std::vector<Fib> FicCarousel::Next(uint16_t cif_count) {
    std::vector<std::vector<uint8_t>> fibs(static_cast<size_t>(fibs_per_frame_));
    // FIG 0/0 opens the first FIB of every group of four CIFs.
    if (cif_count % 4 == 0) fibs[0] = BuildFig0_0(eid_, cif_count);

    // FIGs due at rate A first, then the other due ones, earliest first (ties in the order
    // added); those not yet due fill what is left.
    const auto rank = [this](const Entry& e) {
        if (e.due > frame_) return 2;
        return e.interval == kRateAFrames ? 0 : 1;
    };
    std::vector<size_t> order(entries_.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) {
        const Entry& x = entries_[a];
        const Entry& y = entries_[b];
        if (rank(x) != rank(y)) return rank(x) < rank(y);
        return x.due < y.due;
    });
    for (size_t index : order) {
        Entry& entry = entries_[index];
        for (auto& fib : fibs) {
            if (fib.size() + entry.fig.size() <= kFibDataSize) {
                fib.insert(fib.end(), entry.fig.begin(), entry.fig.end());
                entry.due = frame_ + entry.interval;
                break;
            }
        }
    }
    ++frame_;
    std::vector<Fib> out;
    for (const auto& figs : fibs)
        out.push_back(BuildFib({std::span<const uint8_t>(figs)}));
    return out;
}

}  // namespace koru::dab
