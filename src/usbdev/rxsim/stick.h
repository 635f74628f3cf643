// The emulated stick as a whole: firmware, chips, the host's receive queue and the thread that
// paces the air (one ETI frame per 24 ms of terminal time). Every entry point takes one lock,
// so the host's calls, the pacing thread and fault injection see the board in one state.
#ifndef USBDEV_RXSIM_STICK_H
#define USBDEV_RXSIM_STICK_H

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "usbdev/rxsim/air.h"
#include "usbdev/rxsim/baseband.h"
#include "usbdev/rxsim/faults.h"
#include "usbdev/rxsim/firmware.h"
#include "usbdev/rxsim/reception.h"
#include "usbdev/rxsim/rx_queue.h"
#include "usbdev/rxsim/rxsim.h"
#include "usbdev/rxsim/tuner.h"

namespace rxsim {

class Stick {
  public:
    static constexpr uint32_t kFrameMs = 24;

    // Chips that are not emulated are replaced by the default pair (logged).
    explicit Stick(StickConfig config);
    ~Stick();
    Stick(const Stick&) = delete;
    Stick& operator=(const Stick&) = delete;

    // The USB side. A session is one open handle; it dies when the stick is pulled.
    int CountDevices(usbdev::Library library, uint32_t* count);
    int Open(usbdev::Library library, uint32_t index, uint64_t* session);
    void Close(uint64_t session);
    int Read(uint64_t session, uint8_t* buffer, uint32_t wanted, uint32_t* got,
             uint32_t timeout_ms);
    int Write(uint64_t session, const uint8_t* data, uint32_t length, uint32_t* written);
    int Flush(uint64_t session, bool transmit, bool receive);
    int CheckRxQueue(uint64_t session, uint32_t* queued, uint32_t* status);

    void Pull();
    void Plug();
    void ForceOverrun();
    // Runs change on the faults under the lock, then lets the reception follow.
    void ChangeFaults(const std::function<void(Faults&)>& change);
    StickStatus Status();
    std::string FaultSummary();

  private:
    bool Live(uint64_t session) const;
    void PowerOn();
    void Update(uint32_t now);
    void PaceAir();
    void OnAirFrame(uint64_t index, uint32_t now);
    RxQueue* Host() { return session_ != 0 ? &queue_ : nullptr; }

    const StickConfig config_;
    std::mutex mutex_;
    Air air_;
    Faults faults_;
    std::unique_ptr<Tuner> tuner_;
    I2cBus bus_;
    std::unique_ptr<Baseband> baseband_;
    Firmware firmware_;
    Reception reception_;
    RxQueue queue_;
    bool plugged_ = true;
    uint64_t session_ = 0;  // the open handle's, 0 when none is open
    uint64_t next_session_ = 1;
    uint32_t start_ms_ = 0;
    uint64_t next_frame_ = 0;
    std::atomic<bool> stopping_{false};
    std::thread pacer_;
};

}  // namespace rxsim

#endif
