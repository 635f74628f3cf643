#include "usbdev/rxsim/pn3030.h"

#include <algorithm>
#include <cmath>

#include "m4systems/log.h"

namespace rxsim {
namespace {

constexpr const char* kSource = "rxsim_pn3030";

constexpr uint8_t kChipIdRegister = 0x00;
constexpr uint8_t kBankSelect = 0x04;
constexpr uint8_t kDemodControl = 0x10;  // bank 0
// Bank 2.
constexpr uint8_t kOutputPorts = 0x08;
constexpr uint8_t kI2cSlave = 0x13;
constexpr uint8_t kI2cSubAddress = 0x14;
constexpr uint8_t kI2cBuffer = 0x16;
constexpr uint8_t kI2cCount = 0x19;
constexpr uint8_t kI2cCommand = 0x1A;
constexpr uint8_t kI2cResult = 0x1B;
constexpr uint8_t kVideoSelect = 0x67;
constexpr uint8_t kAudioSelect = 0x69;
constexpr uint8_t kMaskA = 0xA0;
constexpr uint8_t kMaskB = 0xA1;
constexpr uint8_t kSubChannelPath = 0xA5;
constexpr uint8_t kDecoder = 0xB0;
constexpr uint8_t kFicPath = 0xB1;
constexpr uint8_t kLockStatus1 = 0xD5;
constexpr uint8_t kLockStatus2 = 0xD6;

constexpr uint8_t kMaskFic = 0x01;
constexpr uint8_t kMaskSubChannel = 0xE0;
constexpr uint8_t kPathReset = 0x80;
constexpr uint8_t kPathRun = 0x08;

constexpr size_t kFibBytes = 32;
constexpr size_t kFibsPerFrame = 3;
constexpr size_t kFibsPerGroup = 12;

// Lock status while acquiring, by quarter of the acquisition time: status 1 counts the sync
// stages reached, status 2 sets one bit per stage (signal, null symbol, frequency, time);
// bit 4 of status 2 is frame sync, set only when locked.
constexpr uint8_t kAcquiringStatus1[4] = {0x00, 0x01, 0x03, 0x07};
constexpr uint8_t kAcquiringStatus2[4] = {0x01, 0x03, 0x07, 0x0F};

}  // namespace

Pn3030::Pn3030(I2cBus* bus) : bus_(bus) {
    Reset();
}

void Pn3030::Reset() {
    for (auto& bank : banks_)
        bank.fill(0);
    Bank2(kMaskA) = kMaskFic | kMaskSubChannel;
    Bank2(kMaskB) = kMaskFic | kMaskSubChannel;
    bank_select_ = 0;
    booting_ = false;
    fic_frames_ = 0;
    outer_.Reset();
    outer_subchannel_.reset();
}

void Pn3030::Prepare(uint32_t now) {
    Reset();
    booting_ = true;
    boot_start_ = now;
    M4_LOG(3, kSource, "preparation: chip reset");
}

bool Pn3030::Booting(uint32_t now) const {
    return booting_ && static_cast<int32_t>(now - boot_start_) < static_cast<int32_t>(kResetMs);
}

uint8_t Pn3030::ReadRegister(uint16_t address, uint32_t now, const Reception& reception) {
    if (Booting(now)) return 0xFF;  // nobody drives the bus yet
    uint8_t reg = address & 0xFF;
    if (reg == kChipIdRegister) return kChipId;
    if (reg == kBankSelect) return bank_select_;
    int bank = bank_select_ & 0x03;
    if (bank == 2 && (reg == kLockStatus1 || reg == kLockStatus2)) {
        bool first = reg == kLockStatus1;
        switch (reception.phase()) {
            case SyncPhase::kNoSignal:
                return first ? 0xFF : 0x00;
            case SyncPhase::kAcquiring: {
                int stage = std::min(3, static_cast<int>(reception.progress() * 4.0));
                return first ? kAcquiringStatus1[stage] : kAcquiringStatus2[stage];
            }
            case SyncPhase::kLocked:
                return first ? 0x0F : 0x1F;
        }
    }
    return banks_[bank][reg];
}

void Pn3030::WriteRegister(uint16_t address, uint8_t value, uint32_t now) {
    uint8_t reg = address & 0xFF;
    if (Booting(now)) {
        M4_LOG(3, kSource, "write 0x%02x=0x%02x lost: the chip is still in reset", reg, value);
        return;
    }
    booting_ = false;
    if (reg == kChipIdRegister) return;
    if (reg == kBankSelect) {
        bank_select_ = value;
        return;
    }
    int bank = bank_select_ & 0x03;
    if (bank == 2 && (reg == kLockStatus1 || reg == kLockStatus2)) return;
    banks_[bank][reg] = value;
    if (bank == 0 && reg == kDemodControl && (value & 0x80) != 0) ++demod_starts_;
    if (bank != 2) return;
    if (reg == kI2cCommand && (value & 0x01) != 0) RunI2c();
    if (reg == kFicPath && (value & kPathReset) != 0) fic_frames_ = 0;
}

// One transaction of the I2C master, as its bank-2 registers describe it.
void Pn3030::RunI2c() {
    uint8_t command = Bank2(kI2cCommand);
    uint8_t slave = Bank2(kI2cSlave) & 0x7F;
    uint8_t buffer = Bank2(kI2cBuffer);
    size_t count = Bank2(kI2cCount);
    bool acknowledged = true;
    uint8_t data[256];
    if ((command & 0x20) != 0) {
        if ((command & 0x04) != 0) {
            uint8_t sub_address = Bank2(kI2cSubAddress);
            acknowledged = bus_->Write(slave, &sub_address, 1);
        }
        acknowledged = bus_->Read(slave, data, count) && acknowledged;
        for (size_t i = 0; i < count; ++i)
            banks_[2][(buffer + i) & 0xFF] = data[i];
        M4_LOG(3, kSource, "I2C read 0x%02x: %zu bytes from 0x%02x%s", slave, count,
               Bank2(kI2cSubAddress), acknowledged ? "" : " (no acknowledge)");
    } else {
        for (size_t i = 0; i < count; ++i)
            data[i] = banks_[2][(buffer + i) & 0xFF];
        acknowledged = bus_->Write(slave, data, count);
        M4_LOG(3, kSource, "I2C write 0x%02x: %zu bytes from register 0x%02x%s", slave, count,
               count > 0 ? data[0] : 0, acknowledged ? "" : " (no acknowledge)");
    }
    Bank2(kI2cResult) = acknowledged ? 0x00 : 0x01;
    Bank2(kI2cCommand) = command & ~0x01;
}

bool Pn3030::FicPathOn() const {
    return (Bank2(kOutputPorts) & 0x02) != 0 && (Bank2(kFicPath) & kPathRun) != 0 &&
           (Bank2(kMaskA) & kMaskFic) == 0 && (Bank2(kMaskB) & kMaskFic) == 0;
}

std::optional<int> Pn3030::SubChannel() const {
    if ((Bank2(kOutputPorts) & 0x01) == 0 || (Bank2(kSubChannelPath) & kPathRun) == 0) {
        return std::nullopt;
    }
    if ((Bank2(kMaskA) & kMaskSubChannel) != 0 || (Bank2(kMaskB) & kMaskSubChannel) != 0) {
        return std::nullopt;
    }
    uint8_t decoder = Bank2(kDecoder);
    if ((decoder & 0x80) == 0) return std::nullopt;
    uint8_t selection = Bank2((decoder & 0x01) != 0 ? kVideoSelect : kAudioSelect);
    if ((selection & 0x80) == 0) return std::nullopt;
    return selection & 0x3F;
}

bool Pn3030::VideoMode() const {
    return (Bank2(kDecoder) & 0x01) != 0;
}

void Pn3030::OnAirFrame(const FrameContext& context) {
    bool last_of_group = context.index % 4 == 3;
    if (context.index % 4 == 0) fic_frames_ = 0;
    if (context.frame != nullptr && FicPathOn() &&
        context.frame->fibs.size() == kFibsPerFrame * kFibBytes && fic_frames_ >= 0 &&
        fic_frames_ < 4) {
        std::copy(context.frame->fibs.begin(), context.frame->fibs.end(),
                  fic_group_.begin() + fic_frames_ * kFibsPerFrame * kFibBytes);
        ++fic_frames_;
    } else {
        fic_frames_ = -1;  // this transmission frame is incomplete
    }
    bool to_host = context.stream_enabled && context.host != nullptr;
    if (last_of_group && fic_frames_ == 4 && to_host) EmitFic(context);

    std::optional<int> subchannel = SubChannel();
    if (context.frame == nullptr || !subchannel || !to_host) return;
    const std::vector<uint8_t>* bytes = context.frame->Find(*subchannel);
    if (bytes != nullptr && !context.faults->silence) {
        if (!VideoMode()) {
            EmitSubChannel(context, *bytes);
        } else {
            if (outer_subchannel_ != subchannel) {
                outer_.Reset();
                outer_subchannel_ = subchannel;
            }
            std::vector<uint8_t> stream;
            outer_.Process(*bytes, &stream);
            if (!stream.empty()) EmitSubChannel(context, stream);
        }
    }
    if (last_of_group) EmitSignalReport(context);
}

void Pn3030::EmitFic(const FrameContext& context) {
    uint8_t payload[2 + kFibsPerGroup * 30];
    uint16_t mask = 0;
    for (size_t i = 0; i < kFibsPerGroup; ++i) {
        const uint8_t* fib = &fic_group_[i * kFibBytes];
        uint8_t* out = &payload[2 + i * 30];
        std::copy(fib, fib + 30, out);
        bool good = FibCrcOk(fib);
        if (context.faults->fibs.Take()) {
            out[i % 30] ^= 0x5A;  // a burst the CRC catches
            good = false;
        }
        if (!good) mask |= static_cast<uint16_t>(1u << i);
    }
    payload[0] = mask & 0xFF;
    payload[1] = mask >> 8;
    context.host->PushPacket(0, payload, sizeof payload);
}

void Pn3030::EmitSubChannel(const FrameContext& context, const std::vector<uint8_t>& bytes) {
    for (size_t start = 0; start < bytes.size(); start += kMaxPayload) {
        size_t n = std::min(kMaxPayload, bytes.size() - start);
        if (!context.faults->packets.Take()) {
            context.host->PushPacket(3, bytes.data() + start, n);
            continue;
        }
        std::vector<uint8_t> damaged(bytes.begin() + start, bytes.begin() + start + n);
        for (size_t i = n / 2; i < n && i < n / 2 + 4; ++i)
            damaged[i] ^= 0xFF;
        context.host->PushPacket(3, damaged.data(), n);
    }
}

double Pn3030::SignalValue(uint16_t code) {
    if (code <= 14) return 33.44;
    if (code > 160) return 5.44;
    double log_x = std::log10(static_cast<double>(code));
    return 100.0 / (std::sqrt(static_cast<double>(code)) - log_x * log_x) - 5.0 - 1.56;
}

uint16_t Pn3030::SignalCode(double level) {
    uint16_t best = 1;
    for (uint16_t code = 1; code <= 161; ++code) {
        if (std::fabs(SignalValue(code) - level) < std::fabs(SignalValue(best) - level)) {
            best = code;
        }
    }
    return best;
}

// Report payload: bytes 2 and 3 the signal code (13 bits, little-endian), bytes 4 to 6 the
// error value e (24 bits, big-endian; e / 2^20 is the bit error rate), bytes 0, 1 and 7 zero.
void Pn3030::EmitSignalReport(const FrameContext& context) {
    uint16_t code = SignalCode(context.level);
    double ber = 0.5 * std::pow(10.0, -context.level / 5.0);
    const koru::dab::OuterDecoder::Counts& counts = outer_.counts();
    if (counts.packets > reported_.packets) {
        ber += static_cast<double>(counts.uncorrectable - reported_.uncorrectable) /
               static_cast<double>(counts.packets - reported_.packets);
    }
    reported_ = counts;
    double scaled = std::round(std::clamp(ber, 0.0, 1.0) * 1048576.0);
    uint32_t e = static_cast<uint32_t>(std::min(scaled, 16777215.0));
    const uint8_t payload[8] = {0,
                                0,
                                static_cast<uint8_t>(code & 0xFF),
                                static_cast<uint8_t>((code >> 8) & 0x1F),
                                static_cast<uint8_t>(e >> 16),
                                static_cast<uint8_t>(e >> 8),
                                static_cast<uint8_t>(e),
                                0};
    context.host->PushPacket(4, payload, sizeof payload);
}

}  // namespace rxsim
