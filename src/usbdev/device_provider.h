// What stands behind the two USB libraries: a provider of devices. The configured provider is
// chosen once per process from the environment (see MakeConfiguredProvider); tests install
// their own.
#ifndef USBDEV_DEVICE_PROVIDER_H
#define USBDEV_DEVICE_PROVIDER_H

#include <cstdint>
#include <memory>
#include <string>

#include "usbdev/usbdev.h"

namespace usbdev {

enum class Library { kSiUSBXp, kKoruDmbMS };

// One opened device: a byte pipe with a receive queue. Results are the SI_* codes.
class UsbDevice {
  public:
    virtual ~UsbDevice() = default;
    // Reads up to wanted bytes, waiting at most timeout_ms for the first (0: no wait).
    // SI_SUCCESS with *got > 0, SI_RX_QUEUE_NOT_READY when nothing came, SI_READ_ERROR when the
    // device is gone.
    virtual int Read(uint8_t* buffer, uint32_t wanted, uint32_t* got, uint32_t timeout_ms) = 0;
    virtual int Write(const uint8_t* data, uint32_t length, uint32_t* written,
                      uint32_t timeout_ms) = 0;
    virtual int Flush(bool transmit, bool receive) = 0;
    // Bytes waiting and the status bits (SI_RX_OVERRUN, SI_RX_READY).
    virtual int CheckRxQueue(uint32_t* queued, uint32_t* status) = 0;
};

class DeviceProvider {
  public:
    virtual ~DeviceProvider() = default;
    // Devices that this library sees now.
    virtual int CountDevices(Library library, uint32_t* count) = 0;
    virtual int Open(Library library, uint32_t index, std::unique_ptr<UsbDevice>* device) = 0;
};

// A provider that never has a device.
class NoDeviceProvider : public DeviceProvider {
  public:
    int CountDevices(Library, uint32_t* count) override;
    int Open(Library, uint32_t, std::unique_ptr<UsbDevice>*) override;
};

// The provider named by the environment:
//   KORU_RECEIVER unset or empty    the emulated receiver of the demo: demo/receiver.conf in
//                                   the program folder;
//   KORU_RECEIVER=none              no receiver at all;
//   KORU_RECEIVER=<path>            the emulated receiver that this receiver.conf describes.
// A receiver.conf that cannot be read gives no receiver (logged). The emulated receiver also
// opens its control socket for rxsimctl.
USBDEV_API std::shared_ptr<DeviceProvider> MakeConfiguredProvider();

// An ETI-NI recording as the air of the emulated receiver, named as on a command line:
// "FILE.eti" (on default_khz) or "FILE.eti@KHZ". The stick is the one KORU_RECEIVER's
// receiver.conf describes (its identity and timings; its own air is replaced), else the demo
// stick; it is installed for this process and opens its control socket for rxsimctl. False
// (with *error) when the argument or the file is not usable: the configured provider stays.
struct RecordingOnAir {
    std::string path;  // absolute
    uint32_t frequency_khz = 0;
};
USBDEV_API bool UseRecordingAsAir(const std::string& argument, uint32_t default_khz,
                                  RecordingOnAir* on_air, std::string* error);
// Installs a provider for this process (null returns to the configured one). Handles opened
// before keep the device they have.
USBDEV_API void SetDeviceProvider(std::shared_ptr<DeviceProvider> provider);
USBDEV_API std::shared_ptr<DeviceProvider> CurrentDeviceProvider();

}  // namespace usbdev

#endif
