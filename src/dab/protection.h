// Sub-channel protection of EN 300 401 clause 11.3: the UEP table (short form, table switch 0)
// and the EEP profiles (long form, options A and B), with sizes in capacity units (CU, 64 bits
// per CIF), bit rates and the puncturing (L blocks with puncturing index PI), and the ETI-NI
// TPL field (EN 300 799) that carries the protection of a stream.
#ifndef DAB_PROTECTION_H
#define DAB_PROTECTION_H

#include <array>
#include <cstdint>
#include <optional>
#include <string>

namespace koru::dab {

inline constexpr int kCapacityUnits = 864;  // CUs of one CIF

// One row of the UEP table. `l` counts blocks of 128 mother-code bits punctured with `pi`;
// `padding_bits` end the sub-channel after the 12 tail bits.
struct UepProfile {
    uint16_t size_cu;
    uint8_t protection_level;  // 1 (strongest) to 5
    uint16_t bitrate_kbps;
    std::array<uint8_t, 4> l;
    std::array<uint8_t, 4> pi;
    uint8_t padding_bits;
};

inline constexpr int kUepTableSize = 64;
// The row of table index 0 to 63, or null.
const UepProfile* UepTableEntry(int index);
// The table index of a bit rate and protection level, or -1 when the table has none.
int UepTableIndex(int bitrate_kbps, int protection_level);

enum class EepOption : uint8_t { kA = 0, kB = 1 };

// Puncturing of an EEP sub-channel: L1 blocks with PI1, then L2 blocks with PI2.
struct EepPuncturing {
    int l1, pi1, l2, pi2;
};

// How a sub-channel is protected, as FIG 0/1 describes it.
struct Protection {
    bool short_form = true;   // UEP by table index; false: long form (EEP)
    uint8_t table_index = 0;  // short form
    uint8_t table_switch = 0;
    EepOption option = EepOption::kA;  // long form
    uint8_t level = 1;                 // long form protection level 1 to 4 (1-A .. 4-A)
    uint16_t size_cu = 0;              // long form sub-channel size

    static Protection Uep(int table_index);
    // EEP profile `level`-A or -B for a bit rate; nullopt when the rate does not fit the option
    // (A: multiple of 8 kbit/s, B: of 32 kbit/s) or the level is out of range.
    static std::optional<Protection> Eep(EepOption option, int level, int bitrate_kbps);

    // Size in CUs and bit rate in kbit/s; 0 when the description is not valid.
    int SizeCu() const;
    int BitrateKbps() const;
    // "UEP 3" / "EEP 2-A", as receivers show it.
    std::string Name() const;
    // Protection level shown to users: UEP 1..5, EEP 1..4.
    int Level() const;

    bool operator==(const Protection&) const = default;
};

// EEP puncturing for a bit rate (EN 300 401 clause 11.3.2, tables 18 and 20); nullopt when
// the rate does not fit the option.
std::optional<EepPuncturing> EepPuncturingFor(EepOption option, int level, int bitrate_kbps);

// Size in CUs of an EEP sub-channel, or 0 when the rate does not fit the option.
int EepSizeCu(EepOption option, int level, int bitrate_kbps);
// Bit rate of an EEP sub-channel of `size_cu` CUs, or 0 when the size does not fit.
int EepBitrateKbps(EepOption option, int level, int size_cu);

// What a decoder is set up with for a sub-channel: its size and bit rate, and the puncturing of
// its blocks (UEP: up to four parts and padding bits after the tail; EEP: two parts).
struct SubchannelCoding {
    int size_cu = 0;
    int bitrate_kbps = 0;
    std::array<int, 4> l{};
    std::array<int, 4> pi{};
    int padding_bits = 0;
    bool operator==(const SubchannelCoding&) const = default;
};
// nullopt when the protection fits no profile (a table index past the table or table switch 1;
// an EEP size that is no whole number of the profile's CUs).
std::optional<SubchannelCoding> CodingOf(const Protection& protection);

// ETI-NI TPL (EN 300 799 clause 5.3.3): UEP 0b01 0LLL with level-1; EEP 0b1O OOLL with the
// option and level-1.
uint8_t TplOf(const Protection& protection);
struct TplInfo {
    bool uep;
    EepOption option;
    int level;  // UEP 1..5, EEP 1..4
};
TplInfo DecodeTpl(uint8_t tpl);
// The protection of an ETI-NI stream from its TPL and its bit rate (STL x 8 / 3 kbit/s); nullopt
// when the pair fits no profile.
std::optional<Protection> ProtectionOfStream(uint8_t tpl, int bitrate_kbps);

}  // namespace koru::dab

#endif
