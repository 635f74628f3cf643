// The player from start to exit: single instance, the main window's creation and
// initialisation in their order (settings, skin, terminal and plug-ins, event window thread,
// screen saver, the deferred start-up), and the orderly shutdown.
#ifndef PLAYER_CORE_PLAYER_APP_H
#define PLAYER_CORE_PLAYER_APP_H

#include <QSocketNotifier>
#include <functional>
#include <memory>
#include <string>

#include "m4systems/terminal.h"
#include "player/core/desktop_session.h"
#include "player/core/event_window.h"
#include "player/core/main_controller.h"
#include "player/core/media_control.h"
#include "player/core/message_window.h"
#include "player/core/playback_features.h"
#include "player/core/player_state.h"
#include "player/core/single_instance.h"
#include "player/core/terminal_port.h"
#include "player/core/velmar_player_dlg.h"
#include "player/settings/em_xmlfile.h"
#include "player/skin/skin_discovery.h"

namespace koru::player {

constexpr const char* kVersion = "2.241";

class PlayerApp {
  public:
    PlayerApp();
    ~PlayerApp();
    PlayerApp(const PlayerApp&) = delete;
    PlayerApp& operator=(const PlayerApp&) = delete;

    // The whole program: the single-instance check, Start, the event loop. Returns the exit
    // status. arguments are the command line without the program name.
    int Run(const std::vector<std::string>& arguments);

    // Creates and initialises the main window and shows it; posts the deferred start-up.
    // False after a fatal start-up failure (its message was shown).
    bool Start(const std::string& command_line_file);

    // The shutdown after the controller's own steps: 1144 to the event window (the terminal,
    // plug-in manager and ini file deleted in that order), screen saver restored, video hidden,
    // window closed, settings saved, window position written.
    void Shutdown();
    bool finished() const { return finished_; }

    PlayerState& state() { return state_; }
    settings::EM_XmlFile& settings() { return *settings_; }
    VelmarPlayerDlg* window() { return window_.get(); }
    MainController* controller() { return controller_.get(); }
    VelmarMessage* message_window() { return message_window_.get(); }
    PlaybackFeatures* playback() { return playback_.get(); }
    EventWindowThread* events() { return events_.get(); }
    SingleInstance& instance() { return instance_; }
    DesktopSession& desktop() { return desktop_; }

    // An ETI-NI recording ("FILE.eti[@KHZ]") that Start puts on the air of the emulated
    // receiver; the player then searches it at start. A file that is not such a recording is
    // reported and the player starts with the receiver it has.
    void SetRecordingOnAir(const std::string& argument) { recording_on_air_ = argument; }

    // The windows of the channel list and the channel search, when they exist.
    void SetChannelWindows(ChannelWindows* windows);
    // The data-service display, when it exists.
    void SetDataServiceDisplay(DataServiceDisplay* display);
    // What plays, as the desktop's media controls show it (main thread).
    MediaStatusReader& media_status() { return *media_status_; }
    // Builds the windows that other parts of the player add, once the main window, its logic,
    // the terminal and the event window exist and before the window shows.
    void SetWindowBuilder(std::function<void(PlayerApp&)> builder) {
        window_builder_ = std::move(builder);
    }
    // The terminal's plug-in manager (null before the terminal is set up).
    PluginManager* plugins() const { return terminal_ != nullptr ? terminal_->plugins() : nullptr; }

  private:
    void CreateMainWindow();
    bool SetUpTerminal();
    void InitialiseDialog();
    void OnUserMessage(uint32_t code, M4Param wparam, M4Param lparam);
    void OnSecondInstance(const std::string& text);
    void OnSuspend();
    void CheckReceiver();
    void PutRecordingOnAir();
    std::vector<std::string> ChooseFilesToOpen();
    void InstallTerminationHandler();
    void OnTerminationRequest();
    void SaveSettings();
    bool LoadSkinOfCommand(int command);

    PlayerState state_;
    std::unique_ptr<settings::EM_XmlFile> settings_;
    std::unique_ptr<VelmarPlayerDlg> window_;
    std::unique_ptr<MainController> controller_;
    std::unique_ptr<DataServiceRecorder> data_service_;
    std::unique_ptr<MediaStatusReader> media_status_;
    std::unique_ptr<VelmarMessage> message_window_;
    std::unique_ptr<PlaybackFeatures> playback_;
    std::unique_ptr<M4TerminalPort> terminal_;
    std::unique_ptr<EventWindowThread> events_;
    MessageRelay relay_;
    M4User user_record_{};
    DesktopSession desktop_;
    SingleInstance instance_;
    std::string command_line_file_;
    std::string recording_on_air_;
    std::vector<skin::SkinMenuEntry> skin_menu_;
    bool settings_loaded_ = false;
    bool channel_cache_ = false;
    bool finished_ = false;
    std::unique_ptr<QSocketNotifier> termination_notifier_;
    std::function<void(PlayerApp&)> window_builder_;
};

// Maps the font names of the skin and the message texts to the fonts this system has.
void InstallFontSubstitutions();

// The receiver check: the USB library that the receiver plug-in names counts at least one device.
bool ReceiverConnected();

}  // namespace koru::player

#endif
