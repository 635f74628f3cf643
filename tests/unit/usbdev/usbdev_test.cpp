#include "usbdev/usbdev.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <deque>

#include "usbdev/device_provider.h"
#include "usbdev/usb_ops.h"

namespace {

using usbdev::Library;

// Every result code must reach the caller unchanged, under both operation sets.
struct Ops : usbdev::UsbOps {
    const char* name;
    Library library;
};

// The parameter's name in test listings (not its bytes, which change with every build).
void PrintTo(const Ops& ops, std::ostream* out) {
    *out << ops.name;
}

const Ops kSi{{usbdev::kSiUSBXpOps}, "SiUSBXp", Library::kSiUSBXp};
const Ops kDi{{usbdev::kKoruDmbMSOps}, "KoruDmbMS", Library::kKoruDmbMS};

// A scripted device: what tests put in `replies` comes back from reads.
struct Script {
    int read_result = SI_SUCCESS;
    std::deque<uint8_t> replies;
    std::vector<uint8_t> written;
    uint32_t last_read_timeout = 999;
    uint32_t last_write_timeout = 999;
    uint32_t status = 0;
    int flushes = 0;
};

class ScriptedDevice : public usbdev::UsbDevice {
  public:
    explicit ScriptedDevice(Script* script) : script_(script) {}
    int Read(uint8_t* buffer, uint32_t wanted, uint32_t* got, uint32_t timeout_ms) override {
        script_->last_read_timeout = timeout_ms;
        if (script_->read_result != SI_SUCCESS) return script_->read_result;
        if (script_->replies.empty()) return SI_RX_QUEUE_NOT_READY;
        while (*got < wanted && !script_->replies.empty()) {
            buffer[(*got)++] = script_->replies.front();
            script_->replies.pop_front();
        }
        return SI_SUCCESS;
    }
    int Write(const uint8_t* data, uint32_t length, uint32_t* written,
              uint32_t timeout_ms) override {
        script_->last_write_timeout = timeout_ms;
        script_->written.insert(script_->written.end(), data, data + length);
        *written = length;
        return SI_SUCCESS;
    }
    int Flush(bool, bool) override {
        ++script_->flushes;
        script_->replies.clear();
        return SI_SUCCESS;
    }
    int CheckRxQueue(uint32_t* queued, uint32_t* status) override {
        *queued = static_cast<uint32_t>(script_->replies.size());
        *status = script_->status;
        return SI_SUCCESS;
    }

  private:
    Script* script_;
};

// One device, seen by one of the two libraries only.
class OneDeviceProvider : public usbdev::DeviceProvider {
  public:
    OneDeviceProvider(Library library, Script* script) : library_(library), script_(script) {}
    int CountDevices(Library library, uint32_t* count) override {
        *count = library == library_ ? 1 : 0;
        return SI_SUCCESS;
    }
    int Open(Library library, uint32_t index, std::unique_ptr<usbdev::UsbDevice>* device) override {
        if (library != library_ || index != 0) return SI_DEVICE_NOT_FOUND;
        *device = std::make_unique<ScriptedDevice>(script_);
        return SI_SUCCESS;
    }

  private:
    Library library_;
    Script* script_;
};

class UsbDevTest : public ::testing::TestWithParam<Ops> {
  protected:
    void TearDown() override { usbdev::SetDeviceProvider(nullptr); }
};

TEST_P(UsbDevTest, WithoutAReceiverNothingIsFoundAndNothingOpens) {
    const Ops& ops = GetParam();
    setenv("KORU_RECEIVER", "none", 1);
    usbdev::SetDeviceProvider(usbdev::MakeConfiguredProvider());
    uint32_t count = 77;
    EXPECT_EQ(ops.GetNumDevices(&count), SI_SUCCESS);
    EXPECT_EQ(count, 0u);
    USB_HANDLE handle = reinterpret_cast<USB_HANDLE>(1);
    EXPECT_EQ(ops.Open(0, &handle), SI_DEVICE_NOT_FOUND);
    EXPECT_EQ(handle, nullptr);
    // Calls on a handle that is not open are refused, never followed.
    uint8_t buffer[4];
    uint32_t got = 5, queued = 5, status = 5;
    EXPECT_EQ(ops.Read(handle, buffer, 4, &got), SI_INVALID_HANDLE);
    EXPECT_EQ(got, 0u);
    EXPECT_EQ(ops.Write(handle, buffer, 4, &got), SI_INVALID_HANDLE);
    EXPECT_EQ(ops.CheckRXQueue(handle, &queued, &status), SI_INVALID_HANDLE);
    EXPECT_EQ(ops.FlushBuffers(handle, 1, 1), SI_INVALID_HANDLE);
    EXPECT_EQ(ops.Close(handle), SI_INVALID_HANDLE);
    EXPECT_EQ(ops.GetNumDevices(nullptr), SI_INVALID_PARAMETER);
    unsetenv("KORU_RECEIVER");
}

TEST_P(UsbDevTest, ReadResultsReachTheCallerUnchanged) {
    const Ops& ops = GetParam();
    Script script;
    usbdev::SetDeviceProvider(std::make_shared<OneDeviceProvider>(ops.library, &script));
    uint32_t count = 0;
    ASSERT_EQ(ops.GetNumDevices(&count), SI_SUCCESS);
    ASSERT_EQ(count, 1u);
    USB_HANDLE handle = nullptr;
    ASSERT_EQ(ops.Open(0, &handle), SI_SUCCESS);
    ASSERT_NE(handle, nullptr);

    uint8_t buffer[8];
    uint32_t got = 0;
    EXPECT_EQ(ops.Read(handle, buffer, 8, &got), SI_RX_QUEUE_NOT_READY) << "3: nothing to read";
    script.replies = {0x01, 0x02, 0x03};
    EXPECT_EQ(ops.Read(handle, buffer, 8, &got), SI_SUCCESS);
    EXPECT_EQ(got, 3u);
    script.read_result = SI_READ_ERROR;
    EXPECT_EQ(ops.Read(handle, buffer, 8, &got), SI_READ_ERROR) << "2: the device failed";
    EXPECT_EQ(got, 0u);
    script.read_result = SI_SUCCESS;

    script.replies = {9, 9, 9, 9};
    script.status = SI_RX_OVERRUN | SI_RX_READY;
    uint32_t queued = 0, status = 0;
    EXPECT_EQ(ops.CheckRXQueue(handle, &queued, &status), SI_SUCCESS);
    EXPECT_EQ(queued, 4u);
    EXPECT_EQ(status & SI_RX_OVERRUN, 1u);
    EXPECT_EQ(ops.FlushBuffers(handle, 1, 1), SI_SUCCESS);
    EXPECT_EQ(script.flushes, 1);
    EXPECT_EQ(ops.Close(handle), SI_SUCCESS);
    EXPECT_EQ(ops.Close(handle), SI_INVALID_HANDLE) << "a closed handle is gone";
}

TEST_P(UsbDevTest, TimeoutsArePerLibraryAndApplyToEveryTransfer) {
    const Ops& ops = GetParam();
    const Ops& other = ops.library == Library::kSiUSBXp ? kDi : kSi;
    Script script;
    usbdev::SetDeviceProvider(std::make_shared<OneDeviceProvider>(ops.library, &script));
    USB_HANDLE handle = nullptr;
    ASSERT_EQ(ops.Open(0, &handle), SI_SUCCESS);
    ASSERT_EQ(ops.SetTimeouts(200, 300), SI_SUCCESS);
    ASSERT_EQ(other.SetTimeouts(7, 7), SI_SUCCESS);
    const uint8_t frame[] = {0x12, 0x11};
    uint32_t written = 0;
    EXPECT_EQ(ops.Write(handle, frame, 2, &written), SI_SUCCESS);
    EXPECT_EQ(written, 2u);
    uint8_t reply;
    uint32_t got;
    ops.Read(handle, &reply, 1, &got);
    EXPECT_EQ(script.last_read_timeout, 200u);
    EXPECT_EQ(script.last_write_timeout, 300u);
    ASSERT_EQ(ops.SetTimeouts(0, 0), SI_SUCCESS);
    ops.Read(handle, &reply, 1, &got);
    EXPECT_EQ(script.last_read_timeout, 0u);
    EXPECT_EQ((std::vector<uint8_t>{0x12, 0x11}), script.written);
    // The other library does not see this device.
    uint32_t count = 9;
    EXPECT_EQ(other.GetNumDevices(&count), SI_SUCCESS);
    EXPECT_EQ(count, 0u);
    ops.Close(handle);
}

INSTANTIATE_TEST_SUITE_P(BothLibraries, UsbDevTest, ::testing::Values(kSi, kDi),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
