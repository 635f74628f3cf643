// The emulated stick as a device provider of the USB libraries.
#include <cstdio>

#include "m4systems/log.h"
#include "usbdev/rxsim/control.h"
#include "usbdev/rxsim/rxsim.h"
#include "usbdev/rxsim/stick.h"
#include "usbdev/usbdev.h"

namespace rxsim {
namespace {

constexpr const char* kSource = "rxsim";

// One open handle on the stick.
class StickDevice : public usbdev::UsbDevice {
  public:
    StickDevice(std::shared_ptr<Stick> stick, uint64_t session)
        : stick_(std::move(stick)), session_(session) {}
    ~StickDevice() override { stick_->Close(session_); }

    int Read(uint8_t* buffer, uint32_t wanted, uint32_t* got, uint32_t timeout_ms) override {
        return stick_->Read(session_, buffer, wanted, got, timeout_ms);
    }
    int Write(const uint8_t* data, uint32_t length, uint32_t* written, uint32_t) override {
        return stick_->Write(session_, data, length, written);
    }
    int Flush(bool transmit, bool receive) override {
        return stick_->Flush(session_, transmit, receive);
    }
    int CheckRxQueue(uint32_t* queued, uint32_t* status) override {
        return stick_->CheckRxQueue(session_, queued, status);
    }

  private:
    std::shared_ptr<Stick> stick_;
    uint64_t session_;
};

}  // namespace

Emulator::Emulator(StickConfig config) : stick_(std::make_shared<Stick>(std::move(config))) {}

Emulator::~Emulator() {
    control_.reset();
}

int Emulator::CountDevices(usbdev::Library library, uint32_t* count) {
    return stick_->CountDevices(library, count);
}

int Emulator::Open(usbdev::Library library, uint32_t index,
                   std::unique_ptr<usbdev::UsbDevice>* device) {
    uint64_t session = 0;
    int result = stick_->Open(library, index, &session);
    if (result == SI_SUCCESS) *device = std::make_unique<StickDevice>(stick_, session);
    return result;
}

void Emulator::Pull() {
    stick_->Pull();
}
void Emulator::Plug() {
    stick_->Plug();
}
void Emulator::ForceOverrun() {
    stick_->ForceOverrun();
}

void Emulator::SetLockLost(bool lost) {
    stick_->ChangeFaults([lost](Faults& faults) { faults.lock_lost = lost; });
}
void Emulator::SetServiceSilence(bool silent) {
    stick_->ChangeFaults([silent](Faults& faults) { faults.silence = silent; });
}
void Emulator::SetSignalLevel(std::optional<double> level) {
    stick_->ChangeFaults([level](Faults& faults) { faults.level = level; });
}
void Emulator::SetFibCorruption(double share) {
    stick_->ChangeFaults([share](Faults& faults) { faults.fibs.set_share(share); });
}
void Emulator::SetPacketCorruption(double share) {
    stick_->ChangeFaults([share](Faults& faults) { faults.packets.set_share(share); });
}
void Emulator::SetHardwareIdSilent(bool silent) {
    stick_->ChangeFaults([silent](Faults& faults) { faults.no_hardware_id = silent; });
}
void Emulator::SetFirmwareControlByte(bool on) {
    stick_->ChangeFaults([on](Faults& faults) { faults.firmware_control_byte = on; });
}
void Emulator::ClearFaults() {
    stick_->ChangeFaults([](Faults& faults) { faults = Faults{}; });
}

StickStatus Emulator::Status() {
    return stick_->Status();
}

std::string Emulator::Control(const std::string& command) {
    return RunControlCommand(this, command, [this] { return stick_->FaultSummary(); });
}

bool Emulator::StartControlServer(std::string* error) {
    if (control_ != nullptr) return true;
    auto server = std::make_unique<ControlServer>(this);
    if (!server->Start(error)) return false;
    control_ = std::move(server);
    return true;
}

std::shared_ptr<Emulator> MakeEmulatorFromConf(const std::string& path) {
    StickConfig config;
    std::string error;
    if (!LoadReceiverConf(path, &config, &error)) {
        M4_LOG(1, kSource, "no emulated receiver: %s", error.c_str());
        return nullptr;
    }
    M4_LOG(2, kSource, "emulated receiver from %s: %s + %s on %s, %zu transmitters", path.c_str(),
           config.baseband.c_str(), config.tuner.c_str(),
           config.library == usbdev::Library::kSiUSBXp ? "SiUSBXp" : "KoruDmbMS",
           config.air.size());
    return std::make_shared<Emulator>(std::move(config));
}

}  // namespace rxsim
