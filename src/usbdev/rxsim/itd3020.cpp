#include "usbdev/rxsim/itd3020.h"

#include <cmath>

namespace rxsim {
namespace {

constexpr uint8_t kIdHigh = 0x66;  // reads 0x10
constexpr uint8_t kIdLow = 0x67;   // reads 0x30
constexpr uint8_t kCalibration = 0x68;
constexpr uint8_t kVcoLevel = 0x70;
constexpr uint8_t kVcoBand = 0x75;    // bit 7 manual band, bits 4..0 band code
constexpr uint8_t kVcoSelect = 0x82;  // bits 7..6 VCO select, bits 5..4 output divider
constexpr uint8_t kPllN = 0x84;       // N bits 7..0; 0x85 bits 1..0 are N bits 9..8
constexpr uint8_t kPllNHigh = 0x85;
constexpr uint8_t kPllF = 0x86;                // F bits 7..0, 0x87 bits 15..8, 0x88 bits 19..16
constexpr uint8_t kPllMode = 0x88;             // bit 5: fractional mode
constexpr uint8_t kCalibrationControl = 0x7F;  // bit 6: calibration result readable at 0x68
constexpr uint8_t kLastRegister = 0xB3;

// The VCO sub-bands of the chip: VCO select A and band code B cover the local oscillator range
// (low, high] when the output divider is D (divider 8, 4, 2, 1 for D = 0..3).
struct SubBand {
    int a, b, d;
    double lo_low, lo_high;
};
constexpr SubBand kSubBands[] = {
    {2, 3, 1, 170.0, 171.6},    {2, 4, 1, 171.6, 174.8},    {2, 5, 1, 174.8, 176.35},
    {2, 6, 1, 176.35, 179.85},  {2, 7, 1, 179.85, 183.35},  {2, 8, 1, 183.35, 188.85},
    {2, 9, 1, 188.85, 191.85},  {2, 10, 1, 191.85, 195.85}, {2, 11, 1, 195.85, 200.85},
    {2, 12, 1, 200.85, 205.85}, {2, 13, 1, 205.85, 211.85}, {2, 14, 1, 211.85, 216.85},
    {2, 15, 1, 216.85, 221.85}, {0, 6, 2, 221.85, 226.85},  {0, 7, 2, 226.85, 231.85},
    {0, 8, 2, 231.85, 236.85},  {0, 9, 2, 236.85, 240.85},  {0, 10, 2, 240.85, 250.85},
    {0, 11, 2, 250.85, 254.0},  {1, 1, 3, 1445.0, 1460.0},  {1, 2, 3, 1460.0, 1495.0},
};

double Divider(int d) {
    return 8.0 / (1 << d);
}

const SubBand* FindSubBand(int a, int b) {
    for (const SubBand& band : kSubBands) {
        if (band.a == a && band.b == b) return &band;
    }
    return nullptr;
}

}  // namespace

Itd3020::Itd3020(std::string name, double clock_mhz, uint8_t chip_id)
    : name_(std::move(name)), clock_mhz_(clock_mhz), chip_id_(chip_id) {
    Reset();
}

void Itd3020::Reset() {
    registers_.fill(0);
    pointer_ = 0;
}

void Itd3020::I2cWrite(const uint8_t* bytes, size_t n) {
    if (n == 0) return;
    pointer_ = bytes[0];
    for (size_t i = 1; i < n; ++i)
        Write(pointer_++, bytes[i]);
}

void Itd3020::I2cRead(uint8_t* out, size_t n) {
    for (size_t i = 0; i < n; ++i)
        out[i] = Read(pointer_++);
}

uint8_t Itd3020::Read(uint8_t reg) const {
    switch (reg) {
        case kIdHigh:
            return chip_id_;
        case kIdLow:
            return 0x30;
        case kCalibration:
            // The tracking-filter calibration result, valid while 0x7F bit 6 asks for it.
            return (registers_[kCalibrationControl] & 0x40) != 0 ? 0x90 : 0x00;
        case kVcoLevel:
            return static_cast<uint8_t>(VcoLevel() << 4);
        default:
            return reg <= kLastRegister ? registers_[reg] : 0x00;
    }
}

void Itd3020::Write(uint8_t reg, uint8_t value) {
    if (reg > kLastRegister) return;
    if (reg == kIdHigh || reg == kIdLow || reg == kCalibration || reg == kVcoLevel) return;
    registers_[reg] = value;
}

double Itd3020::VcoMHz() const {
    uint32_t n = registers_[kPllN] | (static_cast<uint32_t>(registers_[kPllNHigh] & 0x03) << 8);
    uint32_t f = registers_[kPllF] | (static_cast<uint32_t>(registers_[kPllF + 1]) << 8) |
                 (static_cast<uint32_t>(registers_[kPllF + 2] & 0x0F) << 16);
    if ((registers_[kPllMode] & 0x20) == 0) f = 0;  // integer-N: the fraction is not used
    return (n + f / 1048576.0) * clock_mhz_;
}

int Itd3020::VcoLevel() const {
    const SubBand* band = FindSubBand(registers_[kVcoSelect] >> 6, registers_[kVcoBand] & 0x1F);
    double vco = VcoMHz();
    if (band == nullptr || vco <= 0.0) return 0;  // this VCO does not oscillate
    double low = band->lo_low * Divider(band->d);
    double high = band->lo_high * Divider(band->d);
    if (vco <= low) return 2;
    if (vco > high) return 14;
    int level = 4 + static_cast<int>(std::floor(9.0 * (vco - low) / (high - low)));
    return level > 12 ? 12 : level;
}

std::optional<double> Itd3020::ReceivedMHz() const {
    int level = VcoLevel();
    if (level < 4 || level > 12) return std::nullopt;
    double lo = VcoMHz() / Divider((registers_[kVcoSelect] >> 4) & 0x03);
    return lo - kIntermediateMHz;
}

}  // namespace rxsim
