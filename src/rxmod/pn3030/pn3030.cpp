// PN3030 baseband driver.
#include "rxmod/pn3030/pn3030.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <initializer_list>

#include "m4systems/log.h"
#include "rxmod/bb_err.h"
#include "rxmod/bb_ficdec.h"
#include "rxmod/bb_if.h"
#include "rxmod/bb_stream.h"
#include "rxmod/receiver.h"

namespace {

constexpr const char* kSource = "pn3030";
constexpr uint16_t kRegisterPage = 0x6800;
constexpr uint8_t kBank = 0x04;
constexpr uint8_t kChipIdRegister = 0x00;
constexpr uint8_t kChipId = 0x01;
constexpr uint8_t kI2cData = 0x90;  // the I2C master's data buffer: register, then values
constexpr int kFicBlocks = 12;
constexpr int kFicBlockLength = 30;
constexpr int kNotSupported = -3;

// Initialisation with an FC2501 tuner.
constexpr RegValue kTableF[] = {
    {0x04, 0x00}, {0x03, 0x80}, {0x06, 0x10}, {0x09, 0x60}, {0x03, 0x00}, {0x10, 0x4A},
    {0x12, 0x05}, {0x16, 0x6B}, {0x19, 0x44}, {0x1A, 0x02}, {0x1E, 0x64}, {0x1F, 0x64},
    {0x25, 0x09}, {0x33, 0x20}, {0x42, 0x00}, {0x43, 0x40}, {0x44, 0x0B}, {0x45, 0x90},
    {0x53, 0x17}, {0x55, 0x00}, {0x56, 0x01}, {0x6B, 0x2D}, {0x6F, 0x02}, {0x73, 0x0C},
    {0x8B, 0x37}, {0xAF, 0x08}, {0xD0, 0x0F}, {0xC8, 0xAA}, {0xC9, 0x30}, {0xCA, 0x20},
    {0xCB, 0x70}, {0xCC, 0x04}, {0xCD, 0x21}, {0x04, 0x01}, {0x12, 0x89}, {0x13, 0xC6},
    {0x14, 0xB4}, {0x1C, 0x01}, {0x04, 0x02}, {0x20, 0x00}, {0x22, 0x0A}, {0x59, 0x01},
    {0xF5, 0x07}, {0x08, 0x67}, {0x04, 0x00}, {0x10, 0xCB},
};

// Initialisation with an ITD3010 or ITD3020 tuner.
constexpr RegValue kTableI[] = {
    {0x04, 0x00}, {0x03, 0x80}, {0x06, 0x10}, {0x09, 0x60}, {0x03, 0x00}, {0x10, 0x4A},
    {0x12, 0x05}, {0x16, 0x69}, {0x19, 0x44}, {0x1E, 0x64}, {0x1F, 0x64}, {0x25, 0x09},
    {0x33, 0x22}, {0x42, 0x90}, {0x43, 0x1A}, {0x53, 0x17}, {0x6B, 0x2D}, {0x6F, 0x01},
    {0x73, 0x0C}, {0x8B, 0x37}, {0xAF, 0x08}, {0xD0, 0x0F}, {0x91, 0x07}, {0x92, 0x37},
    {0x93, 0x1E}, {0x98, 0x5D}, {0x99, 0x53}, {0x9A, 0x4D}, {0x9B, 0x43}, {0x9C, 0x3D},
    {0x9D, 0x33}, {0x9E, 0x2D}, {0xC8, 0x50}, {0xCC, 0x09}, {0xCD, 0x51}, {0x04, 0x01},
    {0x12, 0x09}, {0x14, 0xB4}, {0x04, 0x02}, {0x20, 0x00}, {0x22, 0x0A}, {0x25, 0x17},
    {0x26, 0x7C}, {0x59, 0x01}, {0xF5, 0x07}, {0xC1, 0x3F}, {0x04, 0x00}, {0x10, 0xCB},
};

Pn3030State& Settings() {
    return BB_Receiver().pn3030;
}

// --- registers -------------------------------------------------------------------------------

int RegisterRead(uint16_t address, uint8_t* buffer, int count) {
    if (!BB_Ifce_IsOpen()) return BB_ERR_NO_DEVICE;
    const uint16_t at = static_cast<uint16_t>(kRegisterPage | (address & 0xFF));
    return BB_Ifce_RegRead(at, buffer, count) == BB_SUCCESS ? BB_SUCCESS : BB_ERR_GENERIC;
}

int RegisterWrite(uint16_t address, const uint8_t* buffer, int count) {
    if (!BB_Ifce_IsOpen()) return BB_ERR_NO_DEVICE;
    const uint16_t at = static_cast<uint16_t>(kRegisterPage | (address & 0xFF));
    return BB_Ifce_RegWrite(at, buffer, count) == BB_SUCCESS ? BB_SUCCESS : BB_ERR_NO_DEVICE;
}

int Write(uint8_t reg, uint8_t value) {
    return BBM_LoggedByteWrite(kSource, reg, value);
}

int Read(uint8_t reg, uint8_t* value) {
    return BBM_LoggedByteRead(kSource, reg, value);
}

int WriteAll(std::initializer_list<RegValue> writes) {
    return BBM_WriteSequence(kSource, writes);
}

int Modify(uint8_t reg, uint8_t keep, uint8_t set) {
    return BBM_Modify(kSource, reg, keep, set);
}

// --- the tuner behind the I2C master ---------------------------------------------------------

int TunerByteRead(uint8_t reg, uint8_t* value) {
    int result = WriteAll({{kBank, 0x02},
                           {0x13, Settings().tuner_address},
                           {0x14, reg},
                           {0x18, 0x12},
                           {0x15, 0x00},
                           {0x19, 0x01},
                           {0x16, kI2cData},
                           {0x1A, 0x35}});
    if (result != BB_SUCCESS) return result;
    BB_Pause(1);
    if ((result = Read(kI2cData, value)) != BB_SUCCESS) return result;
    M4_LOG(3, kSource, "PN3030_Tuner_Read(): 0x%02x - 0x%02x", reg, *value);
    return BB_SUCCESS;
}

// Register and values go to the I2C buffer from 0x90 on, then the master sends them.
int TunerWriteBytes(uint8_t reg, const uint8_t* data, int count) {
    if (count < 0 || kI2cData + 1 + count > 0x100) return BB_ERR_INVALID_PARAM;
    int result = WriteAll({{kBank, 0x02},
                           {0x13, Settings().tuner_address},
                           {0x18, 0x06},
                           {0x15, 0x01},
                           {0x19, static_cast<uint8_t>(count + 1)},
                           {0x16, kI2cData},
                           {kI2cData, reg}});
    for (int i = 0; i < count && result == BB_SUCCESS; ++i) {
        result = Write(static_cast<uint8_t>(kI2cData + 1 + i), data[i]);
    }
    if (result == BB_SUCCESS) result = Write(0x1A, 0x11);
    if (result != BB_SUCCESS) return result;
    BB_Pause(50);
    return BB_SUCCESS;
}

int TunerByteWrite(uint8_t reg, uint8_t value) {
    return TunerWriteBytes(reg, &value, 1);
}

int TunerWriteAndWait(uint8_t reg, const uint8_t* data, int count) {
    return TunerWriteBytes(reg, data, count);
}

int NoBatchWrite(const uint8_t*, int) {
    return kNotSupported;
}

// --- driver operations -----------------------------------------------------------------------

int Configure(uint8_t tuner_address, int /*variant*/) {
    Settings().tuner_address = tuner_address;
    return BB_SUCCESS;
}

int Tune(double frequency_mhz) {
    uint8_t id = 0;
    if (int result = Read(kChipIdRegister, &id); result != BB_SUCCESS) return result;
    M4_LOG(2, kSource, "pn3030 id [%02x]", id);
    if (id != kChipId) return BB_ERR_BB_ID;

    const char* tuner = BB_HwInfo().tuner;
    if (std::strcmp(tuner, "FC2501") == 0) {
        if (int result = BB_Ifce_PN3030Prepare(); result != BB_SUCCESS) return result;
        if (int result = BBM_WriteSequence(kSource, kTableF); result != BB_SUCCESS) return result;
        if (frequency_mhz < 180.0) return WriteAll({{kBank, 0x00}, {0x33, 0x22}});
        if (frequency_mhz > 245.0) return WriteAll({{kBank, 0x00}, {0x56, 0x00}});
        return BB_SUCCESS;
    }
    if (std::strcmp(tuner, "ITD3010") == 0 || std::strcmp(tuner, "ITD3020") == 0) {
        if (int result = BB_Ifce_PN3030Prepare(); result != BB_SUCCESS) return result;
        return BBM_WriteSequence(kSource, kTableI);
    }
    return BB_SUCCESS;
}

int LockCheck() {
    uint8_t status1 = 0;
    uint8_t status2 = 0;
    if (int result = Write(kBank, 0x02); result != BB_SUCCESS) return result;
    if (int result = Read(0xD5, &status1); result != BB_SUCCESS) return result;
    if (int result = Read(0xD6, &status2); result != BB_SUCCESS) return result;
    M4_LOG(3, kSource, "lock_stat1:%02x, lock_stat2:%02x", status1, status2);
    return status1 != 0xFF && (status2 & 0x10) != 0 ? BB_SUCCESS : BB_ERR_NOT_LOCKED;
}

int StartServiceStream(ServiceRecord* service, StreamInfo* info) {
    const ComponentRecord* component =
        service != nullptr ? FirstComponent(BB_WorkingChannelInfo(), *service) : nullptr;
    if (component == nullptr) return BB_ERR_INVALID_PARAM;
    if (int result = BB_Ifce_Flush(); result != BB_SUCCESS) return result;
    BB_StreamReset();
    int result = WriteAll({{kBank, 0x02}, {0x1C, 0x0F}, {0xB9, 0x30}, {0x08, 0x07}});
    if (result != BB_SUCCESS) return result;
    const uint8_t subchannel = static_cast<uint8_t>(component->subchid | 0x80);
    if (component->tmid == 2) return kNotSupported;
    if (component->tmid == 1 && component->type == 24) {  // video: MPEG-2 TS in stream data
        result = WriteAll({{0x67, subchannel}, {0xB0, 0x81}});
    } else {
        result = WriteAll({{0x69, subchannel}, {0xB0, 0x80}});
    }
    if (result != BB_SUCCESS) return result;
    if ((result = Modify(0xA0, 0x1F, 0x00)) != BB_SUCCESS) return result;
    if ((result = Modify(0xA1, 0x1F, 0x00)) != BB_SUCCESS) return result;
    result = WriteAll({{0xA4, 0x2F},
                       {0xD0, 0x00},
                       {0xD9, 0x2F},
                       {0xDA, 0x00},
                       {0xA5, 0x00},
                       {0xA5, 0x80},
                       {0xA5, 0x04},
                       {0xA5, 0x0A}});
    if (result != BB_SUCCESS) return result;
    if ((result = BB_Ifce_StreamEnable()) != BB_SUCCESS) return result;
    info->stream_id = kStreamIdService;
    return BB_SUCCESS;
}

int StartFicStream(StreamInfo* info) {
    if (int result = BB_Ifce_Flush(); result != BB_SUCCESS) return result;
    BB_StreamReset();
    int result = WriteAll({{kBank, 0x02}, {0x1C, 0x0F}, {0xB9, 0x30}, {0x08, 0x06}});
    if (result != BB_SUCCESS) return result;
    if ((result = Modify(0xA0, 0xFE, 0x00)) != BB_SUCCESS) return result;
    if ((result = Modify(0xA1, 0xFE, 0x00)) != BB_SUCCESS) return result;
    if ((result = WriteAll({{0xB1, 0x80}, {0xB1, 0x04}, {0xB1, 0x0A}})) != BB_SUCCESS) {
        return result;
    }
    if ((result = BB_Ifce_StreamEnable()) != BB_SUCCESS) return result;
    info->stream_id = kStreamIdFic;
    return BB_SUCCESS;
}

int StartStream(int mode, ServiceRecord* service, StreamInfo* info) {
    switch (mode) {
        case kModeService:
            return StartServiceStream(service, info);
        case kModeFic:
            return StartFicStream(info);
        case kModeDebugText: {
            int result = BB_Ifce_DebugTextOn();
            if (result == BB_SUCCESS) info->stream_id = kStreamIdDebugText;
            return result;
        }
        default:
            M4_LOG(1, kSource, "Unknown stream type: %d", mode);
            return BB_ERR_INVALID_PARAM;
    }
}

// Bank 2, the firmware's stream switch off, and the pipe emptied once the stick stopped.
int DisableStream() {
    int result = Write(kBank, 0x02);
    if (result == BB_SUCCESS) result = BB_Ifce_StreamDisable();
    if (result != BB_SUCCESS) return result;
    BB_Pause(100);
    return BB_Ifce_Flush();
}

int StopServiceStream() {
    int result = DisableStream();
    if (result != BB_SUCCESS) return result;
    if ((result = WriteAll({{0xA5, 0x00}, {0xA5, 0x80}, {0xA5, 0x04}})) != BB_SUCCESS)
        return result;
    if ((result = Modify(0xA0, 0xFF, 0xE0)) != BB_SUCCESS) return result;
    if ((result = Modify(0xA1, 0xFF, 0xE0)) != BB_SUCCESS) return result;
    if ((result = WriteAll({{0x69, 0x00}, {0x67, 0x00}, {0xB0, 0x00}})) != BB_SUCCESS)
        return result;
    BB_Pause(50);
    if ((result = BB_Ifce_Flush()) != BB_SUCCESS) return result;
    BB_StreamReset();
    return BB_SUCCESS;
}

int StopFicStream() {
    int result = DisableStream();
    if (result != BB_SUCCESS) return result;
    if ((result = WriteAll({{0xB1, 0x00}, {0xB1, 0x80}, {0xB1, 0x04}})) != BB_SUCCESS)
        return result;
    if ((result = Modify(0xA0, 0xFF, 0x01)) != BB_SUCCESS) return result;
    return Modify(0xA1, 0xFF, 0x01);
}

int StopStream(int mode, ServiceRecord* /*service*/) {
    switch (mode) {
        case kModeService:
            return StopServiceStream();
        case kModeFic:
            return StopFicStream();
        case kModeDebugText:
            return BB_Ifce_DebugTextOff();
        default:
            M4_LOG(1, kSource, "Unknown stream type: %d", mode);
            return BB_ERR_INVALID_PARAM;
    }
}

// --- the packet stream -----------------------------------------------------------------------

int GetStream(int* id, uint8_t** data, int* length) {
    static constexpr StreamForm kForm{"PN3030_GetStream", kPn3030MaxPayload, false,
                                      PN3030_RewriteFic, PN3030_RewriteSignal};
    return BB_StreamNextPacket(kForm, id, data, length);
}

}  // namespace

void PN3030_Install(BasebandDriver* driver) {
    *driver = {Configure, Tune, LockCheck, StartStream, StopStream, GetStream};
    BB_RegisterBus() = {RegisterRead, RegisterWrite};
    BB_TunerBus() = {TunerByteRead, TunerByteWrite, TunerWriteAndWait, NoBatchWrite};
}

int PN3030_RewriteFic(uint8_t* payload, int length) {
    if (length < 2) return 0;
    const int mask = payload[0] | (payload[1] << 8);
    const int blocks = std::min(kFicBlocks, (length - 2) / kFicBlockLength);
    // The FIBs grow by two bytes each, so the blocks are taken from a copy.
    uint8_t source[kFicBlocks * kFicBlockLength];
    std::memcpy(source, payload + 2, static_cast<size_t>(blocks * kFicBlockLength));
    int written = 0;
    for (int i = 0; i < blocks; ++i) {
        if (mask & (1 << i)) continue;
        uint8_t* fib = payload + written * kFibLength;
        std::memcpy(fib, source + i * kFicBlockLength, kFicBlockLength);
        fib[30] = 0;
        fib[31] = 0;
        ++written;
    }
    return written * kFibLength;
}

int PN3030_RewriteSignal(uint8_t* payload, int length) {
    uint8_t bytes[7] = {};
    std::memcpy(bytes, payload, static_cast<size_t>(std::clamp(length, 0, 7)));
    const int code = (bytes[3] & 0x1F) * 256 + bytes[2];
    double signal = Settings().last_signal;
    if (code >= 1 && code <= 14) {
        signal = 33.44;
    } else if (code >= 15 && code <= 160) {
        const double log_code = std::log10(static_cast<double>(code));
        signal = 100.0 / (std::sqrt(static_cast<double>(code)) - log_code * log_code) - 5.0 - 1.56;
    } else if (code > 160) {
        signal = 5.44;
    }
    Settings().last_signal = signal;
    const uint32_t error = (static_cast<uint32_t>(bytes[4]) << 16) | (bytes[5] << 8) | bytes[6];
    const auto word0 = static_cast<int32_t>(signal * 10.0);
    const auto word1 = static_cast<int32_t>(error * 1048577.0 / 1099511627776.0 * 1000000.0);
    for (int i = 0; i < 4; ++i) {
        payload[i] = static_cast<uint8_t>(static_cast<uint32_t>(word0) >> (8 * i));
        payload[4 + i] = static_cast<uint8_t>(static_cast<uint32_t>(word1) >> (8 * i));
    }
    return 8;
}
