// A baseband chip on the board: a register page that the firmware's register commands reach,
// the demodulator whose sync the Reception models, and the output paths that turn what is
// received into stream packets in the chip's framing.
#ifndef USBDEV_RXSIM_BASEBAND_H
#define USBDEV_RXSIM_BASEBAND_H

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "dab/outer_code.h"
#include "usbdev/rxsim/air.h"
#include "usbdev/rxsim/faults.h"
#include "usbdev/rxsim/reception.h"
#include "usbdev/rxsim/rx_queue.h"

namespace rxsim {

// One air frame as the board hands it to the baseband.
struct FrameContext {
    uint64_t index = 0;               // air frame number; a transmission frame is 4 of them
    const AirFrame* frame = nullptr;  // what was received; null unless locked
    double level = 0.0;               // signal value of the reception
    bool stream_enabled = false;      // the firmware forwards the chip's output to USB
    Faults* faults = nullptr;
    RxQueue* host = nullptr;  // null while no handle is open
};

class Baseband {
  public:
    virtual ~Baseband() = default;
    virtual std::string Name() const = 0;
    virtual void Reset() = 0;  // power-on values
    // The firmware's preparation pulse (0x11 0x11): the chip restarts from its reset values.
    virtual void Prepare(uint32_t now) = 0;
    // Whether a 16-bit register address of the host's commands belongs to this chip.
    virtual bool Decodes(uint16_t address) const = 0;
    virtual uint8_t ReadRegister(uint16_t address, uint32_t now, const Reception& reception) = 0;
    virtual void WriteRegister(uint16_t address, uint8_t value, uint32_t now) = 0;

    virtual bool DemodRunning() const = 0;
    virtual uint32_t DemodStarts() const = 0;
    virtual bool FicPathOn() const = 0;
    virtual std::optional<int> SubChannel() const = 0;

    virtual void OnAirFrame(const FrameContext& context) = 0;
};

// What a baseband in video mode makes of the selected sub-channel: T-DMB's outer code removed
// (or a plain transport stream passed on), the decoder starting afresh when the selection
// changes.
class VideoDecoder {
  public:
    // The transport stream made of a frame's bytes of the sub-channel.
    std::vector<uint8_t> Process(int subchannel, const std::vector<uint8_t>& bytes);
    void Reset();
    const koru::dab::OuterDecoder::Counts& counts() const { return outer_.counts(); }

  private:
    koru::dab::OuterDecoder outer_;
    std::optional<int> subchannel_;
};

// A frame's bytes of the selected sub-channel as service packets (id 3) of at most max_payload
// bytes each; the packet-corruption fault damages the packets it hits.
void EmitServicePackets(const FrameContext& context, const std::vector<uint8_t>& bytes,
                        size_t max_payload);

// Damages a FIB so that its CRC fails, where the FIB-corruption fault hits it; true when it did.
bool DamageFibByFault(const FrameContext& context, uint8_t* fib, size_t index);

}  // namespace rxsim

#endif
