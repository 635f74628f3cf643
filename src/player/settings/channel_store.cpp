#include "player/settings/channel_store.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

namespace koru::settings {

bool ChannelList::Append(const ChannelEntry& entry) {
    if (count < 0 || count >= kMaxChannels) return false;
    entries[static_cast<size_t>(count++)] = entry;
    return true;
}

ChannelStore& ProcessChannelStore() {
    static ChannelStore store;
    return store;
}

void SetFixedText(char* field, size_t capacity, std::string_view text) {
    if (capacity == 0) return;
    size_t length = std::min(text.size(), capacity - 1);
    // Back up over continuation bytes (10xxxxxx) so the cut falls before a lead byte.
    if (length < text.size()) {
        while (length > 0 && (static_cast<unsigned char>(text[length]) & 0xC0) == 0x80)
            --length;
    }
    std::memcpy(field, text.data(), length);
    std::memset(field + length, 0, capacity - length);
}

int FrequencyKHz(float freq_mhz) {
    const double khz = static_cast<double>(freq_mhz) * 1000.0 + 0.1;
    if (!std::isfinite(khz) || khz <= 0 || khz >= std::numeric_limits<int>::max()) return 0;
    return static_cast<int>(khz);
}

}  // namespace koru::settings
