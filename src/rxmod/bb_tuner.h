// The receiver API between the drivers and the users of the receiver (the download thread and
// the channel search): tuning with the lock wait, ten service slots, stream start and stop and
// packet fetching. A "service" is one service of the ensemble, the FIC or the debug text.
#ifndef RXMOD_BB_TUNER_H
#define RXMOD_BB_TUNER_H

#include <cstdint>

#include "rxmod/bb_api.h"

struct ServiceRecord;

constexpr int kServiceSlots = 10;
constexpr int kFicServiceIndex = 64;
constexpr int kDebugTextServiceIndex = 65;
constexpr int kLockPollMs = 50;
constexpr int kLockWaitMs = 2000;

struct ServiceSlot {
    uint8_t flags;  // bit 0: in use
    double frequency;
    int32_t mode;           // kModeService, kModeFic or kModeDebugText
    int32_t service_index;  // 0..63, kFicServiceIndex or kDebugTextServiceIndex
    int32_t stream_id;
    ServiceRecord* service;  // in the working ChannelInfo, for kModeService
};

// The whole kHz of a frequency in MHz, as the "bbu://" URLs carry it (integer part of
// MHz x 1000 + 0.1, so that a kHz value converted to MHz comes back whole).
inline int BB_FrequencyKhz(double frequency_mhz) {
    return static_cast<int>(frequency_mhz * 1000.0 + 0.1);
}

// Band command, baseband and tuner programming, then up to 41 lock polls 50 ms apart.
int BB_API_Tune(double frequency_mhz);
// 0 with *slot set, BB_ERR_TABLE_FULL or BB_ERR_INVALID_PARAM.
int BB_API_OpenService(int* slot, double frequency_mhz, int service_index);
int BB_API_StartStream(int slot, StreamInfo* info);
int BB_API_StopStream(int slot);
int BB_API_CloseService(int slot);
int BB_API_GetStream(int* id, uint8_t** data, int* length);
int BB_API_IsDataService(int slot);
int BB_API_GetPacketParams(int slot, uint16_t* packet_address, uint16_t* dscty);

const ServiceSlot& BB_GetSlot(int slot);

// The data-group decoder of packet-mode services: a context is made at every stream start and
// destroyed at stream stop. The decoder registers how; without it no context is made.
struct DataDecoderContext;
struct DataDecoderHooks {
    DataDecoderContext* (*create)();
    void (*destroy)(DataDecoderContext* context);
};
void BB_SetDataDecoderHooks(const DataDecoderHooks& hooks);
DataDecoderContext* BB_CurrentDataDecoder();

#endif
