// The demo air on the emulated stick, the real plug-in loaded by the terminal's plug-in manager
// and the channel search the player runs first: the fixture of the live-service tests, with the
// checks that the bytes delivered are the service's own. The board's chips come from the lines
// a test puts before the demo's receiver.conf.
#ifndef KORU_TESTS_INTEGRATION_STREAM_DEMO_AIR_H
#define KORU_TESTS_INTEGRATION_STREAM_DEMO_AIR_H

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "dab/eti.h"
#include "dab/outer_code.h"
#include "m4systems/clock.h"
#include "m4systems/log.h"
#include "m4systems/messages.h"
#include "rxmod/rxmod_api.h"
#include "support/environment.h"
#include "support/no_stick.h"
#include "support/temp_dir.h"
#include "test_terminal.h"
#include "tools/mkens/description.h"
#include "tools/mkens/media.h"
#include "usbdev/device_provider.h"
#include "usbdev/rxsim/rxsim.h"

namespace koru::test {

constexpr int kDemoKhz = 208736;
constexpr double kClockScale = 10.0;

inline std::string Trimmed(std::string text) {
    while (!text.empty() && text.back() == ' ')
        text.pop_back();
    return text;
}

inline std::string Url(int index, const char* extension) {
    return "bbu://" + std::to_string(kDemoKhz) + "," + std::to_string(index) + ",0." + extension;
}

// The bytes delivered are a run of the looped sub-channel stream that starts at a frame. A
// frame may occur more than once in the loop (a steady tone with the same PAD), so every start
// whose frame matches is tried.
inline void ExpectRunOfTheLoop(const std::vector<uint8_t>& delivered,
                               const std::vector<uint8_t>& loop, size_t frame_bytes) {
    ASSERT_GE(delivered.size(), frame_bytes);
    ASSERT_FALSE(loop.empty());
    bool first_frame_found = false;
    size_t longest_run = 0;
    for (size_t start = 0; start < loop.size(); start += frame_bytes) {
        if (!std::equal(loop.begin() + static_cast<long>(start),
                        loop.begin() + static_cast<long>(start + frame_bytes), delivered.begin())) {
            continue;
        }
        first_frame_found = true;
        size_t i = 0;
        while (i < delivered.size() && delivered[i] == loop[(start + i) % loop.size()])
            ++i;
        if (i == delivered.size()) return;
        longest_run = std::max(longest_run, i);
    }
    ASSERT_TRUE(first_frame_found) << "the first bytes are no frame of the service";
    FAIL() << "byte " << longest_run << " of " << delivered.size() << " differs";
}

class DemoAirTest : public ::testing::Test {
  protected:
    // The demo air heard by a board with these receiver.conf lines (none: the demo board).
    void SetUpBoard(const std::string& board) {
        const std::filesystem::path demo = BinDir() / "demo";
        if (!std::filesystem::exists(demo / "208736.eti")) {
            GTEST_SKIP() << "the demo ensembles are not built in " << demo;
        }
        std::string error;
        const auto description =
            mkens::ParseDescription(SourceDir() / "data" / "demo" / "208736.ens", &error);
        ASSERT_TRUE(description) << error;
        description_ = *description;

        M4_SetClockScale(kClockScale);
        M4_SetLogLevel(2);
        old_folder_ = std::filesystem::current_path();
        std::filesystem::current_path(folder_.path());
        ASSERT_NO_FATAL_FAILURE(PlugBoard(board));

        terminal_ = std::make_unique<TestTerminal>();
        ASSERT_TRUE(terminal_->ready());
        SearchDemoEnsemble();
    }

    // Another board on the demo air takes the place of the stick, with these receiver.conf
    // lines before the demo's, and a receive queue that a loaded machine cannot overrun by
    // accident.
    void PlugBoard(const std::string& board) {
        const std::filesystem::path demo = BinDir() / "demo";
        rxsim::StickConfig config;
        std::string error;
        const std::string conf = board + "rx-queue 4194304\n" + ReadFile(demo / "receiver.conf");
        ASSERT_TRUE(rxsim::ParseReceiverConf(conf, demo.string(), &config, &error)) << error;
        emulator_ = std::make_shared<rxsim::Emulator>(config);
        usbdev::SetDeviceProvider(emulator_);
    }

    void TearDown() override {
        terminal_.reset();
        usbdev::SetDeviceProvider(nullptr);
        emulator_.reset();
        M4_SetLogLevel(1);
        M4_SetClockScale(1.0);
        if (!old_folder_.empty()) std::filesystem::current_path(old_folder_);
    }

    // The channel search the player runs first: it fills "channel.dat" and numbers the services.
    void SearchDemoEnsemble() {
        auto search = terminal_->Export<DMB_API_SearchChannelFn>("DMB_API_SearchChannel");
        ASSERT_NE(search, nullptr);
        ServiceEntry entries[DMB_MAX_SERVICES] = {};
        int32_t count = 0;
        ASSERT_EQ(search(kDemoKhz * 0.001, entries, &count, 3000), 0);
        for (int i = 0; i < count; ++i)
            index_[Trimmed(entries[i].label)] = entries[i].service_index;
        ASSERT_TRUE(std::filesystem::exists("channel.dat"));
    }

    int IndexOf(const std::string& label) {
        EXPECT_EQ(index_.count(label), 1u) << label;
        return index_[label];
    }

    const mkens::ServiceDescription& Described(const std::string& label) const {
        for (const auto& service : description_.services) {
            if (service.label == label) return service;
        }
        throw std::runtime_error("no service " + label);
    }

    // One loop of a sub-channel's bytes as the recording carries them, frame after frame.
    std::vector<uint8_t> SubchannelLoop(int subchannel, size_t* frame_bytes) const {
        auto reader = dab::EtiReader::Open(BinDir() / "demo" / "208736.eti");
        EXPECT_TRUE(reader);
        std::vector<uint8_t> bytes;
        dab::EtiFrame frame;
        while (reader && reader->Next(&frame)) {
            const dab::EtiStream* stream = frame.FindStream(subchannel);
            if (stream == nullptr) continue;
            *frame_bytes = stream->data.size();
            bytes.insert(bytes.end(), stream->data.begin(), stream->data.end());
        }
        return bytes;
    }

    // Waits for n messages of code (real time bound).
    bool WaitForMessages(uint32_t code, size_t n = 1, int timeout_ms = 60000) {
        return terminal_->WaitUntil([&] { return terminal_->CountLocked(code) >= n; }, timeout_ms);
    }
    bool WaitForDelivered(size_t bytes) {
        return terminal_->WaitUntil([&] { return terminal_->delivered_locked() >= bytes; });
    }
    bool WaitForLog(const std::string& text) {
        return terminal_->WaitUntil([&] { return terminal_->LoggedLocked(text); });
    }

    // The terminal clock time of the n-th (0-based) message of code, or 0.
    uint32_t TimeOf(uint32_t code, size_t n = 0) {
        for (const Message& m : terminal_->Messages()) {
            if (m.code == code && n-- == 0) return m.at_ms;
        }
        return 0;
    }

    // TV: exactly the service's transport stream, the signal report first, then 1225 and 1226
    // once. KORU TV 1 is outer-coded: the stick delivers the transport stream under the outer
    // code; KORU TV 2 is plain: its bytes come exactly as the sub-channel carries them.
    void ExpectTvDeliversItsTransportStream() {
        const int index = IndexOf("KORU TV 1");
        ASSERT_EQ(terminal_->Connect(Url(index, "ts")), 0);
        EXPECT_EQ(terminal_->service()->status, 3);
        ASSERT_TRUE(WaitForMessages(WM_SYSTEM_FIRST_FRAME));
        ASSERT_TRUE(WaitForDelivered(150000));
        EXPECT_LT(terminal_->Close(), 3000u);
        EXPECT_EQ(terminal_->service()->status, 5);

        size_t frame_bytes = 0;
        std::vector<uint8_t> loop = SubchannelLoop(Described("KORU TV 1").subchannel, &frame_bytes);
        loop.insert(loop.end(), loop.begin(), loop.end());
        dab::OuterDecoder outer;
        std::vector<uint8_t> transport_stream;
        outer.Process(loop, &transport_stream);
        ASSERT_EQ(outer.mode(), dab::OuterDecoder::Mode::kOuterCoded);
        const std::vector<uint8_t> delivered = terminal_->Delivered();
        ASSERT_GE(delivered.size(), 150000u);
        EXPECT_EQ(delivered[0], 0x47) << "whole packets from the first one on";
        EXPECT_NE(std::search(transport_stream.begin(), transport_stream.end(), delivered.begin(),
                              delivered.end()),
                  transport_stream.end())
            << "a run of the decoded transport stream";

        // The signal report of the start, then receiving and first frame once, in this order.
        const std::vector<Message> messages = terminal_->Messages();
        ASSERT_GE(messages.size(), 3u);
        EXPECT_EQ(messages[0].code, static_cast<uint32_t>(WM_SYSTEM_SIGNAL_LEVEL));
        EXPECT_EQ(messages[0].wparam, 0);
        std::vector<uint32_t> firsts;
        for (const Message& m : messages) {
            if (m.code == WM_SYSTEM_RECEIVING || m.code == WM_SYSTEM_FIRST_FRAME)
                firsts.push_back(m.code);
        }
        EXPECT_EQ(firsts, (std::vector<uint32_t>{WM_SYSTEM_RECEIVING, WM_SYSTEM_FIRST_FRAME}));

        terminal_->ClearRecords();
        ASSERT_EQ(terminal_->Connect(Url(IndexOf("KORU TV 2"), "ts")), 0);
        ASSERT_TRUE(WaitForDelivered(150000));
        terminal_->Close();
        ExpectRunOfTheLoop(terminal_->Delivered(),
                           SubchannelLoop(Described("KORU TV 2").subchannel, &frame_bytes),
                           frame_bytes);
    }

    // Radio: the service's Layer II frames, one per 24 ms.
    void ExpectRadioDeliversItsLayerIIFrames() {
        const int index = IndexOf("KORU Radio");
        ASSERT_EQ(terminal_->Connect(Url(index, "mp2")), 0);
        ASSERT_TRUE(WaitForDelivered(40000));
        terminal_->Close();
        size_t frame_bytes = 0;
        const std::vector<uint8_t> loop =
            SubchannelLoop(Described("KORU Radio").subchannel, &frame_bytes);
        const std::vector<uint8_t> delivered = terminal_->Delivered();
        ExpectRunOfTheLoop(delivered, loop, frame_bytes);
        // One Layer II frame per 24 ms: each starts with its sync word.
        ASSERT_EQ(frame_bytes, 384u);
        for (size_t at = 0; at + frame_bytes <= delivered.size(); at += frame_bytes) {
            ASSERT_EQ(delivered[at], 0xFF) << at;
            ASSERT_EQ(delivered[at + 1] & 0xF0, 0xF0) << at;
        }
    }

    // The data service: the website's files as the ensemble builder put them in, and 1247.
    void ExpectTheWebsiteWrittenAsTheBuilderSentIt() {
        const std::filesystem::path body = folder_.path() / "DataService" / "KORU Web";
        std::filesystem::create_directories(body);
        auto set_path = terminal_->Export<int32_t (*)(const char*)>("SetMOTBodyPath");
        ASSERT_NE(set_path, nullptr);
        const std::string prefix = body.string() + "/";
        EXPECT_EQ(set_path(prefix.c_str()), static_cast<int32_t>(prefix.size() + 1));

        // What the ensemble builder put in: the files named in the description, the pictures as
        // its media cache holds them.
        const mkens::ServiceDescription& web = Described("KORU Web");
        mkens::MediaMaker media(KORU_DEMO_MEDIA);
        std::map<std::string, std::string> expected;
        for (const mkens::ObjectDescription& item : web.objects) {
            if (item.image) {
                const auto bytes =
                    media.Image(*item.image, std::filesystem::path(item.name).extension());
                expected[item.name] = std::string(bytes.begin(), bytes.end());
            } else {
                expected[item.name] = ReadFile(description_.folder / item.file);
            }
        }
        ASSERT_EQ(expected.size(), 4u);
        auto all_written = [&] {
            for (const auto& [name, contents] : expected) {
                if (ReadFile(body / name) != contents) return false;
            }
            return terminal_->CountLocked(WM_SYSTEM_MOT_DIR_TIME) > 0;
        };

        ASSERT_EQ(terminal_->Connect(Url(IndexOf("KORU Web"), "mp2")), 0);
        EXPECT_TRUE(terminal_->WaitUntil(all_written)) << "the website was not written as sent";
        terminal_->Close();
        EXPECT_EQ(media.ffmpeg_runs(), 0);
        EXPECT_EQ(terminal_->DeliveredSize(), 0u);  // data services go to the data decoder only

        for (const Message& m : terminal_->Messages()) {
            if (m.code != WM_SYSTEM_MOT_DIR_TIME) continue;
            EXPECT_EQ(m.path, prefix + "index.htm");
            EXPECT_GT(m.lparam, 0);  // the carousel period, tenths of a second
        }
        // Nothing outside the named files: the folders come from the names.
        size_t files = 0;
        for (const auto& item : std::filesystem::recursive_directory_iterator(body))
            files += item.is_regular_file() ? 1 : 0;
        EXPECT_EQ(files, expected.size());
    }

    // A pulled stick ends the thread with 1233 within a second.
    void ExpectAPullEndsTheThreadWithNoDevice() {
        terminal_->ClearRecords();
        ASSERT_EQ(terminal_->Connect(Url(IndexOf("KORU TV 2"), "ts")), 0);
        ASSERT_TRUE(WaitForMessages(WM_SYSTEM_FIRST_FRAME));
        const uint32_t pulled = M4_GetSysClock();
        emulator_->Pull();
        ASSERT_TRUE(WaitForMessages(WM_SYSTEM_NO_DEVICE));
        ASSERT_TRUE(WaitForLog("Pnp_UsbThread ended(-206)"));
        // From the failed reads, not from the silence rule that would follow 4.5 s later.
        EXPECT_LT(TimeOf(WM_SYSTEM_NO_DEVICE) - pulled, 4501u);
        // The thread is gone: close finds nothing to stop and waits for nothing.
        EXPECT_LT(terminal_->Close(), 3000u);
        EXPECT_EQ(terminal_->service()->status, 5);
    }

    // An overrun reconnects the link, tunes again and data flows again.
    void ExpectAnOverrunReconnects() {
        ASSERT_EQ(terminal_->Connect(Url(IndexOf("KORU TV 1"), "ts")), 0);
        ASSERT_TRUE(WaitForMessages(WM_SYSTEM_FIRST_FRAME));
        emulator_->ForceOverrun();
        ASSERT_TRUE(WaitForLog("Reconnect USB interface"));
        const size_t before = terminal_->DeliveredSize();
        ASSERT_TRUE(WaitForMessages(WM_SYSTEM_FIRST_FRAME, 2));  // the new tuning's first packet
        ASSERT_TRUE(WaitForDelivered(before + 50000));
        terminal_->Close();
        const std::vector<std::string> logs = terminal_->Logs();
        const auto at = [&](const std::string& text) {
            return std::find(logs.begin(), logs.end(), text) - logs.begin();
        };
        EXPECT_LT(at("RX Queue Overrunned."), at("Reconnect USB interface"));
        EXPECT_EQ(std::count(logs.begin(), logs.end(), "BB_API_Tune() succeeded."), 2);
    }

    mkens::Description description_;
    TempDir folder_;
    std::filesystem::path old_folder_;
    std::shared_ptr<rxsim::Emulator> emulator_;
    std::unique_ptr<TestTerminal> terminal_;
    std::map<std::string, int> index_;
};

}  // namespace koru::test

#endif
