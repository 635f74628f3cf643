// The CTX2050 board behind the firmware's frames: set-up and lock, and a sub-channel streamed
// only while a decoder channel's descriptor matches where and how the air carries it. On the
// reference recording: sub-channel 3 at CU 0 (UEP index 35), 7 at CU 96 (EEP 2-A, 96 kbit/s).
// Video through the outer decoder is checked on the demo air, with the plug-in
// (integration.stream.Boards).
#include "dab/crc.h"
#include "dab/eti.h"
#include "stick_client.h"
#include "support/environment.h"

namespace koru::test {
namespace {

// Descriptors: sub-channel 7 as EEP 2-A, n = 12: L1 21, PI1 14, L2 51, PI2 13.
const Bytes kSub7 = {96, 7 << 2, 96, 0x00, 14 | (21 & 7) << 5, 21 >> 3, 13 | (51 & 7) << 5, 51 >> 3,
                     0,  0,      0,  0};
// Sub-channel 3 as UEP index 35 (96 CU; L 11 22 60 3, PI 16 9 6 10, 4 padding bits).
const Bytes kSub3 = {0,
                     3 << 2,
                     96,
                     0x80,
                     16 | (11 & 7) << 5,
                     11 >> 3,
                     9 | (22 & 7) << 5,
                     22 >> 3,
                     6 | (60 & 7) << 5,
                     60 >> 3,
                     10 | 3 << 5,
                     4 << 4};

class Ctx2050BoardTest : public EmulatorFixture {
  protected:
    void SetUp() override {
        EmulatorFixture::SetUp();
        eti_ = ReferenceEti();
        if (eti_.empty()) GTEST_SKIP() << "the reference recording is not beside this checkout";
        Install("baseband CTX2050\ntuner FC2501\nacquisition 300\nair 208736 " + eti_.string() +
                "\n");
        OpenStick();
    }

    void Ctx(uint16_t reg, uint8_t value) { RegisterWrite(reg, {value}); }
    uint8_t CtxRead(uint16_t reg) {
        const Bytes value = RegisterRead(reg, 1);
        return value.size() == 1 ? value[0] : 0xEE;
    }
    void Tuner(uint8_t reg, uint8_t value) { ASSERT_EQ(Write({0x31, reg, 1, value}), SI_SUCCESS); }

    // The FC2501 at 208.736 MHz, as its driver sets it behind a CTX2050.
    void TuneTuner() {
        Control(0x42);
        const uint8_t writes[][2] = {{0x02, 0x6E}, {0x43, 0x00}, {0x42, 0x00}, {0x41, 0x09},
                                     {0x44, 0x86}, {0x37, 0x61}, {0x37, 0xE1}};
        for (const auto& write : writes)
            Tuner(write[0], write[1]);
    }
    // What the drivers make of a tune, reduced to what decides the reception.
    void Tune() {
        Ctx(0x01, 0xF2);
        Ctx(0x01, 0xF3);
        Ctx(0x0C, 0x00);
        TuneTuner();
    }
    int WaitForLock() {
        const uint32_t start = M4_GetSysClock();
        while (CtxRead(0x98) != 0x1F) {
            if (M4_GetSysClock() - start > 2000) return -1;
            M4_Sleep(50);
        }
        return static_cast<int>(M4_GetSysClock() - start);
    }
    // Decoder channel d takes descriptor in all four banks (or a different one in the last).
    // Only writes: while the stream runs, a read's reply would queue behind stream bytes.
    void Describe(int d, const Bytes& descriptor, bool banks_alike = true) {
        for (int bank = 0; bank < 4; ++bank) {
            Bytes bytes = descriptor;
            if (bank == 3 && !banks_alike) bytes[2] ^= 1;
            RegisterWrite(static_cast<uint16_t>(0x312 + 12 * d + 48 * bank), bytes);
        }
        enabled_ = static_cast<uint8_t>(enabled_ | 1 << d);
        Ctx(0x310, enabled_);
        Ctx(0x311, 1);
        Ctx(0x311, 0);
    }
    void Route(uint8_t type, int subchid) {
        Ctx(0xF0, type);
        Ctx(0xF1, static_cast<uint8_t>(subchid | 0x40));
        RegisterWrite(0x04, {0x80, 0x00});
        Control(0x21);
    }
    // The sub-channel's frames on the air.
    std::vector<Bytes> AirFrames(int subchid) {
        std::vector<Bytes> frames;
        auto reader = dab::EtiReader::Open(eti_);
        dab::EtiFrame frame;
        while (reader && reader->Next(&frame)) {
            if (const dab::EtiStream* stream = frame.FindStream(subchid)) {
                frames.push_back(stream->data);
            }
        }
        return frames;
    }
    // The packets of the next ms, without what was queued before.
    std::vector<Packet> Next(uint32_t ms) {
        ops_->FlushBuffers(handle_, 1, 1);
        return ReadPackets(ms);
    }
    std::vector<Packet> Service(const std::vector<Packet>& packets) {
        std::vector<Packet> service;
        for (const Packet& packet : packets) {
            if (packet.id == 3) service.push_back(packet);
        }
        return service;
    }

    std::filesystem::path eti_;
    uint8_t enabled_ = 0;
};

TEST_F(Ctx2050BoardTest, LocksOnceSetUpAndReleasedAndKeepsItsSetUp) {
    EXPECT_EQ(CtxRead(0x0C), 0x0F) << "blocks in standby from power-on";
    TuneTuner();
    EXPECT_NEAR(emulator_->Status().tuned_mhz.value_or(0), 208.736, 0.0005);
    Ctx(0x01, 0xF3);
    EXPECT_EQ(WaitForLock(), -1) << "still in standby";
    Ctx(0x0C, 0x00);
    EXPECT_GE(WaitForLock(), 0);
    // The core's reset restarts sync; the preparation pulse keeps the set-up.
    Ctx(0x01, 0xF2);
    EXPECT_EQ(CtxRead(0x98), 0x00);
    Control(0x11);
    Ctx(0x01, 0xF3);
    EXPECT_EQ(CtxRead(0x0C), 0x00);
    EXPECT_GE(WaitForLock(), 150) << "the acquisition began again";
    emulator_->Pull();
    emulator_->Plug();
    CloseStick();
    OpenStick();
    EXPECT_EQ(CtxRead(0x0C), 0x0F) << "power-on again";
}

TEST_F(Ctx2050BoardTest, ASubChannelStreamsOnlyWhileItsDescriptorMatchesTheAir) {
    Tune();
    ASSERT_GE(WaitForLock(), 0);
    Describe(0, kSub7);
    Ctx(0xC3, 0x87);
    Route(3, 7);
    std::vector<Packet> service = Service(Next(500));
    ASSERT_GE(service.size(), 10u);
    const std::vector<Bytes> air = AirFrames(7);
    ASSERT_FALSE(air.empty());
    EXPECT_EQ(service[3].payload.size(), air[0].size()) << "one packet a frame below 1024 bytes";
    EXPECT_NE(std::find(air.begin(), air.end(), service[3].payload), air.end());

    // Off by one CU, or with the banks not alike: the chip decodes nothing.
    Bytes moved = kSub7;
    moved[0] = 97;
    Describe(0, moved);
    EXPECT_TRUE(Service(Next(300)).empty());
    Describe(0, kSub7, false);
    EXPECT_TRUE(Service(Next(300)).empty());
    // The right shape under the wrong protection form: nothing either.
    Bytes short_form = kSub7;
    short_form[3] |= 0x80;
    Describe(0, short_form);
    EXPECT_TRUE(Service(Next(300)).empty());

    // The video channel takes a transport stream out of its sub-channel (and the outer code off
    // it): an audio sub-channel gives it nothing to pass on.
    Describe(1, kSub3);
    Ctx(0x30, 0x83);
    Ctx(0x31, 0x47);
    Route(2, 3);
    EXPECT_TRUE(Service(Next(300)).empty());
}

TEST_F(Ctx2050BoardTest, TheFicComesAsWholeFibsAndSignalReportsAsTwoWords) {
    Tune();
    ASSERT_GE(WaitForLock(), 0);
    RegisterWrite(0x04, {0x01, 0x00});
    Control(0x21);
    std::vector<Packet> packets = ReadPackets(300);
    size_t fics = 0;
    for (const Packet& packet : packets) {
        if (packet.id != 0) continue;
        ++fics;
        ASSERT_EQ(packet.payload.size(), 96u);
        for (size_t at = 0; at < 96; at += 32) {
            EXPECT_TRUE(dab::Crc16Matches(std::span(packet.payload).subspan(at, 32)));
        }
    }
    EXPECT_GE(fics, 8u);
    // Damaged FIBs come with a CRC that fails; nothing marks them.
    emulator_->SetFibCorruption(1.0);
    for (const Packet& packet : Next(200)) {
        if (packet.id == 0) {
            EXPECT_FALSE(dab::Crc16Matches(std::span(packet.payload).first(32)));
        }
    }
    emulator_->SetFibCorruption(0.0);

    Describe(0, kSub7);
    Ctx(0xC3, 0x87);
    Route(3, 7);
    emulator_->SetSignalLevel(12.5);
    size_t reports = 0;
    for (const Packet& packet : Next(400)) {
        if (packet.id != 4) continue;
        ++reports;
        ASSERT_EQ(packet.payload.size(), 8u);
        const Bytes& p = packet.payload;
        const auto a = static_cast<int32_t>(p[0] | p[1] << 8 | p[2] << 16 | p[3] << 24);
        const auto b = static_cast<uint32_t>(p[4] | p[5] << 8 | p[6] << 16 | p[7] << 24);
        ASSERT_NE(b, 0u);
        EXPECT_NEAR(0.3 * a / b + 4, 12.5, 0.001);
    }
    EXPECT_GE(reports, 2u);
}

}  // namespace
}  // namespace koru::test
