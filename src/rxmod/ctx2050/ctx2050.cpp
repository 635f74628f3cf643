// CTX2050 baseband driver.
#include "rxmod/ctx2050/ctx2050.h"

#include <algorithm>
#include <climits>
#include <cstring>

#include "m4systems/log.h"
#include "rxmod/bb_err.h"
#include "rxmod/bb_ficdec.h"
#include "rxmod/bb_if.h"
#include "rxmod/bb_stream.h"
#include "rxmod/receiver.h"

namespace {

constexpr const char* kSource = "ctx2050";
constexpr int kNotSupported = -3;
constexpr int kSetUpFailed = -1;

constexpr uint16_t kReset = 0x01;
constexpr uint16_t kSetUpPending = 0x0C;  // reads 0 once the chip is set up
constexpr uint16_t kLockStatus = 0x98;
constexpr uint8_t kLocked = 0x1F;
constexpr uint16_t kOutputControl = 0x04;  // word: bit 0 the FIC, bit 7 the sub-channel
constexpr uint16_t kInterruptMask = 0x06;  // word
constexpr uint16_t kOutputType = 0xF0;     // 3 audio and data, 2 video
constexpr uint16_t kOutputSelect = 0xF1;
constexpr uint16_t kChannelEnable = 0x310;  // bit d: decoder channel d
constexpr uint16_t kChannelGrown = 0x210;   // bit d: decoder channel d grew
constexpr uint16_t kDescriptorLatch = 0x311;
constexpr uint16_t kDescriptors = 0x312;  // + 12 d + 48 i, i = 0 to 3
constexpr int kDescriptorCopies = 4;
constexpr uint8_t kOutputTypeAudioData = 3;
constexpr uint8_t kOutputTypeVideo = 2;

Ctx2050State& Settings() {
    return BB_Receiver().ctx2050;
}

int Write(uint16_t reg, uint8_t value) {
    return BBM_LoggedByteWrite(kSource, reg, value);
}

int Read(uint16_t reg, uint8_t* value) {
    return BBM_LoggedByteRead(kSource, reg, value);
}

int WriteWord(uint16_t reg, uint16_t value) {
    return BBM_LoggedWordWrite(kSource, reg, value);
}

int WriteAll(std::initializer_list<RegValue> writes) {
    return BBM_WriteSequence(kSource, writes);
}

// Reads a register and prints it to the debug output, as the chip's bring-up reports it.
int ReadAndShow(uint16_t reg, const char* format) {
    uint8_t value = 0;
    const int result = Read(reg, &value);
    if (result == BB_SUCCESS) log_debug_out(format, value);
    return result;
}

// The values that depend on the tuner in front of the chip.
int WriteTunerSettings() {
    const char* tuner = BB_HwInfo().tuner;
    if (std::strcmp(tuner, "ITD3010") == 0 || std::strcmp(tuner, "ITD3020") == 0) {
        return WriteAll({{0xD9, 0x00}, {0x64, 0x82}, {0x65, 0x44}, {0xA4, 0x41}});
    }
    if (std::strcmp(tuner, "FC2501") == 0) {
        return WriteAll({{0x64, 0x14},
                         {0xA4, 0x41},
                         {0x65, 0x6A},
                         {0x67, 0x66},
                         {0x68, 0x84},
                         {0x9A, 0x4F},
                         {0x9B, 0x11},
                         {0x9D, 0x11},
                         {0x9F, 0x40},
                         {0xA0, 0x84},
                         {0xA1, 0x01},
                         {0xAE, 0x02}});
    }
    if (std::strcmp(tuner, "FNX14701") == 0) return WriteAll({{0x64, 0x14}, {0xA4, 0x01}});
    return BB_SUCCESS;
}

// The chip's set-up after power-on; a chip that was set up before keeps it across tunes.
int SetUp() {
    int result = Write(kSetUpPending, 0x00);
    if (result == BB_SUCCESS) result = ReadAndShow(0x96, "SYNC_CTRL_REG0=%x");
    if (result == BB_SUCCESS) {
        result = WriteAll({{0x96, 0xF8},
                           {0x97, 0x80},
                           {0x9F, 0x5A},
                           {0x9E, 0x20},
                           {0x65, 0x68},
                           {0x67, 0x88},
                           {0x68, 0x60},
                           {0x6A, 0x00},
                           {0x6B, 0x3F},
                           {0x9A, 0x68},
                           {0xB2, 0x0C}});
    }
    if (result == BB_SUCCESS) result = ReadAndShow(0xE9, "DSCR_MEM_ENABLE=%x");
    if (result == BB_SUCCESS) result = ReadAndShow(0x5C, "VIT_BERMEM_REG=%x");
    if (result == BB_SUCCESS) {
        result = WriteAll({{0xE9, 0x03},
                           {0x5C, 0x01},
                           {0xE1, 0x01},
                           {0x2C, 0xFA},
                           {0xC7, 0x03},
                           {0xC6, 0xC1},
                           {0xC4, 0x3C},
                           {kSetUpPending, 0x00}});
    }
    if (result == BB_SUCCESS) result = WriteTunerSettings();
    if (result == BB_SUCCESS) result = WriteWord(0x10, 0x0030);
    if (result == BB_SUCCESS) {
        result = WriteAll(
            {{0x12, 0xC0}, {0x66, 0xC0}, {0xD2, 0x01}, {0xD3, 0x00}, {0x2C, 0x7A}, {0x2D, 0x72}});
    }
    if (result == BB_SUCCESS) result = WriteWord(kInterruptMask, 0x00FF);
    if (result == BB_SUCCESS) result = WriteWord(kInterruptMask, 0x0000);
    if (result == BB_SUCCESS) result = WriteWord(kOutputControl, 0x0000);
    return result;
}

int Configure(uint8_t tuner_address, int variant) {
    Settings().tuner_address = tuner_address;
    Settings().variant = variant;
    return BB_SUCCESS;
}

// The frequency goes to the tuner; this restarts the chip and sets it up when it needs it.
int Tune(double /*frequency_mhz*/) {
    int result = BB_Ifce_PN3030Prepare();
    if (result == BB_SUCCESS) result = Write(kReset, 0xF2);
    if (result != BB_SUCCESS) return result;
    BB_Pause(10);
    if ((result = Write(kReset, 0xF3)) != BB_SUCCESS) return result;
    M4_LOG(2, kSource, "bbm_reset OK.");
    if ((result = WriteAll({{0x17, 0x00}, {0xA1, 0xC2}})) != BB_SUCCESS) return result;
    uint8_t pending = 0;
    if ((result = Read(kSetUpPending, &pending)) != BB_SUCCESS) return result;
    if (pending == 0) return BB_SUCCESS;
    return SetUp();
}

int LockCheck() {
    uint8_t status = 0;
    if (int result = Read(kLockStatus, &status); result != BB_SUCCESS) return result;
    M4_LOG(3, kSource, "lock_status = %02x @ 0x98", status);
    return status == kLocked ? BB_SUCCESS : BB_ERR_NOT_LOCKED;
}

// The decoder channels take the descriptors written since the last latch.
int LatchDescriptors() {
    const int result = Write(kDescriptorLatch, 1);
    return result == BB_SUCCESS ? Write(kDescriptorLatch, 0) : result;
}

// The chosen sub-channel to the output: its type, its id, the output reset and on.
int RouteOutput(uint8_t type, uint8_t subchid) {
    int result = Write(kOutputType, type);
    if (result == BB_SUCCESS) result = Write(kOutputSelect, static_cast<uint8_t>(subchid | 0x40));
    return result;
}

int OpenOutput() {
    const int result = WriteWord(kOutputControl, 0);
    return result == BB_SUCCESS ? WriteWord(kOutputControl, 0x80) : result;
}

int StartAudio(uint8_t subchid, uint16_t interrupts) {
    int result = CTX2050_SetUpSubChannel(subchid, kAudioDecoderChannel);
    if (result != BB_SUCCESS) return result;
    if ((result = Write(0xC3, static_cast<uint8_t>(subchid | 0x80))) != BB_SUCCESS) return result;
    if ((result = LatchDescriptors()) != BB_SUCCESS) return result;
    M4_LOG(2, kSource, "Audio Channel %d Successful ...", subchid);
    if ((result = WriteWord(kInterruptMask, interrupts)) != BB_SUCCESS) return result;
    if ((result = RouteOutput(kOutputTypeAudioData, subchid)) != BB_SUCCESS) return result;
    if ((result = OpenOutput()) != BB_SUCCESS) return result;
    return BB_Ifce_StreamEnable();
}

// Video and data: the decoder channel is set up and selected by the caller.
int StartVideoOrData(uint8_t type, uint8_t subchid, uint16_t interrupts) {
    int result = LatchDescriptors();
    if (result == BB_SUCCESS) result = WriteWord(kInterruptMask, interrupts);
    if (result == BB_SUCCESS) result = RouteOutput(type, subchid);
    if (result == BB_SUCCESS) result = BB_Ifce_StreamEnable();
    if (result == BB_SUCCESS) result = OpenOutput();
    return result;
}

int StartVideo(uint8_t subchid, uint16_t interrupts) {
    int result = CTX2050_SetUpSubChannel(subchid, kVideoDecoderChannel);
    if (result != BB_SUCCESS) return result;
    // The video decoder, and the transport stream's sync byte it aligns to.
    result = WriteAll({{0x30, static_cast<uint8_t>(subchid | 0x80)}, {0x31, 0x47}});
    if (result != BB_SUCCESS) return result;
    M4_LOG(2, kSource, "Video Channel %d Successful ...", subchid);
    return StartVideoOrData(kOutputTypeVideo, subchid, interrupts);
}

int StartData(uint8_t subchid, uint16_t interrupts) {
    int result = CTX2050_SetUpSubChannel(subchid, kAudioDecoderChannel);
    if (result != BB_SUCCESS) {
        M4_LOG(1, kSource, "Channel Selection Failure ...");
        return result;
    }
    if ((result = Write(0x40, static_cast<uint8_t>(subchid | 0x40))) != BB_SUCCESS) return result;
    M4_LOG(2, kSource, "Data Channel %d Successful ...", subchid);
    return StartVideoOrData(kOutputTypeAudioData, subchid, interrupts);
}

int StartServiceStream(ServiceRecord* service, StreamInfo* info) {
    const ComponentRecord* component =
        service != nullptr ? FirstComponent(BB_WorkingChannelInfo(), *service) : nullptr;
    if (component == nullptr) return BB_ERR_INVALID_PARAM;
    if (int result = BB_Ifce_Flush(); result != BB_SUCCESS) return result;
    BB_StreamReset();
    // The chip's interrupts stay masked while its decoder channels change.
    uint16_t interrupts = 0;
    if (int result = BBM_LoggedWordRead(kSource, kInterruptMask, &interrupts); result != BB_SUCCESS)
        return result;
    if (int result = WriteWord(kInterruptMask, 0); result != BB_SUCCESS) return result;
    int result;
    if (component->tmid == 0 || component->tmid == 3) {
        result = StartAudio(component->subchid, interrupts);
    } else if (component->tmid == 1 && component->type == 24) {  // MPEG-2 TS in stream data
        result = StartVideo(component->subchid, interrupts);
    } else if (component->tmid == 1) {
        result = StartData(component->subchid, interrupts);
    } else {
        return kNotSupported;
    }
    if (result != BB_SUCCESS) return result;
    info->stream_id = kStreamIdService;
    return BB_SUCCESS;
}

int StartFicStream(StreamInfo* info) {
    int result = WriteWord(kOutputControl, 0);
    if (result != BB_SUCCESS) return result;
    BB_StreamReset();
    if ((result = BB_Ifce_Flush()) != BB_SUCCESS) return result;
    if ((result = WriteWord(kOutputControl, 1)) != BB_SUCCESS) return result;
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
        case kModeDebugText:
            return kNotSupported;
        default:
            M4_LOG(1, kSource, "Unknown stream type: %d", mode);
            return BB_ERR_INVALID_PARAM;
    }
}

int StopStream(int mode, ServiceRecord* /*service*/) {
    int result = BB_Ifce_StreamDisable();
    if (result != BB_SUCCESS) return result;
    BB_Pause(100);
    if ((result = BB_Ifce_Flush()) != BB_SUCCESS) return result;
    if (mode == kModeService) {
        result = WriteWord(kOutputControl, 0);
        if (result == BB_SUCCESS) result = WriteAll({{kOutputType, 0}, {kOutputSelect, 0}});
        return result;
    }
    if (mode == kModeFic) {
        if ((result = WriteWord(kOutputControl, 0)) != BB_SUCCESS) return result;
        BB_Pause(50);
        if ((result = BB_Ifce_Flush()) != BB_SUCCESS) return result;
        BB_StreamReset();
    }
    return BB_SUCCESS;
}

int GetStream(int* id, uint8_t** data, int* length) {
    static constexpr StreamForm kForm{"CTX2050_GetStream", kCtx2050MaxPayload, true,
                                      CTX2050_KeepGoodFibs, CTX2050_RewriteSignal};
    return BB_StreamNextPacket(kForm, id, data, length);
}

int32_t LittleEndian32(const uint8_t* bytes) {
    return static_cast<int32_t>(bytes[0] | (bytes[1] << 8) | (bytes[2] << 16) |
                                (static_cast<uint32_t>(bytes[3]) << 24));
}

}  // namespace

void CTX2050_Install(BasebandDriver* driver) {
    *driver = {Configure, Tune, LockCheck, StartStream, StopStream, GetStream};
}

int CTX2050_SetUpSubChannel(int subchid, int d) {
    if (subchid < 0 || subchid >= kMaxSubChannels || (d != 0 && d != 1)) return kSetUpFailed;
    SubChannelRecord& sub = BB_WorkingChannelInfo().subchannels[subchid];
    DecoderChannel& channel = Settings().channels[d];
    const uint16_t previous_size = channel.size;
    if (!CTX2050_DescribeSubChannel(sub, &channel)) return kSetUpFailed;
    channel.grown = channel.size > previous_size;

    uint8_t descriptor[kDescriptorLength];
    CTX2050_PackDescriptor(channel, descriptor);
    for (int i = 0; i < kDescriptorCopies; ++i) {
        const auto at = static_cast<uint16_t>(kDescriptors + kDescriptorLength * d +
                                              kDescriptorLength * kDescriptorCopies * i);
        if (int result = BBM_LoggedBulkWrite(kSource, at, descriptor, kDescriptorLength);
            result != BB_SUCCESS) {
            return result;
        }
    }
    const auto bit = static_cast<uint8_t>(1 << d);
    if (int result = BBM_Modify(kSource, kChannelEnable, 0xFF, bit); result != BB_SUCCESS)
        return result;
    uint8_t grown = 0;
    if (int result = Read(kChannelGrown, &grown); result != BB_SUCCESS) return result;
    grown = channel.grown ? static_cast<uint8_t>(grown | bit) : static_cast<uint8_t>(grown & ~bit);
    log_debug_out(channel.grown ? "subChId = 0x%X svcChId = 0x%X Bandwidth Increase. 0x%X"
                                : "subChId = 0x%X svcChId = 0x%X Bandwidth Decrease. 0x%X",
                  subchid, d, grown);
    if (int result = Write(kChannelGrown, grown); result != BB_SUCCESS) return result;
    channel.in_use = kRecordInUse;
    sub.decoder_channel = static_cast<uint8_t>(d);
    return BB_SUCCESS;
}

int CTX2050_RewriteSignal(uint8_t* payload, int length) {
    uint8_t bytes[8] = {};
    std::memcpy(bytes, payload, static_cast<size_t>(length < 0 ? 0 : length > 8 ? 8 : length));
    const int32_t a = LittleEndian32(bytes);
    const auto b = static_cast<uint32_t>(LittleEndian32(bytes + 4));
    const double signal = a == 0 || b == 0 ? 0.0 : 0.3 * a / b + 4.0;
    // A stick's counters can make any ratio: kept inside what the word holds.
    const double tenths = std::clamp(signal * 10.0, double{INT32_MIN}, double{INT32_MAX});
    const auto word0 = static_cast<uint32_t>(static_cast<int32_t>(tenths));
    for (int i = 0; i < 4; ++i)
        payload[i] = static_cast<uint8_t>(word0 >> (8 * i));
    return 4;
}
