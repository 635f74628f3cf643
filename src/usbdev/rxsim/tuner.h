// A tuner chip on the board's I2C bus. The stick learns the frequency it receives only from the
// tuner's synthesiser registers, as the chip itself would produce it.
#ifndef USBDEV_RXSIM_TUNER_H
#define USBDEV_RXSIM_TUNER_H

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace rxsim {

class Tuner {
  public:
    virtual ~Tuner() = default;
    virtual uint8_t bus_address() const = 0;  // 7-bit I2C address
    virtual void Reset() = 0;                 // power-on values
    // One I2C write transaction: bytes[0] selects the register, the rest are written from it
    // on (the register pointer advances). n == 0 is an address-only probe.
    virtual void I2cWrite(const uint8_t* bytes, size_t n) = 0;
    // One I2C read transaction from the register pointer on (it advances).
    virtual void I2cRead(uint8_t* out, size_t n) = 0;
    // The RF frequency in MHz that reaches the baseband at its intermediate frequency, or
    // nothing while the synthesiser cannot lock (unprogrammed, or the VCO band misses).
    virtual std::optional<double> ReceivedMHz() const = 0;
    virtual std::string Name() const = 0;
};

// The board's I2C bus: the tuner answers at its address, nobody else does.
class I2cBus {
  public:
    explicit I2cBus(Tuner* tuner) : tuner_(tuner) {}
    // false when nobody acknowledged the address.
    bool Write(uint8_t address, const uint8_t* bytes, size_t n) {
        if (tuner_ == nullptr || address != tuner_->bus_address()) return false;
        tuner_->I2cWrite(bytes, n);
        return true;
    }
    // Without an acknowledge the data lines stay high: every byte reads 0xFF.
    bool Read(uint8_t address, uint8_t* out, size_t n) {
        if (tuner_ == nullptr || address != tuner_->bus_address()) {
            for (size_t i = 0; i < n; ++i)
                out[i] = 0xFF;
            return false;
        }
        tuner_->I2cRead(out, n);
        return true;
    }
    Tuner* tuner() const { return tuner_; }

  private:
    Tuner* tuner_;
};

}  // namespace rxsim

#endif
