// The eight operations of each device library as a table, for code that works with either.
#ifndef USBDEV_USB_OPS_H
#define USBDEV_USB_OPS_H

#include "usbdev/device_provider.h"
#include "usbdev/usbdev.h"

namespace usbdev {

struct UsbOps {
    int (*GetNumDevices)(uint32_t* count);
    int (*Open)(uint32_t index, USB_HANDLE* handle);
    int (*Close)(USB_HANDLE handle);
    int (*Read)(USB_HANDLE handle, void* buffer, uint32_t wanted, uint32_t* got);
    int (*Write)(USB_HANDLE handle, const void* buffer, uint32_t length, uint32_t* written);
    int (*FlushBuffers)(USB_HANDLE handle, uint8_t transmit, uint8_t receive);
    int (*SetTimeouts)(uint32_t read_ms, uint32_t write_ms);
    int (*CheckRXQueue)(USB_HANDLE handle, uint32_t* queued, uint32_t* status);
};

inline const UsbOps kSiUSBXpOps{SI_GetNumDevices, SI_Open,         SI_Close,       SI_Read,
                                SI_Write,         SI_FlushBuffers, SI_SetTimeouts, SI_CheckRXQueue};
inline const UsbOps kKoruDmbMSOps{DI_GetNumDevices, DI_Open,        DI_Close,
                                  DI_Read,          DI_Write,       DI_FlushBuffers,
                                  DI_SetTimeouts,   DI_CheckRXQueue};

inline const UsbOps& OpsOf(Library library) {
    return library == Library::kSiUSBXp ? kSiUSBXpOps : kKoruDmbMSOps;
}

}  // namespace usbdev

#endif
