#include "player/channels/channel_table.h"

#include <algorithm>
#include <cstring>

namespace koru::player {

int SearchProgress(int i, int n) {
    const int position = i + 1 < n ? 2 * i + 2 : 2 * n + 1;
    return std::clamp(position, 0, kSearchProgressMaximum);
}

void ChannelTable::BeginSearch() {
    count_ = 0;
    dropped_ = 0;
    previous_frequency_ = 0;
    previous_index_ = -1;
}

void ChannelTable::BeginManualSearch() {
    BeginSearch();
    entries_.fill(settings::ChannelEntry{});
    previous_index_ = 0;
}

std::vector<ListedService> ChannelTable::Store(const ServiceEntry* entries, int count,
                                               bool with_data) {
    std::vector<ListedService> stored;
    if (entries == nullptr) return stored;
    count = std::clamp(count, 0, DMB_MAX_SERVICES);
    for (int i = 0; i < count; ++i) {
        const ServiceEntry& found = entries[i];
        // The plug-in's label field need not hold a terminator.
        const std::string label(found.label, strnlen(found.label, sizeof(found.label)));
        if (label.empty()) continue;
        const bool listed_kind = found.kind == SERVICE_KIND_TV ||
                                 found.kind == SERVICE_KIND_RADIO ||
                                 (with_data && found.kind == SERVICE_KIND_DATA);
        const bool repeat =
            found.frequency == previous_frequency_ && found.service_index == previous_index_;
        previous_frequency_ = found.frequency;
        previous_index_ = found.service_index;
        if (!listed_kind || repeat) continue;
        if (count_ >= kCapacity) {
            ++dropped_;
            continue;
        }
        settings::ChannelEntry& entry = entries_[static_cast<size_t>(count_++)];
        entry = settings::ChannelEntry{};
        settings::SetFixedText(entry.label, label);
        entry.freq = static_cast<float>(found.frequency);
        entry.subch_id = found.service_index;
        entry.kind = found.kind;
        stored.push_back({found.kind, label});
    }
    return stored;
}

void RebuildChannelLists(settings::ChannelStore& store, const ChannelTable& table, int flag,
                         int count) {
    if (flag != 0) return;
    store.tv.Clear();
    store.radio.Clear();
    store.data.Clear();
    count = std::clamp(count, 0, table.count());
    for (int i = 0; i < count; ++i) {
        const settings::ChannelEntry& entry = table.entry(i);
        if (entry.kind == SERVICE_KIND_TV) store.tv.Append(entry);
        if (entry.kind == SERVICE_KIND_RADIO) store.radio.Append(entry);
        if (entry.kind == SERVICE_KIND_DATA) store.data.Append(entry);
    }
}

bool HasFutureReservation(const settings::ChannelStore& store, std::time_t now) {
    std::tm local{};
    localtime_r(&now, &local);
    char text[32];
    std::snprintf(text, sizeof(text), "%d%02d%02d-%02d:%02d", local.tm_year + 1900,
                  local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min);
    const std::string now_text(text);
    const int count = std::clamp(store.reservation_count, 0, settings::kMaxReservations);
    for (int i = 0; i < count; ++i) {
        const std::string start(
            settings::FixedText(store.reservations[static_cast<size_t>(i)].start));
        // Same-width texts of this form order as the times they name.
        if (start.size() == now_text.size() && start > now_text) return true;
    }
    return false;
}

void ClearReservations(settings::ChannelStore& store) {
    store.reservation_count = 0;
    store.reservations.fill(settings::Reservation{});
}

std::string TrimLabelInPlace(settings::ChannelEntry& entry) {
    size_t length = settings::FixedText(entry.label).size();
    while (length > 0 && entry.label[length - 1] == ' ')
        entry.label[--length] = '\0';
    return std::string(entry.label, length);
}

}  // namespace koru::player
