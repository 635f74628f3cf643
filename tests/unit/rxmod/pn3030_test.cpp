#include "rxmod/pn3030/pn3030.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "rxmod/bb_err.h"
#include "rxmod/bb_ficdec.h"
#include "rxmod/bb_if.h"
#include "rxmod_fixture.h"

namespace koru::test {
namespace {

using Bytes = std::vector<uint8_t>;
using Writes = std::vector<std::pair<uint8_t, uint8_t>>;

class Pn3030Test : public RxmodTest {
  protected:
    void SetUp() override {
        RxmodTest::SetUp();
        BringUp();
    }

    // A working ChannelInfo whose service 0 has one component of this kind.
    ServiceRecord* ServiceWith(uint8_t tmid, uint8_t type, uint8_t subchid) {
        ChannelInfo& info = BB_WorkingChannelInfo();
        FIC_Reset(info, 208.736);
        info.components[0] = Component(tmid, type, subchid);
        info.services[0].in_use = kRecordInUse;
        info.services[0].components[0] = ComponentReference(0);
        return &info.services[0];
    }

    int Fetch(int* id, Bytes* payload) {
        uint8_t* data = nullptr;
        int length = 0;
        int result = BB_Baseband().GetStream(id, &data, &length);
        if (result == 0) payload->assign(data, data + length);
        return result;
    }
};

TEST_F(Pn3030Test, AWrongChipIdFailsBeforeAnyWrite) {
    stick->registers[0x6800] = 0x02;
    EXPECT_EQ(BB_Baseband().Tune(208.736), BB_ERR_BB_ID);
    EXPECT_TRUE(stick->register_writes.empty());
    EXPECT_TRUE(stick->controls.empty());
    EXPECT_TRUE(Logged("pn3030 id [02]"));
}

TEST_F(Pn3030Test, ItdSticksArePreparedAndGetTableI) {
    ASSERT_EQ(BB_Baseband().Tune(208.736), 0);
    EXPECT_EQ(stick->controls, Bytes{0x11});
    const Writes writes = stick->PageWrites();
    ASSERT_EQ(writes.size(), 48u);
    EXPECT_EQ(writes.front(), std::make_pair(uint8_t{0x04}, uint8_t{0x00}));
    EXPECT_EQ(writes[7], std::make_pair(uint8_t{0x16}, uint8_t{0x69}));
    EXPECT_EQ(writes[45], std::make_pair(uint8_t{0xC1}, uint8_t{0x3F}));
    EXPECT_EQ(writes.back(), std::make_pair(uint8_t{0x10}, uint8_t{0xCB}));
    for (auto [address, value] : stick->register_writes)
        EXPECT_EQ(address >> 8, 0x68);
}

TEST_F(Pn3030Test, Fc2501GetsTableFAndTheBandAdjustment) {
    std::strcpy(BB_HwInfo().tuner, "FC2501");
    ASSERT_EQ(BB_Baseband().Tune(174.928), 0);
    Writes writes = stick->PageWrites();
    ASSERT_EQ(writes.size(), 46u + 2u);
    EXPECT_EQ(writes[45], std::make_pair(uint8_t{0x10}, uint8_t{0xCB}));
    EXPECT_EQ(writes[46], std::make_pair(uint8_t{0x04}, uint8_t{0x00}));
    EXPECT_EQ(writes[47], std::make_pair(uint8_t{0x33}, uint8_t{0x22}));

    ClearRecords();
    ASSERT_EQ(BB_Baseband().Tune(208.736), 0);
    EXPECT_EQ(stick->PageWrites().size(), 46u);

    ClearRecords();
    ASSERT_EQ(BB_Baseband().Tune(1452.96), 0);
    EXPECT_EQ(stick->PageWrites().back(), std::make_pair(uint8_t{0x56}, uint8_t{0x00}));

    ClearRecords();
    std::strcpy(BB_HwInfo().tuner, "FNX14701");  // nothing to initialise for others
    ASSERT_EQ(BB_Baseband().Tune(208.736), 0);
    EXPECT_TRUE(stick->register_writes.empty());
}

TEST_F(Pn3030Test, LockNeedsStatus1NotFFAndBit4OfStatus2) {
    stick->lock_status = {0x00, 0x10};
    EXPECT_EQ(BB_Baseband().LockCheck(), 0);
    EXPECT_EQ(stick->PageWrites().front(), std::make_pair(uint8_t{0x04}, uint8_t{0x02}));
    stick->lock_status = {0xFF, 0x10};
    EXPECT_EQ(BB_Baseband().LockCheck(), BB_ERR_NOT_LOCKED);
    stick->lock_status = {0x12, 0xEF};
    EXPECT_EQ(BB_Baseband().LockCheck(), BB_ERR_NOT_LOCKED);
    EXPECT_TRUE(Logged("lock_stat1:12, lock_stat2:ef"));
}

TEST_F(Pn3030Test, TheTunerIsReachedThroughTheI2cMaster) {
    ASSERT_EQ(BB_TunerBus().ByteWrite(0x75, 0x8D), 0);
    EXPECT_EQ(stick->PageWrites(), (Writes{{0x04, 0x02},
                                           {0x13, 0x61},
                                           {0x18, 0x06},
                                           {0x15, 0x01},
                                           {0x19, 0x02},
                                           {0x16, 0x90},
                                           {0x90, 0x75},
                                           {0x91, 0x8D},
                                           {0x1A, 0x11}}));
    EXPECT_EQ(stick->tuner[0x75], 0x8D);

    ClearRecords();
    const uint8_t piece[3] = {1, 2, 3};
    ASSERT_EQ(BB_TunerBus().WriteAndWait(0xAF, piece, 3), 0);
    EXPECT_EQ(stick->registers[0x6819], 4);
    EXPECT_EQ(stick->tuner[0xB1], 3);

    ClearRecords();
    uint8_t value = 0;
    stick->tuner[0x9E] = 0xE0;
    ASSERT_EQ(BB_TunerBus().ByteRead(0x9E, &value), 0);
    EXPECT_EQ(value, 0xE0);
    EXPECT_EQ(stick->PageWrites().size(), 8u);
    EXPECT_EQ(stick->registers[0x6814], 0x9E);
    EXPECT_EQ(BB_TunerBus().BatchWrite(piece, 3), -3);
}

TEST_F(Pn3030Test, ServiceStreamSelectsItsSubChannelByKind) {
    StreamInfo info{};
    stick->registers[0x68A0] = 0xFF;
    ASSERT_EQ(BB_Baseband().StartStream(kModeService, ServiceWith(1, 24, 5), &info), 0);
    EXPECT_EQ(info.stream_id, 3);
    EXPECT_EQ(stick->registers[0x6867], 0x85);
    EXPECT_EQ(stick->registers[0x68B0], 0x81);
    EXPECT_EQ(stick->registers[0x68A0], 0x1F);
    EXPECT_EQ(stick->controls.back(), 0x21);

    ASSERT_EQ(BB_Baseband().StartStream(kModeService, ServiceWith(0, 0, 7), &info), 0);
    EXPECT_EQ(stick->registers[0x6869], 0x87);
    EXPECT_EQ(stick->registers[0x68B0], 0x80);
    EXPECT_EQ(BB_Baseband().StartStream(kModeService, ServiceWith(2, 0, 7), &info), -3);

    ASSERT_EQ(BB_Baseband().StopStream(kModeService, nullptr), 0);
    EXPECT_EQ(stick->registers[0x68A0] & 0xE0, 0xE0);
    EXPECT_EQ(stick->registers[0x6869], 0x00);
    EXPECT_EQ(stick->controls.back(), 0x22);
}

TEST_F(Pn3030Test, FicAndDebugStreams) {
    StreamInfo info{};
    stick->registers[0x68A1] = 0x03;
    ASSERT_EQ(BB_Baseband().StartStream(kModeFic, nullptr, &info), 0);
    EXPECT_EQ(info.stream_id, 0);
    EXPECT_EQ(stick->registers[0x68A1], 0x02);
    EXPECT_EQ(stick->registers[0x6808], 0x06);
    ASSERT_EQ(BB_Baseband().StopStream(kModeFic, nullptr), 0);
    EXPECT_EQ(stick->registers[0x68A1], 0x03);

    ASSERT_EQ(BB_Baseband().StartStream(kModeDebugText, nullptr, &info), 0);
    EXPECT_EQ(info.stream_id, 5);
    ASSERT_EQ(BB_Baseband().StopStream(kModeDebugText, nullptr), 0);
    EXPECT_EQ(stick->controls, (Bytes{0x21, 0x22, 0x31, 0x32}));
    EXPECT_EQ(BB_Baseband().StartStream(7, nullptr, &info), BB_ERR_INVALID_PARAM);
    EXPECT_TRUE(Logged("Unknown stream type: 7"));
}

TEST_F(Pn3030Test, FicBlocksBecomeFibsWithoutTheMaskedOnes) {
    Bytes payload = {0x01, 0x00};
    for (int block = 0; block < 12; ++block) {
        for (int i = 0; i < 30; ++i)
            payload.push_back(static_cast<uint8_t>(block * 16 + i));
    }
    stick->Push(FakeStick::Packet(0, payload));
    int id = -1;
    Bytes fic;
    ASSERT_EQ(Fetch(&id, &fic), 0);
    EXPECT_EQ(id, 0);
    ASSERT_EQ(fic.size(), 352u);
    for (int fib = 0; fib < 11; ++fib) {
        EXPECT_EQ(fic[fib * 32], (fib + 1) * 16) << fib;  // block 0 was dropped
        EXPECT_EQ(fic[fib * 32 + 29], (fib + 1) * 16 + 29) << fib;
        EXPECT_EQ(fic[fib * 32 + 30], 0);
        EXPECT_EQ(fic[fib * 32 + 31], 0);
    }
}

TEST_F(Pn3030Test, SignalCodesBecomeSignalAndErrorValues) {
    auto signal = [](int code, uint32_t error) {
        uint8_t payload[8] = {0,
                              0,
                              static_cast<uint8_t>(code & 0xFF),
                              static_cast<uint8_t>((code >> 8) & 0x1F),
                              static_cast<uint8_t>(error >> 16),
                              static_cast<uint8_t>(error >> 8),
                              static_cast<uint8_t>(error)};
        EXPECT_EQ(PN3030_RewriteSignal(payload, 7), 8);
        int32_t words[2];
        std::memcpy(words, payload, sizeof words);
        return std::make_pair(words[0], words[1]);
    };
    EXPECT_EQ(signal(100, 0).first, 101);
    EXPECT_EQ(signal(0, 0).first, 101);  // 0 repeats the last value
    EXPECT_EQ(signal(1, 0).first, 334);
    EXPECT_EQ(signal(14, 0).first, 334);
    EXPECT_EQ(signal(161, 0).first, 54);
    EXPECT_EQ(signal(0x1FFF, 0x100000).second, 1000000);
}

TEST_F(Pn3030Test, PacketsAreCutFromTheStreamAsTheyArrive) {
    const Bytes packet = FakeStick::Packet(5, {'o', 'k', '!'});
    int id = -1;
    Bytes payload;
    stick->Push(Bytes(packet.begin(), packet.begin() + 2));
    EXPECT_EQ(Fetch(&id, &payload), BB_ERR_NO_DATA);
    stick->Push(Bytes(packet.begin() + 2, packet.begin() + 5));
    EXPECT_EQ(Fetch(&id, &payload), BB_ERR_NO_DATA);  // header read, payload incomplete
    stick->Push(Bytes(packet.begin() + 5, packet.end()));
    ASSERT_EQ(Fetch(&id, &payload), 0);
    EXPECT_EQ(id, 5);
    EXPECT_EQ(payload, (Bytes{'o', 'k', '!'}));
    EXPECT_EQ(Fetch(&id, &payload), BB_ERR_NO_DATA);
}

TEST_F(Pn3030Test, AHeaderLongerThanAnyPacketFlushesTheStream) {
    stick->Push({3, 0, 0xA0, 0x0F});  // 4000 bytes announced
    stick->Push(Bytes(5000, 0x55));
    int id = -1;
    Bytes payload;
    EXPECT_EQ(Fetch(&id, &payload), BB_ERR_NO_DATA);
    EXPECT_TRUE(stick->rx.empty());
    stick->Push(FakeStick::Packet(3, {1}));
    ASSERT_EQ(Fetch(&id, &payload), 0);
    EXPECT_EQ(payload, Bytes{1});
}

TEST_F(Pn3030Test, OverrunFlushesAndRestartsTheFraming) {
    const Bytes packet = FakeStick::Packet(3, Bytes(10, 7));
    stick->Push(Bytes(packet.begin(), packet.begin() + 6));
    int id = -1;
    Bytes payload;
    EXPECT_EQ(Fetch(&id, &payload), BB_ERR_NO_DATA);
    stick->queue_status = SI_RX_OVERRUN;
    const int flushes = stick->flushes;
    EXPECT_EQ(Fetch(&id, &payload), BB_ERR_RX_QUEUE_OVERRUN);
    EXPECT_EQ(stick->flushes, flushes + 1);
    stick->queue_status = 0;
    stick->Push(FakeStick::Packet(3, {9}));
    ASSERT_EQ(Fetch(&id, &payload), 0);
    EXPECT_EQ(payload, Bytes{9});
}

TEST_F(Pn3030Test, HandedOutDataStaysValidFor255FurtherPackets) {
    stick->Push(FakeStick::Packet(3, {42}));
    int id = -1;
    uint8_t* first = nullptr;
    int length = 0;
    ASSERT_EQ(BB_Baseband().GetStream(&id, &first, &length), 0);
    for (int i = 0; i < 255; ++i) {
        stick->Push(FakeStick::Packet(3, {static_cast<uint8_t>(i)}));
        uint8_t* data = nullptr;
        ASSERT_EQ(BB_Baseband().GetStream(&id, &data, &length), 0);
        EXPECT_NE(data, first);
    }
    EXPECT_EQ(*first, 42);
}

}  // namespace
}  // namespace koru::test
