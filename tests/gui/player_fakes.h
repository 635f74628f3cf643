// Stand-ins for the parts of the player that a logic test cannot run: a terminal that records
// every call with the thread it came from, and a main window that records what it was asked to
// show. Everything else (player state, event window thread, message window, controller, settings
// file) is the real thing.
#ifndef KORU_TESTS_GUI_PLAYER_FAKES_H
#define KORU_TESTS_GUI_PLAYER_FAKES_H

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTest>
#include <QThread>
#include <atomic>
#include <cstdlib>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "m4systems/messages.h"
#include "player/core/event_window.h"
#include "player/core/main_controller.h"
#include "player/core/message_window.h"
#include "player/core/player_event.h"
#include "player/core/player_state.h"
#include "player/core/terminal_port.h"
#include "player/settings/em_xmlfile.h"
#include "support/temp_dir.h"

namespace koru::test {

struct TerminalCall {
    std::string name;
    std::string text;  // URL or path
    long long a = 0;
    long long b = 0;
    QThread* thread = nullptr;
};

class RecordingTerminal : public player::TerminalPort {
  public:
    std::vector<TerminalCall> Calls() const {
        std::lock_guard lock(mutex_);
        return calls_;
    }
    std::vector<TerminalCall> CallsNamed(const std::string& name) const {
        std::vector<TerminalCall> named;
        for (const TerminalCall& call : Calls()) {
            if (call.name == name) named.push_back(call);
        }
        return named;
    }
    void Clear() {
        std::lock_guard lock(mutex_);
        calls_.clear();
    }

    M4Err ConnectURL(const std::string& url) override { return Record("ConnectURL", url); }
    M4Err CloseURL() override { return Record("CloseURL"); }
    M4Err SetSize(uint32_t w, uint32_t h) override { return Record("SetSize", "", w, h); }
    M4Err SetPosition(int32_t x, int32_t y) override { return Record("SetPosition", "", x, y); }
    M4Err SetOption(uint32_t o, uint32_t v) override { return Record("SetOption", "", o, v); }
    void HideOsd(int hide) override { Record("HideOsd", "", hide); }
    uint32_t GetCurrentTimeInMS() override { return clock_ms.load(); }
    M4Err PlayFromTime(uint32_t ms) override { return Record("PlayFromTime", "", ms); }
    M4Err SetTimeShiftParams(const std::string& path, uint32_t minutes) override {
        return Record("SetTimeShiftParams", path, minutes);
    }
    M4Err StartRecord(const std::string& path) override {
        Record("StartRecord", path);
        return start_record_result.load();
    }
    std::string RecordExtension() override { return record_extension; }
    M4Err StopRecord() override { return Record("StopRecord"); }
    // A picture of capture_width x capture_height (0: none) in capture_pixel_size bytes a pixel.
    M4Err CaptureScreen(M4CaptureRecord* record) override {
        Record("CaptureScreen");
        const uint32_t width = capture_width.load(), height = capture_height.load();
        if (width == 0 || height == 0) return M4BadParam;
        const uint32_t pixel_size = capture_pixel_size.load();
        record->width = width;
        record->height = height;
        record->pitch = width * pixel_size;
        record->pixel_size = pixel_size;
        record->pixels = static_cast<uint8_t*>(std::malloc(size_t{width} * height * pixel_size));
        for (uint32_t i = 0; i < width * height * pixel_size; ++i)
            record->pixels[i] = static_cast<uint8_t>(i % pixel_size == 0 ? 0xFF : 0x10);
        return M4OK;
    }
    int GetCurrentRadioType(int live) override { return Record("GetCurrentRadioType", "", live); }
    void PADDataInValidCheck(int signal) override { Record("PADDataInValidCheck", "", signal); }
    void MOTInitVariable(int reset) override { Record("MOTInitVariable", "", reset); }
    void DeleteTerminal() override { Record("DeleteTerminal"); }
    void DeletePluginManager() override { Record("DeletePluginManager"); }
    void DeleteIniFile() override { Record("DeleteIniFile"); }

    // What the stand-in answers.
    std::atomic<uint32_t> clock_ms{0};
    std::atomic<M4Err> start_record_result{M4OK};
    std::string record_extension;  // set before the recording starts
    std::atomic<uint32_t> capture_width{0};
    std::atomic<uint32_t> capture_height{0};
    std::atomic<uint32_t> capture_pixel_size{3};

  private:
    int Record(const std::string& name, const std::string& text = "", long long a = 0,
               long long b = 0) {
        std::lock_guard lock(mutex_);
        calls_.push_back({name, text, a, b, QThread::currentThread()});
        return 0;
    }

    mutable std::mutex mutex_;
    std::vector<TerminalCall> calls_;
};

class FakeView : public player::MainView {
  public:
    std::vector<std::string> error_boxes;
    std::vector<std::string> questions;
    bool answer = true;
    std::vector<std::string> banners;
    int banner_hides = 0;
    std::vector<std::string> overlays;
    std::vector<std::string> skinned_messages;
    bool skinned_shown = false;
    std::vector<std::string> volume_osd;
    bool full_screen = false;
    skin::Rect full_screen_video;
    player::Size desktop{1280, 1024};
    skin::Rect screen_region{12, 32, 332, 272};  // 320 x 240
    int layout = 108;
    int extra_width = 0, extra_height = 0;
    int volume_slider = -1;
    bool muted = false;
    int minimized = 0;
    int focus_taken = 0;
    int maker_page = 0;

    void RedrawMessageLine(int) override {}
    void RedrawAntenna() override {}
    void RedrawProgress() override {}
    long long progress_position = -1, progress_length = -1;
    void SetProgress(long long position, long long length) override {
        progress_position = position;
        progress_length = length;
    }
    bool play_tooltip_paused = false;
    int record_mark_shows = 0;
    void ShowErrorBox(const std::string& text) override { error_boxes.push_back(text); }
    bool AskYesNo(const std::string& text) override {
        questions.push_back(text);
        return answer;
    }
    void ShowSkinnedMessage(const std::string& text) override {
        skinned_messages.push_back(text);
        skinned_shown = true;
    }
    void HideSkinnedMessage() override { skinned_shown = false; }
    void ShowChannelBanner(const std::string& caption) override { banners.push_back(caption); }
    void HideChannelBanner() override { ++banner_hides; }
    void ShowStatusOverlay(const std::string& text) override { overlays.push_back(text); }
    void HideStatusOverlay() override {}
    void ShowVolumeOsd(const std::string& text) override { volume_osd.push_back(text); }
    void HideVolumeOsd() override {}
    void ShowRecordMark(bool visible) override { record_mark_shows += visible ? 1 : 0; }
    void ApplyLayout(int new_layout) override { layout = new_layout; }
    void ApplyExtraSize(int dx, int dy) override {
        extra_width = dx;
        extra_height = dy;
        screen_region = skin::Rect{12, 32, 332 + dx, 272 + dy};
    }
    void EnterFullScreen(const skin::Rect& video) override {
        full_screen = true;
        full_screen_video = video;
    }
    void LeaveFullScreen() override { full_screen = false; }
    player::Size DesktopSize() override { return desktop; }
    skin::Rect ScreenRegion() override { return screen_region; }
    void Minimize() override { ++minimized; }
    void MovePointerAway() override {}
    void SetVolumeSlider(int volume) override { volume_slider = volume; }
    void SetMuted(bool value) override { muted = value; }
    void SetPlayTooltip(bool paused) override { play_tooltip_paused = paused; }
    void RefreshMenus() override {}
    void RefreshTexts() override {}
    void RefreshButtons() override {}
    void OpenMakerPage() override { ++maker_page; }
    void TakeFocus() override { ++focus_taken; }
};

// A channel entry for a test list.
inline settings::ChannelEntry Entry(const char* label, float freq, int subch_id, int kind) {
    settings::ChannelEntry entry;
    settings::SetFixedText(entry.label, label);
    entry.freq = freq;
    entry.subch_id = subch_id;
    entry.kind = kind;
    return entry;
}

// The player's core over a recording terminal and a recording view: the real event window on
// its thread, the real message window and controller, a settings file in a temporary folder.
class CoreHarness {
  public:
    // A code the event window ignores.
    static constexpr uint32_t kNoSuchMessage = 4000;

    // port: the radio module and plug-in calls of the message window (null: the real ones).
    explicit CoreHarness(player::DataServicePort* port = nullptr)
        : state(store),
          settings(store, (folder / "channel.xml").string()),
          events(state, terminal) {
        player::MainController::Dependencies dependencies;
        dependencies.state = &state;
        dependencies.settings = &settings;
        dependencies.view = &view;
        dependencies.event_window = events.window();
        dependencies.shutdown = [this] { ++shutdowns; };
        dependencies.save_settings = [this] {
            state.WithStore([this](const settings::ChannelStore&) { settings.SaveSettings(); });
        };
        dependencies.receiver_check = [this] { return receiver_plugged.load(); };
        controller = std::make_unique<player::MainController>(dependencies);
        message_window = std::make_unique<player::VelmarMessage>(*controller, port);
        controller->timers().UseManualTime(&time);
        message_window->timers().UseManualTime(&time);
        state.connection_state = player::kConnectionIdle;
        state.receiver_present = 1;
        events.Open(message_window.get());
    }
    ~CoreHarness() { events.Exit(); }

    // Five TV channels on 208.736 MHz (indexes 0..4) and two radio channels.
    void FillChannels() {
        state.WithStore([](settings::ChannelStore& s) {
            for (int i = 0; i < 5; ++i) {
                const std::string label = "TV " + std::to_string(i + 1);
                s.tv.Append(Entry(label.c_str(), 208.736f, i, 0));
            }
            s.radio.Append(Entry("Radio A", 205.28f, 3, 1));
            s.radio.Append(Entry("Radio B", 175.28f, 1, 1));
            s.watch_kind = settings::kWatchKindTv;
        });
    }

    // Tunes index of the current list and lets its first picture arrive: connected and playing.
    bool Play(int index) {
        const size_t connects = terminal.CallsNamed("ConnectURL").size();
        player::PostPlayerEvent(events.window(), WM_SYSTEM_TUNE, index);
        if (!WaitFor([&] { return terminal.CallsNamed("ConnectURL").size() > connects; }))
            return false;
        player::PostPlayerEvent(events.window(), WM_SYSTEM_FIRST_FRAME);
        DrainEvents();  // the message window has seen the first frame too
        return state.connection_state.load() == player::kConnectionPlaying;
    }

    // Lets every request already queued at the event window run, with what each queues in
    // turn (a tune queues its connect), and the messages forwarded to the message window.
    void DrainEvents() {
        for (int hop = 0; hop < 3; ++hop) {
            player::SendPlayerEvent(events.window(), kNoSuchMessage);
            QCoreApplication::processEvents();
        }
    }

    // Waits (running the main thread's events) until pred holds or timeout_ms passed. The
    // timeout only bounds a failing test: nothing is measured against it.
    static bool WaitFor(const std::function<bool()>& pred, int timeout_ms = 10000) {
        QElapsedTimer timer;
        timer.start();
        while (!pred()) {
            if (timer.elapsed() > timeout_ms) return false;
            QTest::qWait(5);
        }
        return true;
    }

    // The window timers run on this clock: a test moves it on with time.Advance(ms).
    player::ManualTime time;
    TempDir folder;
    settings::ChannelStore store;
    player::PlayerState state;
    settings::EM_XmlFile settings;
    RecordingTerminal terminal;
    FakeView view;
    player::EventWindowThread events;
    std::unique_ptr<player::MainController> controller;
    std::unique_ptr<player::VelmarMessage> message_window;
    int shutdowns = 0;
    // What the receiver check finds (the flag in the state is what the player last found).
    std::atomic<bool> receiver_plugged{true};
};

}  // namespace koru::test

#endif
