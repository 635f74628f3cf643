// VelmarPlayerDlg's logic: what the main window's buttons, keys, menu commands and timers do to
// the player state, and the status displays it keeps. Every effect on the terminal is a message
// posted to the event window. The window (MainView) only draws what this class decides.
#ifndef PLAYER_CORE_MAIN_CONTROLLER_H
#define PLAYER_CORE_MAIN_CONTROLLER_H

#include <QObject>
#include <array>
#include <functional>
#include <string>

#include "m4systems/m4_types.h"
#include "player/core/main_view.h"
#include "player/core/menu_model.h"
#include "player/core/message_table.h"
#include "player/core/player_state.h"
#include "player/core/timer_map.h"
#include "player/settings/em_xmlfile.h"

namespace koru::player {

// Control ids of the main window.
namespace control {
constexpr int kOpen = 1000;
constexpr int kPlay = 1001;
constexpr int kStop = 1002;
constexpr int kChannelUp = 1003;
constexpr int kChannelDown = 1004;
constexpr int kMute = 1005;
constexpr int kChannelList = 1006;
constexpr int kMinimize = 1007;
constexpr int kFullScreen = 1008;
constexpr int kTurnOff = 1009;
constexpr int kVolume = 1010;
constexpr int kCapture = 1011;
constexpr int kRecord = 1012;
constexpr int kLogo = 1013;
constexpr int kScreen = 1324;  // the video child window
}  // namespace control

// Main window timers.
namespace timer {
constexpr int kReservationStart = 2028;
constexpr int kDelayedRecording = 2029;
constexpr int kReservationEnd = 2031;
constexpr int kDigitKeys = 2032;
constexpr int kTimeShiftCounter = 2033;
// 2126 (restore the system's full-window dragging after a move) has no counterpart: windows
// here are always dragged whole.
constexpr int kTransientMessage = 2224;
constexpr int kFileProgress = 2324;
constexpr int kPendingChannel = 2524;
constexpr int kDeferredKey = 2624;
constexpr int kVolumeOsd = 2724;
constexpr int kPointerAway = 2824;
// Hides a skinned message that was shown for a while (the end of a channel search).
constexpr int kSkinnedMessage = 2924;
}  // namespace timer

// The parts of playback that later work adds (recording, time shift, capture, file
// playback, reservations). Every operation does nothing by default; the menu model's
// features say which of them exist.
class PlaybackExtensions {
  public:
    virtual ~PlaybackExtensions() = default;
    virtual void OpenCommand() {}
    virtual void OpenFileDialog() {}
    virtual void OpenFileFromUrlBuffer() {}
    virtual void FilePlayPause() {}
    virtual void StopFile() {}
    virtual void RecordCommand() {}
    virtual void StartRecording() {}
    virtual void StopRecording() {}
    virtual void RecordSplit() {}
    // The first picture arrived (1226): a pending recording starts.
    virtual void FirstFrame() {}
    virtual void CaptureCommand() {}
    // Play on live TV while time shift is on and ready.
    virtual void TimeShiftPlayPause() {}
    // Play on live TV while time shift is off: the "OFF" text was shown.
    virtual void TimeShiftOffShown() {}
    virtual void ResetTimeShift() {}
    virtual std::string TimeShiftText() { return {}; }
    virtual bool TimeShiftAvailable() { return false; }
    // Live TV is held in the time-shift cache, or a file is paused.
    virtual bool Paused() { return false; }
    // A press in the progress bar, offset pixels from its left end of span pixels of travel.
    virtual void SeekFile(int /*offset*/, int /*span*/) {}
    // The file clock (the answer to kEventFileClock): position and length in milliseconds.
    virtual void FileProgress(long long /*position_ms*/, long long /*length_ms*/) {}
    // A live channel of watch_kind was tuned (the message window's 1129).
    virtual void LiveTuned(int /*watch_kind*/) {}
    // A main window timer that the controller itself does not use (2033, 2324).
    virtual void OnTimer(int /*id*/) {}
};

class MainController : public QObject {
  public:
    struct Dependencies {
        PlayerState* state = nullptr;
        settings::EM_XmlFile* settings = nullptr;
        MainView* view = nullptr;
        QObject* event_window = nullptr;  // receives the posted requests
        // Runs the rest of the shutdown after the controller's own steps (the event window's
        // exit, the desktop restored, the window closed, settings and position saved).
        std::function<void()> shutdown;
        // SaveSettings with the store locked.
        std::function<void()> save_settings;
        // Loads the skin of a skin-menu command (the window and its children are laid out
        // again); false when the command names no skin.
        std::function<bool(int command)> load_skin;
        // The receiver check: true when a receiver is plugged in now.
        std::function<bool()> receiver_check;
    };
    explicit MainController(const Dependencies& dependencies, QObject* parent = nullptr);

    // The event window receives the posted requests (it starts after the controller).
    void SetEventWindow(QObject* event_window) { event_window_ = event_window; }
    void SetChannelWindows(ChannelWindows* windows);
    // The data-service display; null detaches it (every call then does nothing).
    void SetDataServiceDisplay(DataServiceDisplay* display) {
        data_service_ = display != nullptr ? display : &no_data_service_;
    }
    void SetDialogWindows(DialogWindows* dialogs);
    void SetPlaybackExtensions(PlaybackExtensions* extensions);
    // Starts the update checker of a language; its menu command is greyed until one is set.
    void SetUpdateChecker(std::function<void(int language)> start);
    // Called on the main thread after anything that may change what plays, its status, the
    // labels shown or the volume (the desktop's media controls follow it).
    void SetStatusObserver(std::function<void()> observer) {
        status_observer_ = std::move(observer);
    }
    void StatusChanged() {
        if (status_observer_) status_observer_();
    }
    // The deferred start-up searches the channels instead of playing (a recording was put on
    // the air).
    void set_search_at_start(bool search) { search_at_start_ = search; }

    MenuModel& menu() { return menu_; }
    MainView& view() { return view_; }
    TimerMap& timers() { return timers_; }
    PlayerState& state() { return state_; }
    settings::EM_XmlFile& settings() { return settings_; }
    int language() const { return state_.Language(); }
    const char* Text(player::Text id) const { return Tr(id, language()); }

    // The skin number (RG_SKIN's x) decides the message-line font and the message box colour.
    void set_skin_number(int number) { skin_number_ = number; }
    int skin_number() const { return skin_number_; }

    // Deferred start-up (2024). load_ok: LoadSettings' result; channel_cache: "channel.dat"
    // exists; command_line_file: the file name given at start, if any.
    void DeferredStartup(bool load_ok, bool channel_cache, const std::string& command_line_file);

    // User input.
    void OnControl(int control_id);
    void OnMenuCommand(int command);
    // Key press: true when the key was used (Left, Right); every other press is swallowed.
    bool OnKeyPress(int key, bool alt);
    void OnKeyRelease(int key, bool alt);
    void OnMouseMovedInFullScreen();
    // The volume slider moved or was let go (10449).
    void OnVolumeSlider(int value);
    // The window was moved by (dx, dy) to (x, y).
    void OnWindowMoved(int dx, int dy, int x, int y);
    // The grip enlarged the picture area by (dx, dy) over the layout's size.
    bool CanResizeWithGrip() const;
    void OnGripResized(int dx, int dy);

    // Commands.
    void Play();
    void Stop();
    // Stop as the user asks for it (button, key S, menu): a running recording is ended only
    // after "Recording, and Do you want to stop?" was answered Yes.
    void StopCommand();
    // A left press in the progress bar (file playback seeks there).
    void OnProgressPressed(int offset, int span);
    void ChannelStep(int direction);  // -1 up (towards the top), +1 down
    void DigitKey(int n);
    void ToggleMute();
    void SetVolume(int volume);
    void NormalSize();
    void DoubleSize();
    void EnterFullScreen();
    void LeaveFullScreen();
    // Exit: false when refused (search running) or cancelled.
    bool Exit();
    // Brings the main window to the front, out of its minimised state.
    void RaiseWindow();
    // The list switch of key T and of the channel list's buttons.
    void SwitchWatchKind(int watch_kind);
    void SetLanguage(int language);
    void SetFrequencyRegion(int region);
    // A skin chosen from the skin menu: refused while radio plays or in the audio layout.
    void SelectSkin(int command);
    // A second instance, drag and drop or the command line handed over a file.
    void OpenFileFromOutside(const std::string& path);
    // Dropped files and 2027: the text becomes the URL buffer and is opened (1139).
    void OpenUrlText(const std::string& text);

    // Status displays.
    const std::string& message_line(int line) const { return lines_[line == 2 ? 1 : 0]; }
    void SetMessageLine(int line, const std::string& text);
    // Line 2 for 300 ms, then both lines clear (timer 2224).
    void SetTransientMessage(const std::string& text);
    void ClearMessageLines();
    int antenna_bars() const { return antenna_bars_; }
    void SetSignalBars(int bars);
    // Shows a message code's text in a message box (1228, 1229, 1233, 1235, 1241, 1242);
    // the receiver-lost texts are skipped once after the search set its suppression flag.
    void ReportError(uint32_t code);
    // Any other text in a message box; sets the message-box flag.
    void ShowMessage(const std::string& text);
    // Asks Yes/No (recording questions and the like); sets the message-box flag.
    bool Ask(const std::string& text);
    // The skinned message box over the picture ("Searching", ...), shown until hidden.
    void ShowSkinnedMessage(const std::string& text);
    void HideSkinnedMessage();
    // Shows text, then hides it after ms unless another message took its place meanwhile.
    void ShowSkinnedMessageFor(const std::string& text, int ms);

    // Channel banner and status overlay.
    void ShowChannelCaption(int watch_kind, int index);
    void HideChannelBanner();
    void ShowStatusOverlay(const std::string& text);
    void HideStatusOverlay();
    void ShowRecordMark(bool visible) { view_.ShowRecordMark(visible); }
    std::string TimeShiftText();
    void ResetTimeShift();

    // Layout switch (video 108 / audio 109), keeping the video size to come back to.
    void SwitchLayout(int layout);
    // Save the settings now (volume, mute, lists).
    void SaveSettings();

    // Asks whether a receiver is plugged in now and keeps the answer in the player state.
    bool CheckReceiver();
    // The same, only while no receiver is known: a stick plugged in after the start is seen by
    // the commands that tune.
    void CheckReceiverIfMissing();

    // Accessors for the window and tests.
    bool full_screen() const { return full_screen_; }
    bool exiting() const { return exiting_; }
    bool muted() const { return muted_; }
    int volume() const { return volume_; }
    int pending_index() const { return pending_index_; }
    bool minimised() const { return minimised_; }
    bool key_armed() const { return key_armed_; }
    bool digit_keys_enabled() const { return digit_keys_enabled_; }
    void set_dialog_open(bool open) { dialog_open_ = open; }
    bool dialog_open() const { return dialog_open_; }
    void set_timeshift_ready(bool ready) { timeshift_ready_ = ready; }
    bool timeshift_ready() const { return timeshift_ready_; }
    // The scheduled recording dialog took the deferred key: it is not handled again.
    void set_key_taken(bool taken) { key_taken_ = taken; }
    Size video_size() const { return video_size_; }
    int extra_width() const { return extra_.width; }
    int extra_height() const { return extra_.height; }
    ChannelWindows* channel_windows() const { return channel_windows_; }
    DataServiceDisplay& data_service() const { return *data_service_; }
    PlaybackExtensions* extensions() const { return extensions_; }

    void Post(uint32_t code, M4Param wparam = 0, M4Param lparam = 0);
    // Delivers a request to the event window and waits until it has been handled.
    void Send(uint32_t code, M4Param wparam = 0, M4Param lparam = 0);

  private:
    void OnTimer(int id);
    void HandleKey(int key, bool alt);
    void HandleEnterOrEscape(bool enter);
    // True when key completes the service key sequence of the manual search window.
    bool ManualSearchSequence(int key);
    void StartPendingTune();
    // False (with a log line) when no file may be opened now: no file playback, or a search.
    bool MayOpenFile(const std::string& path) const;
    // The layout and data-service display of a list switch from `current` (not in full screen).
    void SwitchLayoutForList(int watch_kind, int current, bool live);
    bool AskToStopRecording();
    void ApplySize(int dx, int dy, int screen_size);
    void PostVideoSize(int width, int height);
    int NormalisedWatchKind();
    static int ScreenSizeOf(const Size& extra);

    PlayerState& state_;
    settings::EM_XmlFile& settings_;
    MainView& view_;
    QObject* event_window_;
    std::function<void()> shutdown_;
    std::function<void()> save_settings_;
    std::function<bool(int)> load_skin_;
    std::function<bool()> receiver_check_;
    ChannelWindows* channel_windows_ = nullptr;
    DataServiceDisplay no_data_service_;
    DataServiceDisplay* data_service_ = &no_data_service_;
    DialogWindows* dialogs_ = nullptr;
    PlaybackExtensions* extensions_ = nullptr;
    PlaybackExtensions no_extensions_;
    std::function<void(int language)> start_update_checker_;
    std::function<void()> status_observer_;
    MenuModel menu_;
    TimerMap timers_;

    int skin_number_ = 0;
    uint64_t skinned_message_serial_ = 0;  // grows with every show and hide
    uint64_t timed_message_serial_ = 0;    // the message the kSkinnedMessage timer hides
    std::array<std::string, 2> lines_;
    int antenna_bars_ = 1;
    bool full_screen_ = false;
    bool paused_ = false;
    bool timeshift_ready_ = false;
    int pending_index_ = 0;
    bool muted_ = false;
    int volume_ = 70;
    bool dialog_open_ = false;
    bool minimised_ = false;
    bool key_armed_ = false;
    int deferred_key_ = 0;
    bool key_taken_ = false;
    bool digit_keys_enabled_ = true;
    size_t manual_search_keys_typed_ = 0;
    bool exiting_ = false;
    bool search_at_start_ = false;
    Size extra_;
    Size extra_before_audio_;
    Size video_size_{320, 240};
};

}  // namespace koru::player

#endif
