// The fixed frequency tables: one BandTable per FrequencyRegion that a channel search scans,
// and the two labelled block lists of the manual search.
#ifndef PLAYER_SETTINGS_BAND_TABLES_H
#define PLAYER_SETTINGS_BAND_TABLES_H

#include <span>

namespace koru::settings {

constexpr int kFrequencyRegionCount = 6;

struct BandTable {
    const char* label_en;                  // menu label, English
    const char* label_ko;                  // menu label, Korean
    std::span<const int> frequencies_khz;  // in scan order
};

// The label of the submenu that offers the regions.
constexpr const char* kFrequencyRegionMenuEn = "Frequency region";
constexpr const char* kFrequencyRegionMenuKo = "주파수 설정";

// The table of a FrequencyRegion (0 to 5); a region outside that range gives a table without
// entries and without labels (nullptr).
const BandTable& GetBandTable(int frequency_region);

struct ManualSearchRow {
    const char* label;
    int frequency_khz;
};

enum class ManualSearchListKind { kKorea, kChinaAndKorea };

std::span<const ManualSearchRow> GetManualSearchList(ManualSearchListKind kind);

}  // namespace koru::settings

#endif
