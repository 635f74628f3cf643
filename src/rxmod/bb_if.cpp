// The USB link: one open device at a time over either device library.
#include "rxmod/bb_if.h"

#include <algorithm>
#include <atomic>

#include "m4systems/clock.h"
#include "m4systems/log.h"
#include "rxmod/bb_err.h"
#include "rxmod/receiver.h"
#include "rxmod/rxmod_api.h"
#include "usbdev/usb_ops.h"
#include "usbdev/usbdev.h"

namespace {

constexpr const char* kSource = "bb_if";

// Frame limits: a register frame carries at most 59 data bytes (a write frame is then 64 bytes
// long), a tuner frame at most 61, a batch at most 62.
constexpr int kRegisterChunk = 59;
constexpr int kTunerChunk = 61;
constexpr int kBatchLimit = 62;

// Timeouts (ms): register access and control commands, tuner path and batch writes.
constexpr uint32_t kRegisterTimeout = 200;
constexpr uint32_t kTunerTimeout = 300;

constexpr uint8_t kRegisterRead = 0x22;
constexpr uint8_t kRegisterWrite = 0x21;
constexpr uint8_t kTunerReadCommand = 0x32;
constexpr uint8_t kTunerWriteCommand = 0x31;
constexpr uint8_t kBatchWriteCommand = 0x22;
constexpr uint8_t kQuery = 0x12;
constexpr uint8_t kHardwareIdQuery = 0x11;
constexpr uint8_t kFirmwareIdQuery = 0x10;
constexpr uint8_t kControl = 0x11;
constexpr uint8_t kHardwareIdNone = 15;

using usbdev::UsbOps;

// Milliseconds paused, over the process's life (a measurement, not receiver state).
std::atomic<uint64_t> g_paused_ms{0};

struct StopCheck {
    bool (*asked)(void* user) = nullptr;
    void* user = nullptr;
};
thread_local StopCheck t_stop_check;

LinkState& Link() {
    return BB_Receiver().link;
}

const UsbOps& ChosenOps() {
    return Link().backend == kBackendSiUSBXp ? usbdev::kSiUSBXpOps : usbdev::kKoruDmbMSOps;
}

// Sends one whole frame.
int WriteFrame(const uint8_t* frame, uint32_t length, uint32_t timeout_ms) {
    if (Link().handle == nullptr) return BB_ERR_GENERIC;
    const UsbOps& ops = *Link().handle_ops;
    ops.SetTimeouts(timeout_ms, timeout_ms);
    uint32_t written = 0;
    int result = ops.Write(Link().handle, frame, length, &written);
    if (result != SI_SUCCESS) {
        M4_LOG(1, kSource, "SI_Write() returns an error(%d)", result);
        return BB_ERR_GENERIC;
    }
    return BB_SUCCESS;
}

// One read of the reply; fewer bytes than wanted still count as success.
int ReadReply(uint8_t* buffer, uint32_t wanted, uint32_t timeout_ms, uint32_t* got) {
    *got = 0;
    if (Link().handle == nullptr) return BB_ERR_GENERIC;
    const UsbOps& ops = *Link().handle_ops;
    ops.SetTimeouts(timeout_ms, timeout_ms);
    int result = ops.Read(Link().handle, buffer, wanted, got);
    if (result != SI_SUCCESS) {
        M4_LOG(1, kSource, "SI_Read() returns an error(%d)", result);
        *got = 0;
        return BB_ERR_GENERIC;
    }
    return BB_SUCCESS;
}

// How register and tuner accesses are framed: the command, then the address and the count
// big-endian in their widths, then (writes) the data; at most chunk data bytes per frame.
struct Framing {
    uint8_t read_command;
    uint8_t write_command;
    int field_bytes;  // width of the address and of the count
    int chunk;
    uint32_t timeout_ms;
};
constexpr Framing kRegisterFraming{kRegisterRead, kRegisterWrite, 2, kRegisterChunk,
                                   kRegisterTimeout};
constexpr Framing kTunerFraming{kTunerReadCommand, kTunerWriteCommand, 1, kTunerChunk,
                                kTunerTimeout};
constexpr int kLargestHeader = 5;

// Writes the header of one frame into frame; returns its length.
int FrameHeader(const Framing& framing, uint8_t command, uint32_t address, int count,
                uint8_t* frame) {
    int at = 0;
    frame[at++] = command;
    for (int i = framing.field_bytes - 1; i >= 0; --i) {
        frame[at++] = static_cast<uint8_t>(address >> (8 * i));
    }
    for (int i = framing.field_bytes - 1; i >= 0; --i) {
        frame[at++] = static_cast<uint8_t>(count >> (8 * i));
    }
    return at;
}

// Longer transfers go in consecutive frames, the address advancing by the bytes moved.
int ReadInFrames(const Framing& framing, uint32_t address, uint8_t* buffer, int count) {
    if (Link().handle == nullptr) return BB_ERR_GENERIC;
    uint8_t frame[kLargestHeader];
    for (int done = 0; done < count;) {
        const int n = std::min(count - done, framing.chunk);
        const int length = FrameHeader(framing, framing.read_command, address + done, n, frame);
        uint32_t got = 0;
        if (WriteFrame(frame, static_cast<uint32_t>(length), framing.timeout_ms) != BB_SUCCESS ||
            ReadReply(buffer + done, static_cast<uint32_t>(n), framing.timeout_ms, &got) !=
                BB_SUCCESS) {
            return BB_ERR_GENERIC;
        }
        done += n;
    }
    return BB_SUCCESS;
}

int WriteInFrames(const Framing& framing, uint32_t address, const uint8_t* buffer, int count) {
    if (Link().handle == nullptr) return BB_ERR_GENERIC;
    uint8_t frame[kLargestHeader + std::max(kRegisterChunk, kTunerChunk)];
    for (int done = 0; done < count;) {
        const int n = std::min(count - done, framing.chunk);
        const int length = FrameHeader(framing, framing.write_command, address + done, n, frame);
        std::copy(buffer + done, buffer + done + n, frame + length);
        if (WriteFrame(frame, static_cast<uint32_t>(length + n), framing.timeout_ms) !=
            BB_SUCCESS) {
            return BB_ERR_GENERIC;
        }
        done += n;
    }
    return BB_SUCCESS;
}

int SendControl(uint8_t code) {
    if (Link().handle == nullptr) return BB_ERR_NO_DEVICE;
    const uint8_t frame[2] = {kControl, code};
    return WriteFrame(frame, sizeof frame, kRegisterTimeout) == BB_SUCCESS ? BB_SUCCESS
                                                                           : BB_ERR_NO_DEVICE;
}

void CloseHandle() {
    if (Link().handle != nullptr) Link().handle_ops->Close(Link().handle);
    Link().handle = nullptr;
    Link().handle_ops = nullptr;
}

// The link's own tuner bus.
int LinkTunerByteRead(uint8_t reg, uint8_t* value) {
    return BB_Ifce_TunerRead(reg, value, 1) == BB_SUCCESS ? BB_SUCCESS : BB_ERR_NO_DEVICE;
}

int LinkTunerByteWrite(uint8_t reg, uint8_t value) {
    int result = BB_Ifce_TunerWrite(reg, &value, 1);
    BB_Pause(1);
    return result;
}

int LinkTunerWriteAndWait(uint8_t reg, const uint8_t* data, int count) {
    int result = BB_Ifce_TunerWrite(reg, data, count);
    BB_Pause(static_cast<uint32_t>(std::max(count, 0)));
    return result;
}

}  // namespace

RegisterBus& BB_RegisterBus() {
    return BB_Receiver().register_bus;
}
TunerBus& BB_TunerBus() {
    return BB_Receiver().tuner_bus;
}

RegisterBus BB_Ifce_RegisterBus() {
    return {BB_Ifce_RegRead, BB_Ifce_RegWrite};
}
TunerBus BB_Ifce_TunerBus() {
    return {LinkTunerByteRead, LinkTunerByteWrite, LinkTunerWriteAndWait, BB_Ifce_BatchWrite};
}

void BB_Ifce_InstallBuses() {
    BB_RegisterBus() = BB_Ifce_RegisterBus();
    BB_TunerBus() = BB_Ifce_TunerBus();
}

int32_t BB_API_GetUSBApi(int32_t* flag) {
    uint32_t count = 0;
    if (SI_GetNumDevices(&count) == SI_SUCCESS && count > 0) {
        Link().backend = kBackendSiUSBXp;
    } else {
        count = 0;
        int result = DI_GetNumDevices(&count);
        if (result != SI_SUCCESS || count == 0) {
            M4_LOG(1, kSource, "USB connection failed: SI_GetNumDevices() returns %d", result);
        }
        Link().backend = kBackendKoruDmbMS;
    }
    if (flag != nullptr) *flag = Link().backend;
    return Link().backend;
}

int BB_Ifce_GetBackend() {
    return Link().backend;
}

int BB_Ifce_Connect() {
    const UsbOps& ops = ChosenOps();
    uint32_t count = 0;
    int result = ops.GetNumDevices(&count);
    if (result != SI_SUCCESS || count == 0) {
        M4_LOG(1, kSource, "USB connection failed: SI_GetNumDevices() returns %d", result);
        return BB_ERR_NO_DEVICE;
    }
    if (count >= 3) {
        M4_LOG(1, kSource, "%d devices are found. I can connect only one device at once.",
               static_cast<int>(count));
    }
    CloseHandle();
    constexpr int kAttempts = 3;
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        USB_HANDLE handle = nullptr;
        if (ops.Open(0, &handle) != SI_SUCCESS) {
            if (attempt + 1 < kAttempts) BB_Pause(100);
            continue;
        }
        // Open, flush and open again: the second open starts the stick from a clean pipe.
        ops.FlushBuffers(handle, 1, 1);
        ops.Close(handle);
        handle = nullptr;
        if (ops.Open(0, &handle) == SI_SUCCESS) {
            ops.FlushBuffers(handle, 1, 1);
            Link().handle = handle;
            Link().handle_ops = &ops;
            return BB_SUCCESS;
        }
    }
    return BB_ERR_NO_DEVICE;
}

int BB_Ifce_Disconnect() {
    CloseHandle();
    return BB_SUCCESS;
}

bool BB_Ifce_IsOpen() {
    return Link().handle != nullptr;
}

int BB_Ifce_Flush() {
    if (Link().handle == nullptr) return BB_ERR_NO_DEVICE;
    return Link().handle_ops->FlushBuffers(Link().handle, 1, 1) == SI_SUCCESS ? BB_SUCCESS
                                                                              : BB_ERR_NO_DEVICE;
}

int BB_Ifce_DevicePresent() {
    if (Link().handle == nullptr) return -1;
    uint32_t count = 0;
    if (Link().handle_ops->GetNumDevices(&count) != SI_SUCCESS || count == 0) return -1;
    return 0;
}

int BB_Ifce_CheckRXQueue(uint32_t* queued) {
    *queued = 0;
    if (Link().handle == nullptr) return BB_ERR_NO_DEVICE;
    const UsbOps& ops = *Link().handle_ops;
    uint32_t bytes = 0;
    uint32_t status = 0;
    if (ops.CheckRXQueue(Link().handle, &bytes, &status) != SI_SUCCESS) return BB_ERR_NO_DEVICE;
    if (bytes == 0) {
        // An empty queue may mean the stick was pulled.
        uint32_t count = 0;
        if (ops.GetNumDevices(&count) != SI_SUCCESS || count == 0) return BB_ERR_NO_DEVICE;
    }
    if (status & SI_RX_OVERRUN) {
        M4_LOG(1, kSource, "DI_CheckRXQueue q_status[%d]", static_cast<int>(status));
        return BB_ERR_RX_QUEUE_OVERRUN;
    }
    *queued = bytes;
    return BB_SUCCESS;
}

int BB_Ifce_ReadStream(uint8_t* buffer, uint32_t wanted, uint32_t* got) {
    *got = 0;
    if (Link().handle == nullptr) return BB_ERR_NO_DEVICE;
    const UsbOps& ops = *Link().handle_ops;
    ops.SetTimeouts(0, 0);
    uint32_t read = 0;
    switch (ops.Read(Link().handle, buffer, wanted, &read)) {
        case SI_SUCCESS:
            *got = std::min(read, wanted);
            return BB_SUCCESS;
        case SI_READ_ERROR:
            return BB_ERR_NO_DEVICE;
        case SI_RX_QUEUE_NOT_READY:
            return BB_SUCCESS;
        default:
            return BB_ERR_INVALID_PARAM;
    }
}

int BB_Ifce_RegRead(uint16_t address, uint8_t* buffer, int count) {
    return ReadInFrames(kRegisterFraming, address, buffer, count);
}

int BB_Ifce_RegWrite(uint16_t address, const uint8_t* buffer, int count) {
    return WriteInFrames(kRegisterFraming, address, buffer, count);
}

int BB_Ifce_TunerRead(uint8_t reg, uint8_t* buffer, int count) {
    return ReadInFrames(kTunerFraming, reg, buffer, count);
}

int BB_Ifce_TunerWrite(uint8_t reg, const uint8_t* buffer, int count) {
    return WriteInFrames(kTunerFraming, reg, buffer, count);
}

int BB_Ifce_BatchWrite(const uint8_t* payload, int length) {
    if (length > kBatchLimit || length < 0) {
        M4_LOG(1, kSource, "BatchWrite Command is too long. Should be less than 62 bytes");
        return BB_ERR_INVALID_PARAM;
    }
    uint8_t frame[2 + kBatchLimit];
    frame[0] = kBatchWriteCommand;
    frame[1] = static_cast<uint8_t>(length);
    std::copy(payload, payload + length, frame + 2);
    if (WriteFrame(frame, static_cast<uint32_t>(2 + length), kTunerTimeout) != BB_SUCCESS) {
        return BB_ERR_GENERIC;
    }
    BB_Pause(static_cast<uint32_t>(length));
    return BB_SUCCESS;
}

int BB_Ifce_GetHardwareId(uint8_t* id) {
    *id = kHardwareIdNone;
    if (Link().handle == nullptr) return BB_ERR_NO_DEVICE;
    const uint8_t frame[2] = {kQuery, kHardwareIdQuery};
    if (WriteFrame(frame, sizeof frame, kRegisterTimeout) != BB_SUCCESS) return BB_ERR_NO_DEVICE;
    uint8_t reply = 0;
    uint32_t got = 0;
    if (ReadReply(&reply, 1, kRegisterTimeout, &got) == BB_SUCCESS && got == 1) *id = reply;
    M4_LOG(2, kSource, "Hardware ID : %d", *id);
    return BB_SUCCESS;
}

int BB_Ifce_GetFirmwareId(char* text) {
    text[0] = '\0';
    if (Link().handle == nullptr) return BB_ERR_NO_DEVICE;
    const uint8_t frame[2] = {kQuery, kFirmwareIdQuery};
    if (WriteFrame(frame, sizeof frame, kRegisterTimeout) != BB_SUCCESS) return BB_ERR_NO_DEVICE;
    uint32_t got = 0;
    ReadReply(reinterpret_cast<uint8_t*>(text), 255, kRegisterTimeout, &got);
    text[std::min<uint32_t>(got, 255)] = '\0';
    return BB_SUCCESS;
}

int BB_Ifce_SetBand(double frequency_mhz) {
    return SendControl(frequency_mhz >= 245.0 ? 0x43 : 0x42);
}
int BB_Ifce_DebugTextOn() {
    return SendControl(0x31);
}
int BB_Ifce_DebugTextOff() {
    return SendControl(0x32);
}
int BB_Ifce_StreamEnable() {
    return SendControl(0x21);
}
int BB_Ifce_StreamDisable() {
    return SendControl(0x22);
}

int BB_Ifce_PN3030Prepare() {
    int result = SendControl(0x11);
    if (result == BB_SUCCESS) BB_Pause(100);
    return result;
}

void BB_Pause(uint32_t ms) {
    if (BB_StopAsked()) return;
    g_paused_ms.fetch_add(ms, std::memory_order_relaxed);
    M4_Sleep(ms);
}

void BB_SetStopCheck(bool (*asked)(void* user), void* user) {
    t_stop_check = {asked, user};
}

bool BB_StopAsked() {
    return t_stop_check.asked != nullptr && t_stop_check.asked(t_stop_check.user);
}

uint64_t BB_PausedMs() {
    return g_paused_ms.load(std::memory_order_relaxed);
}

int BBM_BYTE_READ(uint16_t address, uint8_t* value) {
    return BB_RegisterBus().Read(address, value, 1) == BB_SUCCESS ? BB_SUCCESS : BB_ERR_NO_DEVICE;
}

int BBM_WORD_READ(uint16_t address, uint16_t* value) {
    uint8_t bytes[2] = {0, 0};
    if (BB_RegisterBus().Read(address, bytes, 2) != BB_SUCCESS) return BB_ERR_NO_DEVICE;
    *value = static_cast<uint16_t>(bytes[0] | (bytes[1] << 8));
    return BB_SUCCESS;
}

int BBM_BYTE_WRITE(uint16_t address, uint8_t value) {
    return BB_RegisterBus().Write(address, &value, 1) == BB_SUCCESS ? BB_SUCCESS : BB_ERR_NO_DEVICE;
}

int BBM_WORD_WRITE(uint16_t address, uint16_t value) {
    const uint8_t bytes[2] = {static_cast<uint8_t>(value & 0xFF), static_cast<uint8_t>(value >> 8)};
    return BB_RegisterBus().Write(address, bytes, 2) == BB_SUCCESS ? BB_SUCCESS : BB_ERR_NO_DEVICE;
}

int BBM_BULK_WRITE(uint16_t address, const uint8_t* data, int count) {
    return BB_RegisterBus().Write(address, data, count) == BB_SUCCESS ? BB_SUCCESS
                                                                      : BB_ERR_NO_DEVICE;
}

int BBM_LoggedByteRead(const char* source, uint16_t address, uint8_t* value) {
    const int result = BBM_BYTE_READ(address, value);
    if (result != BB_SUCCESS) M4_LOG(1, source, "BBM_BYTE_READ() error");
    return result;
}

int BBM_LoggedByteWrite(const char* source, uint16_t address, uint8_t value) {
    const int result = BBM_BYTE_WRITE(address, value);
    if (result != BB_SUCCESS) M4_LOG(1, source, "BBM_BYTE_WRITE() error");
    return result;
}

int BBM_LoggedWordRead(const char* source, uint16_t address, uint16_t* value) {
    const int result = BBM_WORD_READ(address, value);
    if (result != BB_SUCCESS) M4_LOG(1, source, "BBM_WORD_READ() error");
    return result;
}

int BBM_LoggedWordWrite(const char* source, uint16_t address, uint16_t value) {
    const int result = BBM_WORD_WRITE(address, value);
    if (result != BB_SUCCESS) M4_LOG(1, source, "BBM_WORD_WRITE() error");
    return result;
}

int BBM_LoggedBulkWrite(const char* source, uint16_t address, const uint8_t* data, int count) {
    const int result = BBM_BULK_WRITE(address, data, count);
    if (result != BB_SUCCESS) M4_LOG(1, source, "BBM_BULK_WRITE() error");
    return result;
}

int BBM_WriteSequence(const char* source, std::span<const RegValue> writes) {
    for (const RegValue& write : writes) {
        if (int result = BBM_LoggedByteWrite(source, write.reg, write.value); result != BB_SUCCESS)
            return result;
    }
    return BB_SUCCESS;
}

int BBM_WriteSequence(const char* source, std::initializer_list<RegValue> writes) {
    return BBM_WriteSequence(source, std::span<const RegValue>(writes.begin(), writes.size()));
}

int BB_TunerWriteSequence(std::span<const TunerRegValue> writes) {
    for (const TunerRegValue& write : writes) {
        if (int result = BB_TunerBus().ByteWrite(write.reg, write.value); result != BB_SUCCESS)
            return result;
    }
    return BB_SUCCESS;
}

int BB_TunerWriteSequence(std::initializer_list<TunerRegValue> writes) {
    return BB_TunerWriteSequence(std::span<const TunerRegValue>(writes.begin(), writes.size()));
}

int BBM_Modify(const char* source, uint16_t address, uint8_t keep, uint8_t set) {
    uint8_t value = 0;
    if (int result = BBM_LoggedByteRead(source, address, &value); result != BB_SUCCESS)
        return result;
    return BBM_LoggedByteWrite(source, address, static_cast<uint8_t>((value & keep) | set));
}
