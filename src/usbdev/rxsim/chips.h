// The chip models the emulator has, by the names the firmware text uses. A new chip is one
// model file and one line in chips.cpp.
#ifndef USBDEV_RXSIM_CHIPS_H
#define USBDEV_RXSIM_CHIPS_H

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace rxsim {

class Baseband;
class Tuner;
class I2cBus;

bool IsEmulatedBaseband(const std::string& name);
bool IsEmulatedTuner(const std::string& name);
// The reference clock a baseband's board feeds its tuner with, in MHz.
double DefaultTunerClock(const std::string& baseband);

// The chips, answering their own ids unless another id is given.
std::unique_ptr<Tuner> MakeTuner(const std::string& name, double clock_mhz,
                                 std::optional<uint8_t> chip_id = std::nullopt);
std::unique_ptr<Baseband> MakeBaseband(const std::string& name, I2cBus* bus,
                                       std::optional<uint8_t> chip_id = std::nullopt);

}  // namespace rxsim

#endif
