/* The two USB device libraries of the receiver, with the same eight operations each: the
 * SiUSBXp set (SI_*) and the KoruDmbMS set (DI_*). Both sit on one device provider (see
 * device_provider.h), which decides which library sees which device. */
#ifndef USBDEV_USBDEV_H
#define USBDEV_USBDEV_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define USBDEV_API __attribute__((visibility("default")))

/* Results. */
#define SI_SUCCESS 0x00
#define SI_INVALID_HANDLE 0x01
#define SI_READ_ERROR 0x02         /* the device failed (pulled) */
#define SI_RX_QUEUE_NOT_READY 0x03 /* nothing to read: not an error */
#define SI_WRITE_ERROR 0x04
#define SI_INVALID_PARAMETER 0x06
#define SI_DEVICE_IO_FAILED 0x08
#define SI_DEVICE_NOT_FOUND 0xFF

/* Receive queue status bits. */
#define SI_RX_OVERRUN 0x01
#define SI_RX_READY 0x02

typedef struct UsbHandle* USB_HANDLE;

USBDEV_API int SI_GetNumDevices(uint32_t* count);
USBDEV_API int SI_Open(uint32_t index, USB_HANDLE* handle);
USBDEV_API int SI_Close(USB_HANDLE handle);
USBDEV_API int SI_Read(USB_HANDLE handle, void* buffer, uint32_t wanted, uint32_t* got);
USBDEV_API int SI_Write(USB_HANDLE handle, const void* buffer, uint32_t length, uint32_t* written);
USBDEV_API int SI_FlushBuffers(USB_HANDLE handle, uint8_t transmit, uint8_t receive);
/* Process-wide for this library; applies to every later read and write. */
USBDEV_API int SI_SetTimeouts(uint32_t read_ms, uint32_t write_ms);
USBDEV_API int SI_CheckRXQueue(USB_HANDLE handle, uint32_t* queued, uint32_t* status);

USBDEV_API int DI_GetNumDevices(uint32_t* count);
USBDEV_API int DI_Open(uint32_t index, USB_HANDLE* handle);
USBDEV_API int DI_Close(USB_HANDLE handle);
USBDEV_API int DI_Read(USB_HANDLE handle, void* buffer, uint32_t wanted, uint32_t* got);
USBDEV_API int DI_Write(USB_HANDLE handle, const void* buffer, uint32_t length, uint32_t* written);
USBDEV_API int DI_FlushBuffers(USB_HANDLE handle, uint8_t transmit, uint8_t receive);
USBDEV_API int DI_SetTimeouts(uint32_t read_ms, uint32_t write_ms);
USBDEV_API int DI_CheckRXQueue(USB_HANDLE handle, uint32_t* queued, uint32_t* status);

#ifdef __cplusplus
}
#endif

#endif
