#include "rxmod/bb_if.h"

#include <gtest/gtest.h>

#include <vector>

#include "rxmod/bb_err.h"
#include "rxmod/rxmod_api.h"
#include "rxmod_fixture.h"

namespace koru::test {
namespace {

using Bytes = std::vector<uint8_t>;

class LinkTest : public RxmodTest {
  protected:
    void Connect() {
        BB_API_GetUSBApi(nullptr);
        ASSERT_EQ(BB_Ifce_Connect(), 0);
        BB_Ifce_InstallBuses();
        ClearRecords();
    }
};

TEST_F(LinkTest, LongRegisterTransfersAreSplitIntoFramesOf59Bytes) {
    Connect();
    uint8_t buffer[130];
    ASSERT_EQ(BB_Ifce_RegRead(0x1000, buffer, 130), 0);
    ASSERT_EQ(stick->frames.size(), 3u);
    EXPECT_EQ(stick->frames[0], (Bytes{0x22, 0x10, 0x00, 0, 59}));
    EXPECT_EQ(stick->frames[1], (Bytes{0x22, 0x10, 0x3B, 0, 59}));
    EXPECT_EQ(stick->frames[2], (Bytes{0x22, 0x10, 0x76, 0, 12}));

    stick->frames.clear();
    Bytes data(130);
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<uint8_t>(i);
    ASSERT_EQ(BB_Ifce_RegWrite(0x1000, data.data(), 130), 0);
    ASSERT_EQ(stick->frames.size(), 3u);
    EXPECT_EQ(stick->frames[0].size(), 64u);
    EXPECT_EQ(stick->frames[1].size(), 64u);
    EXPECT_EQ(stick->frames[2].size(), 17u);
    EXPECT_EQ(Bytes(stick->frames[1].begin(), stick->frames[1].begin() + 6),
              (Bytes{0x21, 0x10, 0x3B, 0, 59, 59}));
    EXPECT_EQ(stick->registers[0x1000 + 129], 129);
}

TEST_F(LinkTest, TunerTransfersAreSplitIntoFramesOf61Bytes) {
    Connect();
    Bytes data(70, 0xAB);
    ASSERT_EQ(BB_Ifce_TunerWrite(0x10, data.data(), 70), 0);
    ASSERT_EQ(stick->frames.size(), 2u);
    EXPECT_EQ(stick->frames[0].size(), 64u);
    EXPECT_EQ(Bytes(stick->frames[1].begin(), stick->frames[1].begin() + 3),
              (Bytes{0x31, 0x10 + 61, 9}));
    uint8_t id[2];
    ASSERT_EQ(BB_Ifce_TunerRead(0x66, id, 2), 0);
    EXPECT_EQ(stick->frames.back(), (Bytes{0x32, 0x66, 2}));
    EXPECT_EQ(id[0], 0x10);
    EXPECT_EQ(id[1], 0x30);
}

TEST_F(LinkTest, BatchOf62BytesIsSentAnd63IsRefusedWithoutTraffic) {
    Connect();
    Bytes payload(63, 0x5A);
    ASSERT_EQ(BB_TunerBus().BatchWrite(payload.data(), 62), 0);
    ASSERT_EQ(stick->frames.size(), 1u);
    EXPECT_EQ(stick->frames[0].size(), 64u);
    EXPECT_EQ(stick->frames[0][0], 0x22);
    EXPECT_EQ(stick->frames[0][1], 62);

    stick->frames.clear();
    EXPECT_EQ(BB_TunerBus().BatchWrite(payload.data(), 63), BB_ERR_INVALID_PARAM);
    EXPECT_TRUE(stick->frames.empty());
    EXPECT_TRUE(Logged("BatchWrite Command is too long. Should be less than 62 bytes"));
}

TEST_F(LinkTest, HardwareIdWithoutReplyIs15) {
    stick->hardware_id.reset();
    Connect();
    uint8_t id = 0;
    EXPECT_EQ(BB_Ifce_GetHardwareId(&id), 0);
    EXPECT_EQ(id, 15);
    EXPECT_TRUE(Logged("Hardware ID : 15"));

    stick->hardware_id = 1;
    EXPECT_EQ(BB_Ifce_GetHardwareId(&id), 0);
    EXPECT_EQ(id, 1);
    EXPECT_EQ(stick->frames.back(), (Bytes{0x12, 0x11}));

    BB_Ifce_Disconnect();
    EXPECT_EQ(BB_Ifce_GetHardwareId(&id), BB_ERR_NO_DEVICE);
}

TEST_F(LinkTest, OverrunReportsNoBytesEvenWithDataQueued) {
    Connect();
    stick->Push(Bytes(100, 0));
    uint32_t queued = 99;
    EXPECT_EQ(BB_Ifce_CheckRXQueue(&queued), 0);
    EXPECT_EQ(queued, 100u);

    stick->queue_status = SI_RX_OVERRUN;
    EXPECT_EQ(BB_Ifce_CheckRXQueue(&queued), BB_ERR_RX_QUEUE_OVERRUN);
    EXPECT_EQ(queued, 0u);
    EXPECT_TRUE(Logged("DI_CheckRXQueue q_status[1]"));
}

TEST_F(LinkTest, AnEmptyQueueOfAPulledStickIsNoDevice) {
    Connect();
    uint32_t queued = 5;
    EXPECT_EQ(BB_Ifce_CheckRXQueue(&queued), 0);
    EXPECT_EQ(queued, 0u);
    stick->device_count = 0;  // the library stops counting it before the handle fails
    EXPECT_EQ(BB_Ifce_CheckRXQueue(&queued), BB_ERR_NO_DEVICE);
    EXPECT_EQ(BB_Ifce_DevicePresent(), -1);
    stick->present = false;
    uint8_t buffer[4];
    uint32_t got = 9;
    EXPECT_EQ(BB_Ifce_ReadStream(buffer, 4, &got), BB_ERR_NO_DEVICE);
    EXPECT_EQ(got, 0u);
}

TEST_F(LinkTest, StreamReadGivesWhatIsQueuedWithoutWaiting) {
    Connect();
    uint8_t buffer[8];
    uint32_t got = 9;
    EXPECT_EQ(BB_Ifce_ReadStream(buffer, 8, &got), 0);  // nothing queued is not an error
    EXPECT_EQ(got, 0u);
    stick->Push({1, 2, 3});
    EXPECT_EQ(BB_Ifce_ReadStream(buffer, 8, &got), 0);
    EXPECT_EQ(got, 3u);
}

TEST_F(LinkTest, ConnectTriesThreeTimes) {
    BB_API_GetUSBApi(nullptr);
    stick->open_failures = 2;
    EXPECT_EQ(BB_Ifce_Connect(), 0);
    EXPECT_TRUE(BB_Ifce_IsOpen());
    BB_Ifce_Disconnect();
    stick->open_failures = 3;
    EXPECT_EQ(BB_Ifce_Connect(), BB_ERR_NO_DEVICE);
    EXPECT_FALSE(BB_Ifce_IsOpen());
}

TEST_F(LinkTest, ConnectWithoutDeviceOrWithManyDevices) {
    stick->present = false;
    BB_API_GetUSBApi(nullptr);
    logs.clear();
    EXPECT_EQ(BB_Ifce_Connect(), BB_ERR_NO_DEVICE);
    EXPECT_TRUE(Logged("USB connection failed: SI_GetNumDevices() returns 0"));

    stick->present = true;
    stick->device_count = 3;
    BB_API_GetUSBApi(nullptr);
    EXPECT_EQ(BB_Ifce_Connect(), 0);
    EXPECT_TRUE(Logged("3 devices are found. I can connect only one device at once."));
}

TEST_F(LinkTest, TheLibraryThatSeesTheStickIsChosen) {
    int32_t flag = -1;
    EXPECT_EQ(BB_API_GetUSBApi(&flag), 1);
    EXPECT_EQ(flag, 1);
    stick->library = usbdev::Library::kKoruDmbMS;
    EXPECT_EQ(BB_API_GetUSBApi(&flag), 0);
    EXPECT_EQ(flag, 0);
    EXPECT_EQ(BB_Ifce_Connect(), 0);  // through KoruDmbMS

    stick->present = false;
    logs.clear();
    EXPECT_EQ(BB_API_GetUSBApi(&flag), 0);
    EXPECT_TRUE(Logged("USB connection failed: SI_GetNumDevices() returns 0"));
}

TEST_F(LinkTest, WordsTravelLowByteFirstAndFailuresBecomeNoDevice) {
    Connect();
    ASSERT_EQ(BBM_WORD_WRITE(0x0010, 0x1234), 0);
    EXPECT_EQ(stick->frames.back(), (Bytes{0x21, 0x00, 0x10, 0, 2, 0x34, 0x12}));
    uint16_t value = 0;
    ASSERT_EQ(BBM_WORD_READ(0x0010, &value), 0);
    EXPECT_EQ(value, 0x1234);
    stick->present = false;
    EXPECT_EQ(BBM_BYTE_WRITE(0x0010, 1), BB_ERR_NO_DEVICE);
    EXPECT_TRUE(Logged("SI_Write() returns an error(4)"));
    BB_Ifce_Disconnect();
    uint8_t byte = 0;
    EXPECT_EQ(BB_Ifce_RegRead(0, &byte, 1), -1);
}

TEST_F(LinkTest, BandCommandFollowsTheFrequency) {
    Connect();
    BB_Ifce_SetBand(239.2);
    BB_Ifce_SetBand(244.999);
    BB_Ifce_SetBand(245.0);
    BB_Ifce_SetBand(1452.96);
    EXPECT_EQ(stick->controls, (Bytes{0x42, 0x42, 0x43, 0x43}));
}

}  // namespace
}  // namespace koru::test
