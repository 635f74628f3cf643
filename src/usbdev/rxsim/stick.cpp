#include "usbdev/rxsim/stick.h"

#include <cstdio>

#include "m4systems/clock.h"
#include "m4systems/log.h"
#include "usbdev/rxsim/chips.h"
#include "usbdev/usbdev.h"

namespace rxsim {
namespace {

constexpr const char* kSource = "rxsim_stick";
// Frames the pacing thread delivers late in one go; a longer stall (a stopped process) skips
// the air forward instead, as a receiver that was away would.
constexpr uint64_t kMaxCatchUpFrames = 250;
constexpr uint64_t kStatusEveryFrames = 42;  // about once a second

const char* PhaseName(SyncPhase phase) {
    switch (phase) {
        case SyncPhase::kNoSignal:
            return "no signal";
        case SyncPhase::kAcquiring:
            return "acquiring";
        case SyncPhase::kLocked:
            return "locked";
    }
    return "?";
}

// The chips of the config, or the default pair where it names one that is not emulated (a
// config that did not come through ParseReceiverConf).
StickConfig WithEmulatedChips(StickConfig config) {
    const StickConfig defaults;
    if (!IsEmulatedBaseband(config.baseband) || !IsEmulatedTuner(config.tuner)) {
        M4_LOG(1, kSource, "%s + %s are not emulated: %s + %s instead", config.baseband.c_str(),
               config.tuner.c_str(), defaults.baseband.c_str(), defaults.tuner.c_str());
        config.baseband = defaults.baseband;
        config.tuner = defaults.tuner;
    }
    return config;
}

}  // namespace

Stick::Stick(StickConfig config)
    : config_(WithEmulatedChips(std::move(config))),
      air_(config_.air),
      tuner_(MakeTuner(config_.tuner, config_.tuner_clock_mhz, config_.tuner_id)),
      bus_(tuner_.get()),
      baseband_(MakeBaseband(config_.baseband, &bus_, config_.baseband_id)),
      firmware_(config_, baseband_.get(), &bus_, &faults_),
      reception_(config_, &air_),
      queue_(config_.rx_queue_bytes),
      start_ms_(M4_GetSysClock()) {
    PowerOn();
    pacer_ = std::thread([this] { PaceAir(); });
}

Stick::~Stick() {
    stopping_ = true;
    pacer_.join();
}

bool Stick::Live(uint64_t session) const {
    return plugged_ && session != 0 && session == session_;
}

void Stick::PowerOn() {
    tuner_->Reset();
    baseband_->Reset();
    firmware_.Reset();
    reception_.Reset();
    queue_.Flush();
}

int Stick::CountDevices(usbdev::Library library, uint32_t* count) {
    std::lock_guard lock(mutex_);
    *count = plugged_ && library == config_.library ? 1 : 0;
    return SI_SUCCESS;
}

int Stick::Open(usbdev::Library library, uint32_t index, uint64_t* session) {
    std::lock_guard lock(mutex_);
    if (!plugged_ || library != config_.library || index != 0) return SI_DEVICE_NOT_FOUND;
    if (session_ != 0) {
        M4_LOG(1, kSource, "open refused: the stick is already open");
        return SI_DEVICE_NOT_FOUND;
    }
    session_ = next_session_++;
    queue_.Flush();
    *session = session_;
    return SI_SUCCESS;
}

void Stick::Close(uint64_t session) {
    std::lock_guard lock(mutex_);
    if (session != 0 && session == session_) {
        session_ = 0;
        queue_.Flush();
    }
}

int Stick::Read(uint64_t session, uint8_t* buffer, uint32_t wanted, uint32_t* got,
                uint32_t timeout_ms) {
    *got = 0;
    const uint32_t start = M4_GetSysClock();
    for (;;) {
        {
            std::lock_guard lock(mutex_);
            if (!Live(session)) return SI_READ_ERROR;
            if (queue_.size() > 0) {
                *got = static_cast<uint32_t>(queue_.Pop(buffer, wanted));
                return SI_SUCCESS;
            }
        }
        if (M4_GetSysClock() - start >= timeout_ms) return SI_RX_QUEUE_NOT_READY;
        M4_Sleep(1);
    }
}

int Stick::Write(uint64_t session, const uint8_t* data, uint32_t length, uint32_t* written) {
    std::lock_guard lock(mutex_);
    *written = 0;
    if (!Live(session)) return SI_WRITE_ERROR;
    const uint32_t now = M4_GetSysClock();
    for (uint32_t at = 0; at < length; at += Firmware::kPacketBytes) {
        uint32_t n = std::min<uint32_t>(Firmware::kPacketBytes, length - at);
        Update(now);
        firmware_.OnPacket(data + at, n, now, reception_, &queue_);
    }
    Update(now);
    *written = length;
    return SI_SUCCESS;
}

int Stick::Flush(uint64_t session, bool transmit, bool receive) {
    std::lock_guard lock(mutex_);
    if (!Live(session)) return SI_DEVICE_IO_FAILED;
    if (receive) queue_.Flush();
    return SI_SUCCESS;
}

// A pulled stick's handle still answers the queue check, with nothing queued: the host learns
// of the loss from the device count.
int Stick::CheckRxQueue(uint64_t session, uint32_t* queued, uint32_t* status) {
    std::lock_guard lock(mutex_);
    *queued = 0;
    *status = 0;
    if (!Live(session)) return SI_SUCCESS;
    *queued = static_cast<uint32_t>(queue_.size());
    if (queue_.overrun()) *status |= SI_RX_OVERRUN;
    if (queue_.size() > 0) *status |= SI_RX_READY;
    return SI_SUCCESS;
}

void Stick::Pull() {
    std::lock_guard lock(mutex_);
    if (!plugged_) return;
    plugged_ = false;
    session_ = 0;
    queue_.Flush();
    M4_LOG(2, kSource, "stick pulled");
}

void Stick::Plug() {
    std::lock_guard lock(mutex_);
    if (plugged_) return;
    plugged_ = true;
    PowerOn();
    M4_LOG(2, kSource, "stick plugged in");
}

void Stick::ForceOverrun() {
    std::lock_guard lock(mutex_);
    if (session_ != 0) queue_.SetOverrun();
}

void Stick::ChangeFaults(const std::function<void(Faults&)>& change) {
    std::lock_guard lock(mutex_);
    change(faults_);
    if (plugged_) Update(M4_GetSysClock());
}

void Stick::Update(uint32_t now) {
    FrontEnd front{tuner_->ReceivedMHz(), firmware_.l_band_input(), baseband_->DemodRunning(),
                   baseband_->DemodStarts()};
    SyncPhase before = reception_.phase();
    const AirEntry* entry_before = reception_.entry();
    reception_.Update(now, front, faults_);
    if (reception_.phase() == before && reception_.entry() == entry_before) return;
    char line[96];
    if (reception_.entry() != nullptr) {
        std::snprintf(line, sizeof line, "sync: %s, %u kHz", PhaseName(reception_.phase()),
                      reception_.entry()->frequency_khz);
    } else {
        std::snprintf(line, sizeof line, "sync: %s", PhaseName(reception_.phase()));
    }
    M4_LOG(2, kSource, "%s", line);
    firmware_.Debug(Host(), line);
}

void Stick::PaceAir() {
    while (!stopping_) {
        const uint32_t now = M4_GetSysClock();
        const uint64_t due = (now - start_ms_) / kFrameMs;  // frames complete by now
        {
            std::lock_guard lock(mutex_);
            if (due > next_frame_ + kMaxCatchUpFrames) {
                M4_LOG(2, kSource, "air skipped %llu frames",
                       static_cast<unsigned long long>(due - next_frame_));
                next_frame_ = due;
            }
            while (next_frame_ < due)
                OnAirFrame(next_frame_++, now);
        }
        const uint32_t next_due = start_ms_ + static_cast<uint32_t>((next_frame_ + 1) * kFrameMs);
        const int32_t wait = static_cast<int32_t>(next_due - M4_GetSysClock());
        M4_Sleep(wait > 0 ? static_cast<uint32_t>(wait) : 0);
    }
}

void Stick::OnAirFrame(uint64_t index, uint32_t now) {
    if (!plugged_) return;
    Update(now);
    const Ensemble* ensemble = reception_.ensemble();
    FrameContext context;
    context.index = index;
    context.frame = ensemble != nullptr && !ensemble->frames.empty()
                        ? &ensemble->frames[index % ensemble->frames.size()]
                        : nullptr;
    context.level = reception_.level();
    context.stream_enabled = firmware_.stream_enabled();
    context.faults = &faults_;
    context.host = Host();
    baseband_->OnAirFrame(context);
    if (index % kStatusEveryFrames == 0 && firmware_.debug_enabled()) {
        char line[128];
        std::snprintf(line, sizeof line, "stat: %s level=%.1f fic=%d subch=%d queue=%zu",
                      PhaseName(reception_.phase()), reception_.level(),
                      baseband_->FicPathOn() ? 1 : 0, baseband_->SubChannel().value_or(-1),
                      queue_.size());
        firmware_.Debug(Host(), line);
    }
}

StickStatus Stick::Status() {
    std::lock_guard lock(mutex_);
    StickStatus status;
    status.plugged = plugged_;
    status.open = session_ != 0;
    status.frames = next_frame_;
    if (!plugged_) return status;
    Update(M4_GetSysClock());
    status.tuned_mhz = tuner_->ReceivedMHz();
    status.signal = reception_.phase() != SyncPhase::kNoSignal;
    status.locked = reception_.phase() == SyncPhase::kLocked;
    status.stream_enabled = firmware_.stream_enabled();
    status.fic_path = baseband_->FicPathOn();
    status.subchannel = baseband_->SubChannel();
    status.queued = static_cast<uint32_t>(queue_.size());
    status.overrun = queue_.overrun();
    return status;
}

std::string Stick::FaultSummary() {
    std::lock_guard lock(mutex_);
    char level[32] = "air";
    if (faults_.level) std::snprintf(level, sizeof level, "%.4g", *faults_.level);
    char text[256];
    std::snprintf(text, sizeof text,
                  "lock-loss %s\nsilence %s\nlevel %s\ncorrupt-fibs %.0f%%\n"
                  "corrupt-packets %.0f%%\nno-hwid %s\nfw-control-byte %s\n",
                  faults_.lock_lost ? "on" : "off", faults_.silence ? "on" : "off", level,
                  faults_.fibs.share() * 100.0, faults_.packets.share() * 100.0,
                  faults_.no_hardware_id ? "on" : "off",
                  faults_.firmware_control_byte ? "on" : "off");
    return text;
}

}  // namespace rxsim
