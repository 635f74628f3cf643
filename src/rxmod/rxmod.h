// The terminal's input service for "bbu://" URLs: the service object that the terminal loads,
// the URL grammar, connect and close, and the download thread Pnp_UsbThread that owns the
// receiver while a service is connected: it tunes, opens the service, reads the stream, hands
// audio/video payloads to the terminal and packet-mode data to the data decoder, reports signal,
// silence and faults as messages and recovers from lost lock, silence and queue overruns.
//
// Stopping: close asks the thread to stop and waits up to 3 s. Every wait in the thread is short
// (at most 100 ms) or ends at once on the stop request (a tune's lock wait, see
// BB_SetStopCheck); the stream is read without waiting, and stopping it takes the chips' own
// pauses (150 ms). So the thread ends well within the 3 s unless a USB transfer hangs. Such a
// thread is left to finish on its own: the link and, when the service object is shut down
// meanwhile, the object and its context are then released by the thread itself at its end, never
// under it.
#ifndef RXMOD_RXMOD_H
#define RXMOD_RXMOD_H

#include <atomic>
#include <cstdint>
#include <mutex>

#include "m4systems/plugin.h"
#include "m4systems/thread.h"

constexpr int kStreamKindTs = 3;
constexpr int kStreamKindAudio = 2;  // "mp2", "mp3"

constexpr int32_t kStatusIdle = 5;
constexpr int32_t kStatusConnecting = 2;
constexpr int32_t kStatusConnected = 3;

constexpr int kRunEnded = 0;
constexpr int kRunRunning = 1;
constexpr int kRunStopAsked = 2;

constexpr uint32_t kStopWaitMs = 3000;
constexpr uint32_t kNoDataLimitMs = 4501;         // no service data since the stream started
constexpr uint32_t kNoDataLimitPlayingMs = 3001;  // no service data once some came
constexpr int kSignalBatchSamples = 64;
constexpr uint32_t kSignalBatchMs = 1000;
constexpr int kCarModeOnCommand = 1000;
constexpr int kCarModeOffCommand = 1001;
constexpr size_t kUrlLength = 255;

// Signal reports, averaged in batches.
struct SignalBatch {
    int32_t signal[kSignalBatchSamples] = {};
    int32_t error[kSignalBatchSamples] = {};
    int count = 0;
    uint32_t first_ms = 0;
};

// One per service object, zeroed at load. The fields after `url` belong to the thread.
struct DownloadContext {
    M4InputService* service = nullptr;
    M4Thread* thread = nullptr;
    std::atomic<int> run_flag{kRunEnded};
    double frequency = 0.0;  // MHz
    int32_t service_index = 0;
    int32_t stream_kind = 0;
    int32_t value = 0;     // connect's third argument, kept
    uint32_t cleared = 0;  // cleared at connect
    char url[kUrlLength + 1] = {};

    bool reconnect = false;
    int failures = 0;  // tunes without lock in a row
    uint32_t last_data_ms = 0;
    bool first_packet_seen = false;
    SignalBatch signal;

    // Taken to deliver (with the run flag checked) and by close to ask for the stop, so nothing
    // is delivered once close asked; and to settle who releases what when the thread ends late.
    std::mutex mutex;
    bool owns_link = false;  // close left the link to the thread
    bool orphaned = false;   // the object was shut down: the thread frees it and this context
};

// "bbu://" + up to 7 digits (kHz) + one separator + up to 2 digits (service index, below 64) +
// anything up to the last "." + the extension: "ts" (kind 3), "mp2" or "mp3" (kind 2), compared
// with case. 0, or BB_ERR_NO_DEVICE.
int BB_ParseURL(const char* url, double* frequency_mhz, int32_t* service_index,
                int32_t* stream_kind);

// The service object's operations.
int32_t BB_CanHandleURL(M4InputService* object, const char* url);
int32_t BB_Connect(M4InputService* object, const char* url, int32_t value);
int32_t BB_Close(M4InputService* object);
int32_t BB_ServiceCommand(M4InputService* object, int32_t command, int32_t parameter);

// The download thread; 0 when it ended because it was asked to, else BB_ERR_SERVICE.
uint32_t Pnp_UsbThread(void* context);
// Download threads still running in this process (one that outlived its close included).
int BB_LiveDownloadThreads();

#endif
