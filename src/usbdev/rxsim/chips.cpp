#include "usbdev/rxsim/chips.h"

#include "usbdev/rxsim/ctx2050.h"
#include "usbdev/rxsim/fc2501.h"
#include "usbdev/rxsim/fnx14701.h"
#include "usbdev/rxsim/itd3020.h"
#include "usbdev/rxsim/pn3030.h"

namespace rxsim {

bool IsEmulatedBaseband(const std::string& name) {
    return name == "PN3030" || name == "CTX2050";
}

bool IsEmulatedTuner(const std::string& name) {
    return name == "ITD3020" || name == "ITD3010" || name == "FC2501" || name == "FNX14701";
}

double DefaultTunerClock(const std::string& baseband) {
    return baseband == "CTX2050" ? 24.576 : 16.384;
}

std::unique_ptr<Tuner> MakeTuner(const std::string& name, double clock_mhz,
                                 std::optional<uint8_t> chip_id) {
    if (name == "ITD3020" || name == "ITD3010") {
        return std::make_unique<Itd3020>(name, clock_mhz, chip_id.value_or(Itd3020::kChipId));
    }
    if (name == "FC2501")
        return std::make_unique<Fc2501>(clock_mhz, chip_id.value_or(Fc2501::kChipId));
    if (name == "FNX14701") return std::make_unique<Fnx14701>();
    return nullptr;
}

std::unique_ptr<Baseband> MakeBaseband(const std::string& name, I2cBus* bus,
                                       std::optional<uint8_t> chip_id) {
    if (name == "PN3030") return std::make_unique<Pn3030>(bus, chip_id.value_or(Pn3030::kChipId));
    if (name == "CTX2050") return std::make_unique<Ctx2050>();
    return nullptr;
}

}  // namespace rxsim
