// The USB link to the receiver stick: the choice of device library, opening the device, the
// framing of register, tuner and control commands, the batch write, the receive-queue check and
// the raw stream read. Chip drivers reach the stick only through the two operation tables
// (RegisterBus, TunerBus) and the BBM_* primitives over them.
#ifndef RXMOD_BB_IF_H
#define RXMOD_BB_IF_H

#include <cstdint>
#include <initializer_list>
#include <span>

#include "usbdev/usbdev.h"

// Register access of the baseband. Results: 0, or a negative result code.
struct RegisterBus {
    int (*Read)(uint16_t address, uint8_t* buffer, int count);
    int (*Write)(uint16_t address, const uint8_t* buffer, int count);
};

// The tuner behind the baseband.
struct TunerBus {
    int (*ByteRead)(uint8_t reg, uint8_t* value);
    int (*ByteWrite)(uint8_t reg, uint8_t value);
    // Writes count bytes from reg on, then pauses (count ms on the link's own bus).
    int (*WriteAndWait)(uint8_t reg, const uint8_t* data, int count);
    int (*BatchWrite)(const uint8_t* payload, int length);
};

// The tables in force (the receiver's); a baseband driver may replace them at bring-up.
RegisterBus& BB_RegisterBus();
TunerBus& BB_TunerBus();
// The link's own implementations of both tables, and their installation.
RegisterBus BB_Ifce_RegisterBus();
TunerBus BB_Ifce_TunerBus();
void BB_Ifce_InstallBuses();

// The link (part of the receiver, see receiver.h): the library chosen and the one open handle,
// which remembers the library that opened it.
namespace usbdev {
struct UsbOps;
}
constexpr int kBackendSiUSBXp = 1;
constexpr int kBackendKoruDmbMS = 0;
struct LinkState {
    int backend = kBackendKoruDmbMS;  // also the choice when no library sees a device
    USB_HANDLE handle = nullptr;
    const usbdev::UsbOps* handle_ops = nullptr;
};

// Which library carries the link: 1 SiUSBXp, 0 KoruDmbMS (as chosen by BB_API_GetUSBApi).
int BB_Ifce_GetBackend();

// Opening and closing. Connect: 0 or BB_ERR_NO_DEVICE. Disconnect: always 0.
int BB_Ifce_Connect();
int BB_Ifce_Disconnect();
// Flushes both directions: 0, or BB_ERR_NO_DEVICE when closed or when the flush fails.
int BB_Ifce_Flush();
// 0 when a handle is open and the library still counts a device, else -1.
int BB_Ifce_DevicePresent();
bool BB_Ifce_IsOpen();

// Bytes waiting in the receive queue: 0, BB_ERR_NO_DEVICE (also when nothing is queued and the
// stick is gone) or BB_ERR_RX_QUEUE_OVERRUN (then *queued is 0).
int BB_Ifce_CheckRXQueue(uint32_t* queued);
// Reads what is queued of the unasked stream, without waiting.
int BB_Ifce_ReadStream(uint8_t* buffer, uint32_t wanted, uint32_t* got);

// Framed register access at a 16-bit address, split into frames of at most 59 data bytes.
// 0, or -1 after a failed transfer or with the link closed.
int BB_Ifce_RegRead(uint16_t address, uint8_t* buffer, int count);
int BB_Ifce_RegWrite(uint16_t address, const uint8_t* buffer, int count);
// Framed tuner access through the stick, at most 61 data bytes per frame; results as above.
int BB_Ifce_TunerRead(uint8_t reg, uint8_t* buffer, int count);
int BB_Ifce_TunerWrite(uint8_t reg, const uint8_t* buffer, int count);
// Up to 62 payload bytes in one frame, then a pause of length ms.
int BB_Ifce_BatchWrite(const uint8_t* payload, int length);

// Identification queries. The hardware id is 15 when the stick gives none.
int BB_Ifce_GetHardwareId(uint8_t* id);
// Reads up to 255 bytes of text into text (room for 256), NUL-terminated after what came.
int BB_Ifce_GetFirmwareId(char* text);

// The 0x11 control commands: 0, or BB_ERR_NO_DEVICE when closed or the write fails.
int BB_Ifce_SetBand(double frequency_mhz);  // 0x42 below 245 MHz, 0x43 from 245 MHz on
int BB_Ifce_DebugTextOn();
int BB_Ifce_DebugTextOff();
int BB_Ifce_StreamEnable();
int BB_Ifce_StreamDisable();
int BB_Ifce_PN3030Prepare();  // includes its 100 ms pause

// A pause the stick needs (terminal clock). Every prescribed pause of the receiver goes through
// here so that its sum can be measured. A thread that was asked to stop (below) does not pause.
void BB_Pause(uint32_t ms);

// Milliseconds paused through BB_Pause since the process started.
uint64_t BB_PausedMs();

// The stop request of the calling thread: while asked(user) answers true, BB_Pause returns at
// once and the lock wait of a tune gives up, so that a thread asked to stop does not sit out the
// receiver's waits (each USB transfer stays bounded by its own timeout). Null removes it.
void BB_SetStopCheck(bool (*asked)(void* user), void* user);
bool BB_StopAsked();

// The drivers' register primitives over RegisterBus; any failure becomes BB_ERR_NO_DEVICE.
// 16-bit values travel low byte first.
int BBM_BYTE_READ(uint16_t address, uint8_t* value);
int BBM_WORD_READ(uint16_t address, uint16_t* value);
int BBM_BYTE_WRITE(uint16_t address, uint8_t value);
int BBM_WORD_WRITE(uint16_t address, uint16_t value);
int BBM_BULK_WRITE(uint16_t address, const uint8_t* data, int count);

// The drivers' register accesses with their failures logged under the driver's source name
// ("BBM_BYTE_WRITE() error", "BBM_BYTE_READ() error", "BBM_WORD_WRITE() error",
// "BBM_WORD_READ() error", "BBM_BULK_WRITE() error") and returned.
int BBM_LoggedByteRead(const char* source, uint16_t address, uint8_t* value);
int BBM_LoggedByteWrite(const char* source, uint16_t address, uint8_t value);
int BBM_LoggedWordRead(const char* source, uint16_t address, uint16_t* value);
int BBM_LoggedWordWrite(const char* source, uint16_t address, uint16_t value);
int BBM_LoggedBulkWrite(const char* source, uint16_t address, const uint8_t* data, int count);

// A register and the value written to it.
struct RegValue {
    uint16_t reg;
    uint8_t value;
};
// Byte writes in order; the first that fails stops the sequence and is returned.
int BBM_WriteSequence(const char* source, std::span<const RegValue> writes);
int BBM_WriteSequence(const char* source, std::initializer_list<RegValue> writes);
// Reads a register, keeps the bits of keep, sets the bits of set and writes it back.
int BBM_Modify(const char* source, uint16_t address, uint8_t keep, uint8_t set);

// A tuner register and the value written to it.
struct TunerRegValue {
    uint8_t reg;
    uint8_t value;
};
// Byte writes through the tuner bus in order; the first that fails ends the list and is
// returned.
int BB_TunerWriteSequence(std::span<const TunerRegValue> writes);
int BB_TunerWriteSequence(std::initializer_list<TunerRegValue> writes);

#endif
