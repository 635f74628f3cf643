// Module interface, stream service and the download thread.
#include "rxmod/rxmod.h"

#include <strings.h>

#include <cctype>
#include <cstring>
#include <memory>
#include <string>

#include "m4systems/clock.h"
#include "m4systems/log.h"
#include "m4systems/messages.h"
#include "m4systems/terminal.h"
#include "rxmod/bb_api.h"
#include "rxmod/bb_err.h"
#include "rxmod/bb_ficdec.h"
#include "rxmod/bb_if.h"
#include "rxmod/bb_tuner.h"
#include "rxmod/dabplus/dabplus.h"
#include "rxmod/packet/packet.h"
#include "rxmod/receiver.h"
#include "rxmod/rxmod_api.h"

namespace {

constexpr const char* kSource = "rxmod";
constexpr const char* kThreadName = "Pnp_UsbThread";
constexpr uint32_t kModuleVersion = 0x204;
constexpr int kThreadPriority = 5;
constexpr int kLockRetriesPerMessage = 3;
constexpr uint32_t kTuneRetryPauseMs = 100;
constexpr uint32_t kNoDataPauseMs = 50;
constexpr uint32_t kStopPollMs = 10;
constexpr int kShutdownPolls = 200;

std::atomic<int>& LiveThreads() {
    return BB_Receiver().download_threads;
}

bool Running(const DownloadContext* context) {
    return context->run_flag.load() == kRunRunning;
}

bool StopAsked(void* context) {
    return !Running(static_cast<DownloadContext*>(context));
}

// A tune gives up its lock wait (and the settling of a tuning that is abandoned anyway) once
// the stop is asked. Nothing else does: the stream's start and stop sequences keep every pause
// the chips need, or a stopped stick answers the next register reads with stream bytes.
int TuneUnlessStopped(DownloadContext* context) {
    BB_SetStopCheck(&StopAsked, context);
    const int result = BB_API_Tune(context->frequency);
    BB_SetStopCheck(nullptr, nullptr);
    return result;
}

// Messages of this connection; none once close asked for the stop.
void Notify(const DownloadContext* context, uint32_t message, M4Param wparam = 0,
            M4Param lparam = 0) {
    if (Running(context)) M4T_SendMessage(message, wparam, lparam);
}

void Deliver(DownloadContext* context, const uint8_t* data, int length) {
    std::lock_guard lock(context->mutex);
    M4InputService* service = context->service;
    if (!Running(context) || service->DeliverData == nullptr) return;
    service->DeliverData(service, data, static_cast<uint32_t>(length));
}

int32_t LittleEndianWord(const uint8_t* data, int length, int word) {
    uint32_t value = 0;
    for (int i = 0; i < 4; ++i) {
        const int at = word * 4 + i;
        if (at < length) value |= static_cast<uint32_t>(data[at]) << (8 * i);
    }
    return static_cast<int32_t>(value);
}

// One signal report (word 0 the signal value x 10, word 1 the error value x 10^6), with the
// error share that decoding the service added since the last one. A batch ends after 64 samples
// or once more than a second passed since its first.
void AddSignalSample(DownloadContext* context, const uint8_t* data, int length,
                     int32_t decoding_errors) {
    SignalBatch& batch = context->signal;
    const uint32_t now = M4_GetSysClock();
    if (batch.count == 0) batch.first_ms = now;
    batch.signal[batch.count] = LittleEndianWord(data, length, 0);
    batch.error[batch.count] = LittleEndianWord(data, length, 1) + decoding_errors;
    ++batch.count;
    if (now - batch.first_ms <= kSignalBatchMs && batch.count < kSignalBatchSamples) return;
    int64_t signal = 0;
    int64_t error = 0;
    for (int i = 0; i < batch.count; ++i) {
        signal += batch.signal[i];
        error += batch.error[i];
    }
    const auto signal_average = static_cast<int32_t>(signal / batch.count);
    const auto error_average = static_cast<int32_t>(error / batch.count);
    M4_LOG(2, kSource, "snr_index=%d, snr=%d, ber=%f", batch.count, signal_average,
           error_average * 1e-6);
    Notify(context, WM_SYSTEM_SIGNAL_LEVEL, signal_average, error_average);
    batch.count = 0;
}

// --- the download thread ---------------------------------------------------------------------

enum class Outcome {
    kGoOn,   // on to the next step
    kAsked,  // the stop was asked
    kEnded,  // a failure ended the thread (reported, the service closed)
};

uint32_t TuneFailureMessage(int result) {
    switch (result) {
        case BB_ERR_TUNER_ID:
            return WM_SYSTEM_TUNER_ID_ERROR;
        case BB_ERR_BB_ID:
            return WM_SYSTEM_USB_LOST2;
        case BB_ERR_NO_DEVICE:
            return WM_SYSTEM_NO_DEVICE;
        default:
            return WM_SYSTEM_FAILURE;
    }
}

// Tunes until the ensemble locks; every third tune without lock reports a weak signal.
Outcome Tune(DownloadContext* context) {
    for (;;) {
        if (!Running(context)) return Outcome::kAsked;
        const int result = TuneUnlessStopped(context);
        if (result == BB_SUCCESS) {
            context->failures = 0;
            M4_LOG(2, kSource, "BB_API_Tune() succeeded.");
            return Outcome::kGoOn;
        }
        if (!Running(context)) return Outcome::kAsked;  // the lock wait gave up for the stop
        if (result != BB_ERR_NOT_LOCKED) {
            Notify(context, TuneFailureMessage(result));
            return Outcome::kEnded;
        }
        if (++context->failures >= kLockRetriesPerMessage) {
            context->failures = 0;
            Notify(context, WM_SYSTEM_SIGNAL_LOST);
        }
        M4_Sleep(kTuneRetryPauseMs);
        M4_LOG(2, kSource, "rxmod.c: M4_Sleep(1)");
    }
}

Outcome OpenAndStart(DownloadContext* context, int* slot) {
    int result = BB_API_OpenService(slot, context->frequency, context->service_index);
    if (result != BB_SUCCESS) {
        if (result == BB_ERR_NO_DEVICE) {
            Notify(context, WM_SYSTEM_NO_DEVICE);
        } else {
            M4_LOG(1, kSource, "Too many services are opned");
            Notify(context, WM_SYSTEM_FAILURE);
        }
        return Outcome::kEnded;
    }
    StreamInfo info{};
    result = BB_API_StartStream(*slot, &info);
    if (result != BB_SUCCESS) {
        if (result == BB_ERR_NO_DEVICE) {
            Notify(context, WM_SYSTEM_NO_DEVICE);
        } else {
            M4_LOG(1, kSource, "Unknown error!!");
            // The thread ends here: without a message the player would wait for it forever.
            Notify(context, WM_SYSTEM_FAILURE);
        }
        BB_API_CloseService(*slot);
        return Outcome::kEnded;
    }
    return Outcome::kGoOn;
}

// Where the payloads of the service go.
struct Route {
    int stream_id = 0;
    bool data_service = false;
    uint16_t packet_address = 0;
    uint16_t dscty = 0;
    std::unique_ptr<DabPlusStream> dabplus;  // a DAB+ service: its superframes are decoded
};

void OnPacket(DownloadContext* context, const Route& route, int id, const uint8_t* data,
              int length) {
    if (id == route.stream_id) {
        context->last_data_ms = M4_GetSysClock();
        bool delivered = true;
        if (route.data_service) {
            PKT_DataPath(BB_CurrentDataDecoder(), data, length, route.packet_address, route.dscty);
        } else if (route.dabplus != nullptr) {
            // A DAB+ service plays from its first access units: the terminal knows it by them.
            delivered =
                route.dabplus->Feed(data, length, [context](const uint8_t* units, size_t size) {
                    Deliver(context, units, static_cast<int>(size));
                });
        } else {
            Deliver(context, data, length);
        }
        if (delivered && !context->first_packet_seen) {
            context->first_packet_seen = true;
            Notify(context, WM_SYSTEM_RECEIVING);
            Notify(context, WM_SYSTEM_FIRST_FRAME);
        }
    } else if (id == kStreamIdSignal) {
        AddSignalSample(context, data, length,
                        route.dabplus != nullptr ? route.dabplus->TakeErrorShare() : 0);
    } else if (id == kStreamIdDebugText) {
        const std::string text(reinterpret_cast<const char*>(data), static_cast<size_t>(length));
        log_debug_out("%s", text.c_str());
    } else {
        M4_LOG(2, kSource, "Unknown packet: id=%d, len=%d", id, length);
    }
}

// Reads the stream until the stop is asked or the loop must be left. kEnded: the thread ends
// (the service is closed already).
Outcome Stream(DownloadContext* context, int slot) {
    Route route;
    route.stream_id = BB_GetSlot(slot).stream_id;
    route.data_service = BB_API_IsDataService(slot) != 0;
    if (route.data_service) {
        BB_API_GetPacketParams(slot, &route.packet_address, &route.dscty);
    } else if (const ServiceRecord* service = BB_GetSlot(slot).service) {
        route.dabplus = DabPlusStream::ForService(BB_WorkingChannelInfo(), *service);
    }
    context->last_data_ms = M4_GetSysClock();
    context->first_packet_seen = false;
    while (Running(context)) {
        int id = -1;
        uint8_t* data = nullptr;
        int length = 0;
        const int result = BB_API_GetStream(&id, &data, &length);
        switch (result) {
            case BB_SUCCESS:
                OnPacket(context, route, id, data, length);
                break;
            case BB_ERR_NO_DATA: {
                M4_Sleep(kNoDataPauseMs);
                const uint32_t limit =
                    context->first_packet_seen ? kNoDataLimitPlayingMs : kNoDataLimitMs;
                if (M4_GetSysClock() - context->last_data_ms < limit) break;
                if (BB_Ifce_DevicePresent() != 0) {
                    Notify(context, WM_SYSTEM_NO_DEVICE);
                    BB_API_CloseService(slot);
                    return Outcome::kEnded;
                }
                Notify(context, WM_SYSTEM_SIGNAL_LOST);
                M4_LOG(2, kSource, "Weak signal message sent");
                return Outcome::kGoOn;
            }
            case BB_ERR_NOT_LOCKED:
                Notify(context, WM_SYSTEM_SIGNAL_LOST);
                M4_LOG(2, kSource, "UNLOCKED");
                M4_Sleep(10);
                return Outcome::kGoOn;
            case BB_ERR_RX_QUEUE_OVERRUN:
                M4_LOG(1, kSource, "RX Queue Overrunned.");
                M4_LOG(2, kSource, "RX Queue Overrunned");
                context->reconnect = true;
                M4_Sleep(10);
                return Outcome::kGoOn;
            case BB_ERR_NO_DEVICE:
                Notify(context, WM_SYSTEM_NO_DEVICE);
                BB_API_CloseService(slot);
                return Outcome::kEnded;
            default:
                M4_LOG(1, kSource, "bb_thread: unknown error[1]=%d. Check here!!", result);
                Notify(context, WM_SYSTEM_FAILURE);
                context->reconnect = true;
                M4_Sleep(1);
                return Outcome::kGoOn;
        }
    }
    return Outcome::kGoOn;
}

Outcome StopAndClose(DownloadContext* context, int slot) {
    int result = BB_API_StopStream(slot);
    if (result == BB_ERR_NO_DEVICE) {
        Notify(context, WM_SYSTEM_NO_DEVICE);
        BB_API_CloseService(slot);
        return Outcome::kEnded;
    }
    if (result != BB_SUCCESS) {
        M4_LOG(1, kSource, "bb_thread: unknown error[2]=%d. Check here!!", result);
        Notify(context, WM_SYSTEM_FAILURE);
        context->reconnect = true;
    }
    result = BB_API_CloseService(slot);
    if (result == BB_ERR_NO_DEVICE) {
        Notify(context, WM_SYSTEM_NO_DEVICE);
        return Outcome::kEnded;
    }
    if (result != BB_SUCCESS) {
        M4_LOG(1, kSource, "bb_thread: unknown error[3]=%d. Check here!!", result);
        Notify(context, WM_SYSTEM_FAILURE);
        context->reconnect = true;
    }
    return Outcome::kGoOn;
}

Outcome Reconnect(DownloadContext* context) {
    M4_LOG(2, kSource, "Reconnect USB interface");
    context->reconnect = false;
    BB_Ifce_Disconnect();
    if (BB_Ifce_Connect() != BB_SUCCESS) {
        M4_LOG(1, kSource, "NO Device!!");
        Notify(context, WM_SYSTEM_NO_DEVICE);
        return Outcome::kEnded;
    }
    return Outcome::kGoOn;
}

// Tune, open, stream, stop and close, recover, again; true when the stop was asked.
bool Receive(DownloadContext* context) {
    for (;;) {
        Outcome outcome = Tune(context);
        if (outcome != Outcome::kGoOn) return outcome == Outcome::kAsked;
        int slot = -1;
        if (OpenAndStart(context, &slot) != Outcome::kGoOn) return false;
        if (Stream(context, slot) == Outcome::kEnded) return false;
        if (StopAndClose(context, slot) == Outcome::kEnded) return false;
        if (!Running(context)) return true;
        if (context->reconnect && Reconnect(context) == Outcome::kEnded) return false;
    }
}

// The run flag goes to 0; a thread that outlived its close releases what close left to it.
void EndThread(DownloadContext* context) {
    bool close_link;
    bool free_service;
    {
        std::lock_guard lock(context->mutex);
        context->run_flag = kRunEnded;
        close_link = context->owns_link;
        free_service = context->orphaned;
    }
    if (close_link) BB_API_CloseUSB();
    if (free_service) {
        delete context->service;
        delete context;
    }
    --LiveThreads();
}

// --- the service object ----------------------------------------------------------------------

int32_t ReturnZero(M4InputService*) {
    return 0;
}

int32_t ReturnServiceError(M4InputService*) {
    return BB_ERR_SERVICE;
}

DownloadContext* ContextOf(M4InputService* object) {
    return object != nullptr ? static_cast<DownloadContext*>(object->context) : nullptr;
}

int ConnectReceiver() {
    int result = BB_API_Init();
    if (result == BB_ERR_NO_DEVICE) {
        M4_LOG(1, kSource, "NO Device");
        M4T_SendMessage(WM_SYSTEM_NO_DEVICE, 0, 0);
        return BB_ERR_SERVICE;
    }
    if (result != BB_SUCCESS) {
        M4_LOG(1, kSource, "Unknown error");
        return BB_ERR_SERVICE;
    }
    result = BB_API_OpenUSB();
    if (result == BB_ERR_NO_DEVICE) {
        M4_LOG(1, kSource, "BB_Connect(): NO_DEVICE");
        M4T_SendMessage(WM_SYSTEM_NO_DEVICE, 0, 0);
        return BB_ERR_SERVICE;
    }
    if (result != BB_SUCCESS) {
        M4_LOG(1, kSource, "BB_Connect(): Unknown error");
        return BB_ERR_SERVICE;
    }
    return BB_SUCCESS;
}

}  // namespace

uint32_t Pnp_UsbThread(void* param) {
    auto* context = static_cast<DownloadContext*>(param);
    context->signal.count = 0;
    Notify(context, WM_SYSTEM_SIGNAL_LEVEL, 0, 0);
    const int result = Receive(context) ? 0 : BB_ERR_SERVICE;
    M4_LOG(2, kSource, "Pnp_UsbThread ended(%d)", result);
    EndThread(context);
    return static_cast<uint32_t>(result);
}

int BB_LiveDownloadThreads() {
    return LiveThreads().load();
}

int BB_ParseURL(const char* url, double* frequency_mhz, int32_t* service_index,
                int32_t* stream_kind) {
    if (url == nullptr || std::strlen(url) < 6) return BB_ERR_NO_DEVICE;
    const char* at = url + 6;
    int khz = 0;
    for (int i = 0; i < 7 && std::isdigit(static_cast<unsigned char>(*at)); ++i, ++at) {
        khz = khz * 10 + (*at - '0');
    }
    if (*at != '\0') ++at;  // the separator
    int index = 0;
    for (int i = 0; i < 2 && std::isdigit(static_cast<unsigned char>(*at)); ++i, ++at) {
        index = index * 10 + (*at - '0');
    }
    if (index >= kMaxServices) {
        // 64 and 65 name the receiver's FIC and debug streams, the rest nothing at all.
        M4_LOG(1, kSource, "service index %d of %s is no service", index, url);
        return BB_ERR_NO_DEVICE;
    }
    const char* dot = std::strrchr(at, '.');
    if (dot == nullptr) return BB_ERR_NO_DEVICE;
    int kind;
    if (std::strcmp(dot + 1, "ts") == 0) {
        kind = kStreamKindTs;
    } else if (std::strcmp(dot + 1, "mp3") == 0 || std::strcmp(dot + 1, "mp2") == 0) {
        kind = kStreamKindAudio;
    } else {
        return BB_ERR_NO_DEVICE;
    }
    *frequency_mhz = khz * 0.001;
    *service_index = index;
    *stream_kind = kind;
    return BB_SUCCESS;
}

int32_t BB_CanHandleURL(M4InputService*, const char* url) {
    return url != nullptr && strncasecmp(url, "bbu://", 6) == 0 ? 1 : 0;
}

int32_t BB_Connect(M4InputService* object, const char* url, int32_t value) {
    DownloadContext* context = ContextOf(object);
    if (context == nullptr) return BB_ERR_SERVICE;
    if (url == nullptr) return BB_ERR_NO_DEVICE;
    if (object->status != kStatusIdle) BB_Close(object);
    if (LiveThreads().load() > 0) {
        // A thread that outlived its close still owns the receiver.
        M4_LOG(1, kSource, "BB_Connect(): a download thread is still running");
        return BB_ERR_SERVICE;
    }
    std::strncpy(context->url, url, kUrlLength);
    context->url[kUrlLength] = '\0';
    context->value = value;
    context->cleared = 0;
    context->service = object;
    if (int result =
            BB_ParseURL(url, &context->frequency, &context->service_index, &context->stream_kind);
        result != BB_SUCCESS) {
        return result;
    }
    if (int result = ConnectReceiver(); result != BB_SUCCESS) return result;

    BB_SetDataDecoderHooks({NewBBContext, DeleteBBContext});
    object->status = kStatusConnecting;
    context->reconnect = false;
    context->failures = 0;
    context->owns_link = false;
    context->orphaned = false;
    context->thread = NewThread(kThreadName);
    context->run_flag = kRunRunning;
    ++LiveThreads();
    if (TH_Run(context->thread, Pnp_UsbThread, context) != M4OK) {
        --LiveThreads();
        TH_Delete(context->thread);
        context->thread = nullptr;
        BB_API_CloseUSB();
        context->run_flag = kRunEnded;
        object->status = kStatusIdle;
        return BB_ERR_SERVICE;
    }
    TH_SetPriority(context->thread, kThreadPriority);
    object->status = kStatusConnected;
    return BB_SUCCESS;
}

int32_t BB_Close(M4InputService* object) {
    DownloadContext* context = ContextOf(object);
    if (context == nullptr || object->status == kStatusIdle) return 0;
    if (context->run_flag.load() == kRunRunning) {
        {
            std::lock_guard lock(context->mutex);  // no delivery runs or starts after this
            context->run_flag = kRunStopAsked;
        }
        const uint32_t start = M4_GetSysClock();
        while (context->run_flag.load() != kRunEnded && M4_GetSysClock() - start < kStopWaitMs) {
            M4_Sleep(kStopPollMs);
        }
    }
    bool left_running = false;
    {
        std::lock_guard lock(context->mutex);
        if (context->run_flag.load() != kRunEnded) {
            left_running = true;
            context->owns_link = true;  // the link is the thread's until it ends
        }
    }
    if (left_running) {
        M4_LOG(1, kSource, "Cannot kill Pnp_UsbThread. Terminate it.");
        TH_Destroy(context->thread);
    } else {
        TH_Delete(context->thread);
        BB_API_CloseUSB();
    }
    context->thread = nullptr;
    object->status = kStatusIdle;
    return 0;
}

int32_t BB_ServiceCommand(M4InputService*, int32_t command, int32_t) {
    if (command == kCarModeOnCommand || command == kCarModeOffCommand) {
        return BB_Tuner().CarMode(command);
    }
    return BB_ERR_NOT_SUPPORTED;
}

uint32_t QueryInterface(uint32_t interface_id) {
    return interface_id == RXMOD_INTERFACE_ID ? 1 : 0;
}

void* LoadInterface(uint32_t interface_id) {
    if (interface_id != RXMOD_INTERFACE_ID) return nullptr;
    auto* object = new M4InputService{};
    object->interface_id = RXMOD_INTERFACE_ID;
    object->module_name = "RXMOD Downloader";
    object->author = "VARN distribution";
    object->version = kModuleVersion;
    object->CanHandleURL = BB_CanHandleURL;
    object->Operation7 = ReturnZero;
    object->Connect = BB_Connect;
    object->Close = BB_Close;
    object->Operation10 = ReturnZero;
    object->Operation11 = ReturnServiceError;
    object->status = kStatusIdle;
    object->ServiceCommand = BB_ServiceCommand;
    object->context = new DownloadContext;
    M4_InitClock();
    return object;
}

void ShutdownInterface(void* pointer) {
    auto* object = static_cast<M4InputService*>(pointer);
    if (object == nullptr || object->interface_id != RXMOD_INTERFACE_ID) return;
    for (int i = 0; i < kShutdownPolls && object->status != kStatusIdle; ++i) {
        M4_Sleep(kStopPollMs);
    }
    if (object->status != kStatusIdle) {
        M4_LOG(1, kSource, "Download thread is still alive! Kill him!");
        BB_Close(object);
    }
    DownloadContext* context = ContextOf(object);
    bool thread_frees = false;
    if (context != nullptr) {
        std::lock_guard lock(context->mutex);
        if (context->run_flag.load() != kRunEnded) {
            context->orphaned = true;
            thread_frees = true;
        }
    }
    if (!thread_frees) {
        delete context;
        delete object;
    }
    M4_StopClock();
}
