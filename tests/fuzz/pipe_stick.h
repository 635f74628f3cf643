// A stick for the stream fuzzers: its pipe holds the fuzzer's bytes, handed out in reads of
// what is asked for; a flush empties it.
#ifndef KORU_TESTS_FUZZ_PIPE_STICK_H
#define KORU_TESTS_FUZZ_PIPE_STICK_H

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <vector>

#include "rxmod/bb_api.h"
#include "rxmod/bb_err.h"
#include "rxmod/bb_if.h"
#include "rxmod/bb_stream.h"
#include "rxmod/rxmod_api.h"
#include "usbdev/device_provider.h"
#include "usbdev/usbdev.h"

namespace koru::fuzz {

// A stick whose pipe holds the fuzzer's bytes, handed out in reads of varying size.
struct Pipe {
    std::vector<uint8_t> bytes;
    size_t at = 0;
};

class PipeDevice : public usbdev::UsbDevice {
  public:
    explicit PipeDevice(Pipe* pipe) : pipe_(pipe) {}
    int Read(uint8_t* buffer, uint32_t wanted, uint32_t* got, uint32_t) override {
        const size_t left = pipe_->bytes.size() - pipe_->at;
        if (left == 0) return SI_RX_QUEUE_NOT_READY;
        *got = static_cast<uint32_t>(std::min<size_t>(wanted, left));
        std::copy_n(pipe_->bytes.begin() + static_cast<long>(pipe_->at), *got, buffer);
        pipe_->at += *got;
        return SI_SUCCESS;
    }
    int Write(const uint8_t*, uint32_t length, uint32_t* written, uint32_t) override {
        *written = length;
        return SI_SUCCESS;
    }
    int Flush(bool, bool) override {
        pipe_->at = pipe_->bytes.size();
        return SI_SUCCESS;
    }
    int CheckRxQueue(uint32_t* queued, uint32_t* status) override {
        *queued = static_cast<uint32_t>(pipe_->bytes.size() - pipe_->at);
        *status = 0;
        return SI_SUCCESS;
    }

  private:
    Pipe* pipe_;
};

class PipeProvider : public usbdev::DeviceProvider {
  public:
    Pipe pipe;
    int CountDevices(usbdev::Library, uint32_t* count) override {
        *count = 1;
        return SI_SUCCESS;
    }
    int Open(usbdev::Library, uint32_t, std::unique_ptr<usbdev::UsbDevice>* device) override {
        *device = std::make_unique<PipeDevice>(&pipe);
        return SI_SUCCESS;
    }
};

// The provider installed once, with the link connected to it.
inline PipeProvider& InstallPipeStick() {
    static std::shared_ptr<PipeProvider> provider = [] {
        auto made = std::make_shared<PipeProvider>();
        usbdev::SetDeviceProvider(made);
        BB_API_GetUSBApi(nullptr);
        BB_Ifce_Connect();
        return made;
    }();
    return *provider;
}

// Puts data on the pipe and fetches packets through the driver's get-stream until it stops;
// every packet must lie within max_length bytes, all of them readable.
inline void FetchAll(const BasebandDriver& driver, const uint8_t* data, size_t size,
                     int max_length) {
    PipeProvider& provider = InstallPipeStick();
    BB_StreamReset();
    provider.pipe.bytes.assign(data, data + size);
    provider.pipe.at = 0;
    for (int packets = 0; packets < 10000; ++packets) {
        int id = 0;
        uint8_t* payload = nullptr;
        int length = 0;
        if (driver.GetStream(&id, &payload, &length) != BB_SUCCESS) break;
        if (length < 0 || length > max_length) abort();
        volatile uint8_t sink = 0;
        for (int i = 0; i < length; ++i)
            sink = sink + payload[i];
    }
}

}  // namespace koru::fuzz

#endif
