// Who the stick says it is, and which library sees it.
#include <cstdlib>

#include "stick_client.h"
#include "support/environment.h"
#include "usbdev/device_provider.h"

namespace koru::test {
namespace {

using IdentityTest = EmulatorFixture;

TEST_F(IdentityTest, NewFirmwareAnswersItsTextAndHardwareId) {
    Install("firmware KX2000|3.1|Jan 01 2008|PN3030|ITD3020|six # fields\nhardware-id 7\n");
    OpenStick();
    ASSERT_EQ(Write({0x12, 0x11}), SI_SUCCESS);
    EXPECT_EQ(Read(1), Bytes{7});
    ASSERT_EQ(Write({0x12, 0x10}), SI_SUCCESS);
    Bytes text = Read(255);
    EXPECT_EQ(std::string(text.begin(), text.end()),
              "KX2000|3.1|Jan 01 2008|PN3030|ITD3020|six # fields");
}

TEST_F(IdentityTest, OldFirmwareAnswersItsVersionOnly) {
    Install("firmware 1.3\nhardware-id 1\n");
    OpenStick();
    ASSERT_EQ(Write({0x12, 0x10}), SI_SUCCESS);
    Bytes text = Read(255);
    EXPECT_EQ(std::string(text.begin(), text.end()), "1.3");
    ASSERT_EQ(Write({0x12, 0x11}), SI_SUCCESS);
    EXPECT_EQ(Read(1), Bytes{1});
}

TEST_F(IdentityTest, AStickWithoutHardwareIdLetsTheReadTimeOut) {
    Install("hardware-id none\n");
    OpenStick();
    ASSERT_EQ(Write({0x12, 0x11}), SI_SUCCESS);
    uint32_t start = M4_GetSysClock();
    int result = 0;
    EXPECT_TRUE(Read(1, &result).empty());
    EXPECT_EQ(result, SI_RX_QUEUE_NOT_READY);
    EXPECT_GE(M4_GetSysClock() - start, 200u) << "the 200 ms read timeout is honoured";

    // On the unscaled clock, so that a busy machine does not look like a wait.
    M4_SetClockScale(1.0);
    ops_->SetTimeouts(0, 0);
    start = M4_GetSysClock();
    EXPECT_TRUE(Read(1, &result).empty());
    EXPECT_EQ(result, SI_RX_QUEUE_NOT_READY);
    EXPECT_LT(M4_GetSysClock() - start, 200u) << "timeout 0 does not wait for a timeout";
}

TEST_F(IdentityTest, FaultsSilenceTheHardwareIdAndSpoilTheFirmwareText) {
    Install("firmware KX1000|2.10|Mar 02 2007|PN3030|ITD3020|x\nhardware-id 3\n");
    OpenStick();
    emulator_->SetHardwareIdSilent(true);
    ASSERT_EQ(Write({0x12, 0x11}), SI_SUCCESS);
    EXPECT_TRUE(Read(1).empty());
    emulator_->SetHardwareIdSilent(false);
    ASSERT_EQ(Write({0x12, 0x11}), SI_SUCCESS);
    EXPECT_EQ(Read(1), Bytes{3});

    emulator_->SetFirmwareControlByte(true);
    ASSERT_EQ(Write({0x12, 0x10}), SI_SUCCESS);
    Bytes text = Read(255);
    ASSERT_FALSE(text.empty());
    int control_bytes = 0;
    for (uint8_t byte : text)
        control_bytes += byte < 0x20 ? 1 : 0;
    EXPECT_EQ(control_bytes, 1);
    EXPECT_EQ(text.size(), std::string("KX1000|2.10|Mar 02 2007|PN3030|ITD3020|x").size() + 1);
}

TEST_F(IdentityTest, OnlyTheConfiguredLibrarySeesTheStick) {
    Install("library KoruDmbMS\n");
    uint32_t count = 9;
    EXPECT_EQ(SI_GetNumDevices(&count), SI_SUCCESS);
    EXPECT_EQ(count, 0u);
    USB_HANDLE handle = nullptr;
    EXPECT_EQ(SI_Open(0, &handle), SI_DEVICE_NOT_FOUND);
    EXPECT_EQ(DI_GetNumDevices(&count), SI_SUCCESS);
    EXPECT_EQ(count, 1u);
    EXPECT_EQ(DI_Open(1, &handle), SI_DEVICE_NOT_FOUND) << "only device 0 exists";
    ASSERT_EQ(DI_Open(0, &handle), SI_SUCCESS);
    USB_HANDLE second = nullptr;
    EXPECT_EQ(DI_Open(0, &second), SI_DEVICE_NOT_FOUND) << "the stick opens once at a time";
    EXPECT_EQ(DI_Close(handle), SI_SUCCESS);
    EXPECT_EQ(DI_Open(0, &second), SI_SUCCESS);
    DI_Close(second);
}

// KORU_RECEIVER chooses the receiver behind both libraries; without it the demo receiver of
// the program folder stands there.
class ConfiguredProviderTest : public ::testing::Test {
  protected:
    void TearDown() override {
        unsetenv("KORU_RECEIVER");
        unsetenv("KORU_PROGRAM_DIR");
        usbdev::SetDeviceProvider(nullptr);
    }
    uint32_t Count(int (*get_num_devices)(uint32_t*)) {
        uint32_t count = 99;
        EXPECT_EQ(get_num_devices(&count), SI_SUCCESS);
        return count;
    }
    TempDir folder_;
};

TEST_F(ConfiguredProviderTest, EnvironmentChoosesTheReceiver) {
    WriteFile(folder_ / "mine.conf", "library KoruDmbMS\nair 208736 nothing.eti\n");
    setenv("KORU_RECEIVER", (folder_ / "mine.conf").c_str(), 1);
    usbdev::SetDeviceProvider(usbdev::MakeConfiguredProvider());
    EXPECT_EQ(Count(DI_GetNumDevices), 1u);
    EXPECT_EQ(Count(SI_GetNumDevices), 0u);

    setenv("KORU_RECEIVER", "none", 1);
    usbdev::SetDeviceProvider(usbdev::MakeConfiguredProvider());
    EXPECT_EQ(Count(DI_GetNumDevices), 0u);
    EXPECT_EQ(Count(SI_GetNumDevices), 0u);

    setenv("KORU_RECEIVER", (folder_ / "missing.conf").c_str(), 1);
    usbdev::SetDeviceProvider(usbdev::MakeConfiguredProvider());
    EXPECT_EQ(Count(SI_GetNumDevices) + Count(DI_GetNumDevices), 0u) << "unreadable: no receiver";
}

TEST_F(ConfiguredProviderTest, WithoutConfigurationTheDemoReceiverIsUsed) {
    std::filesystem::create_directories(folder_ / "demo");
    WriteFile(folder_ / "demo" / "receiver.conf", "library SiUSBXp\nair 208736 demo.eti\n");
    unsetenv("KORU_RECEIVER");
    setenv("KORU_PROGRAM_DIR", folder_.str().c_str(), 1);
    usbdev::SetDeviceProvider(usbdev::MakeConfiguredProvider());
    EXPECT_EQ(Count(SI_GetNumDevices), 1u);
    USB_HANDLE handle = nullptr;
    ASSERT_EQ(SI_Open(0, &handle), SI_SUCCESS);
    const uint8_t query[] = {0x12, 0x10};
    uint32_t done = 0;
    ASSERT_EQ(SI_Write(handle, query, 2, &done), SI_SUCCESS);
    char text[256] = {};
    SI_SetTimeouts(200, 200);
    ASSERT_EQ(SI_Read(handle, text, 255, &done), SI_SUCCESS);
    EXPECT_EQ(std::string(text, done).substr(0, 7), "KX1000|") << "the default identity";
    SI_Close(handle);

    std::filesystem::remove(folder_ / "demo" / "receiver.conf");
    usbdev::SetDeviceProvider(usbdev::MakeConfiguredProvider());
    EXPECT_EQ(Count(SI_GetNumDevices), 0u) << "no demo receiver: no receiver";

    // The build's own demo receiver, with its three ensembles.
    if (!std::filesystem::exists(BinDir() / "demo" / "receiver.conf")) return;
    setenv("KORU_PROGRAM_DIR", BinDir().c_str(), 1);
    rxsim::StickConfig demo;
    std::string error;
    ASSERT_TRUE(
        rxsim::LoadReceiverConf((BinDir() / "demo" / "receiver.conf").string(), &demo, &error));
    EXPECT_EQ(demo.air.size(), 3u);
    usbdev::SetDeviceProvider(usbdev::MakeConfiguredProvider());
    EXPECT_EQ(Count(SI_GetNumDevices), 1u);
}

}  // namespace
}  // namespace koru::test
