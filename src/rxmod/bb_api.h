// The receiver context: bring-up of the stick, its identification and the chip drivers chosen
// for it. Baseband and tuner drivers fill the two operation tables below.
#ifndef RXMOD_BB_API_H
#define RXMOD_BB_API_H

#include <cstddef>
#include <cstdint>

struct ServiceRecord;

// What the stick told about itself, cleared at every identification (248 bytes).
struct HwInfo {
    uint8_t hardware_id;  // 15 when the stick gives none
    char model[32];
    char version[16];
    char date[16];
    char baseband[23];
    double tuner_clock;  // MHz
    char tuner[16];
    uint8_t tuner_address;
    char extra[135];
};
static_assert(sizeof(HwInfo) == 248);
static_assert(offsetof(HwInfo, tuner_clock) == 88);

// Stream ids of the packets on the pipe.
constexpr int kStreamIdFic = 0;
constexpr int kStreamIdService = 3;
constexpr int kStreamIdSignal = 4;
constexpr int kStreamIdDebugText = 5;

// Stream modes of a service slot.
constexpr int kModeService = 0;
constexpr int kModeFic = 1;
constexpr int kModeDebugText = 2;

struct StreamInfo {
    int32_t stream_id;
};

struct BasebandDriver {
    int (*Configure)(uint8_t tuner_address, int variant);
    int (*Tune)(double frequency_mhz);
    int (*LockCheck)();
    int (*StartStream)(int mode, ServiceRecord* service, StreamInfo* info);
    int (*StopStream)(int mode, ServiceRecord* service);
    // One packet: its id, its payload (valid until 255 further packets) and length.
    int (*GetStream)(int* id, uint8_t** data, int* length);
};

struct TunerDriver {
    int (*Configure)(double clock_mhz, uint8_t tuner_address);
    int (*Tune)(double frequency_mhz);
    int (*CarMode)(int command);
};

// The tables before bring-up installed drivers: every operation reports that no receiver is
// there.
BasebandDriver BB_NoBaseband();
TunerDriver BB_NoTuner();

// A baseband the plug-in knows: its name in the identification text, the tuner clock it gives,
// and how to install its driver.
struct BasebandChoice {
    const char* name;
    double tuner_clock_mhz;
    // Fills the driver table; may replace the link's buses as well.
    void (*install)(BasebandDriver* driver);
};

// A tuner the plug-in knows: its name, its bus address behind the baseband and its driver,
// installed in the form that suits the baseband.
struct TunerChoice {
    const char* name;
    uint8_t bus_address;
    void (*install)(TunerDriver* driver, const char* baseband);
};

// The known chips by name, or null.
const BasebandChoice* BB_FindBaseband(const char* name);
const TunerChoice* BB_FindTuner(const char* name);

// Bring-up: chooses the library, opens the link, identifies the stick, installs and configures
// the drivers and loads the channel cache. 0 or BB_ERR_NO_DEVICE.
int BB_API_Init();
// Flushes an open link to a present stick, else connects. 0 or BB_ERR_NO_DEVICE.
int BB_API_OpenUSB();
int BB_API_CloseUSB();

// Identification only (used by bring-up): fills HwInfo from the stick's answers.
int BB_IdentifyHardware();
// Splits an identification text "model|version|date|baseband|tuner|extra" into info.
void BB_SplitIdentification(const char* text, HwInfo* info);

HwInfo& BB_HwInfo();
BasebandDriver& BB_Baseband();
TunerDriver& BB_Tuner();

#endif
