// The stick's firmware: it takes each USB OUT packet as one command frame, runs it against the
// chips and puts replies in the host's receive queue. Multi-byte counts and addresses are
// big-endian on the wire.
//   0x21 ah al ch cl data...   register write: count bytes from address on
//   0x22 ah al ch cl           register read (a frame of exactly 5 bytes): count bytes back
//   0x22 n payload...          batch write (any other length): n bytes, (tuner register,
//                              value) pairs through the firmware's own tuner bus
//   0x31 reg n data...         tuner write: n bytes from tuner register reg on
//   0x32 reg n                 tuner read: n bytes back
//   0x12 0x11 / 0x12 0x10      hardware id (1 byte) / firmware identification text
//   0x11 0x31 / 0x32           debug text on / off (packets with id 5)
//   0x11 0x21 / 0x22           stream to USB on / off
//   0x11 0x42 / 0x43           RF band switch: band III / L-band input
//   0x11 0x11                  preparation: reset pulse to the baseband
// A reply is at most one USB packet (64 bytes). A frame shorter than its counts announce is
// not run. Anything else is logged and ignored.
#ifndef USBDEV_RXSIM_FIRMWARE_H
#define USBDEV_RXSIM_FIRMWARE_H

#include <cstddef>
#include <cstdint>
#include <string>

#include "usbdev/rxsim/baseband.h"
#include "usbdev/rxsim/tuner.h"

namespace rxsim {

class Firmware {
  public:
    static constexpr size_t kPacketBytes = 64;  // full-speed bulk packet
    static constexpr size_t kMaxText = 255;

    Firmware(const StickConfig& config, Baseband* baseband, I2cBus* bus, Faults* faults)
        : config_(config), baseband_(baseband), bus_(bus), faults_(faults) {}

    void Reset();
    // One OUT packet of at most 64 bytes.
    void OnPacket(const uint8_t* packet, size_t n, uint32_t now, const Reception& reception,
                  RxQueue* host);
    // A line of debug text to the host, when debug text is on.
    void Debug(RxQueue* host, const std::string& text) const;

    bool stream_enabled() const { return stream_enabled_; }
    bool debug_enabled() const { return debug_enabled_; }
    bool l_band_input() const { return l_band_input_; }
    std::string IdentificationText() const;

  private:
    void RegisterWrite(const uint8_t* packet, size_t n, uint32_t now);
    void RegisterRead(const uint8_t* packet, uint32_t now, const Reception& reception,
                      RxQueue* host);
    void BatchWrite(const uint8_t* packet, size_t n);
    void TunerWrite(const uint8_t* packet, size_t n);
    void TunerRead(const uint8_t* packet, size_t n, RxQueue* host);
    void Query(uint8_t what, RxQueue* host);
    void Control(uint8_t what, uint32_t now, RxQueue* host);

    const StickConfig& config_;
    Baseband* baseband_;
    I2cBus* bus_;
    Faults* faults_;
    bool stream_enabled_ = false;
    bool debug_enabled_ = false;
    bool l_band_input_ = false;
};

}  // namespace rxsim

#endif
