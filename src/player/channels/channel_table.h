// The channel search's working table and the rules that fill it and split it: which found
// service is stored (empty labels skipped, a service repeated right after itself stored once,
// TPEG and other kinds never), the 100-entry bound, the progress shown per frequency, and the
// split of the table into the TV, radio and data lists of the channel store.
#ifndef PLAYER_CHANNELS_CHANNEL_TABLE_H
#define PLAYER_CHANNELS_CHANNEL_TABLE_H

#include <array>
#include <ctime>
#include <string>
#include <vector>

#include "player/settings/channel_store.h"
#include "rxmod/rxmod_api.h"

namespace koru::player {

// The progress bar's range is fixed at 0..10 whatever the number of frequencies.
constexpr int kSearchProgressMaximum = 10;
// The time the search grants the plug-in per frequency.
constexpr int kSearchTimeLimitMs = 3000;

// The bar position after frequency i of n (first is 0): 2i + 2, and 2n + 1 after the last; the
// bar shows at most its maximum.
int SearchProgress(int i, int n);

// A service that the search lists and stores: the list it goes to (0 TV, 1 radio, 3 data, the
// ServiceKind) and its label.
struct ListedService {
    int kind = 0;
    std::string label;
};

class ChannelTable {
  public:
    static constexpr int kCapacity = settings::kMaxChannels;

    // A new search: nothing stored, no previous entry. The entries themselves are left as they
    // are (a cancelled search keeps whatever it wrote).
    void BeginSearch();
    // A manual search (one frequency): every entry emptied, and the previous entry taken as
    // frequency 0, service index 0.
    void BeginManualSearch();

    // Stores the entries of one frequency in order and returns those that were stored (to be
    // listed). An entry with an empty label is skipped; one of kind TV, radio or data whose
    // frequency and service index equal the previous non-empty entry's is a repeat; TPEG and
    // other kinds are not stored but still count as the previous entry. Once the table is
    // full, further services are counted as dropped. Without with_data (a manual search), data
    // services are not stored either.
    std::vector<ListedService> Store(const ServiceEntry* entries, int count, bool with_data = true);

    int count() const { return count_; }
    // Services found beyond the table's capacity during this search.
    int dropped() const { return dropped_; }
    const settings::ChannelEntry& entry(int i) const { return entries_[static_cast<size_t>(i)]; }

  private:
    std::array<settings::ChannelEntry, kCapacity> entries_{};
    int count_ = 0;
    int dropped_ = 0;
    double previous_frequency_ = 0;
    int previous_index_ = -1;
};

// Splits the first count entries of the table into the store's three lists in table order:
// kind 0 to TV, 1 to radio, 3 to data, others dropped; the three counts are replaced. A
// non-zero flag leaves the store alone.
void RebuildChannelLists(settings::ChannelStore& store, const ChannelTable& table, int flag,
                         int count);

// True when a reservation starts later than now (start times "%d%02d%02d-%02d:%02d").
bool HasFutureReservation(const settings::ChannelStore& store, std::time_t now);
// Empties every reservation slot.
void ClearReservations(settings::ChannelStore& store);

// Removes trailing blanks from a stored label in place; returns the shortened text.
std::string TrimLabelInPlace(settings::ChannelEntry& entry);

}  // namespace koru::player

#endif
