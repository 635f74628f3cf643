#include "usbdev/rxsim/chips.h"

#include "usbdev/rxsim/itd3020.h"
#include "usbdev/rxsim/pn3030.h"

namespace rxsim {

bool IsEmulatedBaseband(const std::string& name) {
    return name == "PN3030";
}

bool IsEmulatedTuner(const std::string& name) {
    return name == "ITD3020" || name == "ITD3010";
}

double DefaultTunerClock(const std::string& baseband) {
    return baseband == "CTX2050" ? 24.576 : 16.384;
}

std::unique_ptr<Tuner> MakeTuner(const std::string& name, double clock_mhz) {
    if (name == "ITD3020" || name == "ITD3010") return std::make_unique<Itd3020>(name, clock_mhz);
    return nullptr;
}

std::unique_ptr<Baseband> MakeBaseband(const std::string& name, I2cBus* bus) {
    if (name == "PN3030") return std::make_unique<Pn3030>(bus);
    return nullptr;
}

}  // namespace rxsim
