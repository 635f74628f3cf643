// The stored channels and reservations that the player keeps between runs: the process-wide
// values that the main window and the dialogs share, and that EM_XmlFile reads and writes.
#ifndef PLAYER_SETTINGS_CHANNEL_STORE_H
#define PLAYER_SETTINGS_CHANNEL_STORE_H

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace koru::settings {

// Which list is being watched.
constexpr int kWatchKindTv = 300;
constexpr int kWatchKindRadio = 301;
constexpr int kWatchKindData = 302;

// ChannelEntry::kind of entries read from "channel.xml".
constexpr int32_t kChannelKindTv = 0;
constexpr int32_t kChannelKindRadio = 1;
constexpr int32_t kChannelKindData = 2;

// Reservation::kind.
constexpr int32_t kReservationKindTv = 0;
constexpr int32_t kReservationKindRadio = 1;

constexpr int kMaxChannels = 100;      // entries of one ChannelList
constexpr int kMaxReservations = 100;  // Reservation slots
constexpr int kDefaultFrequencyRegion = 2;

// One stored service (44 bytes). Texts are UTF-8, NUL-terminated, cut on a character boundary.
struct ChannelEntry {
    char label[32] = {};
    float freq = 0;        // ensemble centre frequency in MHz, e.g. 175.28
    int32_t subch_id = 0;  // service index within the ensemble, the second number of "bbu://"
    int32_t kind = 0;      // 0 TV, 1 radio, 2 data (a channel search may leave 3 for data)
};

// One reserved recording (72 bytes).
struct Reservation {
    int32_t kind = 0;   // 0 TV, 1 radio
    int32_t index = 0;  // index of the channel in its list
    char channel[32] = {};
    char start[16] = {};  // "%d%02d%02d-%02d:%02d": year, month, day, hour, minute
    char end[16] = {};
};

struct ChannelList {
    std::array<ChannelEntry, kMaxChannels> entries{};
    int count = 0;

    // Appends when there is room; false when the list is full.
    bool Append(const ChannelEntry& entry);
    void Clear() { count = 0; }
};

// The process-wide values; the player owns one (ProcessChannelStore()), tests make their own.
struct ChannelStore {
    ChannelList tv;
    ChannelList radio;
    ChannelList data;
    int watch_kind = 0;  // 0 until a list is chosen, then kWatchKind*
    int current_tv = 0;
    int current_radio = 0;
    int current_data = 0;
    int channels_available = 0;                      // 1 once a TV entry was read
    int language = 0;                                // 0 Korean, 1 English
    int frequency_region = kDefaultFrequencyRegion;  // "freqlocal"
    std::array<Reservation, kMaxReservations> reservations{};
    int reservation_count = 0;
};

ChannelStore& ProcessChannelStore();

// Copies text into a fixed field of `capacity` bytes: at most capacity - 1 bytes, cut so that no
// UTF-8 character is split, always NUL-terminated.
void SetFixedText(char* field, size_t capacity, std::string_view text);
template <size_t N>
void SetFixedText(char (&field)[N], std::string_view text) {
    SetFixedText(field, N, text);
}
// The text of a fixed field up to its NUL (or its whole width when it has none).
template <size_t N>
std::string_view FixedText(const char (&field)[N]) {
    size_t length = 0;
    while (length < N && field[length] != '\0')
        ++length;
    return std::string_view(field, length);
}

// The frequency in kHz that tuning uses: the integer part of freq x 1000 + 0.1.
int FrequencyKHz(float freq_mhz);

}  // namespace koru::settings

#endif
