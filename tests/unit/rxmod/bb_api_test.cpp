#include "rxmod/bb_api.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "rxmod/bb_err.h"
#include "rxmod/bb_if.h"
#include "rxmod/rxmod_api.h"
#include "rxmod_fixture.h"
#include "support/temp_dir.h"

namespace koru::test {
namespace {

using BringUpTest = RxmodTest;

TEST_F(BringUpTest, OldFirmwareIsIdentifiedByItsHardwareId) {
    stick->firmware = "1.3";
    stick->hardware_id = 1;
    ASSERT_EQ(BB_API_Init(), 0);
    EXPECT_STREQ(BB_HwInfo().model, "NRC");
    EXPECT_STREQ(BB_HwInfo().version, "1.2");
    EXPECT_STREQ(BB_HwInfo().date, "Nov 22 2005");
    EXPECT_STREQ(BB_HwInfo().baseband, "PN3030");
    EXPECT_STREQ(BB_HwInfo().tuner, "ITD3010");

    stick->firmware = "";  // no text at all, and no hardware id either
    stick->hardware_id.reset();
    ASSERT_EQ(BB_API_Init(), 0);
    EXPECT_STREQ(BB_HwInfo().model, "KX1000");
    EXPECT_STREQ(BB_HwInfo().date, "Oct 26 2005");
    EXPECT_EQ(BB_HwInfo().hardware_id, 15);

    stick->hardware_id = 0;
    ASSERT_EQ(BB_API_Init(), 0);
    EXPECT_STREQ(BB_HwInfo().version, "1.4");

    stick->hardware_id = 7;  // old firmware of no known stick
    EXPECT_EQ(BB_API_Init(), BB_ERR_NO_DEVICE);
    EXPECT_FALSE(BB_Ifce_IsOpen());
}

TEST_F(BringUpTest, SixFieldsAreSplitAndCutToTheirWidths) {
    stick->firmware = "MARTEN|3.1|May 05 2008|CTX2050|FNX14701|board rev B|ignored";
    BB_API_GetUSBApi(nullptr);
    ASSERT_EQ(BB_API_OpenUSB(), 0);
    ASSERT_EQ(BB_IdentifyHardware(), 0);
    const HwInfo& hw = BB_HwInfo();
    EXPECT_STREQ(hw.model, "MARTEN");
    EXPECT_STREQ(hw.version, "3.1");
    EXPECT_STREQ(hw.date, "May 05 2008");
    EXPECT_STREQ(hw.baseband, "CTX2050");
    EXPECT_STREQ(hw.tuner, "FNX14701");
    EXPECT_STREQ(hw.extra, "board rev B");
    EXPECT_DOUBLE_EQ(BB_FindBaseband("CTX2050")->tuner_clock_mhz, 24.576);
    EXPECT_EQ(BB_FindTuner("FNX14701")->bus_address, 0x62);
    EXPECT_DOUBLE_EQ(BB_FindBaseband("PN3030")->tuner_clock_mhz, 16.384);
    EXPECT_EQ(BB_FindTuner("ITD3010")->bus_address, 0x61);
    EXPECT_EQ(BB_FindTuner("FC2501")->bus_address, 0x60);

    HwInfo info{};
    BB_SplitIdentification("A-model-name-that-is-far-too-long-for-its-field|v||PN3030", &info);
    EXPECT_EQ(std::strlen(info.model), 31u);
    EXPECT_STREQ(info.version, "v");
    EXPECT_STREQ(info.date, "");
    EXPECT_STREQ(info.baseband, "PN3030");
    EXPECT_STREQ(info.tuner, "");
}

TEST_F(BringUpTest, AControlByteInTheFirmwareTextFailsIdentification) {
    stick->firmware = std::string("KX1000|2.0|Jan 01 2007|PN3030|ITD3020\x01", 38);
    EXPECT_EQ(BB_API_Init(), BB_ERR_NO_DEVICE);
    EXPECT_FALSE(BB_Ifce_IsOpen());
    EXPECT_TRUE(Logged("RXMOD []"));

    stick->firmware = "KX1000|2.0|Jan 01 2007|PN3030|ITD3020\xC3\xA9";  // not plain text either
    EXPECT_EQ(BB_API_Init(), BB_ERR_NO_DEVICE);
}

TEST_F(BringUpTest, GetHWNameWritesExactlyTheModelsBytes) {
    ASSERT_EQ(BB_API_Init(), 0);
    char name[32];
    std::memset(name, '#', sizeof name);
    uint32_t length = 99;
    BB_API_GetHWName(name, &length);
    EXPECT_EQ(length, 6u);
    EXPECT_EQ(std::string(name, 6), "KX1000");
    EXPECT_EQ(name[6], '#');
    EXPECT_TRUE(Logged("RXMOD-1 [KX1000]"));
}

TEST_F(BringUpTest, ARefusedStickLeavesTheDriversAsTheyWere) {
    ASSERT_EQ(BB_API_Init(), 0);
    const auto tune = BB_Baseband().Tune;
    const auto tuner_tune = BB_Tuner().Tune;
    const auto register_read = BB_RegisterBus().Read;

    stick->firmware = "KX1000|2.0|Jan 01 2007|PN3030|XT9999";
    EXPECT_EQ(BB_API_Init(), BB_ERR_NO_DEVICE);
    EXPECT_TRUE(Logged("Unknown tuner!!"));
    stick->firmware = "KX1000|2.0|Jan 01 2007|ZZ1000|ITD3020";
    EXPECT_EQ(BB_API_Init(), BB_ERR_NO_DEVICE);
    EXPECT_TRUE(Logged("Unknown BB Chip"));

    EXPECT_EQ(BB_Baseband().Tune, tune);
    EXPECT_EQ(BB_Tuner().Tune, tuner_tune);
    EXPECT_EQ(BB_RegisterBus().Read, register_read);
}

TEST_F(BringUpTest, BringUpConfiguresTheChipsAndLoadsTheCache) {
    ChannelInfo info{};
    info.frequency = 208.736;
    DMB_StoreChannel(info);
    ASSERT_EQ(DMB_SaveChannelCache("channel.dat"), 0);
    DMB_ClearChannelCache();

    ASSERT_EQ(BB_API_Init(), 0);
    EXPECT_EQ(DMB_CachedChannelCount(), 1);
    EXPECT_DOUBLE_EQ(BB_HwInfo().tuner_clock, 16.384);
    EXPECT_EQ(BB_HwInfo().tuner_address, 0x61);
    // The PN3030 reaches the ITD tuner at 0x61 through its I2C master.
    ClearRecords();
    uint8_t value = 0;
    ASSERT_EQ(BB_TunerBus().ByteRead(0x66, &value), 0);
    EXPECT_EQ(value, 0x10);
    EXPECT_EQ(stick->registers[0x6813], 0x61);
}

TEST_F(BringUpTest, NoStickNoBringUp) {
    stick->present = false;
    EXPECT_EQ(BB_API_Init(), BB_ERR_NO_DEVICE);
    EXPECT_EQ(BB_API_OpenUSB(), BB_ERR_NO_DEVICE);
}

}  // namespace
}  // namespace koru::test
