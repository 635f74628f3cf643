// Receiver context: bring-up, identification and the choice of chip drivers.
#include "rxmod/bb_api.h"

#include <cstring>

#include "m4systems/log.h"
#include "rxmod/bb_err.h"
#include "rxmod/bb_if.h"
#include "rxmod/ctx2050/ctx2050.h"
#include "rxmod/dmb_api.h"
#include "rxmod/fc2501/fc2501.h"
#include "rxmod/fnx14701/fnx14701.h"
#include "rxmod/itd3020/itd3020.h"
#include "rxmod/pn3030/pn3030.h"
#include "rxmod/receiver.h"
#include "rxmod/rxmod_api.h"

namespace {

constexpr const char* kSource = "bb_api";
constexpr int kCarModeOn = 1000;
constexpr int kCarModeOff = 1001;

// Basebands and tuners by the names the sticks give.
const BasebandChoice kBasebands[] = {
    {"PN3030", 16.384, PN3030_Install},
    {"CTX2050", 24.576, CTX2050_Install},
};

const TunerChoice kTuners[] = {
    {"ITD3010", 0x61, ITD3020_Install},
    {"ITD3020", 0x61, ITD3020_Install},
    {"FC2501", 0x60, FC2501_Install},
    {"FNX14701", 0x62, FNX14701_Install},  // the same address behind either baseband
};

// Firmware of the first sticks answers no identification text; the hardware id tells them.
struct OldFirmware {
    uint8_t hardware_id;
    const char* text;
};
const OldFirmware kOldFirmware[] = {
    {15, "KX1000|1.2|Oct 26 2005|PN3030|ITD3010"},
    {0, "KX1000|1.4|Oct 06 2005|PN3030|ITD3010"},
    {1, "NRC|1.2|Nov 22 2005|PN3030|ITD3010"},
};

int NoConfigure(uint8_t, int) {
    return BB_ERR_NO_DEVICE;
}
int NoTune(double) {
    return BB_ERR_NO_DEVICE;
}
int NoLockCheck() {
    return BB_ERR_NO_DEVICE;
}
int NoStartStream(int, ServiceRecord*, StreamInfo*) {
    return BB_ERR_NO_DEVICE;
}
int NoStopStream(int, ServiceRecord*) {
    return BB_ERR_NO_DEVICE;
}
int NoGetStream(int*, uint8_t**, int*) {
    return BB_ERR_NO_DEVICE;
}
int NoTunerConfigure(double, uint8_t) {
    return BB_ERR_NO_DEVICE;
}
int NoCarMode(int) {
    return BB_ERR_GENERIC;
}

// Copies at most width - 1 characters and a NUL.
void CopyField(char* to, size_t width, const char* from, size_t length) {
    const size_t n = length < width - 1 ? length : width - 1;
    std::memcpy(to, from, n);
    to[n] = '\0';
}

bool IsPrintable(unsigned char c) {
    return c >= 0x20 && c <= 0x7E;
}

template <typename Choice, size_t N>
const Choice* FindByName(const Choice (&choices)[N], const char* name) {
    for (const Choice& choice : choices) {
        if (std::strcmp(choice.name, name) == 0) return &choice;
    }
    return nullptr;
}

}  // namespace

const BasebandChoice* BB_FindBaseband(const char* name) {
    return FindByName(kBasebands, name);
}
const TunerChoice* BB_FindTuner(const char* name) {
    return FindByName(kTuners, name);
}

BasebandDriver BB_NoBaseband() {
    return {NoConfigure, NoTune, NoLockCheck, NoStartStream, NoStopStream, NoGetStream};
}
TunerDriver BB_NoTuner() {
    return {NoTunerConfigure, NoTune, NoCarMode};
}

HwInfo& BB_HwInfo() {
    return BB_Receiver().hw;
}
BasebandDriver& BB_Baseband() {
    return BB_Receiver().baseband;
}
TunerDriver& BB_Tuner() {
    return BB_Receiver().tuner;
}

void BB_SplitIdentification(const char* text, HwInfo* info) {
    struct Field {
        char* to;
        size_t width;
    };
    const Field fields[] = {
        {info->model, sizeof info->model}, {info->version, sizeof info->version},
        {info->date, sizeof info->date},   {info->baseband, sizeof info->baseband},
        {info->tuner, sizeof info->tuner}, {info->extra, sizeof info->extra}};
    const char* at = text;
    for (const Field& field : fields) {
        const char* end = std::strchr(at, '|');
        const size_t length = end != nullptr ? static_cast<size_t>(end - at) : std::strlen(at);
        CopyField(field.to, field.width, at, length);
        if (end == nullptr) break;  // the fields left stay empty
        at = end + 1;
    }
}

int BB_IdentifyHardware() {
    HwInfo& hw = BB_HwInfo();
    hw = HwInfo{};
    uint8_t id = 15;
    BB_Ifce_GetHardwareId(&id);
    hw.hardware_id = id;

    char text[256] = {};
    if (BB_Ifce_GetFirmwareId(text) != BB_SUCCESS) return BB_ERR_NO_DEVICE;
    for (int i = 0; i < 255; ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c != 0 && !IsPrintable(c)) return BB_ERR_NO_DEVICE;
    }
    const char* identification = text;
    if (text[0] == '\0' || std::strncmp(text, "1.", 2) == 0) {
        identification = nullptr;
        for (const OldFirmware& old : kOldFirmware) {
            if (old.hardware_id == id) identification = old.text;
        }
        if (identification == nullptr) return BB_ERR_NO_DEVICE;
    }
    M4_LOG(2, kSource, "identification [%s]", identification);
    BB_SplitIdentification(identification, &hw);
    return BB_SUCCESS;
}

int BB_API_OpenUSB() {
    if (BB_Ifce_DevicePresent() == 0) {
        BB_Ifce_Flush();
        return BB_SUCCESS;
    }
    return BB_Ifce_Connect() == BB_SUCCESS ? BB_SUCCESS : BB_ERR_NO_DEVICE;
}

int BB_API_CloseUSB() {
    return BB_Ifce_Disconnect();
}

int BB_API_Init() {
    int32_t backend = 0;
    BB_API_GetUSBApi(&backend);
    if (BB_API_OpenUSB() != BB_SUCCESS) return BB_ERR_NO_DEVICE;
    HwInfo& hw = BB_HwInfo();
    if (BB_IdentifyHardware() != BB_SUCCESS) {
        BB_API_CloseUSB();
        M4_LOG(1, kSource, "RXMOD [%s]", hw.model);
        return BB_ERR_NO_DEVICE;
    }
    // Both drivers are chosen before anything is installed, so that a refused stick leaves the
    // drivers as they were.
    const BasebandChoice* baseband = BB_FindBaseband(hw.baseband);
    if (baseband == nullptr) {
        M4_LOG(1, kSource, "Unknown BB Chip");
        return BB_ERR_NO_DEVICE;
    }
    const TunerChoice* tuner = BB_FindTuner(hw.tuner);
    if (tuner == nullptr) {
        M4_LOG(1, kSource, "Unknown tuner!!");
        return BB_ERR_NO_DEVICE;
    }

    BB_Ifce_InstallBuses();
    baseband->install(&BB_Baseband());
    const bool ctx2050 = std::strcmp(baseband->name, "CTX2050") == 0;
    const int variant = ctx2050 && std::strcmp(hw.model, "MARTEN") == 0 ? 1 : 0;
    BB_Baseband().Configure(tuner->bus_address, variant);

    tuner->install(&BB_Tuner(), baseband->name);
    BB_Tuner().Configure(baseband->tuner_clock_mhz, tuner->bus_address);
    hw.tuner_clock = baseband->tuner_clock_mhz;
    hw.tuner_address = tuner->bus_address;

    DMB_LoadChannelCache(kChannelCacheFile);
    return BB_SUCCESS;
}

void BB_API_GetHWName(char* name, uint32_t* length) {
    const char* model = BB_HwInfo().model;
    const size_t model_length = std::strlen(model);
    if (length != nullptr) *length = static_cast<uint32_t>(model_length);
    if (name != nullptr) {
        std::memset(name, 0, model_length);
        std::memcpy(name, model, model_length);
    }
    M4_LOG(2, kSource, "RXMOD-1 [%s]", model);
}

int32_t BB_SetCarMode(void) {
    ITD3020_CarMode(kCarModeOn);
    return 0;
}

int32_t BB_UnsetCarMode(void) {
    ITD3020_CarMode(kCarModeOff);
    return 0;
}
