#include "usbdev/rxsim/fc2501.h"

namespace rxsim {
namespace {

constexpr uint8_t kIdRegister = 0x01;
constexpr uint8_t kBandRegister = 0x02;
constexpr uint8_t kStart = 0x37;  // bit 7
constexpr uint8_t kPll = 0x41;
// The VCO's range, in MHz.
constexpr double kVcoLow = 2500.0;
constexpr double kVcoHigh = 4200.0;

}  // namespace

Fc2501::Fc2501(double clock_mhz, uint8_t chip_id) : clock_mhz_(clock_mhz), chip_id_(chip_id) {
    Reset();
}

void Fc2501::Reset() {
    registers_.fill(0);
    pointer_ = 0;
    running_.reset();
}

void Fc2501::I2cWrite(const uint8_t* bytes, size_t n) {
    if (n == 0) return;
    pointer_ = bytes[0];
    for (size_t i = 1; i < n; ++i)
        Write(pointer_++, bytes[i]);
}

void Fc2501::I2cRead(uint8_t* out, size_t n) {
    for (size_t i = 0; i < n; ++i) {
        const uint8_t reg = pointer_++;
        out[i] = reg == kIdRegister ? chip_id_ : reg < registers_.size() ? registers_[reg] : 0x00;
    }
}

void Fc2501::Write(uint8_t reg, uint8_t value) {
    if (reg >= registers_.size() || reg == kIdRegister) return;
    const uint8_t before = registers_[reg];
    registers_[reg] = value;
    if (reg == kStart && (before & 0x80) == 0 && (value & 0x80) != 0) {
        Synthesiser started;
        for (size_t i = 0; i < started.pll.size(); ++i)
            started.pll[i] = registers_[kPll + i];
        started.band = registers_[kBandRegister];
        running_ = started;
    }
}

std::optional<double> Fc2501::ReceivedMHz() const {
    if (!running_) return std::nullopt;
    const int band = running_->band >> 6;
    if (band != 1 && band != 2) return std::nullopt;
    const double multiplier = band == 1 ? 16.0 : 2.0;
    const auto& pll = running_->pll;
    const uint32_t f = (pll[0] & 0x0Fu) << 16 | pll[1] << 8 | pll[2];
    const double vco = (pll[3] + f / 1048576.0) * clock_mhz_;
    if (vco < kVcoLow || vco > kVcoHigh) return std::nullopt;
    const double lo = vco / multiplier;
    const bool lo_above = (pll[0] & 0x80) != 0;
    return lo_above ? lo - kIntermediateMHz : lo + kIntermediateMHz;
}

}  // namespace rxsim
