// Tuning and service slots.
#include "rxmod/bb_tuner.h"

#include "m4systems/clock.h"
#include "m4systems/log.h"
#include "rxmod/bb_err.h"
#include "rxmod/bb_ficdec.h"
#include "rxmod/bb_if.h"
#include "rxmod/dmb_api.h"
#include "rxmod/receiver.h"
#include "rxmod/rxmod_api.h"

namespace {

constexpr const char* kSource = "bb_tuner";
constexpr uint8_t kSlotInUse = 0x01;

ServiceSlot* Slots() {
    return BB_Receiver().slots;
}

bool IsValidSlot(int slot) {
    return slot >= 0 && slot < kServiceSlots &&
           (Slots()[slot].mode == kModeDebugText || Slots()[slot].frequency != 0.0);
}

void DestroyDecoder() {
    Receiver& receiver = BB_Receiver();
    if (receiver.decoder != nullptr && receiver.decoder_hooks.destroy != nullptr) {
        receiver.decoder_hooks.destroy(receiver.decoder);
    }
    receiver.decoder = nullptr;
}

// Opens an ensemble service from the cached ChannelInfo of exactly this frequency.
int SelectService(ServiceSlot& slot, double frequency_mhz, int service_index) {
    if (service_index < 0 || service_index >= kMaxServices) {
        M4_LOG(1, kSource, "No such a service(id=%d) in the channel(freq=%.3f)", service_index,
               frequency_mhz);
        return BB_ERR_INVALID_PARAM;
    }
    ChannelInfo& info = BB_WorkingChannelInfo();
    if (DMB_LookupChannel(frequency_mhz, &info) != BB_SUCCESS) {
        M4_LOG(1, kSource, "No such a channel(freq=%.3f)", frequency_mhz);
        return BB_ERR_INVALID_PARAM;
    }
    ServiceRecord& service = info.services[service_index];
    const ComponentRecord* first = ResolveComponent(info, service.components[0]);
    if (first == nullptr || first->in_use != kRecordInUse) {
        // A reference that leads nowhere is pointed at the component of the service's index.
        service.components[0] = ComponentReference(service_index);
    }
    if (service.label[0] == '\0') {
        M4_LOG(1, kSource, "No such a service(id=%d) in the channel(freq=%.3f)", service_index,
               frequency_mhz);
        return BB_ERR_INVALID_PARAM;
    }
    slot.mode = kModeService;
    slot.service = &service;
    return BB_SUCCESS;
}

}  // namespace

int BB_API_Tune(double frequency_mhz) {
    BB_Ifce_SetBand(frequency_mhz);  // the stick's own band switch; its result does not matter
    if (int result = BB_Baseband().Tune(frequency_mhz); result != BB_SUCCESS) return result;
    if (int result = BB_Tuner().Tune(frequency_mhz); result != BB_SUCCESS) return result;
    int waited = 0;
    for (;;) {
        const int result = BB_Baseband().LockCheck();
        if (result != BB_ERR_NOT_LOCKED) return result;
        if (BB_StopAsked()) return BB_ERR_NOT_LOCKED;  // the caller is stopping: no more waiting
        M4_Sleep(kLockPollMs);
        waited += kLockPollMs;
        if (waited > kLockWaitMs) return BB_ERR_NOT_LOCKED;
    }
}

int BB_API_OpenService(int* slot_index, double frequency_mhz, int service_index) {
    int free_slot = -1;
    for (int i = 0; i < kServiceSlots && free_slot < 0; ++i) {
        if ((Slots()[i].flags & kSlotInUse) == 0) free_slot = i;
    }
    if (free_slot < 0) return BB_ERR_TABLE_FULL;

    ServiceSlot& slot = Slots()[free_slot];
    slot = ServiceSlot{};
    slot.flags = kSlotInUse;
    slot.frequency = frequency_mhz;
    slot.service_index = service_index;
    M4_LOG(2, kSource, "freq[%d] svc_id[%d]", BB_FrequencyKhz(frequency_mhz), service_index);
    if (service_index == kFicServiceIndex) {
        slot.mode = kModeFic;
    } else if (service_index == kDebugTextServiceIndex) {
        slot.mode = kModeDebugText;
    } else if (int result = SelectService(slot, frequency_mhz, service_index);
               result != BB_SUCCESS) {
        slot = ServiceSlot{};
        return result;
    }
    if (slot_index != nullptr) *slot_index = free_slot;
    return BB_SUCCESS;
}

int BB_API_StartStream(int slot_index, StreamInfo* info) {
    if (!IsValidSlot(slot_index) || info == nullptr) return BB_ERR_INVALID_PARAM;
    ServiceSlot& slot = Slots()[slot_index];
    const int result = BB_Baseband().StartStream(slot.mode, slot.service, info);
    if (result == BB_SUCCESS) slot.stream_id = info->stream_id;
    // A fresh data-group decoder for the stream, whether or not it started.
    DestroyDecoder();
    Receiver& receiver = BB_Receiver();
    if (receiver.decoder_hooks.create != nullptr) {
        receiver.decoder = receiver.decoder_hooks.create();
    }
    return result;
}

int BB_API_StopStream(int slot_index) {
    if (!IsValidSlot(slot_index)) return BB_ERR_INVALID_PARAM;
    const ServiceSlot& slot = Slots()[slot_index];
    const int result = BB_Baseband().StopStream(slot.mode, slot.service);
    DestroyDecoder();
    return result;
}

int BB_API_CloseService(int slot_index) {
    if (slot_index < 0 || slot_index >= kServiceSlots) return BB_ERR_INVALID_PARAM;
    Slots()[slot_index] = ServiceSlot{};
    return BB_SUCCESS;
}

int BB_API_GetStream(int* id, uint8_t** data, int* length) {
    return BB_Baseband().GetStream(id, data, length);
}

int BB_API_IsDataService(int slot_index) {
    if (!IsValidSlot(slot_index)) return 0;
    const ServiceSlot& slot = Slots()[slot_index];
    if (slot.mode != kModeService || slot.service == nullptr) return 0;
    return DMB_ServiceKind(BB_WorkingChannelInfo(), *slot.service) == SERVICE_KIND_DATA ? 1 : 0;
}

int BB_API_GetPacketParams(int slot_index, uint16_t* packet_address, uint16_t* dscty) {
    if (!IsValidSlot(slot_index)) return BB_ERR_INVALID_PARAM;
    const ServiceSlot& slot = Slots()[slot_index];
    const ComponentRecord* first =
        slot.service != nullptr ? FirstComponent(BB_WorkingChannelInfo(), *slot.service) : nullptr;
    if (first == nullptr) return BB_ERR_INVALID_PARAM;
    if (packet_address != nullptr) *packet_address = first->packet_address;
    if (dscty != nullptr) *dscty = first->type;
    return BB_SUCCESS;
}

const ServiceSlot& BB_GetSlot(int slot_index) {
    return Slots()[slot_index];
}

void BB_SetDataDecoderHooks(const DataDecoderHooks& hooks) {
    BB_Receiver().decoder_hooks = hooks;
}

DataDecoderContext* BB_CurrentDataDecoder() {
    return BB_Receiver().decoder;
}
