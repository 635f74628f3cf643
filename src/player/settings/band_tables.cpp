#include "player/settings/band_tables.h"

#include <array>

namespace koru::settings {
namespace {

// L-band blocks LA to LP: 1452960 + 1712 x i.
constexpr std::array<int, 16> MakeLBandEurope() {
    std::array<int, 16> table{};
    for (int i = 0; i < 16; ++i)
        table[static_cast<size_t>(i)] = 1452960 + 1712 * i;
    return table;
}
constexpr std::array<int, 16> kLBandEurope = MakeLBandEurope();

// Band III blocks 5A to 13F; 10N, 11N and 12N each follow the D block of their channel.
constexpr std::array<int, 41> kBand3Europe = {
    174928, 176640, 178352, 180064, 181936, 183648, 185360, 187072, 188928, 190640, 192352,
    194064, 195936, 197648, 199360, 201072, 202928, 204640, 206352, 208064, 209936, 211648,
    213360, 215072, 210096, 216928, 218640, 220352, 222064, 217088, 223936, 225648, 227360,
    229072, 224096, 230784, 232496, 234208, 235776, 237488, 239200};

// Korean blocks 12C, 12B, 12A, 8C, 8B, 8A.
constexpr std::array<int, 6> kSeoulGyeonggi = {208736, 207008, 205280, 184736, 183008, 181280};

// Korean blocks 13C down to 7A.
constexpr std::array<int, 21> kAllOfKorea = {
    214736, 213008, 211280, 208736, 207008, 205280, 202736, 201008, 199280, 196736, 195008,
    193280, 190736, 189008, 187280, 184736, 183008, 181280, 178736, 177008, 175280};

constexpr std::array<int, 8> kBeijing = {208720, 210432, 212144, 213856,
                                         216928, 218640, 220352, 222064};

constexpr std::array<int, 2> kShanghai = {1458096, 1470080};

const std::array<BandTable, kFrequencyRegionCount> kBandTables = {{
    {"L-Band of Europe", "유럽 L-Band", kLBandEurope},
    {"Band3 of Europe", "유럽 Band3", kBand3Europe},
    {"Seoul-Gyeonggi of Korea", "한국 서울-경기", kSeoulGyeonggi},
    {"All of Korea", "한국 전역", kAllOfKorea},
    {"Beijing", "중국 북경", kBeijing},
    {"Shanghai", "중국 상해", kShanghai},
}};

const BandTable kNoBandTable = {nullptr, nullptr, {}};

// The China and Korea list is the two Chinese rows followed by the Korea list.
constexpr std::array<ManualSearchRow, 23> kChinaAndKoreaRows = {{
    {"9D 208064 : China", 208064},          {"10C 213360 : China", 213360},
    {"7KA 175280 : Korea", 175280},         {"7KB 177008 : Korea", 177008},
    {"7KC 178736 : Korea", 178736},         {"8KA 181280 : Korea - KBS2", 181280},
    {"8KB 183008 : Korea - YTN", 183008},   {"8KC 184736 : Korea - 1to1", 184736},
    {"9KA 187280 : Korea", 187280},         {"9KB 189008 : Korea", 189008},
    {"9KC 190736 : Korea", 190736},         {"10KA 193280 : Korea", 193280},
    {"10KB 195008 : Korea", 195008},        {"10KC 196736 : Korea", 196736},
    {"11KA 199280 : Korea", 199280},        {"11KB 201008 : Korea", 201008},
    {"11KC 202736 : Korea", 202736},        {"12KA 205280 : Korea - MBC", 205280},
    {"12KB 207008 : Korea - KBS1", 207008}, {"12KC 208736 : Korea - SBS", 208736},
    {"13KA 211280 : Korea", 211280},        {"13KB 213008 : Korea", 213008},
    {"13KC 214736 : Korea", 214736},
}};

}  // namespace

const BandTable& GetBandTable(int frequency_region) {
    if (frequency_region < 0 || frequency_region >= kFrequencyRegionCount) return kNoBandTable;
    return kBandTables[static_cast<size_t>(frequency_region)];
}

std::span<const ManualSearchRow> GetManualSearchList(ManualSearchListKind kind) {
    std::span<const ManualSearchRow> all(kChinaAndKoreaRows);
    return kind == ManualSearchListKind::kKorea ? all.subspan(2) : all;
}

}  // namespace koru::settings
