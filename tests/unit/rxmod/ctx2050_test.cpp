// The CTX2050 driver against the scripted stick: its initialisation (once per power-on), lock
// check, the sub-channel set-up from the FIC's sub-channel organisation on its two decoder
// channels, stream start for video, audio and data, and its packet stream.
#include "rxmod/ctx2050/ctx2050.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "dab/crc.h"
#include "fig_builder.h"
#include "rxmod/bb_err.h"
#include "rxmod/bb_ficdec.h"
#include "rxmod/bb_if.h"
#include "rxmod/receiver.h"
#include "rxmod_fixture.h"

namespace koru::test {
namespace {

using Writes = std::vector<std::pair<uint16_t, uint8_t>>;

// FIG 0/1 entries: long form (EEP) and short form (UEP table index).
Bytes LongForm(int subchid, int start, int option, int level_index, int size) {
    return {static_cast<uint8_t>(subchid << 2 | start >> 8), static_cast<uint8_t>(start),
            static_cast<uint8_t>(0x80 | option << 4 | level_index << 2 | size >> 8),
            static_cast<uint8_t>(size)};
}
Bytes ShortForm(int subchid, int start, int table_index) {
    return {static_cast<uint8_t>(subchid << 2 | start >> 8), static_cast<uint8_t>(start),
            static_cast<uint8_t>(table_index)};
}
// FIG 0/2 entry of a service with one stream component (TMId 0 audio, 1 data) on subchid.
Bytes StreamService(uint16_t sid, int tmid, int type, int subchid) {
    return Join({Sid16(sid),
                 {0x01, static_cast<uint8_t>(tmid << 6 | type),
                  static_cast<uint8_t>(subchid << 2 | 0x02)}});
}

class Ctx2050Test : public RxmodTest {
  protected:
    void SetUp() override {
        RxmodTest::SetUp();
        stick->firmware = "KX1000|3.0|Jan 01 2008|CTX2050|FC2501";
        stick->tuner[0x01] = 0x60;
        BringUp();
    }

    // The working ChannelInfo as the FIC describes it: TV on sub-channel 1 (UEP 128 kbit/s),
    // radio on 2 (EEP 3-A, 48 CU), data on 3 (UEP 32 kbit/s).
    void DecodeEnsemble() {
        ChannelInfo& info = BB_WorkingChannelInfo();
        FIC_Reset(info, 208.736);
        const Bytes fib = Fib(
            {Fig0(1, Join({ShortForm(1, 0, 35), LongForm(2, 96, 0, 2, 48), ShortForm(3, 144, 2)})),
             Fig0(2, Join({StreamService(0x1001, 1, 24, 1), StreamService(0x1002, 0, 0, 2),
                           StreamService(0x1003, 1, 5, 3)}))});
        ASSERT_EQ(FIC_Decode(info, fib.data(), static_cast<int>(fib.size())), 0);
    }
    ServiceRecord* Service(int index) { return &BB_WorkingChannelInfo().services[index]; }

    Bytes Registers(uint16_t from, int count) {
        Bytes bytes;
        for (int i = 0; i < count; ++i)
            bytes.push_back(stick->registers[static_cast<uint16_t>(from + i)]);
        return bytes;
    }
    // Where in the register writes a write first appears, or -1.
    long At(uint16_t address, uint8_t value) const {
        const auto& w = stick->register_writes;
        const auto found = std::find(w.begin(), w.end(), std::make_pair(address, value));
        return found == w.end() ? -1 : found - w.begin();
    }
    int StartService(int index) {
        StreamInfo info{-1};
        const int result = BB_Baseband().StartStream(kModeService, Service(index), &info);
        if (result == 0) {
            EXPECT_EQ(info.stream_id, kStreamIdService);
        }
        return result;
    }
};

TEST_F(Ctx2050Test, ASecondTuneWithTheChipSetUpSkipsTheSetUp) {
    stick->registers[0x000C] = 0x0F;  // power-on: blocks in standby
    ASSERT_EQ(BB_Baseband().Tune(208.736), 0);
    EXPECT_EQ(stick->controls, Bytes{0x11});
    const Writes& first = stick->register_writes;
    ASSERT_GT(first.size(), 40u);
    EXPECT_EQ(Writes(first.begin(), first.begin() + 5),
              (Writes{{0x01, 0xF2}, {0x01, 0xF3}, {0x17, 0x00}, {0xA1, 0xC2}, {0x0C, 0x00}}));
    EXPECT_GE(At(0x9B, 0x11), 0) << "the FC2501's values";
    EXPECT_EQ(
        Writes(first.end() - 6, first.end()),
        (Writes{
            {0x06, 0xFF}, {0x07, 0x00}, {0x06, 0x00}, {0x07, 0x00}, {0x04, 0x00}, {0x05, 0x00}}));
    EXPECT_TRUE(Logged("bbm_reset OK."));
    EXPECT_EQ(debug, (std::vector<std::string>{"SYNC_CTRL_REG0=0", "DSCR_MEM_ENABLE=0",
                                               "VIT_BERMEM_REG=0"}));

    ClearRecords();  // 0x0C now reads 0
    ASSERT_EQ(BB_Baseband().Tune(208.736), 0);
    EXPECT_EQ(stick->register_writes,
              (Writes{{0x01, 0xF2}, {0x01, 0xF3}, {0x17, 0x00}, {0xA1, 0xC2}}));

    // Each tuner gets its own values.
    ClearRecords();
    std::strcpy(BB_HwInfo().tuner, "FNX14701");
    stick->registers[0x000C] = 0x0F;
    ASSERT_EQ(BB_Baseband().Tune(208.736), 0);
    EXPECT_GE(At(0xA4, 0x01), 0);
    EXPECT_EQ(At(0x9B, 0x11), -1);
}

TEST_F(Ctx2050Test, LockIs0x1FAt0x98) {
    stick->registers[0x0098] = 0x1F;
    EXPECT_EQ(BB_Baseband().LockCheck(), 0);
    stick->registers[0x0098] = 0x0F;
    EXPECT_EQ(BB_Baseband().LockCheck(), BB_ERR_NOT_LOCKED);
    EXPECT_TRUE(Logged("lock_status = 0f @ 0x98"));
}

// EEP-A level 3 of 48 CU: n 8, 64 kbit/s, L1 45, L2 3, PI1 8, PI2 7, written four times.
TEST_F(Ctx2050Test, AnEepSubChannelIsDescribedAndWrittenInEveryBank) {
    DecodeEnsemble();
    const SubChannelRecord& sub = BB_WorkingChannelInfo().subchannels[2];
    DecoderChannel channel;
    ASSERT_TRUE(CTX2050_DescribeSubChannel(sub, &channel));
    EXPECT_EQ(channel.bitrate, 64);
    EXPECT_EQ(channel.size, 48);
    EXPECT_EQ(channel.l[0], 45);
    EXPECT_EQ(channel.l[1], 3);
    EXPECT_EQ(channel.pi[0], 8);
    EXPECT_EQ(channel.pi[1], 7);

    ASSERT_EQ(CTX2050_SetUpSubChannel(2, 0), 0);
    const Bytes descriptor = {0x60, 0x08, 0x30, 0x00, 0xA8, 0x05, 0x67, 0x00, 0, 0, 0, 0};
    for (int bank = 0; bank < 4; ++bank) {
        EXPECT_EQ(Registers(static_cast<uint16_t>(0x312 + 48 * bank), 12), descriptor) << bank;
        EXPECT_EQ(Registers(static_cast<uint16_t>(0x31E + 48 * bank), 12), Bytes(12, 0));
    }
    EXPECT_EQ(stick->registers[0x310], 0x01);
    EXPECT_EQ(stick->registers[0x210], 0x01);
    EXPECT_EQ(BB_WorkingChannelInfo().subchannels[2].decoder_channel, 0);
    EXPECT_EQ(debug.back(), "subChId = 0x2 svcChId = 0x0 Bandwidth Increase. 0x1");

    // A smaller sub-channel on the same decoder channel: the bandwidth goes down.
    ASSERT_EQ(CTX2050_SetUpSubChannel(3, 0), 0);
    EXPECT_EQ(stick->registers[0x210], 0x00);
    EXPECT_EQ(debug.back(), "subChId = 0x3 svcChId = 0x0 Bandwidth Decrease. 0x0");
    // UEP 32 kbit/s level 3 (index 2): 24 CU, four parts, the short-form bit.
    EXPECT_EQ(Registers(0x312, 12),
              (Bytes{0x90, 0x0C, 24, 0x80, 0x6F, 0x00, 0x89, 0x00, 0xC6, 0x01, 0x68, 0x00}));
}

TEST_F(Ctx2050Test, VideoTakesDecoderChannel1AudioAndDataChannel0) {
    DecodeEnsemble();
    stick->registers[0x06] = 0x34;  // the interrupt mask, restored after the change
    stick->registers[0x07] = 0x12;
    ASSERT_EQ(StartService(0), 0);
    EXPECT_EQ(BB_WorkingChannelInfo().subchannels[1].decoder_channel, 1);
    EXPECT_EQ(Registers(0x312, 12), Bytes(12, 0));
    EXPECT_EQ(Registers(0x31E, 2), (Bytes{0x00, 0x04}));
    EXPECT_EQ(stick->registers[0x310], 0x02);
    EXPECT_GE(At(0x30, 0x81), 0);
    EXPECT_GE(At(0x31, 0x47), 0);
    EXPECT_EQ(stick->registers[0xF0], 2);
    EXPECT_EQ(stick->registers[0xF1], 0x41);
    // Masked while the channels change, latched, restored, routed; the output opens last.
    EXPECT_LT(At(0x06, 0x00), At(0x311, 0x01));
    EXPECT_LT(At(0x311, 0x01), At(0x311, 0x00));
    EXPECT_LT(At(0x311, 0x00), At(0x06, 0x34));
    EXPECT_LT(At(0x06, 0x34), At(0xF0, 0x02));
    EXPECT_EQ(stick->register_writes.back(), std::make_pair(uint16_t{0x05}, uint8_t{0x00}));
    EXPECT_EQ(stick->registers[0x04], 0x80);
    EXPECT_EQ(stick->controls, Bytes{0x21});
    EXPECT_TRUE(Logged("Video Channel 1 Successful ..."));

    ClearRecords();
    ASSERT_EQ(StartService(1), 0);
    EXPECT_EQ(Registers(0x312, 2), (Bytes{0x60, 0x08}));
    EXPECT_GE(At(0xC3, 0x82), 0);
    EXPECT_EQ(stick->registers[0xF0], 3);
    EXPECT_EQ(stick->registers[0xF1], 0x42);
    EXPECT_EQ(stick->registers[0x310], 0x03);
    EXPECT_TRUE(Logged("Audio Channel 2 Successful ..."));

    ClearRecords();
    ASSERT_EQ(StartService(2), 0);
    EXPECT_GE(At(0x40, 0x43), 0);
    EXPECT_EQ(stick->registers[0xF0], 3);
    EXPECT_EQ(stick->registers[0xF1], 0x43);
    EXPECT_TRUE(Logged("Data Channel 3 Successful ..."));

    ClearRecords();
    ASSERT_EQ(BB_Baseband().StopStream(kModeService, Service(2)), 0);
    EXPECT_EQ(stick->controls, Bytes{0x22});
    EXPECT_EQ(stick->registers[0xF0], 0);
    EXPECT_EQ(stick->registers[0xF1], 0);
    EXPECT_EQ(stick->registers[0x04], 0);
}

TEST_F(Ctx2050Test, ASubChannelTheFicDidNotDescribeIsRefused) {
    DecodeEnsemble();
    BB_WorkingChannelInfo().subchannels[2].in_use = 0;
    EXPECT_EQ(StartService(1), -1);
    // An EEP size that is no whole number of the profile's steps fits no profile.
    BB_WorkingChannelInfo().subchannels[2].in_use = kRecordInUse;
    BB_WorkingChannelInfo().subchannels[2].size = 50;
    EXPECT_EQ(StartService(1), -1);
    EXPECT_EQ(stick->registers[0x310], 0x00);
    EXPECT_TRUE(stick->controls.empty());
    EXPECT_EQ(At(0xF0, 3), -1);
}

// FIBs whose CRC fails never reach the decoder: they would become services that do not exist.
TEST_F(Ctx2050Test, TheFicPacketKeepsOnlyFibsWithTheirCrcRight) {
    Bytes fibs;
    for (int i = 0; i < 3; ++i) {
        Bytes fib = Fib({Fig1(1, Sid16(static_cast<uint16_t>(0x1000 + i)), "Service")});
        dab::PutCrc16(fib);
        fibs.insert(fibs.end(), fib.begin(), fib.end());
    }
    Bytes damaged = fibs;
    damaged[32 + 5] ^= 0x40;
    stick->Push(FakeStick::Packet(0, damaged));
    stick->Push(FakeStick::Packet(4, {0x56, 0x55, 0x25, 0x00, 0x00, 0x00, 0x01, 0x00}));
    stick->Push(FakeStick::Packet(4, {0, 0, 0, 0, 0x00, 0x00, 0x01, 0x00}));

    int id = -1;
    uint8_t* data = nullptr;
    int length = 0;
    ASSERT_EQ(BB_Baseband().GetStream(&id, &data, &length), 0);
    EXPECT_EQ(id, kStreamIdFic);
    ASSERT_EQ(length, 64);
    EXPECT_EQ(Bytes(data, data + 32), Bytes(fibs.begin(), fibs.begin() + 32));
    EXPECT_EQ(Bytes(data + 32, data + 64), Bytes(fibs.begin() + 64, fibs.end()));

    // a = 0x255556, b = 0x10000: 0.3 a / b + 4 = 15.2, word 0 152; a zero gives 0.
    ASSERT_EQ(BB_Baseband().GetStream(&id, &data, &length), 0);
    EXPECT_EQ(id, kStreamIdSignal);
    EXPECT_EQ(length, 4);
    EXPECT_EQ(data[0] | data[1] << 8, 152);
    ASSERT_EQ(BB_Baseband().GetStream(&id, &data, &length), 0);
    EXPECT_EQ(data[0] | data[1] << 8, 0);
    EXPECT_EQ(BB_Baseband().GetStream(&id, &data, &length), BB_ERR_NO_DATA);
}

// Its packets hold at most 1024 bytes: a longer header (which a PN3030 packet may have) means
// the framing is lost. A failed queue check says so with the bytes queued.
TEST_F(Ctx2050Test, AHeaderPastItsBufferFlushesAndAQueueErrorIsLogged) {
    stick->Push({3, 0, 0x01, 0x04});  // 1025 bytes announced
    stick->Push(Bytes(1100, 0x55));
    int id = -1;
    uint8_t* data = nullptr;
    int length = 0;
    EXPECT_EQ(BB_Baseband().GetStream(&id, &data, &length), BB_ERR_NO_DATA);
    EXPECT_TRUE(stick->rx.empty());
    EXPECT_TRUE(Logged("CTX2050_GetStream: packet of 1025 bytes, stream flushed"));
    stick->Push(FakeStick::Packet(3, Bytes(1024, 7)));
    ASSERT_EQ(BB_Baseband().GetStream(&id, &data, &length), 0);
    EXPECT_EQ(length, 1024);

    const Bytes half = FakeStick::Packet(3, {1, 2, 3});
    stick->Push(Bytes(half.begin(), half.begin() + 5));
    EXPECT_EQ(BB_Baseband().GetStream(&id, &data, &length), BB_ERR_NO_DATA);
    stick->present = false;
    EXPECT_EQ(BB_Baseband().GetStream(&id, &data, &length), BB_ERR_NO_DEVICE);
    EXPECT_TRUE(Logged("BB_Ifce_CheckRXQueue() returned an error(-10): n_data=0"));
    // The half-read packet is forgotten: the next one is cut from its own header.
    stick->present = true;
    stick->rx.clear();
    stick->Push(FakeStick::Packet(5, {'o', 'k'}));
    ASSERT_EQ(BB_Baseband().GetStream(&id, &data, &length), 0);
    EXPECT_EQ(id, 5);
    EXPECT_EQ(Bytes(data, data + length), (Bytes{'o', 'k'}));
}

// The CTX2050 keeps the link's buses: its tuner is reached by the stick's tuner commands.
TEST_F(Ctx2050Test, BringUpKeepsTheLinksBusesAndStoresTheVariant) {
    EXPECT_EQ(BB_Receiver().ctx2050.variant, 0);
    EXPECT_EQ(BB_HwInfo().tuner_address, 0x60);
    stick->firmware = "MARTEN|3.1|May 05 2008|CTX2050|FNX14701";
    ASSERT_EQ(BB_API_Init(), 0);
    EXPECT_EQ(BB_Receiver().ctx2050.variant, 1);
    EXPECT_EQ(BB_Receiver().ctx2050.tuner_address, 0x62);
    EXPECT_DOUBLE_EQ(BB_HwInfo().tuner_clock, 24.576);
    ClearRecords();
    uint8_t value = 0;
    ASSERT_EQ(BB_TunerBus().ByteRead(0x01, &value), 0);
    EXPECT_EQ(value, 0x60);
    EXPECT_EQ(stick->frames, (std::vector<Bytes>{{0x32, 0x01, 0x01}}));
    EXPECT_TRUE(stick->register_writes.empty());
}

// The signal report's first word, tenths of 0.3 a / b + 4 from the chip's two counters; counters
// a stick makes up give the word's limit, not an undefined conversion.
TEST(Ctx2050Signal, TheReportHoldsTenthsAndStaysInItsWord) {
    auto rewrite = [](int32_t a, uint32_t b) {
        uint8_t payload[8];
        for (int i = 0; i < 4; ++i) {
            payload[i] = static_cast<uint8_t>(static_cast<uint32_t>(a) >> (8 * i));
            payload[4 + i] = static_cast<uint8_t>(b >> (8 * i));
        }
        EXPECT_EQ(CTX2050_RewriteSignal(payload, 8), 4);
        return static_cast<int32_t>(payload[0] | payload[1] << 8 | payload[2] << 16 |
                                    static_cast<uint32_t>(payload[3]) << 24);
    };
    EXPECT_EQ(rewrite(1000, 100), 70);
    EXPECT_EQ(rewrite(0, 100), 0);
    EXPECT_EQ(rewrite(INT32_MAX, 1), INT32_MAX);
    EXPECT_EQ(rewrite(INT32_MIN, 1), INT32_MIN);
}

}  // namespace
}  // namespace koru::test
