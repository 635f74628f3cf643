#include "dab/protection.h"

namespace koru::dab {
namespace {

// EN 300 401 clause 11.3.1, table 8 (size, level, bit rate) with the puncturing of each row.
constexpr std::array<UepProfile, kUepTableSize> kUepTable{{
    {16, 5, 32, {3, 4, 17, 0}, {5, 3, 2, 0}, 0},
    {21, 4, 32, {3, 3, 18, 0}, {11, 6, 5, 0}, 0},
    {24, 3, 32, {3, 4, 14, 3}, {15, 9, 6, 8}, 0},
    {29, 2, 32, {3, 4, 14, 3}, {22, 13, 8, 13}, 0},
    {35, 1, 32, {3, 5, 13, 3}, {24, 17, 12, 17}, 4},
    {24, 5, 48, {4, 3, 26, 3}, {5, 4, 2, 3}, 0},
    {29, 4, 48, {3, 4, 26, 3}, {9, 6, 4, 6}, 0},
    {35, 3, 48, {3, 4, 26, 3}, {15, 10, 6, 9}, 4},
    {42, 2, 48, {3, 4, 26, 3}, {24, 14, 8, 15}, 0},
    {52, 1, 48, {3, 5, 25, 3}, {24, 18, 13, 18}, 0},
    {29, 5, 56, {6, 10, 23, 3}, {5, 4, 2, 3}, 0},
    {35, 4, 56, {6, 10, 23, 3}, {9, 6, 4, 5}, 0},
    {42, 3, 56, {6, 12, 21, 3}, {16, 7, 6, 9}, 0},
    {52, 2, 56, {6, 10, 23, 3}, {23, 13, 8, 13}, 8},
    {32, 5, 64, {6, 9, 31, 2}, {5, 3, 2, 3}, 0},
    {42, 4, 64, {6, 9, 33, 0}, {11, 6, 5, 0}, 0},
    {48, 3, 64, {6, 12, 27, 3}, {16, 8, 6, 9}, 0},
    {58, 2, 64, {6, 10, 29, 3}, {23, 13, 8, 13}, 8},
    {70, 1, 64, {6, 11, 28, 3}, {24, 18, 12, 18}, 4},
    {40, 5, 80, {6, 10, 41, 3}, {6, 3, 2, 3}, 0},
    {52, 4, 80, {6, 10, 41, 3}, {11, 6, 5, 6}, 0},
    {58, 3, 80, {6, 11, 40, 3}, {16, 8, 6, 7}, 0},
    {70, 2, 80, {6, 10, 41, 3}, {23, 13, 8, 13}, 8},
    {84, 1, 80, {6, 10, 41, 3}, {24, 17, 12, 18}, 4},
    {48, 5, 96, {7, 9, 53, 3}, {5, 4, 2, 4}, 0},
    {58, 4, 96, {7, 10, 52, 3}, {9, 6, 4, 6}, 0},
    {70, 3, 96, {6, 12, 51, 3}, {16, 9, 6, 10}, 4},
    {84, 2, 96, {6, 10, 53, 3}, {22, 12, 9, 12}, 0},
    {104, 1, 96, {6, 13, 50, 3}, {24, 18, 13, 19}, 0},
    {58, 5, 112, {14, 17, 50, 3}, {5, 4, 2, 5}, 0},
    {70, 4, 112, {11, 21, 49, 3}, {9, 6, 4, 8}, 0},
    {84, 3, 112, {11, 23, 47, 3}, {16, 8, 6, 9}, 0},
    {104, 2, 112, {11, 21, 49, 3}, {23, 12, 9, 14}, 4},
    {64, 5, 128, {12, 19, 62, 3}, {5, 3, 2, 4}, 0},
    {84, 4, 128, {11, 21, 61, 3}, {11, 6, 5, 7}, 0},
    {96, 3, 128, {11, 22, 60, 3}, {16, 9, 6, 10}, 4},
    {116, 2, 128, {11, 21, 61, 3}, {22, 12, 9, 14}, 0},
    {140, 1, 128, {11, 20, 62, 3}, {24, 17, 13, 19}, 8},
    {80, 5, 160, {11, 19, 87, 3}, {5, 4, 2, 4}, 0},
    {104, 4, 160, {11, 23, 83, 3}, {11, 6, 5, 9}, 0},
    {116, 3, 160, {11, 24, 82, 3}, {16, 8, 6, 11}, 0},
    {140, 2, 160, {11, 21, 85, 3}, {22, 11, 9, 13}, 0},
    {168, 1, 160, {11, 22, 84, 3}, {24, 18, 12, 19}, 0},
    {96, 5, 192, {11, 20, 110, 3}, {6, 4, 2, 5}, 0},
    {116, 4, 192, {11, 22, 108, 3}, {10, 6, 4, 9}, 0},
    {140, 3, 192, {11, 24, 106, 3}, {16, 10, 6, 11}, 0},
    {168, 2, 192, {11, 20, 110, 3}, {22, 13, 9, 13}, 8},
    {208, 1, 192, {11, 21, 109, 3}, {24, 20, 13, 24}, 0},
    {116, 5, 224, {12, 22, 131, 3}, {8, 6, 2, 6}, 4},
    {140, 4, 224, {12, 26, 127, 3}, {12, 8, 4, 11}, 0},
    {168, 3, 224, {11, 20, 134, 3}, {16, 10, 7, 9}, 0},
    {208, 2, 224, {11, 22, 132, 3}, {24, 16, 10, 15}, 0},
    {232, 1, 224, {11, 24, 130, 3}, {24, 20, 12, 20}, 4},
    {128, 5, 256, {11, 24, 154, 3}, {6, 5, 2, 5}, 0},
    {168, 4, 256, {11, 24, 154, 3}, {12, 9, 5, 10}, 4},
    {192, 3, 256, {11, 27, 151, 3}, {16, 10, 7, 10}, 0},
    {232, 2, 256, {11, 22, 156, 3}, {24, 14, 10, 13}, 8},
    {280, 1, 256, {11, 26, 152, 3}, {24, 19, 14, 18}, 4},
    {160, 5, 320, {11, 26, 200, 3}, {8, 5, 2, 6}, 4},
    {208, 4, 320, {11, 25, 201, 3}, {13, 9, 5, 10}, 8},
    {280, 2, 320, {11, 26, 200, 3}, {24, 17, 9, 17}, 0},
    {192, 5, 384, {11, 27, 247, 3}, {8, 6, 2, 7}, 0},
    {280, 3, 384, {11, 24, 250, 3}, {16, 9, 7, 10}, 4},
    {416, 1, 384, {12, 28, 245, 3}, {24, 20, 14, 23}, 8},
}};

// EN 300 401 tables 18 and 20: size in CUs per n, bit rate per n, and L = a*n + b per part.
struct EepRow {
    int cu_per_n;
    int l1_a, l1_b, pi1;
    int l2_a, l2_b, pi2;
};
constexpr std::array<EepRow, 4> kEepA{{
    {12, 6, -3, 24, 0, 3, 23},
    {8, 2, -3, 14, 4, 3, 13},
    {6, 6, -3, 8, 0, 3, 7},
    {4, 4, -3, 3, 2, 3, 2},
}};
constexpr std::array<EepRow, 4> kEepB{{
    {27, 24, -3, 10, 0, 3, 9},
    {21, 24, -3, 6, 0, 3, 5},
    {18, 24, -3, 4, 0, 3, 3},
    {15, 24, -3, 2, 0, 3, 1},
}};

int KbpsPerN(EepOption option) {
    return option == EepOption::kA ? 8 : 32;
}

const EepRow* EepRowOf(EepOption option, int level) {
    if (level < 1 || level > 4) return nullptr;
    return option == EepOption::kA ? &kEepA[level - 1] : &kEepB[level - 1];
}

}  // namespace

const UepProfile* UepTableEntry(int index) {
    if (index < 0 || index >= kUepTableSize) return nullptr;
    return &kUepTable[index];
}

int UepTableIndex(int bitrate_kbps, int protection_level) {
    for (int i = 0; i < kUepTableSize; ++i) {
        if (kUepTable[i].bitrate_kbps == bitrate_kbps &&
            kUepTable[i].protection_level == protection_level) {
            return i;
        }
    }
    return -1;
}

std::optional<EepPuncturing> EepPuncturingFor(EepOption option, int level, int bitrate_kbps) {
    const EepRow* row = EepRowOf(option, level);
    const int per_n = KbpsPerN(option);
    if (row == nullptr || bitrate_kbps <= 0 || bitrate_kbps % per_n != 0) return std::nullopt;
    const int n = bitrate_kbps / per_n;
    // 2-A at 8 kbit/s has a puncturing of its own (L1 would be negative).
    if (option == EepOption::kA && level == 2 && n == 1) return EepPuncturing{5, 13, 1, 12};
    return EepPuncturing{row->l1_a * n + row->l1_b, row->pi1, row->l2_a * n + row->l2_b, row->pi2};
}

int EepSizeCu(EepOption option, int level, int bitrate_kbps) {
    const EepRow* row = EepRowOf(option, level);
    const int per_n = KbpsPerN(option);
    if (row == nullptr || bitrate_kbps <= 0 || bitrate_kbps % per_n != 0) return 0;
    return row->cu_per_n * (bitrate_kbps / per_n);
}

int EepBitrateKbps(EepOption option, int level, int size_cu) {
    const EepRow* row = EepRowOf(option, level);
    if (row == nullptr || size_cu <= 0 || size_cu % row->cu_per_n != 0) return 0;
    return KbpsPerN(option) * (size_cu / row->cu_per_n);
}

Protection Protection::Uep(int table_index) {
    Protection p;
    p.short_form = true;
    p.table_index = static_cast<uint8_t>(table_index);
    return p;
}

std::optional<Protection> Protection::Eep(EepOption option, int level, int bitrate_kbps) {
    const int size = EepSizeCu(option, level, bitrate_kbps);
    if (size == 0 || size > kCapacityUnits) return std::nullopt;
    Protection p;
    p.short_form = false;
    p.option = option;
    p.level = static_cast<uint8_t>(level);
    p.size_cu = static_cast<uint16_t>(size);
    return p;
}

int Protection::SizeCu() const {
    if (short_form) {
        const UepProfile* row = table_switch == 0 ? UepTableEntry(table_index) : nullptr;
        return row != nullptr ? row->size_cu : 0;
    }
    return EepBitrateKbps(option, level, size_cu) != 0 ? size_cu : 0;
}

int Protection::BitrateKbps() const {
    if (short_form) {
        const UepProfile* row = table_switch == 0 ? UepTableEntry(table_index) : nullptr;
        return row != nullptr ? row->bitrate_kbps : 0;
    }
    return EepBitrateKbps(option, level, size_cu);
}

int Protection::Level() const {
    if (short_form) {
        const UepProfile* row = table_switch == 0 ? UepTableEntry(table_index) : nullptr;
        return row != nullptr ? row->protection_level : 0;
    }
    return level;
}

std::string Protection::Name() const {
    if (short_form) return "UEP " + std::to_string(Level());
    return "EEP " + std::to_string(level) + (option == EepOption::kA ? "-A" : "-B");
}

uint8_t TplOf(const Protection& protection) {
    if (protection.short_form) {
        return static_cast<uint8_t>(0x10 | ((protection.Level() - 1) & 0x07));
    }
    return static_cast<uint8_t>(0x20 | (static_cast<int>(protection.option) << 2) |
                                ((protection.level - 1) & 0x03));
}

TplInfo DecodeTpl(uint8_t tpl) {
    if ((tpl & 0x20) == 0) return {true, EepOption::kA, (tpl & 0x07) + 1};
    return {false, static_cast<EepOption>((tpl >> 2) & 0x07), (tpl & 0x03) + 1};
}

std::optional<SubchannelCoding> CodingOf(const Protection& protection) {
    SubchannelCoding coding;
    if (protection.short_form) {
        const UepProfile* row =
            protection.table_switch == 0 ? UepTableEntry(protection.table_index) : nullptr;
        if (row == nullptr) return std::nullopt;
        coding.size_cu = row->size_cu;
        coding.bitrate_kbps = row->bitrate_kbps;
        for (int i = 0; i < 4; ++i) {
            coding.l[i] = row->l[i];
            coding.pi[i] = row->pi[i];
        }
        coding.padding_bits = row->padding_bits;
        return coding;
    }
    if (protection.option != EepOption::kA && protection.option != EepOption::kB) {
        return std::nullopt;
    }
    const int bitrate = EepBitrateKbps(protection.option, protection.level, protection.size_cu);
    const std::optional<EepPuncturing> puncturing =
        EepPuncturingFor(protection.option, protection.level, bitrate);
    if (!puncturing) return std::nullopt;
    coding.size_cu = protection.size_cu;
    coding.bitrate_kbps = bitrate;
    coding.l = {puncturing->l1, puncturing->l2, 0, 0};
    coding.pi = {puncturing->pi1, puncturing->pi2, 0, 0};
    return coding;
}

std::optional<Protection> ProtectionOfStream(uint8_t tpl, int bitrate_kbps) {
    const TplInfo info = DecodeTpl(tpl);
    if (!info.uep) {
        if (info.option != EepOption::kA && info.option != EepOption::kB) return std::nullopt;
        return Protection::Eep(info.option, info.level, bitrate_kbps);
    }
    const int index = UepTableIndex(bitrate_kbps, info.level);
    if (index < 0) return std::nullopt;
    return Protection::Uep(index);
}

}  // namespace koru::dab
