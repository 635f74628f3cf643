#include "player/core/player_app.h"

#include <fcntl.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>

#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QFont>
#include <QIcon>
#include <QMessageBox>
#include <QProcess>
#include <QSettings>
#include <QTimer>
#include <filesystem>

#include "m4systems/folders.h"
#include "m4systems/log.h"
#include "m4systems/messages.h"
#include "m4systems/padaudio/padaudio.h"
#include "m4systems/tsfeed/tsfeed.h"
#include "player/core/command_line.h"
#include "player/core/player_event.h"
#include "player/core/terminal_setup.h"
#include "player/core/update_checker.h"
#include "player/settings/band_tables.h"
#include "player/skin/skin_discovery.h"
#include "rxmod/rxmod_api.h"
#include "usbdev/device_provider.h"
#include "usbdev/usbdev.h"

namespace koru::player {

namespace {

constexpr const char* kSource = "VelmarPlayerDlg";
constexpr const char* kSkinFile = "Koru Digital.lay";
constexpr const char* kProfileGroup = "VelmarPlayer";
constexpr int kDefaultPosition = 100;
constexpr int kTimeShiftMinutes[] = {30, 60, 90, 120};

// SIGTERM, SIGINT and SIGHUP only write a byte here; the main thread then exits in order.
int g_termination_pipe[2] = {-1, -1};

void OnTerminationSignal(int) {
    const char byte = 1;
    const ssize_t ignored = write(g_termination_pipe[1], &byte, 1);
    (void)ignored;
}

int EventProc(void*, const uint8_t* event) {
    return event != nullptr && event[0] == 27 ? 1 : 0;
}

QSettings Profile() {
    return QSettings(QSettings::IniFormat, QSettings::UserScope, "KORU-DMB", "VelmarPlayer");
}

void Fatal(Text text) {
    QMessageBox::critical(nullptr, "KORU-DMB",
                          QString::fromUtf8(Tr(text, settings::ProcessChannelStore().language)));
}

}  // namespace

void InstallFontSubstitutions() {
    QFont::insertSubstitutions("Arial", {"Liberation Sans", "DejaVu Sans", "NanumGothic"});
    QFont::insertSubstitutions("Verdana", {"DejaVu Sans", "Liberation Sans", "NanumGothic"});
    QFont::insertSubstitutions("굴림체", {"NanumBarunGothic", "NanumGothic"});
    QFont::insertSubstitutions("굴림", {"NanumGothic", "NanumBarunGothic"});
    QFont::insertSubstitutions("돋움", {"NanumGothic", "NanumBarunGothic"});
}

PlayerApp::PlayerApp() : state_(settings::ProcessChannelStore()) {}

PlayerApp::~PlayerApp() {
    if (events_ != nullptr && events_->running()) events_->Exit();
    relay_.Detach();
    // The message window and the controller refer to the window: they go first.
    playback_.reset();
    message_window_.reset();
    media_status_.reset();
    data_service_.reset();
    controller_.reset();
    window_.reset();
}

int PlayerApp::Run(const std::vector<std::string>& arguments) {
    const CommandLine line = ParseCommandLine(arguments);
    if (!line.error.empty()) {
        std::fprintf(stderr, "VelmarPlayer: %s\n%s\n", line.error.c_str(), kCommandLineUsage);
        return 2;
    }
    // A relative name is the starting folder's: the player (and the first player that a second
    // start hands it to) works in the user folder.
    const std::string file = line.file.empty() ? std::string() : AbsoluteFileName(line.file);
    if (!instance_.Claim()) {
        if (!file.empty()) instance_.HandOver(file);
        if (line.recording.empty()) return 0;
        // The running player's receiver is in use: its air cannot change under it.
        std::fprintf(stderr, "VelmarPlayer: a player is running already; close it to receive %s\n",
                     line.recording.c_str());
        return 1;
    }
    instance_.SetReceiver([this](const std::string& text) { OnSecondInstance(text); });
    // The player works in the user folder: a relative recording is the starting folder's too.
    SetRecordingOnAir(AbsoluteFileName(line.recording));
    if (!Start(file)) return 1;
    return QApplication::exec();
}

bool PlayerApp::Start(const std::string& command_line_file) {
    command_line_file_ = command_line_file;
    if (!PrepareUserFolder()) M4_LOG(1, kSource, "cannot prepare %s", UserFolder().c_str());
    CreateMainWindow();
    // Before the plug-in or the receiver check reaches the USB libraries.
    if (!recording_on_air_.empty()) PutRecordingOnAir();
    // Before the terminal opens its audio device, whose library would take the signals for
    // itself otherwise.
    InstallTerminationHandler();
    if (!SetUpTerminal()) return false;
    InitialiseDialog();
    if (window_builder_) window_builder_(*this);
    window_->show();
    PostPlayerEvent(window_.get(), WM_USER_DEFERRED_START);
    return true;
}

// Main window creation: settings, skin, title, the hidden windows, the size from the frame.
void PlayerApp::CreateMainWindow() {
    // The user folder is the player's current folder: "channel.xml", "channel.dat" live there.
    std::error_code ignored;
    std::filesystem::current_path(UserFolder(), ignored);

    window_ = std::make_unique<VelmarPlayerDlg>(state_);
    window_->setWindowIcon(QIcon(QString::fromStdString(ProgramFolder() + "/koru-dmb.png")));
    settings_ = std::make_unique<settings::EM_XmlFile>(settings::ProcessChannelStore());
    settings_->SetMessageCallback([this](const std::string& caption, const std::string& text) {
        window_->ShowMessageBox(caption, text);
    });
    state_.WithStore(
        [this](settings::ChannelStore&) { settings_loaded_ = settings_->LoadSettings(); });

    const std::vector<std::string> folders = skin::SkinFolders();
    window_->LoadSkin(skin::FindSkinFile(kSkinFile, folders));
    window_->setWindowTitle(window_->skin_number() == skin::kSkinNumberWithoutSkinMenu ? "KORU-DMB"
                                                                                       : "TALVEN");
    if (window_->skin_number() != skin::kSkinNumberWithoutSkinMenu) {
        std::vector<std::pair<int, std::string>> entries;
        for (const skin::SkinMenuEntry& entry :
             skin::DiscoverSkins(folders, window_->skin_number())) {
            entries.emplace_back(entry.command, entry.label);
        }
        window_->SetSkinMenu(entries);
        skin_menu_ = skin::DiscoverSkins(folders, window_->skin_number());
        const std::string chosen = skin::FindSkinFile(settings_->skin_file(), folders);
        if (!chosen.empty()) window_->LoadSkin(chosen);
    }

    MainController::Dependencies dependencies;
    dependencies.state = &state_;
    dependencies.settings = settings_.get();
    dependencies.view = window_.get();
    dependencies.shutdown = [this] { Shutdown(); };
    dependencies.save_settings = [this] { SaveSettings(); };
    dependencies.load_skin = [this](int command) { return LoadSkinOfCommand(command); };
    dependencies.receiver_check = &ReceiverConnected;
    controller_ = std::make_unique<MainController>(dependencies);
    controller_->set_skin_number(window_->skin_number());
    controller_->SetUpdateChecker([](int language) {
        if (!StartUpdateChecker(language, ProgramFolder(), UserFolder(), kVersion))
            M4_LOG(1, kSource, "cannot start %s", UpdateCheckerProgram(language));
    });
    for (const skin::SkinMenuEntry& entry : skin_menu_) {
        if (entry.checked) controller_->menu().SetCheckedSkin(entry.command);
    }
    data_service_ = std::make_unique<DataServiceRecorder>(*controller_);
    controller_->SetDataServiceDisplay(data_service_.get());
    media_status_ = std::make_unique<MediaStatusReader>(*controller_, *data_service_);
    window_->SetController(controller_.get());
    window_->SetUserMessageHandler([this](uint32_t code, M4Param wparam, M4Param lparam) {
        OnUserMessage(code, wparam, lparam);
    });
}

bool PlayerApp::SetUpTerminal() {
    const TerminalSetup setup = koru::player::SetUpTerminal(UserFolder(), ProgramFolder());
    if (setup.result == TerminalSetupResult::kNoIniFile) {
        Fatal(Text::kConfigMissing);
        return false;
    }
    if (setup.result == TerminalSetupResult::kNoPlugins) {
        Fatal(Text::kNoPlugins);
        return false;
    }
    user_record_.owner = &relay_;
    user_record_.EventProc = &EventProc;
    user_record_.MessageFunc = &MessageRelay::MessageFunc;
    user_record_.config = setup.ini;
    user_record_.plugins = setup.plugins;
    user_record_.video = window_->screen_wnd()->output();
    M4Term* term = NewMPEG4Term(&user_record_);
    terminal_ = std::make_unique<M4TerminalPort>(term, setup.plugins, setup.ini);
    if (term == nullptr) {
        M4_LOG(1, kSource, "NewMPEG4Term failed");
        return false;
    }
    if (M4T_HasAudioOut(term) == 0) {
        QMessageBox::warning(window_.get(), window_->windowTitle(),
                             QString::fromUtf8(Tr(Text::kNoAudio, state_.Language())));
        state_.message_box_flag = true;
    }
    return true;
}

// The main dialog's initialisation after the terminal: controls, receiver modes, time shift and
// data-service folders, the event window thread, the screen saver.
void PlayerApp::InitialiseDialog() {
    state_.connection_state = kConnectionNone;
    QSettings profile = Profile();
    profile.beginGroup(kProfileGroup);
    window_->move(profile.value("Main_x", kDefaultPosition).toInt(),
                  profile.value("Main_y", kDefaultPosition).toInt());
    profile.endGroup();
    // The process priority stays as it is: raising it needs privileges a desktop user lacks.

    window_->SetVolumeSlider(70);
    if (settings_->topmost()) window_->setWindowFlag(Qt::WindowStaysOnTopHint, true);
    if (settings_->car()) {
        BB_SetCarMode();
    } else {
        BB_UnsetCarMode();
    }
    const int length = std::clamp(settings_->timeshift(), 0, 3);
    const std::string cache = settings_->path(settings::kTimeshiftFolder) + "/file_cache.ts";
    // A player that was killed leaves its cache behind; only one player runs, so it is stale.
    std::error_code stale;
    std::filesystem::remove(cache, stale);
    SetTimeShiftParams(cache.c_str(),
                       settings_->timeshiftonoff() != 0 ? kTimeShiftMinutes[length] : 0);
    const std::string mot = settings_->path(settings::kDataServiceFolder) + "/";
    SetMOTPath(mot.c_str());

    message_window_ = std::make_unique<VelmarMessage>(*controller_);
    PlaybackFeatures::Dependencies playback;
    playback.controller = controller_.get();
    playback.message_window = message_window_.get();
    playback.choose_files = [this] { return ChooseFilesToOpen(); };
    playback_ = std::make_unique<PlaybackFeatures>(playback);
    state_.connection_state = kConnectionIdle;
    state_.recording_state = kNotRecording;
    state_.layout = kLayoutVideo;
    state_.screen_size = kScreenNormal;
    CheckReceiver();
    events_ = std::make_unique<EventWindowThread>(state_, *terminal_);
    controller_->SetEventWindow(events_->window());
    events_->Open(message_window_.get());
    relay_.Attach(events_->window());

    desktop_.SuppressScreenSaver();
    desktop_.WatchSuspend([this] { OnSuspend(); });
    desktop_.WatchDisplay(
        [this] { PostPlayerEvent(message_window_.get(), WM_SYSTEM_DISPLAY_CHANGED); });
    window_->RefreshTexts();
    channel_cache_ = std::filesystem::exists("channel.dat");
}

// The region's first frequency is searched first, so a recording without a frequency of its
// own is found at once.
void PlayerApp::PutRecordingOnAir() {
    int region = settings::kDefaultFrequencyRegion;
    state_.WithStore(
        [&region](const settings::ChannelStore& store) { region = store.frequency_region; });
    const std::span<const int> band = settings::GetBandTable(region).frequencies_khz;
    const int first =
        band.empty()
            ? settings::GetBandTable(settings::kDefaultFrequencyRegion).frequencies_khz.front()
            : band.front();
    usbdev::RecordingOnAir on_air;
    std::string error;
    if (usbdev::UseRecordingAsAir(recording_on_air_, static_cast<uint32_t>(first), &on_air,
                                  &error)) {
        M4_LOG(2, kSource, "recording on the air: %s on %u kHz", on_air.path.c_str(),
               on_air.frequency_khz);
        controller_->set_search_at_start(true);
        return;
    }
    M4_LOG(1, kSource, "recording not on the air: %s", error.c_str());
    QMessageBox::warning(nullptr, "KORU-DMB",
                         QString::fromStdString(Format(
                             Tr(Text::kRecordingNotOnAir, state_.Language()), error.c_str())));
    state_.message_box_flag = true;
}

std::vector<std::string> PlayerApp::ChooseFilesToOpen() {
    const QStringList files = QFileDialog::getOpenFileNames(window_.get(), QString(), QString(),
                                                            QString::fromUtf8(kOpenFileFilters));
    std::vector<std::string> paths;
    for (const QString& file : files)
        paths.push_back(file.toStdString());
    return paths;
}

void PlayerApp::CheckReceiver() {
    controller_->CheckReceiver();
    M4_LOG(2, kSource, "receiver %s", state_.receiver_present == 1 ? "present" : "missing");
}

bool ReceiverConnected() {
    int32_t library = 0;
    BB_API_GetUSBApi(&library);
    uint32_t count = 0;
    const int result = library == 1 ? SI_GetNumDevices(&count) : DI_GetNumDevices(&count);
    return result == SI_SUCCESS && count > 0;
}

bool PlayerApp::LoadSkinOfCommand(int command) {
    for (const skin::SkinMenuEntry& entry : skin_menu_) {
        if (entry.command != command) continue;
        if (!window_->LoadSkin(entry.path)) return false;
        settings_->set_skin_file(entry.file_name);
        // The title stays as it was set at start.
        controller_->set_skin_number(window_->skin_number());
        return true;
    }
    return false;
}

void PlayerApp::SetChannelWindows(ChannelWindows* windows) {
    controller_->SetChannelWindows(windows);
    window_->RefreshButtons();
}

void PlayerApp::SetDataServiceDisplay(DataServiceDisplay* display) {
    // The recorder stays in front: it keeps the label and the slide for the media controls.
    data_service_->SetTarget(display);
}

void PlayerApp::SaveSettings() {
    state_.WithStore([this](settings::ChannelStore&) { settings_->SaveSettings(); });
}

void PlayerApp::OnUserMessage(uint32_t code, M4Param wparam, M4Param lparam) {
    if (code == WM_USER_DEFERRED_START) {
        controller_->DeferredStartup(settings_loaded_, channel_cache_, command_line_file_);
    } else if (code == WM_USER_OPEN_URL_TEXT && lparam != 0) {
        controller_->OpenUrlText(reinterpret_cast<const char*>(lparam));
    }
}

void PlayerApp::OnSecondInstance(const std::string& text) {
    // The window comes to the front while the file is handed over.
    const bool on_top = window_->windowFlags().testFlag(Qt::WindowStaysOnTopHint);
    window_->raise();
    window_->activateWindow();
    controller_->OpenFileFromOutside(text);
    if (!on_top) window_->raise();
}

void PlayerApp::OnSuspend() {
    const QString rouser = QString::fromStdString(ProgramFolder() + "/Rouser");
    if (QFileInfo(rouser).isExecutable()) QProcess::startDetached(rouser, {});
    controller_->Exit();
}

void PlayerApp::InstallTerminationHandler() {
    if (g_termination_pipe[0] < 0 && pipe2(g_termination_pipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
    termination_notifier_ =
        std::make_unique<QSocketNotifier>(g_termination_pipe[0], QSocketNotifier::Read);
    QObject::connect(termination_notifier_.get(), &QSocketNotifier::activated, [this] {
        char bytes[16];
        while (read(g_termination_pipe[0], bytes, sizeof(bytes)) > 0) {
        }
        OnTerminationRequest();
    });
    struct sigaction action {};
    action.sa_handler = &OnTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signal_number : {SIGTERM, SIGINT, SIGHUP})
        sigaction(signal_number, &action, nullptr);
}

void PlayerApp::OnTerminationRequest() {
    if (finished_ || controller_ == nullptr) return;
    // A channel search refuses the exit; the request stands until it is over.
    if (!controller_->Exit()) {
        QTimer::singleShot(500, qApp, [this] { OnTerminationRequest(); });
    }
}

void PlayerApp::Shutdown() {
    if (finished_) return;
    finished_ = true;
    if (events_ != nullptr) events_->Exit();
    relay_.Detach();
    desktop_.RestoreScreenSaver();
    window_->screen_wnd()->hide();
    window_->AllowClose();
    // The window's normal position, also when it leaves from full screen.
    const QPoint position = window_->pos();
    window_->close();
    SaveSettings();
    QSettings profile = Profile();
    profile.beginGroup(kProfileGroup);
    profile.setValue("Main_x", position.x());
    profile.setValue("Main_y", position.y());
    profile.endGroup();
    profile.sync();
    QTimer::singleShot(0, qApp, [] { QCoreApplication::quit(); });
}

}  // namespace koru::player
