// The host side of the tests: raw command frames to the emulated stick through the SI_* or
// DI_* operations, and the stream cut into packets. Of the plug-in only the tuner driver's
// synthesiser choice is used, so that the sub-band table is not typed out once more.
#ifndef KORU_TESTS_UNIT_RXSIM_STICK_CLIENT_H
#define KORU_TESTS_UNIT_RXSIM_STICK_CLIENT_H

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "m4systems/clock.h"
#include "rxmod/itd3020/itd3020.h"
#include "support/temp_dir.h"
#include "usbdev/rxsim/rxsim.h"
#include "usbdev/usb_ops.h"
#include "usbdev/usbdev.h"

namespace koru::test {

using Bytes = std::vector<uint8_t>;

using usbdev::UsbOps;

struct Packet {
    uint8_t id;
    Bytes payload;
};

// The register values the ITD driver writes for rf_mhz, with the clock it believes in: the
// driver's own synthesiser choice (sub-band, N, F) laid out in the chip's registers.
struct ItdSynth {
    uint8_t r75, r82, r84, r85, r86, r87, r88;
    int row;
};

inline ItdSynth ItdSynthFor(double rf_mhz, double clock_mhz) {
    const ItdSynthesiser synth = ITD3020_Synthesiser(rf_mhz, clock_mhz);
    const int pump[] = {0, 1, 2, 6};
    const auto n = static_cast<uint32_t>(synth.n);
    const auto f = static_cast<uint32_t>(synth.f);
    const bool l_band = rf_mhz > 1000;
    ItdSynth s;
    s.row = synth.row;
    s.r75 = static_cast<uint8_t>(synth.band_code | 0x80);
    s.r82 = static_cast<uint8_t>(((synth.vco_select * 4) | synth.divider) * 16);
    s.r84 = n & 0xFF;
    s.r85 = l_band ? static_cast<uint8_t>(pump[synth.divider] * 8 | ((n >> 8) & 3) | 4)
                   : static_cast<uint8_t>(((pump[synth.divider] | 0xF0) * 8) | ((n >> 8) & 3));
    s.r86 = f & 0xFF;
    s.r87 = (f >> 8) & 0xFF;
    s.r88 = static_cast<uint8_t>(((f >> 16) & 0x0F) | 0x20);
    return s;
}

// An emulator installed as this process's provider, with a receiver.conf of the test's own.
class EmulatorFixture : public ::testing::Test {
  protected:
    void SetUp() override { M4_SetClockScale(10.0); }
    void TearDown() override {
        CloseStick();
        usbdev::SetDeviceProvider(nullptr);
        emulator_.reset();
    }

    // Installs an emulator for the conf text (ETI paths relative to the temp folder).
    void Install(const std::string& conf) {
        rxsim::StickConfig config;
        std::string error;
        ASSERT_TRUE(rxsim::ParseReceiverConf(conf, folder_.str(), &config, &error)) << error;
        emulator_ = std::make_shared<rxsim::Emulator>(config);
        usbdev::SetDeviceProvider(emulator_);
        ops_ = &usbdev::OpsOf(config.library);
    }

    void OpenStick() {
        ASSERT_EQ(ops_->Open(0, &handle_), SI_SUCCESS);
        ops_->SetTimeouts(200, 200);
    }
    // As a host does before it opens again (a pulled stick's handle too).
    void CloseStick() {
        if (handle_ != nullptr) ops_->Close(handle_);
        handle_ = nullptr;
    }

    int Write(const Bytes& frame) {
        uint32_t written = 0;
        int result =
            ops_->Write(handle_, frame.data(), static_cast<uint32_t>(frame.size()), &written);
        if (result == SI_SUCCESS) {
            EXPECT_EQ(written, frame.size());
        }
        return result;
    }

    // One read as the host makes it after a command.
    Bytes Read(uint32_t wanted, int* result = nullptr) {
        Bytes buffer(wanted);
        uint32_t got = 0;
        int r = ops_->Read(handle_, buffer.data(), wanted, &got);
        if (result != nullptr) *result = r;
        buffer.resize(got);
        return buffer;
    }

    void RegisterWrite(uint16_t address, const Bytes& data) {
        Bytes frame = {0x21, static_cast<uint8_t>(address >> 8), static_cast<uint8_t>(address),
                       static_cast<uint8_t>(data.size() >> 8), static_cast<uint8_t>(data.size())};
        frame.insert(frame.end(), data.begin(), data.end());
        ASSERT_EQ(Write(frame), SI_SUCCESS);
    }
    Bytes RegisterRead(uint16_t address, uint16_t count) {
        Bytes frame = {0x22, static_cast<uint8_t>(address >> 8), static_cast<uint8_t>(address),
                       static_cast<uint8_t>(count >> 8), static_cast<uint8_t>(count)};
        EXPECT_EQ(Write(frame), SI_SUCCESS);
        return Read(count);
    }
    void Pn(uint8_t reg, uint8_t value) { RegisterWrite(0x6800 | reg, {value}); }
    uint8_t PnRead(uint8_t reg) {
        Bytes value = RegisterRead(0x6800 | reg, 1);
        return value.size() == 1 ? value[0] : 0xEE;
    }
    void Control(uint8_t what) { ASSERT_EQ(Write({0x11, what}), SI_SUCCESS); }

    // The tuner behind the PN3030's I2C master, as the PN3030 driver reaches it.
    void TunerWrite(uint8_t reg, const Bytes& values) {
        Pn(0x04, 0x02);
        Pn(0x13, 0x61);
        Pn(0x18, 0x06);
        Pn(0x15, 0x01);
        Pn(0x19, static_cast<uint8_t>(values.size() + 1));
        Pn(0x16, 0x90);
        Bytes buffer = {reg};
        buffer.insert(buffer.end(), values.begin(), values.end());
        RegisterWrite(0x6890, buffer);
        Pn(0x1A, 0x11);
    }
    uint8_t TunerRead(uint8_t reg, uint8_t bus_address = 0x61) {
        Pn(0x04, 0x02);
        Pn(0x13, bus_address);
        Pn(0x14, reg);
        Pn(0x18, 0x12);
        Pn(0x15, 0x00);
        Pn(0x19, 0x01);
        Pn(0x16, 0x90);
        Pn(0x1A, 0x35);
        M4_Sleep(1);
        return PnRead(0x90);
    }

    // Baseband reset and demodulator start, band switch, synthesiser: a tune, reduced to what
    // decides the frequency.
    void Tune(double rf_mhz, double clock_mhz = 16.384) {
        Control(rf_mhz >= 245.0 ? 0x43 : 0x42);
        Control(0x11);
        M4_Sleep(100);
        Pn(0x04, 0x00);
        Pn(0x10, 0x4A);
        Pn(0x10, 0xCB);
        ProgramSynth(ItdSynthFor(rf_mhz, clock_mhz));
    }
    void ProgramSynth(const ItdSynth& s) {
        TunerWrite(0x75, {s.r75});
        TunerWrite(0x82, {s.r82});
        TunerWrite(0x84, {s.r84, s.r85, s.r86, s.r87, s.r88});
    }
    // The PN3030 lock check: locked when status 1 is not 0xFF and status 2 has bit 4.
    bool Locked() {
        Pn(0x04, 0x02);
        uint8_t status1 = PnRead(0xD5);
        uint8_t status2 = PnRead(0xD6);
        return status1 != 0xFF && (status2 & 0x10) != 0;
    }
    // Polls the lock as the host does (every 50 ms); the terminal time it took, or -1.
    int WaitForLock(int limit_ms = 2000) {
        uint32_t start = M4_GetSysClock();
        for (;;) {
            if (Locked()) return static_cast<int>(M4_GetSysClock() - start);
            if (M4_GetSysClock() - start > static_cast<uint32_t>(limit_ms)) return -1;
            M4_Sleep(50);
        }
    }

    // Output paths as the PN3030 driver starts them (bank 2), then the firmware stream switch.
    void StartFic() {
        ASSERT_EQ(ops_->FlushBuffers(handle_, 1, 1), SI_SUCCESS);
        Pn(0x04, 0x02);
        Pn(0x1C, 0x0F);
        Pn(0xB9, 0x30);
        Pn(0x08, 0x06);
        Pn(0xA0, PnRead(0xA0) & ~0x01);
        Pn(0xA1, PnRead(0xA1) & ~0x01);
        for (uint8_t v : {0x80, 0x04, 0x0A})
            Pn(0xB1, v);
        Control(0x21);
    }
    void StartService(int subchannel, bool video = false) {
        ASSERT_EQ(ops_->FlushBuffers(handle_, 1, 1), SI_SUCCESS);
        Pn(0x04, 0x02);
        Pn(0x1C, 0x0F);
        Pn(0xB9, 0x30);
        Pn(0x08, 0x07);
        Pn(video ? 0x67 : 0x69, static_cast<uint8_t>(subchannel | 0x80));
        Pn(0xB0, video ? 0x81 : 0x80);
        Pn(0xA0, PnRead(0xA0) & 0x1F);
        Pn(0xA1, PnRead(0xA1) & 0x1F);
        const uint8_t writes[][2] = {{0xA4, 0x2F}, {0xD0, 0x00}, {0xD9, 0x2F}, {0xDA, 0x00},
                                     {0xA5, 0x00}, {0xA5, 0x80}, {0xA5, 0x04}, {0xA5, 0x0A}};
        for (const auto& write : writes)
            Pn(write[0], write[1]);
        Control(0x21);
    }
    void StopService() {
        Pn(0x04, 0x02);
        Control(0x22);
        M4_Sleep(100);
        ops_->FlushBuffers(handle_, 1, 1);
        for (uint8_t v : {0x00, 0x80, 0x04})
            Pn(0xA5, v);
        Pn(0xA0, PnRead(0xA0) | 0xE0);
        Pn(0xA1, PnRead(0xA1) | 0xE0);
        Pn(0x69, 0x00);
        Pn(0x67, 0x00);
        Pn(0xB0, 0x00);
    }

    // Reads the stream for ms of terminal time (timeouts 0, as the host's stream reads) and
    // cuts it into packets; a packet still incomplete at the end is dropped.
    std::vector<Packet> ReadPackets(uint32_t ms) {
        ops_->SetTimeouts(0, 0);
        Bytes stream;
        uint32_t start = M4_GetSysClock();
        while (M4_GetSysClock() - start < ms) {
            uint8_t chunk[4096];
            uint32_t got = 0;
            if (ops_->Read(handle_, chunk, sizeof chunk, &got) == SI_SUCCESS) {
                stream.insert(stream.end(), chunk, chunk + got);
            } else {
                M4_Sleep(10);
            }
        }
        ops_->SetTimeouts(200, 200);
        return CutIntoPackets(stream);
    }
    // The packets of stream bytes; a packet still incomplete at the end is dropped.
    static std::vector<Packet> CutIntoPackets(const Bytes& stream) {
        std::vector<Packet> packets;
        size_t at = 0;
        while (at + 4 <= stream.size()) {
            size_t length = stream[at + 2] | stream[at + 3] << 8;
            if (at + 4 + length > stream.size()) break;
            packets.push_back(
                {stream[at], Bytes(stream.begin() + at + 4, stream.begin() + at + 4 + length)});
            at += 4 + length;
        }
        return packets;
    }

    TempDir folder_;
    std::shared_ptr<rxsim::Emulator> emulator_;
    const UsbOps* ops_ = &usbdev::kSiUSBXpOps;
    USB_HANDLE handle_ = nullptr;
};

// The signal value the host computes from a signal report's code x.
inline double SignalValueOfCode(int x) {
    if (x >= 1 && x <= 14) return 33.44;
    if (x > 160) return 5.44;
    return 100.0 / (std::sqrt(x) - std::pow(std::log10(x), 2)) - 5 - 1.56;
}

}  // namespace koru::test

#endif
