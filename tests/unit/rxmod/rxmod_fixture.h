// Common ground of the plug-in's unit tests: a fresh fake stick behind the USB libraries, a fast
// terminal clock, an empty temporary current folder (for "channel.dat") and captured log lines.
#ifndef KORU_TESTS_UNIT_RXMOD_RXMOD_FIXTURE_H
#define KORU_TESTS_UNIT_RXMOD_RXMOD_FIXTURE_H

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "fake_stick.h"
#include "m4systems/clock.h"
#include "m4systems/log.h"
#include "rxmod/bb_api.h"
#include "rxmod/bb_ficdec.h"
#include "rxmod/bb_if.h"
#include "rxmod/bb_tuner.h"
#include "rxmod/dmb_api.h"
#include "support/temp_dir.h"
#include "usbdev/device_provider.h"

namespace koru::test {

// An in-use component record.
inline ComponentRecord Component(uint8_t tmid, uint8_t type, uint8_t subchid = 0) {
    ComponentRecord component{};
    component.in_use = kRecordInUse;
    component.tmid = tmid;
    component.type = type;
    component.subchid = subchid;
    component.packet_address = kUnknownPacketAddress;
    return component;
}

class RxmodTest : public ::testing::Test {
  protected:
    void SetUp() override {
        M4_SetClockScale(200.0);
        M4_SetLogLevel(3);
        stick = std::make_shared<FakeStick>();
        usbdev::SetDeviceProvider(stick);
        old_folder_ = std::filesystem::current_path();
        std::filesystem::current_path(folder_.path());
        BB_API_CloseUSB();
        DMB_ClearChannelCache();
        for (int i = 0; i < kServiceSlots; ++i)
            BB_API_CloseService(i);
        M4_SetLogSink(&RxmodTest::Capture, this);
    }

    void TearDown() override {
        M4_SetLogSink(nullptr, nullptr);
        BB_API_CloseUSB();
        usbdev::SetDeviceProvider(nullptr);
        std::filesystem::current_path(old_folder_);
        M4_SetLogLevel(1);
        M4_SetClockScale(1.0);
    }

    // Brings the stick up and forgets what the bring-up sent.
    void BringUp() {
        ASSERT_EQ(BB_API_Init(), 0);
        ClearRecords();
    }

    void ClearRecords() {
        stick->frames.clear();
        stick->register_writes.clear();
        stick->tuner_writes.clear();
        stick->controls.clear();
        logs.clear();
        debug.clear();
    }

    bool Logged(const std::string& text) const {
        for (const std::string& line : logs) {
            if (line == text) return true;
        }
        return false;
    }

    const std::filesystem::path& folder() const { return folder_.path(); }

    std::shared_ptr<FakeStick> stick;
    std::vector<std::string> logs;
    std::vector<std::string> debug;  // the debug output

  private:
    static void Capture(void* user, int channel, int, const char*, const char* text) {
        auto* test = static_cast<RxmodTest*>(user);
        (channel == 0 ? test->logs : test->debug).emplace_back(text);
    }

    TempDir folder_;
    std::filesystem::path old_folder_;
};

}  // namespace koru::test

#endif
