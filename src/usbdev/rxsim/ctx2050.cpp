#include "usbdev/rxsim/ctx2050.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "m4systems/log.h"

namespace rxsim {
namespace {

constexpr const char* kSource = "rxsim_ctx2050";

constexpr uint16_t kReset = 0x01;
constexpr uint16_t kStandby = 0x0C;
constexpr uint8_t kStandbyAtPowerOn = 0x0F;
constexpr uint16_t kOutput = 0x04;
constexpr uint16_t kVideoSelect = 0x30;
constexpr uint16_t kVideoSync = 0x31;
constexpr uint16_t kDataSelect = 0x40;
constexpr uint16_t kLockStatus = 0x98;
constexpr uint16_t kAudioSelect = 0xC3;
constexpr uint16_t kOutputType = 0xF0;
constexpr uint16_t kOutputSelect = 0xF1;
constexpr uint16_t kChannelEnable = 0x310;
constexpr uint16_t kLatch = 0x311;
constexpr uint16_t kDescriptors = 0x312;
constexpr size_t kDescriptorBytes = 12;
constexpr int kBanks = 4;
constexpr size_t kBankStride = 48;

constexpr uint8_t kOutputFic = 0x01;
constexpr uint8_t kOutputSubChannel = 0x80;
constexpr uint8_t kTypeAudioData = 3;
constexpr uint8_t kTypeVideo = 2;
constexpr uint8_t kLocked = 0x1F;
constexpr uint32_t kSignalDivisor = 65536;

}  // namespace

Ctx2050::Ctx2050() {
    Reset();
}

void Ctx2050::Reset() {
    registers_.fill(0);
    registers_[kStandby] = kStandbyAtPowerOn;
    latched_ = {};
    mismatch_logged_ = false;
    video_.Reset();
}

// The firmware's preparation pulse resets the chip's host interface: the output stops, the
// registers keep their values.
void Ctx2050::Prepare(uint32_t) {
    registers_[kOutput] = 0;
    M4_LOG(3, kSource, "preparation: output off");
}

uint8_t Ctx2050::ReadRegister(uint16_t address, uint32_t, const Reception& reception) {
    if (address == kLockStatus) {
        switch (reception.phase()) {
            case SyncPhase::kNoSignal:
                return 0x00;
            case SyncPhase::kAcquiring: {
                const int stage = std::min(3, static_cast<int>(reception.progress() * 4.0));
                return static_cast<uint8_t>((2 << stage) - 1);
            }
            case SyncPhase::kLocked:
                return kLocked;
        }
    }
    return registers_[address % kRegisters];
}

void Ctx2050::WriteRegister(uint16_t address, uint8_t value, uint32_t) {
    if (address >= kRegisters || address == kLockStatus) return;
    const uint8_t before = registers_[address];
    registers_[address] = value;
    if (address == kReset && (before & 0x01) == 0 && (value & 0x01) != 0) ++demod_starts_;
    if (address == kLatch && before == 1 && value == 0) Latch();
}

Ctx2050::Descriptor Ctx2050::Unpack(const uint8_t* b) {
    Descriptor d;
    d.start_cu = b[0] | (b[1] & 0x03) << 8;
    d.subchid = b[1] >> 2;
    d.size_cu = b[2] | (b[3] & 0x03) << 8;
    d.short_form = (b[3] & 0x80) != 0;
    d.pi = {b[4] & 0x1F, b[6] & 0x1F, b[8] & 0x0F, b[10] & 0x1F};
    d.l = {b[4] >> 5 | b[5] << 3, b[6] >> 5 | (b[7] & 0x7F) << 3, b[8] >> 5 | b[9] << 3,
           (b[10] >> 5) & 0x03};
    d.padding_bits = b[11] >> 4;
    return d;
}

bool Ctx2050::Decodes(const Descriptor& d, const AirFrame::SubChannel& subchannel) {
    if (!subchannel.protection) return false;
    const std::optional<koru::dab::SubchannelCoding> coding =
        koru::dab::CodingOf(*subchannel.protection);
    return coding && d.subchid == subchannel.id && d.start_cu == subchannel.start_cu &&
           d.short_form == subchannel.protection->short_form && d.size_cu == coding->size_cu &&
           d.l == coding->l && d.pi == coding->pi && d.padding_bits == coding->padding_bits;
}

// Each decoder channel takes its descriptor, if the four banks agree on it.
void Ctx2050::Latch() {
    for (int d = 0; d < 2; ++d) {
        const uint8_t* first = &registers_[kDescriptors + kDescriptorBytes * d];
        bool alike = true;
        for (int bank = 1; bank < kBanks; ++bank) {
            const uint8_t* copy = first + kBankStride * bank;
            alike = alike && std::memcmp(first, copy, kDescriptorBytes) == 0;
        }
        latched_[d] = alike ? std::optional(Unpack(first)) : std::nullopt;
        if (!alike) M4_LOG(2, kSource, "descriptor %d differs between its banks: not taken", d);
    }
    mismatch_logged_ = false;
}

bool Ctx2050::DemodRunning() const {
    return (registers_[kReset] & 0x01) != 0 && registers_[kStandby] == 0;
}

bool Ctx2050::FicPathOn() const {
    return (registers_[kOutput] & kOutputFic) != 0;
}

int Ctx2050::DecoderChannel() const {
    switch (registers_[kOutputType]) {
        case kTypeAudioData:
            return 0;
        case kTypeVideo:
            return 1;
        default:
            return -1;
    }
}

std::optional<int> Ctx2050::SubChannel() const {
    const uint8_t select = registers_[kOutputSelect];
    const int d = DecoderChannel();
    if ((registers_[kOutput] & kOutputSubChannel) == 0 || d < 0 || (select & 0x40) == 0) {
        return std::nullopt;
    }
    const int subchid = select & 0x3F;
    if ((registers_[kChannelEnable] & (1 << d)) == 0 || !latched_[d] ||
        latched_[d]->subchid != subchid) {
        return std::nullopt;
    }
    const bool selected =
        d == 1 ? registers_[kVideoSelect] == (subchid | 0x80) && registers_[kVideoSync] == 0x47
               : registers_[kAudioSelect] == (subchid | 0x80) ||
                     registers_[kDataSelect] == (subchid | 0x40);
    if (!selected) return std::nullopt;
    return subchid;
}

void Ctx2050::OnAirFrame(const FrameContext& context) {
    const bool to_host = context.stream_enabled && context.host != nullptr;
    if (context.frame == nullptr || !to_host) return;
    if (FicPathOn()) EmitFic(context);
    const std::optional<int> subchannel = SubChannel();
    if (!subchannel) return;
    const AirFrame::SubChannel* received = context.frame->Find(*subchannel);
    if (received != nullptr && !context.faults->silence) {
        if (!Decodes(*latched_[DecoderChannel()], *received)) {
            if (!mismatch_logged_) {
                M4_LOG(2, kSource, "sub-channel %d: the descriptor does not match the air",
                       *subchannel);
                mismatch_logged_ = true;
            }
        } else if (DecoderChannel() == 1) {  // video: the outer code is the chip's to remove
            const std::vector<uint8_t> stream = video_.Process(*subchannel, received->bytes);
            if (!stream.empty()) EmitServicePackets(context, stream, kMaxPayload);
        } else {
            EmitServicePackets(context, received->bytes, kMaxPayload);
        }
    }
    if (context.index % 4 == 3) EmitSignalReport(context);
}

void Ctx2050::EmitFic(const FrameContext& context) {
    std::vector<uint8_t> fibs = context.frame->fibs;
    const size_t per_frame = fibs.size() / 32;
    for (size_t i = 0; i < per_frame; ++i)
        DamageFibByFault(context, &fibs[i * 32], context.index * per_frame + i);
    if (!fibs.empty()) context.host->PushPacket(0, fibs.data(), fibs.size());
}

void Ctx2050::SignalWords(double level, int32_t* a, uint32_t* b) {
    *b = kSignalDivisor;
    *a = static_cast<int32_t>(std::ceil((level - 4.0) / 0.3 * kSignalDivisor));
}

void Ctx2050::EmitSignalReport(const FrameContext& context) {
    int32_t a = 0;
    uint32_t b = 0;
    SignalWords(context.level, &a, &b);
    uint8_t payload[8];
    for (int i = 0; i < 4; ++i) {
        payload[i] = static_cast<uint8_t>(static_cast<uint32_t>(a) >> (8 * i));
        payload[4 + i] = static_cast<uint8_t>(b >> (8 * i));
    }
    context.host->PushPacket(4, payload, sizeof payload);
}

}  // namespace rxsim
