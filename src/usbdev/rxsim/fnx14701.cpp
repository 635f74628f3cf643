#include "usbdev/rxsim/fnx14701.h"

namespace rxsim {
namespace {

constexpr uint8_t kMode = 0x01;
constexpr uint8_t kLBandInput = 0x02;  // bit 6
constexpr uint8_t kPower = 0x06;
constexpr uint8_t kPowerUp = 0xF8;
constexpr uint8_t kFraction = 0x07;  // 0x07 high, 0x08 low
constexpr uint8_t kInteger = 0x09;
constexpr uint8_t kDivider = 0x0C;
constexpr double kStepKhz = 8192.0;
constexpr double kFmIntermediateKhz = 14336.0;
// The VCO's range, in kHz.
constexpr double kVcoLow = 1500000.0;
constexpr double kVcoHigh = 2100000.0;

}  // namespace

Fnx14701::Fnx14701() {
    Reset();
}

void Fnx14701::Reset() {
    registers_.fill(0);
    pointer_ = 0;
}

void Fnx14701::I2cWrite(const uint8_t* bytes, size_t n) {
    if (n == 0) return;
    pointer_ = bytes[0];
    for (size_t i = 1; i < n; ++i, ++pointer_) {
        if (pointer_ < registers_.size()) registers_[pointer_] = bytes[i];
    }
}

void Fnx14701::I2cRead(uint8_t* out, size_t n) {
    for (size_t i = 0; i < n; ++i, ++pointer_)
        out[i] = pointer_ < registers_.size() ? registers_[pointer_] : 0x00;
}

std::optional<double> Fnx14701::ReceivedMHz() const {
    if ((registers_[kPower] & kPowerUp) != kPowerUp || (registers_[kInteger] & 0x80) == 0) {
        return std::nullopt;
    }
    const int integer = (registers_[kInteger] & 0x7F) + 128;
    const int fraction = registers_[kFraction] << 8 | registers_[kFraction + 1];
    const double vco = (integer + fraction / 65536.0) * kStepKhz;
    if (vco < kVcoLow || vco > kVcoHigh) return std::nullopt;
    const int divider = registers_[kDivider] + 3;
    double khz;
    switch (registers_[kMode]) {
        case 0:
            khz = vco / (2.0 * divider);
            break;
        case 1:
            if ((registers_[kLBandInput] & 0x40) == 0) return std::nullopt;
            khz = vco * 3.0 / 4.0;
            break;
        case 3:
            khz = vco / (4.0 * divider) - kFmIntermediateKhz;
            break;
        default:
            return std::nullopt;
    }
    return khz / 1000.0;
}

}  // namespace rxsim
