#include "player/core/service_url.h"

#include <cstdio>

namespace koru::player {

std::string ServiceUrl(const settings::ChannelEntry& entry, int watch_kind) {
    // The TV list is also the list of a WatchKind not chosen yet.
    const bool audio =
        watch_kind == settings::kWatchKindRadio || watch_kind == settings::kWatchKindData;
    const char* format = audio ? "bbu://%d,%d,0.mp2" : "bbu://%d,%d,0.ts";
    char url[64];
    std::snprintf(url, sizeof(url), format, settings::FrequencyKHz(entry.freq), entry.subch_id);
    return url;
}

}  // namespace koru::player
