// The chip models the emulator has, by the names the firmware text uses. A new chip is one
// model file and one line in chips.cpp.
#ifndef USBDEV_RXSIM_CHIPS_H
#define USBDEV_RXSIM_CHIPS_H

#include <memory>
#include <string>

namespace rxsim {

class Baseband;
class Tuner;
class I2cBus;

bool IsEmulatedBaseband(const std::string& name);
bool IsEmulatedTuner(const std::string& name);
// The reference clock a baseband's board feeds its tuner with, in MHz.
double DefaultTunerClock(const std::string& baseband);

std::unique_ptr<Tuner> MakeTuner(const std::string& name, double clock_mhz);
std::unique_ptr<Baseband> MakeBaseband(const std::string& name, I2cBus* bus);

}  // namespace rxsim

#endif
