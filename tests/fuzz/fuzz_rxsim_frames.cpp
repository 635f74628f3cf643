// Random command frames to the emulated stick through the SI_* operations: no crash, no hang.
// Input: byte 0 chooses a start (bit 0: tune and lock first; bit 1: stream the FIC, else a
// sub-channel; bit 2: faults; bits 3-4: the board, PN3030 + ITD3020, CTX2050 + FC2501 or
// CTX2050 + FNX14701), byte 1 the fault shares; then frames, each a length byte (bit 7: let an
// air frame pass first) and that many bytes.
#include <unistd.h>

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "m4systems/clock.h"
#include "m4systems/log.h"
#include "usbdev/device_provider.h"
#include "usbdev/rxsim/rxsim.h"
#include "usbdev/usbdev.h"

namespace {

enum Board { kPn3030Itd3020, kCtx2050Fc2501, kCtx2050Fnx14701, kBoards };

std::shared_ptr<rxsim::Emulator> MakeBoard(const std::string& chips) {
    rxsim::StickConfig config;
    std::string error;
    std::string eti = std::string(KORU_REFERENCE_DIR) + "/odr-ensemble-a.eti";
    std::string conf = chips + "acquisition 0\nrx-queue 16384\n";
    if (access(eti.c_str(), R_OK) == 0) conf += "air 208736 " + eti + "\n";
    rxsim::ParseReceiverConf(conf, "", &config, &error);
    return std::make_shared<rxsim::Emulator>(config);
}

// Each board is made once; the one chosen is put on the bus.
std::shared_ptr<rxsim::Emulator> TheEmulator(Board board) {
    static const std::vector<std::shared_ptr<rxsim::Emulator>> boards = [] {
        M4_SetClockScale(100.0);
        M4_SetLogLevel(0);
        return std::vector<std::shared_ptr<rxsim::Emulator>>{
            MakeBoard(""), MakeBoard("baseband CTX2050\ntuner FC2501\n"),
            MakeBoard("baseband CTX2050\ntuner FNX14701\n")};
    }();
    usbdev::SetDeviceProvider(boards[board]);
    return boards[board];
}

void Send(USB_HANDLE handle, const uint8_t* frame, uint32_t n) {
    uint32_t done = 0;
    SI_Write(handle, frame, n, &done);
    uint8_t reply[512];
    SI_Read(handle, reply, sizeof reply, &done);
}

void Pn(USB_HANDLE handle, uint8_t reg, uint8_t value) {
    const uint8_t frame[] = {0x21, 0x68, reg, 0x00, 0x01, value};
    Send(handle, frame, sizeof frame);
}

// 208.736 MHz on the 16.384 MHz board: band III, reset, demodulator, synthesiser, output path.
void TuneAndStream(USB_HANDLE handle, bool fic) {
    const uint8_t band[] = {0x11, 0x42}, prepare[] = {0x11, 0x11}, enable[] = {0x11, 0x21};
    Send(handle, band, 2);
    Send(handle, prepare, 2);
    M4_Sleep(60);
    Pn(handle, 0x04, 0x00);
    Pn(handle, 0x10, 0xCB);
    const uint8_t synth[][6] = {{0x75, 0x8D}, {0x82, 0x90}, {0x84, 0x33, 0x88, 0x00, 0xB2, 0x22}};
    const int lengths[] = {2, 2, 6};
    Pn(handle, 0x04, 0x02);
    for (int i = 0; i < 3; ++i) {
        Pn(handle, 0x13, 0x61);
        Pn(handle, 0x16, 0x90);
        Pn(handle, 0x19, static_cast<uint8_t>(lengths[i]));
        for (int j = 0; j < lengths[i]; ++j)
            Pn(handle, static_cast<uint8_t>(0x90 + j), synth[i][j]);
        Pn(handle, 0x1A, 0x11);
    }
    Pn(handle, 0x08, fic ? 0x06 : 0x07);
    Pn(handle, 0xA0, 0x00);
    Pn(handle, 0xA1, 0x00);
    Pn(handle, 0x69, 0x87);
    Pn(handle, 0xB0, 0x80);
    Pn(handle, fic ? 0xB1 : 0xA5, 0x0A);
    Send(handle, enable, 2);
}

void Ctx(USB_HANDLE handle, uint16_t reg, std::initializer_list<uint8_t> values) {
    std::vector<uint8_t> frame = {0x21, static_cast<uint8_t>(reg >> 8), static_cast<uint8_t>(reg),
                                  0x00, static_cast<uint8_t>(values.size())};
    frame.insert(frame.end(), values);
    Send(handle, frame.data(), static_cast<uint32_t>(frame.size()));
}

void Tuner(USB_HANDLE handle, uint8_t reg, uint8_t value) {
    const uint8_t frame[] = {0x31, reg, 0x01, value};
    Send(handle, frame, sizeof frame);
}

// The same on a CTX2050 board, its tuner set by its own frames, and sub-channel 7 of the
// recording (EEP 2-A at CU 96) described on decoder channel 0.
void TuneAndStreamCtx2050(USB_HANDLE handle, Board board, bool fic) {
    const uint8_t band[] = {0x11, 0x42}, prepare[] = {0x11, 0x11}, enable[] = {0x11, 0x21};
    Send(handle, band, 2);
    Send(handle, prepare, 2);
    Ctx(handle, 0x01, {0xF2});
    Ctx(handle, 0x01, {0xF3});
    Ctx(handle, 0x0C, {0x00});
    if (board == kCtx2050Fc2501) {
        const uint8_t writes[][2] = {{0x02, 0x6E}, {0x43, 0x00}, {0x42, 0x00}, {0x41, 0x09},
                                     {0x44, 0x86}, {0x37, 0x61}, {0x37, 0xE1}};
        for (const auto& write : writes)
            Tuner(handle, write[0], write[1]);
    } else {
        const uint8_t writes[][2] = {{0x06, 0xF8}, {0x01, 0x00}, {0x07, 0xD8},
                                     {0x08, 0x00}, {0x09, 0xCB}, {0x0C, 0x01}};
        for (const auto& write : writes)
            Tuner(handle, write[0], write[1]);
    }
    if (fic) {
        Ctx(handle, 0x04, {0x01, 0x00});
    } else {
        for (uint16_t bank = 0; bank < 4; ++bank) {
            Ctx(handle, static_cast<uint16_t>(0x312 + 48 * bank),
                {96, 7 << 2, 96, 0x00, 14 | (21 & 7) << 5, 21 >> 3, 13 | (51 & 7) << 5, 51 >> 3, 0,
                 0, 0, 0});
        }
        Ctx(handle, 0x310, {0x01});
        Ctx(handle, 0xC3, {0x87});
        Ctx(handle, 0x311, {0x01});
        Ctx(handle, 0x311, {0x00});
        Ctx(handle, 0xF0, {0x03});
        Ctx(handle, 0xF1, {0x47});
        Ctx(handle, 0x04, {0x80, 0x00});
    }
    Send(handle, enable, 2);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const Board board = size >= 1 && ((data[0] >> 3) & 0x03) < kBoards
                            ? static_cast<Board>((data[0] >> 3) & 0x03)
                            : kPn3030Itd3020;
    std::shared_ptr<rxsim::Emulator> emulator = TheEmulator(board);
    emulator->Pull();
    emulator->Plug();
    emulator->ClearFaults();
    USB_HANDLE handle = nullptr;
    if (SI_Open(0, &handle) != SI_SUCCESS) __builtin_trap();
    SI_SetTimeouts(0, 0);
    size_t at = 0;
    if (size >= 2) {
        if (data[0] & 0x04) {
            emulator->SetFibCorruption((data[1] & 0x0F) / 15.0);
            emulator->SetPacketCorruption((data[1] >> 4) / 15.0);
            emulator->SetFirmwareControlByte(true);
            emulator->SetHardwareIdSilent(true);
        }
        const bool fic = (data[0] & 0x02) != 0;
        if ((data[0] & 0x01) != 0) {
            if (board == kPn3030Itd3020) {
                TuneAndStream(handle, fic);
            } else {
                TuneAndStreamCtx2050(handle, board, fic);
            }
        }
        at = 2;
    }
    while (at < size) {
        size_t n = data[at] & 0x7F;
        if (data[at] & 0x80) M4_Sleep(24);
        ++at;
        if (n > size - at) n = size - at;
        Send(handle, data + at, static_cast<uint32_t>(n));
        uint32_t queued = 0, status = 0;
        SI_CheckRXQueue(handle, &queued, &status);
        if (status & SI_RX_OVERRUN) SI_FlushBuffers(handle, 1, 1);
        at += n;
    }
    SI_Close(handle);
    return 0;
}
