// The input service and its download thread against the scripted stick: the exports and the
// service object, the URL grammar, and the thread's branches (lock retries, the first packet,
// signal batches, debug text, unknown errors) and how it stops, also when it does not in time.
// The stick is touched by the download thread only while it runs (through on_check and the
// packets it sends when the stream is enabled); the test reads what it recorded afterwards.
#include "rxmod/rxmod.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "m4systems/clock.h"
#include "m4systems/messages.h"
#include "m4systems/terminal.h"
#include "rxmod/bb_err.h"
#include "rxmod/bb_if.h"
#include "rxmod/bb_tuner.h"
#include "rxmod/rxmod_api.h"
#include "rxmod_fixture.h"

namespace koru::test {
namespace {

using Bytes = std::vector<uint8_t>;

// What the thread did, in order: messages ("msg <code> <wparam> <lparam>"), log lines of the
// module and debug output ("debug <text>"); and the bytes delivered.
class Events {
  public:
    void Add(std::string event) {
        std::lock_guard lock(mutex_);
        events_.push_back(std::move(event));
        changed_.notify_all();
    }
    void Deliver(const uint8_t* data, uint32_t length) {
        std::lock_guard lock(mutex_);
        delivered_.insert(delivered_.end(), data, data + length);
    }
    bool WaitFor(const std::string& event, size_t times = 1) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, std::chrono::seconds(30), [&] {
            return static_cast<size_t>(std::count(events_.begin(), events_.end(), event)) >= times;
        });
    }
    std::vector<std::string> All() {
        std::lock_guard lock(mutex_);
        return events_;
    }
    Bytes Delivered() {
        std::lock_guard lock(mutex_);
        return delivered_;
    }
    size_t Count(const std::string& event) {
        std::lock_guard lock(mutex_);
        return static_cast<size_t>(std::count(events_.begin(), events_.end(), event));
    }
    void Clear() {
        std::lock_guard lock(mutex_);
        events_.clear();
        delivered_.clear();
    }

  private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<std::string> events_;
    Bytes delivered_;
};

std::string Msg(uint32_t code, M4Param wparam = 0, M4Param lparam = 0) {
    return "msg " + std::to_string(code) + " " + std::to_string(wparam) + " " +
           std::to_string(lparam);
}

// Where the stick's PN3030 signal report codes land: code 100 gives 101, codes 1 to 14 give 334.
Bytes SignalReport(int code, uint32_t error) {
    return FakeStick::Packet(
        4, {0, 0, static_cast<uint8_t>(code & 0xFF), static_cast<uint8_t>((code >> 8) & 0x1F),
            static_cast<uint8_t>(error >> 16), static_cast<uint8_t>(error >> 8),
            static_cast<uint8_t>(error), 0});
}

constexpr int kKhz = 208736;

class DownloadTest : public RxmodTest {
  protected:
    void SetUp() override {
        RxmodTest::SetUp();
        // Slow enough that a loaded machine still lets the thread stop within close's 3 s.
        M4_SetClockScale(10.0);
        M4_SetLogLevel(2);
        M4_SetLogSink(&DownloadTest::OnLog, &events_);
        M4_SetMessageHook(&DownloadTest::OnMessage, &events_);
        CacheEnsemble();
        object_ = static_cast<M4InputService*>(LoadInterface(RXMOD_INTERFACE_ID));
        ASSERT_NE(object_, nullptr);
        object_->terminal_private = &events_;
        object_->DeliverData = &DownloadTest::OnData;
    }

    void TearDown() override {
        if (object_ != nullptr) ShutdownInterface(object_);
        M4_SetMessageHook(nullptr, nullptr);
        RxmodTest::TearDown();
    }

    // Service 0: TV on sub-channel 1; service 1 in a transport mode the baseband cannot stream.
    void CacheEnsemble() {
        auto info = std::make_unique<ChannelInfo>();
        FIC_Reset(*info, kKhz * 0.001);
        std::strcpy(info->ensemble_label, "Test");
        info->services[0].in_use = kRecordInUse;
        std::strcpy(info->services[0].label, "TV");
        info->services[0].components[0] = ComponentReference(0);
        info->components[0] = Component(1, 24, 1);
        info->services[1].in_use = kRecordInUse;
        std::strcpy(info->services[1].label, "FIDC");
        info->services[1].components[0] = ComponentReference(1);
        info->components[1] = Component(2, 0, 2);
        ASSERT_EQ(DMB_StoreChannel(*info), 0);
    }

    int32_t Connect(const std::string& url = "bbu://208736,0,0.ts") {
        return object_->Connect(object_, url.c_str(), 0);
    }

    // Events before the first occurrence of `event` that equal `counted`.
    size_t CountBefore(const std::string& counted, const std::string& event, size_t occurrence) {
        size_t n = 0;
        for (const std::string& e : events_.All()) {
            if (e == event && occurrence-- == 0) return n;
            n += e == counted ? 1 : 0;
        }
        return SIZE_MAX;
    }

    static void OnLog(void* user, int channel, int, const char* source, const char* text) {
        auto* events = static_cast<Events*>(user);
        if (channel == 1) {
            events->Add(std::string("debug ") + text);
        } else if (std::strcmp(source, "rxmod") == 0) {
            events->Add(text);
        }
    }
    static void OnMessage(void* user, uint32_t code, M4Param wparam, M4Param lparam) {
        static_cast<Events*>(user)->Add(Msg(code, wparam, lparam));
    }
    static void OnData(M4InputService* service, const uint8_t* data, uint32_t length) {
        static_cast<Events*>(service->terminal_private)->Deliver(data, length);
    }

    Events events_;
    M4InputService* object_ = nullptr;
};

TEST_F(DownloadTest, TheExportsAndTheServiceObject) {
    EXPECT_EQ(QueryInterface(0x4D444E4C), 1u);
    EXPECT_EQ(QueryInterface(0x4D535452), 0u);
    EXPECT_EQ(LoadInterface(0x4D535452), nullptr);
    EXPECT_EQ(object_->interface_id, 0x4D444E4Cu);
    EXPECT_STREQ(object_->module_name, "RXMOD Downloader");
    EXPECT_STREQ(object_->author, "VARN distribution");
    EXPECT_EQ(object_->version, 0x204u);
    EXPECT_EQ(object_->status, 5);
    EXPECT_NE(object_->context, nullptr);
    EXPECT_EQ(object_->Operation7(object_), 0);
    EXPECT_EQ(object_->Operation10(object_), 0);
    EXPECT_EQ(object_->Operation11(object_), -206);
    EXPECT_EQ(object_->Close(object_), 0);  // idle: nothing to do
    EXPECT_EQ(object_->status, 5);
    EXPECT_EQ(object_->ServiceCommand(object_, 999, 0), -14);
    // Car mode goes to the tuner driver installed at bring-up.
    BringUp();
    EXPECT_EQ(object_->ServiceCommand(object_, 1000, 0), 0);
    EXPECT_EQ(object_->ServiceCommand(object_, 1001, 0), 0);
    // An object that is not this plug-in's is left alone.
    M4InputService foreign{};
    foreign.interface_id = 0x4D535452;
    ShutdownInterface(&foreign);
    ShutdownInterface(nullptr);
}

TEST_F(DownloadTest, TheUrlGrammar) {
    double mhz = 0;
    int32_t index = -1;
    int32_t kind = -1;
    ASSERT_EQ(BB_ParseURL("bbu://208736,3,0.ts", &mhz, &index, &kind), 0);
    EXPECT_EQ(mhz, 208736 * 0.001);
    EXPECT_EQ(index, 3);
    EXPECT_EQ(kind, 3);
    ASSERT_EQ(BB_ParseURL("bbu://1452960,12,0.mp2", &mhz, &index, &kind), 0);
    EXPECT_EQ(mhz, 1452960 * 0.001);
    EXPECT_EQ(index, 12);
    EXPECT_EQ(kind, 2);
    ASSERT_EQ(BB_ParseURL("bbu://205280;7.x.mp3", &mhz, &index, &kind), 0);  // any separator
    EXPECT_EQ(index, 7);
    EXPECT_EQ(kind, 2);
    // Eight digits: the frequency takes seven, the eighth is the separator.
    ASSERT_EQ(BB_ParseURL("bbu://12345678,3,0.ts", &mhz, &index, &kind), 0);
    EXPECT_EQ(mhz, 1234567 * 0.001);
    EXPECT_EQ(index, 0);
    ASSERT_EQ(BB_ParseURL("bbu://208736,123,0.ts", &mhz, &index, &kind), 0);
    EXPECT_EQ(index, 12);
    ASSERT_EQ(BB_ParseURL("bbu://208736,63,0.ts", &mhz, &index, &kind), 0);
    EXPECT_EQ(index, 63);
    // 64 and 65 would open the receiver's FIC and debug streams as the service.
    for (const char* refused :
         {"bbu://208736,3,0", "bbu://208736,3,0.TS", "bbu://208736,3,0.aac", "bbu://208736,3,0.ts2",
          "bbu:/", "", "bbu://208736,64,0.ts", "bbu://208736,65,0.mp2", "bbu://208736,99,0.ts"}) {
        EXPECT_EQ(BB_ParseURL(refused, &mhz, &index, &kind), BB_ERR_NO_DEVICE) << refused;
    }

    // Can-handle ignores case; connect compares the extension with case and starts nothing.
    EXPECT_EQ(object_->CanHandleURL(object_, "BBU://208736,0,0.TS"), 1);
    EXPECT_EQ(object_->CanHandleURL(object_, "bbu:/208736,0,0.ts"), 0);
    EXPECT_EQ(object_->CanHandleURL(object_, "file:///tmp/a.ts"), 0);
    EXPECT_EQ(Connect("BBU://208736,0,0.TS"), BB_ERR_NO_DEVICE);
    EXPECT_EQ(object_->Connect(object_, nullptr, 0), BB_ERR_NO_DEVICE);
    EXPECT_EQ(object_->status, 5);
    EXPECT_TRUE(stick->frames.empty());
    EXPECT_EQ(BB_LiveDownloadThreads(), 0);
}

TEST_F(DownloadTest, EveryThirdTuneWithoutLockReportsAWeakSignal) {
    stick->locked = [] { return false; };
    ASSERT_EQ(Connect(), 0);
    EXPECT_EQ(object_->status, 3);
    const std::string weak = Msg(WM_SYSTEM_SIGNAL_LOST);
    ASSERT_TRUE(events_.WaitFor(weak, 2));
    EXPECT_EQ(object_->Close(object_), 0);
    EXPECT_EQ(object_->status, 5);
    // Each failed tune pauses and logs once; the third and the sixth report.
    const std::string pause = "rxmod.c: M4_Sleep(1)";
    EXPECT_EQ(CountBefore(pause, weak, 0), 2u);
    EXPECT_EQ(CountBefore(pause, weak, 1), 5u);
    const std::vector<std::string> all = events_.All();
    EXPECT_EQ(all.front(), Msg(WM_SYSTEM_SIGNAL_LEVEL));
    EXPECT_EQ(all.back(), "Pnp_UsbThread ended(0)");
}

TEST_F(DownloadTest, TuneFailuresEndTheThreadWithTheirMessage) {
    struct Case {
        std::function<void(FakeStick&)> fault;
        uint32_t message;
    };
    const Case cases[] = {
        {[](FakeStick& s) { s.tuner[0x66] = 0; }, WM_SYSTEM_TUNER_ID_ERROR},      // 1239
        {[](FakeStick& s) { s.registers[0x6800] = 0x02; }, WM_SYSTEM_USB_LOST2},  // 1229
    };
    for (const Case& c : cases) {
        stick = std::make_shared<FakeStick>();
        usbdev::SetDeviceProvider(stick);
        c.fault(*stick);
        ASSERT_EQ(Connect(), 0);
        ASSERT_TRUE(events_.WaitFor("Pnp_UsbThread ended(-206)"));
        EXPECT_EQ(events_.Count(Msg(c.message)), 1u) << c.message;
        EXPECT_EQ(object_->Close(object_), 0);
        EXPECT_EQ(object_->status, 5);
        events_.Clear();
    }
    // A service the cache does not have: logged as the table being full, reported as failure.
    stick = std::make_shared<FakeStick>();
    usbdev::SetDeviceProvider(stick);
    ASSERT_EQ(Connect("bbu://208736,5,0.ts"), 0);
    ASSERT_TRUE(events_.WaitFor("Pnp_UsbThread ended(-206)"));
    EXPECT_EQ(events_.Count("Too many services are opned"), 1u);
    EXPECT_EQ(events_.Count(Msg(WM_SYSTEM_FAILURE)), 1u);
    // A stream that cannot start: reported as a failure too, never left "connecting".
    EXPECT_EQ(object_->Close(object_), 0);
    events_.Clear();
    ASSERT_EQ(Connect("bbu://208736,1,0.ts"), 0);
    ASSERT_TRUE(events_.WaitFor("Pnp_UsbThread ended(-206)"));
    EXPECT_EQ(events_.Count("Unknown error!!"), 1u);
    EXPECT_EQ(events_.Count(Msg(WM_SYSTEM_FAILURE)), 1u);
}

TEST_F(DownloadTest, PacketsOfTheStream) {
    std::vector<Bytes> packets = {FakeStick::Packet(3, {1, 2, 3}), FakeStick::Packet(3, {4, 5}),
                                  FakeStick::Packet(5, {'h', 'e', 'l', 'l', 'o'}),
                                  FakeStick::Packet(7, {0, 0, 0})};
    for (int i = 0; i < kSignalBatchSamples; ++i)
        packets.push_back(SignalReport(100, 0x100000));
    stick->packets_on_enable = packets;
    // Then two reports at once and, more than a second after both were read, a third.
    M4_SetClockScale(4.0);  // a batch of 64 is read well within its second
    int step = 0;
    uint32_t read_at = 0;
    stick->on_check = [&] {
        if (step == 0 && stick->rx.empty()) {
            stick->Push(SignalReport(100, 0));
            stick->Push(SignalReport(1, 0));
            step = 1;
        } else if (step == 1 && stick->rx.empty()) {
            read_at = M4_GetSysClock();
            step = 2;
        } else if (step == 2 && M4_GetSysClock() - read_at > 1100) {
            stick->Push(SignalReport(1, 0));
            step = 3;
        }
    };
    ASSERT_EQ(Connect(), 0);
    ASSERT_TRUE(events_.WaitFor(Msg(WM_SYSTEM_SIGNAL_LEVEL, 256, 0)));
    object_->Close(object_);

    EXPECT_EQ(events_.Delivered(), (Bytes{1, 2, 3, 4, 5}));
    const std::vector<std::string> all = events_.All();
    const auto at = [&](const std::string& e) { return std::find(all.begin(), all.end(), e); };
    // The first packet of the service: receiving, then first frame, once.
    ASSERT_NE(at(Msg(WM_SYSTEM_RECEIVING)), all.end());
    EXPECT_EQ(at(Msg(WM_SYSTEM_RECEIVING)) + 1, at(Msg(WM_SYSTEM_FIRST_FRAME)));
    EXPECT_EQ(events_.Count(Msg(WM_SYSTEM_RECEIVING)), 1u);
    EXPECT_EQ(events_.Count("debug hello"), 1u);
    EXPECT_EQ(events_.Count("Unknown packet: id=7, len=3"), 1u);
    // 64 reports make a batch: signal 10.1 and error 1.0 (x 10^6), averaged.
    EXPECT_EQ(events_.Count(Msg(WM_SYSTEM_SIGNAL_LEVEL, 101, 1000000)), 1u);
    EXPECT_EQ(events_.Count("snr_index=64, snr=101, ber=1.000000"), 1u);
    // Then a second passed: (101 + 334 + 334) / 3.
    EXPECT_EQ(events_.Count("snr_index=3, snr=256, ber=0.000000"), 1u);
}

TEST_F(DownloadTest, AnUnknownStreamErrorReportsAFailureAndReconnects) {
    std::atomic<bool> armed{false};
    stick->on_check = [&] {
        if (!armed && stick->rx.empty()) {
            stick->Push(FakeStick::Packet(3, {9}));
            stick->next_read_result = SI_INVALID_PARAMETER;
            armed = true;
        }
    };
    ASSERT_EQ(Connect(), 0);
    ASSERT_TRUE(events_.WaitFor("BB_API_Tune() succeeded.", 2));
    object_->Close(object_);
    const std::vector<std::string> all = events_.All();
    const auto at = [&](const std::string& e) { return std::find(all.begin(), all.end(), e); };
    ASSERT_NE(at("bb_thread: unknown error[1]=-4. Check here!!"), all.end());
    EXPECT_LT(at("bb_thread: unknown error[1]=-4. Check here!!"), at(Msg(WM_SYSTEM_FAILURE)));
    EXPECT_LT(at(Msg(WM_SYSTEM_FAILURE)), at("Reconnect USB interface"));
    EXPECT_EQ(events_.Count("Pnp_UsbThread ended(0)"), 1u);
}

// A thread that hangs inside the receiver (a transfer that does not come back) outlives close:
// close still returns after 3 s with the object idle, and the thread releases the link, the
// object and its context itself when it finally ends. ASan builds check that nothing is used
// after it was freed.
TEST_F(DownloadTest, AThreadThatDoesNotStopInTimeIsLeftToFinishAndCleansUp) {
    std::atomic<bool> hanging{false};
    std::atomic<bool> release{false};
    stick->on_check = [&] {  // the first look at the stream does not come back
        hanging = true;
        while (!release)
            M4_Sleep(10);
    };
    ASSERT_EQ(Connect(), 0);
    for (int i = 0; i < 10000 && !hanging; ++i)
        M4_Sleep(10);
    ASSERT_TRUE(hanging);
    const uint32_t start = M4_GetSysClock();
    EXPECT_EQ(object_->Close(object_), 0);
    EXPECT_GE(M4_GetSysClock() - start, kStopWaitMs);
    EXPECT_EQ(object_->status, 5);
    EXPECT_EQ(events_.Count("Cannot kill Pnp_UsbThread. Terminate it."), 1u);
    EXPECT_EQ(BB_LiveDownloadThreads(), 1);
    // The receiver is still the thread's: a new connection and a channel search are refused,
    // without a word to the stick.
    EXPECT_EQ(Connect(), -206);
    const size_t frames = stick->frames.size();
    ServiceEntry entries[DMB_MAX_SERVICES];
    int32_t count = 9;
    EXPECT_EQ(DMB_API_SearchChannel(kKhz * 0.001, entries, &count, 3000), BB_ERR_GENERIC);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(stick->frames.size(), frames);
    ShutdownInterface(object_);  // idle: no wait; freed by the thread
    object_ = nullptr;
    release = true;
    ASSERT_TRUE(events_.WaitFor("Pnp_UsbThread ended(0)"));
    for (int i = 0; i < 1000 && BB_LiveDownloadThreads() != 0; ++i)
        M4_Sleep(10);
    EXPECT_EQ(BB_LiveDownloadThreads(), 0);
    EXPECT_FALSE(BB_Ifce_IsOpen());
}

bool AlwaysAsked(void*) {
    return true;
}

// A thread asked to stop sits out none of the receiver's waits: no pause, one lock poll.
TEST_F(DownloadTest, AStopRequestEndsTheReceiversWaits) {
    BringUp();
    stick->locked = [] { return false; };
    BB_SetStopCheck(&AlwaysAsked, nullptr);
    const uint64_t paused = BB_PausedMs();
    EXPECT_EQ(BB_API_Tune(kKhz * 0.001), BB_ERR_NOT_LOCKED);
    EXPECT_EQ(BB_PausedMs(), paused);
    size_t polls = 0;
    for (const auto& frame : stick->frames)
        polls += frame.size() == 5 && frame[0] == 0x22 && frame[2] == 0xD5 ? 1 : 0;
    EXPECT_EQ(polls, 1u);
    BB_SetStopCheck(nullptr, nullptr);
    EXPECT_FALSE(BB_StopAsked());
}

// Close while streaming: the stream's stop keeps the chips' pauses (100 ms after the stream
// switch, 50 ms after the sub-channel is released), although the stop was asked.
TEST_F(DownloadTest, StoppingTheStreamKeepsThePausesTheChipsNeed) {
    stick->packets_on_enable = {FakeStick::Packet(3, {1})};
    ASSERT_EQ(Connect(), 0);
    ASSERT_TRUE(events_.WaitFor(Msg(WM_SYSTEM_FIRST_FRAME)));
    const uint64_t paused = BB_PausedMs();
    EXPECT_EQ(object_->Close(object_), 0);
    EXPECT_EQ(events_.Count("Pnp_UsbThread ended(0)"), 1u);
    EXPECT_GE(BB_PausedMs() - paused, 150u);
}

TEST_F(DownloadTest, ShuttingDownAConnectedObjectClosesItFirst) {
    ASSERT_EQ(Connect(), 0);
    ASSERT_TRUE(events_.WaitFor("BB_API_Tune() succeeded."));
    ShutdownInterface(object_);
    object_ = nullptr;
    EXPECT_EQ(events_.Count("Download thread is still alive! Kill him!"), 1u);
    EXPECT_EQ(events_.Count("Pnp_UsbThread ended(0)"), 1u);
    EXPECT_EQ(BB_LiveDownloadThreads(), 0);
    EXPECT_FALSE(BB_Ifce_IsOpen());
}

TEST_F(DownloadTest, NoStickNoConnection) {
    stick->present = false;
    EXPECT_EQ(Connect(), -206);
    EXPECT_EQ(object_->status, 5);
    EXPECT_EQ(events_.Count(Msg(WM_SYSTEM_NO_DEVICE)), 1u);
    EXPECT_EQ(events_.Count("NO Device"), 1u);
    EXPECT_EQ(BB_LiveDownloadThreads(), 0);
}

}  // namespace
}  // namespace koru::test
