// A device provider with nothing on the bus: no receiver at all.
#ifndef KORU_TESTS_SUPPORT_NO_STICK_H
#define KORU_TESTS_SUPPORT_NO_STICK_H

#include <memory>

#include "usbdev/device_provider.h"
#include "usbdev/usbdev.h"

namespace koru::test {

class NoStick : public usbdev::DeviceProvider {
  public:
    int CountDevices(usbdev::Library, uint32_t* count) override {
        *count = 0;
        return SI_SUCCESS;
    }
    int Open(usbdev::Library, uint32_t, std::unique_ptr<usbdev::UsbDevice>*) override {
        return SI_DEVICE_NOT_FOUND;
    }
};

}  // namespace koru::test

#endif
