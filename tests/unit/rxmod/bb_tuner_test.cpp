#include "rxmod/bb_tuner.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <optional>

#include "m4systems/clock.h"
#include "rxmod/bb_err.h"
#include "rxmod/bb_ficdec.h"
#include "rxmod/dmb_api.h"
#include "rxmod_fixture.h"

namespace koru::test {
namespace {

class TuningTest : public RxmodTest {
  protected:
    void SetUp() override {
        RxmodTest::SetUp();
        BringUp();
    }

    int LockPolls() const {
        int polls = 0;
        for (const auto& frame : stick->frames) {
            if (frame.size() == 5 && frame[0] == 0x22 && frame[1] == 0x68 && frame[2] == 0xD5) {
                ++polls;
            }
        }
        return polls;
    }

    // A cached ensemble at 208.736 MHz: service 0 radio, service 1 packet data on component 1,
    // service 2 labelled but with a reference that leads nowhere, service 3 without a label.
    void CacheEnsemble() {
        auto info = std::make_unique<ChannelInfo>();
        FIC_Reset(*info, 208.736);
        for (int i = 0; i < 4; ++i) {
            info->services[i].in_use = kRecordInUse;
            info->components[i].in_use = kRecordInUse;
            if (i < 3) std::strcpy(info->services[i].label, "Service");
        }
        info->services[0].components[0] = ComponentReference(0);
        info->services[1].components[0] = ComponentReference(1);
        info->components[1].tmid = 3;
        info->components[1].type = 60;
        info->components[1].packet_address = 0x123;
        info->services[1].user_application_type = 3;
        info->services[3].components[0] = ComponentReference(3);
        ASSERT_EQ(DMB_StoreChannel(*info), 0);
    }
};

TEST_F(TuningTest, TheBandCommandFollowsTheFrequency) {
    ASSERT_EQ(BB_API_Tune(239.2), 0);
    ASSERT_FALSE(stick->controls.empty());
    EXPECT_EQ(stick->controls.front(), 0x42);
    ClearRecords();
    ASSERT_EQ(BB_API_Tune(1452.96), 0);
    EXPECT_EQ(stick->controls.front(), 0x43);
}

TEST_F(TuningTest, ALockThatComesAfterOneAndAHalfSecondsIsAccepted) {
    std::optional<uint32_t> first_poll;
    stick->locked = [&first_poll] {
        const uint32_t now = M4_GetSysClock();
        if (!first_poll) first_poll = now;
        return now - *first_poll >= 1500;
    };
    EXPECT_EQ(BB_API_Tune(208.736), 0);
    EXPECT_GE(LockPolls(), 2);
    EXPECT_LE(LockPolls(), 31);
}

TEST_F(TuningTest, ALockThatNeverComesEndsAfter41Polls) {
    stick->locked = [] { return false; };
    EXPECT_EQ(BB_API_Tune(208.736), BB_ERR_NOT_LOCKED);
    EXPECT_EQ(LockPolls(), 41);
}

TEST_F(TuningTest, DriverFailuresEndTheTune) {
    stick->tuner[0x66] = 0;
    EXPECT_EQ(BB_API_Tune(208.736), BB_ERR_TUNER_ID);
    stick->registers[0x6800] = 7;
    EXPECT_EQ(BB_API_Tune(208.736), BB_ERR_BB_ID);
    EXPECT_EQ(LockPolls(), 0);
}

TEST_F(TuningTest, AnEleventhOpenFailsAndChangesNothing) {
    int slot = -1;
    for (int i = 0; i < kServiceSlots; ++i) {
        ASSERT_EQ(BB_API_OpenService(&slot, 208.736, kFicServiceIndex), 0);  // no cache needed
        EXPECT_EQ(slot, i);
        EXPECT_EQ(BB_GetSlot(i).mode, kModeFic);
    }
    slot = -1;
    EXPECT_EQ(BB_API_OpenService(&slot, 205.28, kDebugTextServiceIndex), BB_ERR_TABLE_FULL);
    EXPECT_EQ(slot, -1);
    for (int i = 0; i < kServiceSlots; ++i)
        EXPECT_EQ(BB_GetSlot(i).frequency, 208.736);
    EXPECT_EQ(BB_API_CloseService(3), 0);
    ASSERT_EQ(BB_API_OpenService(&slot, 205.28, kDebugTextServiceIndex), 0);
    EXPECT_EQ(slot, 3);
    EXPECT_EQ(BB_GetSlot(3).mode, kModeDebugText);
    EXPECT_EQ(BB_API_CloseService(10), BB_ERR_INVALID_PARAM);
}

TEST_F(TuningTest, AServiceOfAFrequencyNeverSearchedIsRefused) {
    int slot = -1;
    EXPECT_EQ(BB_API_OpenService(&slot, 208.736, 0), BB_ERR_INVALID_PARAM);
    EXPECT_TRUE(Logged("No such a channel(freq=208.736)"));
    EXPECT_EQ(BB_GetSlot(0).flags, 0);
    CacheEnsemble();
    EXPECT_EQ(BB_API_OpenService(&slot, 208.737, 0), BB_ERR_INVALID_PARAM);  // another kHz
    EXPECT_EQ(BB_API_OpenService(&slot, 208.736, 3), BB_ERR_INVALID_PARAM);  // no label
    EXPECT_TRUE(Logged("No such a service(id=3) in the channel(freq=208.736)"));
    EXPECT_EQ(BB_API_OpenService(&slot, 208.736, 66), BB_ERR_INVALID_PARAM);
    EXPECT_EQ(BB_GetSlot(0).flags, 0);
}

TEST_F(TuningTest, OpeningAServiceResolvesItsFirstComponent) {
    CacheEnsemble();
    int slot = -1;
    ASSERT_EQ(BB_API_OpenService(&slot, 208.736, 2), 0);
    const ServiceSlot& opened = BB_GetSlot(slot);
    EXPECT_EQ(opened.mode, kModeService);
    ASSERT_NE(opened.service, nullptr);
    EXPECT_EQ(opened.service->components[0], ComponentReference(2));

    int data_slot = -1;
    ASSERT_EQ(BB_API_OpenService(&data_slot, 208.736, 1), 0);
    EXPECT_EQ(BB_API_IsDataService(data_slot), 1);
    EXPECT_EQ(BB_API_IsDataService(slot), 0);
    uint16_t address = 0;
    uint16_t dscty = 0;
    ASSERT_EQ(BB_API_GetPacketParams(data_slot, &address, &dscty), 0);
    EXPECT_EQ(address, 0x123);
    EXPECT_EQ(dscty, 60);
    EXPECT_EQ(BB_API_GetPacketParams(9, &address, &dscty), BB_ERR_INVALID_PARAM);
}

int g_created = 0;
int g_destroyed = 0;
DataDecoderContext* CreateDecoder() {
    ++g_created;
    return reinterpret_cast<DataDecoderContext*>(&g_created);
}
void DestroyDecoder(DataDecoderContext*) {
    ++g_destroyed;
}

TEST_F(TuningTest, EveryStreamStartGetsAFreshDataDecoder) {
    BB_SetDataDecoderHooks({CreateDecoder, DestroyDecoder});
    g_created = g_destroyed = 0;
    int slot = -1;
    ASSERT_EQ(BB_API_OpenService(&slot, 208.736, kFicServiceIndex), 0);
    StreamInfo info{};
    ASSERT_EQ(BB_API_StartStream(slot, &info), 0);
    EXPECT_EQ(BB_GetSlot(slot).stream_id, kStreamIdFic);
    EXPECT_NE(BB_CurrentDataDecoder(), nullptr);
    ASSERT_EQ(BB_API_StartStream(slot, &info), 0);
    EXPECT_EQ(g_created, 2);
    EXPECT_EQ(g_destroyed, 1);
    ASSERT_EQ(BB_API_StopStream(slot), 0);
    EXPECT_EQ(g_destroyed, 2);
    EXPECT_EQ(BB_CurrentDataDecoder(), nullptr);
    BB_SetDataDecoderHooks({nullptr, nullptr});

    EXPECT_EQ(BB_API_StartStream(kServiceSlots, &info), BB_ERR_INVALID_PARAM);
    ASSERT_EQ(BB_API_CloseService(slot), 0);
    EXPECT_EQ(BB_API_StartStream(slot, &info), BB_ERR_INVALID_PARAM);  // closed: frequency 0
}

}  // namespace
}  // namespace koru::test
