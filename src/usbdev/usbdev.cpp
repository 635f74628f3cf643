// The SiUSBXp and KoruDmbMS operation sets over the device provider.
#include "usbdev/usbdev.h"

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <set>
#include <string>

#include "m4systems/folders.h"
#include "m4systems/log.h"
#include "usbdev/device_provider.h"
#include "usbdev/rxsim/rxsim.h"

struct UsbHandle {
    usbdev::Library library;
    std::unique_ptr<usbdev::UsbDevice> device;
};

namespace usbdev {

int NoDeviceProvider::CountDevices(Library, uint32_t* count) {
    *count = 0;
    return SI_SUCCESS;
}

int NoDeviceProvider::Open(Library, uint32_t, std::unique_ptr<UsbDevice>*) {
    return SI_DEVICE_NOT_FOUND;
}

namespace {

constexpr const char* kSource = "usbdev";

struct Timeouts {
    std::atomic<uint32_t> read_ms{0};
    std::atomic<uint32_t> write_ms{0};
};

struct State {
    std::mutex mutex;  // guards provider and handles
    std::shared_ptr<DeviceProvider> provider;
    std::set<UsbHandle*> handles;  // open handles; anything else is refused
    Timeouts timeouts[2];
};

State& TheState() {
    static State state;
    return state;
}

Timeouts& TimeoutsOf(Library library) {
    return TheState().timeouts[library == Library::kSiUSBXp ? 0 : 1];
}

// The device behind a handle, or null when the handle is not open. Handles are used by one
// thread at a time (the receiver's), so the device stays valid while the caller uses it.
UsbDevice* DeviceOf(USB_HANDLE handle) {
    State& state = TheState();
    std::lock_guard lock(state.mutex);
    return state.handles.count(handle) != 0 ? handle->device.get() : nullptr;
}

int GetNumDevices(Library library, uint32_t* count) {
    if (count == nullptr) return SI_INVALID_PARAMETER;
    *count = 0;
    return CurrentDeviceProvider()->CountDevices(library, count);
}

int Open(Library library, uint32_t index, USB_HANDLE* handle) {
    if (handle == nullptr) return SI_INVALID_PARAMETER;
    *handle = nullptr;
    std::unique_ptr<UsbDevice> device;
    int result = CurrentDeviceProvider()->Open(library, index, &device);
    if (result != SI_SUCCESS) return result;
    if (device == nullptr) return SI_DEVICE_NOT_FOUND;
    auto* opened = new UsbHandle{library, std::move(device)};
    State& state = TheState();
    std::lock_guard lock(state.mutex);
    state.handles.insert(opened);
    *handle = opened;
    return SI_SUCCESS;
}

int Close(USB_HANDLE handle) {
    State& state = TheState();
    {
        std::lock_guard lock(state.mutex);
        if (state.handles.erase(handle) == 0) return SI_INVALID_HANDLE;
    }
    delete handle;
    return SI_SUCCESS;
}

int Read(USB_HANDLE handle, void* buffer, uint32_t wanted, uint32_t* got) {
    if (got != nullptr) *got = 0;
    if (buffer == nullptr || got == nullptr) return SI_INVALID_PARAMETER;
    UsbDevice* device = DeviceOf(handle);
    if (device == nullptr) return SI_INVALID_HANDLE;
    if (wanted == 0) return SI_SUCCESS;
    return device->Read(static_cast<uint8_t*>(buffer), wanted, got,
                        TimeoutsOf(handle->library).read_ms);
}

int Write(USB_HANDLE handle, const void* buffer, uint32_t length, uint32_t* written) {
    if (written != nullptr) *written = 0;
    if (buffer == nullptr || written == nullptr) return SI_INVALID_PARAMETER;
    UsbDevice* device = DeviceOf(handle);
    if (device == nullptr) return SI_INVALID_HANDLE;
    return device->Write(static_cast<const uint8_t*>(buffer), length, written,
                         TimeoutsOf(handle->library).write_ms);
}

int Flush(USB_HANDLE handle, uint8_t transmit, uint8_t receive) {
    UsbDevice* device = DeviceOf(handle);
    if (device == nullptr) return SI_INVALID_HANDLE;
    return device->Flush(transmit != 0, receive != 0);
}

int SetTimeouts(Library library, uint32_t read_ms, uint32_t write_ms) {
    TimeoutsOf(library).read_ms = read_ms;
    TimeoutsOf(library).write_ms = write_ms;
    return SI_SUCCESS;
}

int CheckRxQueue(USB_HANDLE handle, uint32_t* queued, uint32_t* status) {
    if (queued == nullptr || status == nullptr) return SI_INVALID_PARAMETER;
    *queued = 0;
    *status = 0;
    UsbDevice* device = DeviceOf(handle);
    if (device == nullptr) return SI_INVALID_HANDLE;
    return device->CheckRxQueue(queued, status);
}

}  // namespace

std::shared_ptr<DeviceProvider> MakeConfiguredProvider() {
    const char* choice = std::getenv("KORU_RECEIVER");
    if (choice != nullptr && std::strcmp(choice, "none") == 0) {
        M4_LOG(2, kSource, "KORU_RECEIVER=none: no receiver");
        return std::make_shared<NoDeviceProvider>();
    }
    const std::string conf = choice != nullptr && choice[0] != '\0'
                                 ? std::string(choice)
                                 : koru::ProgramFolder() + "/demo/receiver.conf";
    std::shared_ptr<rxsim::Emulator> emulator = rxsim::MakeEmulatorFromConf(conf);
    if (emulator == nullptr) return std::make_shared<NoDeviceProvider>();
    std::string error;
    if (!emulator->StartControlServer(&error)) {
        M4_LOG(1, kSource, "rxsimctl cannot reach the emulated receiver: %s", error.c_str());
    }
    return emulator;
}

bool UseRecordingAsAir(const std::string& argument, uint32_t default_khz, RecordingOnAir* on_air,
                       std::string* error) {
    std::string path;
    std::optional<uint32_t> khz;
    if (!rxsim::ParseRecordingArgument(argument, &path, &khz, error)) return false;
    rxsim::StickConfig config;
    const char* choice = std::getenv("KORU_RECEIVER");
    if (choice != nullptr && choice[0] != '\0' && std::strcmp(choice, "none") != 0) {
        std::string ignored;
        if (!rxsim::LoadReceiverConf(choice, &config, &ignored)) config = rxsim::StickConfig{};
    }
    const uint32_t frequency = khz.value_or(default_khz);
    if (!rxsim::UseRecordingAsAir(path, frequency, &config, error)) return false;
    on_air->path = config.air.front().eti_path;
    on_air->frequency_khz = frequency;
    M4_LOG(2, kSource, "the air: %s on %u kHz", on_air->path.c_str(), frequency);
    auto emulator = std::make_shared<rxsim::Emulator>(std::move(config));
    std::string control_error;
    if (!emulator->StartControlServer(&control_error)) {
        M4_LOG(1, kSource, "rxsimctl cannot reach the emulated receiver: %s",
               control_error.c_str());
    }
    SetDeviceProvider(std::move(emulator));
    return true;
}

void SetDeviceProvider(std::shared_ptr<DeviceProvider> provider) {
    State& state = TheState();
    std::lock_guard lock(state.mutex);
    state.provider = std::move(provider);
}

std::shared_ptr<DeviceProvider> CurrentDeviceProvider() {
    State& state = TheState();
    std::lock_guard lock(state.mutex);
    if (state.provider == nullptr) state.provider = MakeConfiguredProvider();
    return state.provider;
}

}  // namespace usbdev

using usbdev::Library;

// clang-format off
int SI_GetNumDevices(uint32_t* count) { return usbdev::GetNumDevices(Library::kSiUSBXp, count); }
int SI_Open(uint32_t index, USB_HANDLE* handle) { return usbdev::Open(Library::kSiUSBXp, index, handle); }
int SI_Close(USB_HANDLE handle) { return usbdev::Close(handle); }
int SI_Read(USB_HANDLE handle, void* buffer, uint32_t wanted, uint32_t* got) { return usbdev::Read(handle, buffer, wanted, got); }
int SI_Write(USB_HANDLE handle, const void* buffer, uint32_t length, uint32_t* written) { return usbdev::Write(handle, buffer, length, written); }
int SI_FlushBuffers(USB_HANDLE handle, uint8_t transmit, uint8_t receive) { return usbdev::Flush(handle, transmit, receive); }
int SI_SetTimeouts(uint32_t read_ms, uint32_t write_ms) { return usbdev::SetTimeouts(Library::kSiUSBXp, read_ms, write_ms); }
int SI_CheckRXQueue(USB_HANDLE handle, uint32_t* queued, uint32_t* status) { return usbdev::CheckRxQueue(handle, queued, status); }

int DI_GetNumDevices(uint32_t* count) { return usbdev::GetNumDevices(Library::kKoruDmbMS, count); }
int DI_Open(uint32_t index, USB_HANDLE* handle) { return usbdev::Open(Library::kKoruDmbMS, index, handle); }
int DI_Close(USB_HANDLE handle) { return usbdev::Close(handle); }
int DI_Read(USB_HANDLE handle, void* buffer, uint32_t wanted, uint32_t* got) { return usbdev::Read(handle, buffer, wanted, got); }
int DI_Write(USB_HANDLE handle, const void* buffer, uint32_t length, uint32_t* written) { return usbdev::Write(handle, buffer, length, written); }
int DI_FlushBuffers(USB_HANDLE handle, uint8_t transmit, uint8_t receive) { return usbdev::Flush(handle, transmit, receive); }
int DI_SetTimeouts(uint32_t read_ms, uint32_t write_ms) { return usbdev::SetTimeouts(Library::kKoruDmbMS, read_ms, write_ms); }
int DI_CheckRXQueue(USB_HANDLE handle, uint32_t* queued, uint32_t* status) { return usbdev::CheckRxQueue(handle, queued, status); }
// clang-format on
