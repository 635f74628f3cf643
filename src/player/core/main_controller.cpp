#include "player/core/main_controller.h"

#include <algorithm>

#include "m4systems/log.h"
#include "m4systems/messages.h"
#include "player/core/event_window.h"
#include "player/core/player_event.h"
#include "player/core/screen_geometry.h"

namespace koru::player {

namespace {

constexpr const char* kSource = "VelmarPlayerDlg";
constexpr Size kNormalVideo{320, 240};
constexpr Size kDoubleExtra{320, 240};
// The channel search's report that the receiver went away during a search.
constexpr uint32_t kSearchDeviceLost = WM_USER + 211;

}  // namespace

MainController::MainController(const Dependencies& dependencies, QObject* parent)
    : QObject(parent),
      state_(*dependencies.state),
      settings_(*dependencies.settings),
      view_(*dependencies.view),
      event_window_(dependencies.event_window),
      shutdown_(dependencies.shutdown),
      save_settings_(dependencies.save_settings),
      load_skin_(dependencies.load_skin),
      receiver_check_(dependencies.receiver_check),
      extensions_(&no_extensions_),
      timers_([this](int id) { OnTimer(id); }, this) {
    settings_.SetAudioStateSource([this] { return settings::AudioState{volume_, muted_}; });
    menu_.SetLanguage(state_.Language());
    state_.WithStore(
        [this](const settings::ChannelStore& store) { menu_.SetRegion(store.frequency_region); });
}

void MainController::SetChannelWindows(ChannelWindows* windows) {
    channel_windows_ = windows;
    menu_.SetFeature(Feature::kChannelWindows, windows != nullptr);
}

void MainController::SetDialogWindows(DialogWindows* dialogs) {
    dialogs_ = dialogs;
    for (Feature feature : {Feature::kOptions, Feature::kReservations, Feature::kShortcutList,
                            Feature::kProgramInformation}) {
        menu_.SetFeature(feature, dialogs != nullptr);
    }
}

void MainController::SetPlaybackExtensions(PlaybackExtensions* extensions) {
    extensions_ = extensions != nullptr ? extensions : &no_extensions_;
}

void MainController::SetUpdateChecker(std::function<void(int language)> start) {
    start_update_checker_ = std::move(start);
    menu_.SetFeature(Feature::kUpdateCheck, start_update_checker_ != nullptr);
}

void MainController::Post(uint32_t code, M4Param wparam, M4Param lparam) {
    PostPlayerEvent(event_window_, code, wparam, lparam);
}

void MainController::Send(uint32_t code, M4Param wparam, M4Param lparam) {
    SendPlayerEvent(event_window_, code, wparam, lparam);
}

void MainController::SaveSettings() {
    settings_.set_volume(volume_);
    if (save_settings_) save_settings_();
}

int MainController::ScreenSizeOf(const Size& extra) {
    if (extra.width == 0 && extra.height == 0) return kScreenNormal;
    return extra == kDoubleExtra ? kScreenDouble : kScreenGrip;
}

int MainController::NormalisedWatchKind() {
    int watch_kind = state_.WatchKind();
    if (watch_kind != settings::kWatchKindTv && watch_kind != settings::kWatchKindRadio &&
        watch_kind != settings::kWatchKindData) {
        // No list chosen yet: the TV list when it has channels, else the radio list.
        watch_kind = state_.ChannelCount(settings::kWatchKindTv) > 0 ||
                             state_.ChannelCount(settings::kWatchKindRadio) == 0
                         ? settings::kWatchKindTv
                         : settings::kWatchKindRadio;
        state_.SetWatchKind(watch_kind);
    }
    return watch_kind;
}

// ---- Start-up -------------------------------------------------------------------------------

void MainController::DeferredStartup(bool load_ok, bool channel_cache,
                                     const std::string& command_line_file) {
    volume_ = std::clamp(settings_.volume(), 0, 100);
    view_.SetVolumeSlider(volume_);
    PostVideoSize(kNormalVideo.width, kNormalVideo.height);
    Post(WM_SYSTEM_VOLUME, volume_);
    const int watch_kind = NormalisedWatchKind();
    // The channel list opens on the list that plays (a radio-only ensemble has no TV list).
    if (channel_windows_ != nullptr) channel_windows_->WatchKindSwitched(watch_kind);
    const Size saved{std::max(0, settings_.region_x()), std::max(0, settings_.region_y())};
    if (watch_kind == settings::kWatchKindRadio) {
        // The radio list shows the audio layout; the saved picture size waits for TV.
        SwitchLayout(kLayoutAudio);
        extra_before_audio_ = saved;
    } else {
        ApplySize(saved.width, saved.height, ScreenSizeOf(saved));
    }

    if (!command_line_file.empty()) {
        if (menu_.HasFeature(Feature::kFilePlayback)) {
            state_.SetUrl(command_line_file);
            Post(WM_SYSTEM_VOLUME, volume_);
            Post(WM_SYSTEM_OPEN_FILE);
            return;
        }
        M4_LOG(1, kSource, "file playback is not available: %s not opened",
               command_line_file.c_str());
    }

    const bool no_channels = state_.ChannelCount(settings::kWatchKindTv) == 0 &&
                             state_.ChannelCount(settings::kWatchKindRadio) == 0;
    if (!load_ok) {
        volume_ = 50;
        view_.SetVolumeSlider(volume_);
        Post(WM_SYSTEM_VOLUME, volume_);
    }
    if (search_at_start_) {
        // The stored channels are of another air: the recording's services are found first.
        if (channel_windows_ != nullptr) channel_windows_->ChannelSearchCommand();
    } else if (!load_ok) {
        if (channel_windows_ != nullptr) channel_windows_->OpenChannelList();
    } else if (no_channels) {
        if (channel_windows_ != nullptr) channel_windows_->OpenChannelList();
    } else if (channel_cache) {
        Play();
        timeshift_ready_ = true;
        Post(WM_SYSTEM_VOLUME, volume_);
    } else {
        state_.WithStore([](settings::ChannelStore& store) {
            store.tv.Clear();
            store.radio.Clear();
        });
        if (channel_windows_ != nullptr) channel_windows_->OpenChannelList();
    }
}

// ---- Timers ---------------------------------------------------------------------------------

void MainController::OnTimer(int id) {
    switch (id) {
        case timer::kDigitKeys:
            digit_keys_enabled_ = true;
            break;
        case timer::kTransientMessage:
            timers_.Stop(timer::kTransientMessage);
            SetMessageLine(1, "");
            SetMessageLine(2, "");
            break;
        case timer::kPendingChannel:
            timers_.Stop(timer::kPendingChannel);
            StartPendingTune();
            break;
        case timer::kDeferredKey:
            timers_.Stop(timer::kDeferredKey);
            key_armed_ = false;
            if (!key_taken_) OnKeyRelease(deferred_key_, false);
            key_taken_ = false;
            break;
        case timer::kVolumeOsd:
            timers_.Stop(timer::kVolumeOsd);
            view_.HideVolumeOsd();
            break;
        case timer::kPointerAway:
            view_.MovePointerAway();
            break;
        case timer::kSkinnedMessage:
            timers_.Stop(timer::kSkinnedMessage);
            if (skinned_message_serial_ == timed_message_serial_) HideSkinnedMessage();
            break;
        default:
            extensions_->OnTimer(id);
            break;
    }
    StatusChanged();
}

// ---- Playback -------------------------------------------------------------------------------

bool MainController::CheckReceiver() {
    const bool present = receiver_check_ && receiver_check_();
    state_.receiver_present = present ? 1 : 0;
    return present;
}

void MainController::CheckReceiverIfMissing() {
    if (state_.receiver_present != 1) CheckReceiver();
}

void MainController::Play() {
    if (state_.Searching()) return;
    if (state_.FilePlayback()) {
        if (menu_.HasFeature(Feature::kFilePlayback)) extensions_->FilePlayPause();
        return;
    }
    CheckReceiverIfMissing();
    const int watch_kind = NormalisedWatchKind();
    const int index = state_.CurrentIndex(watch_kind);
    if (watch_kind == settings::kWatchKindTv && state_.connection_state == kConnectionPlaying &&
        timeshift_ready_) {
        if (settings_.timeshiftonoff() != 0) {
            extensions_->TimeShiftPlayPause();
        } else {
            SetMessageLine(2, Text(player::Text::kTimeShiftOff));
            Post(WM_SYSTEM_RESUME);
            timers_.Stop(timer::kTimeShiftCounter);
            extensions_->TimeShiftOffShown();
        }
    }
    if (channel_windows_ != nullptr) channel_windows_->SelectChannel(watch_kind, index);
    if (state_.ChannelCount(watch_kind) > 0) Post(WM_SYSTEM_TUNE_IF_PRESENT, index);
    StatusChanged();
}

void MainController::Stop() {
    if (state_.Searching()) return;
    if (state_.FilePlayback()) {
        timers_.Stop(timer::kFileProgress);
        ClearMessageLines();
        extensions_->StopFile();
        if (state_.layout == kLayoutAudio) data_service_->Show(false);
    } else if (state_.Recording()) {
        view_.ShowRecordMark(false);
        timers_.Stop(timer::kReservationEnd);
        SetMessageLine(2, TimeShiftText());
    } else {
        HideStatusOverlay();
        const int watch_kind = state_.WatchKind();
        if (watch_kind == settings::kWatchKindRadio || watch_kind == settings::kWatchKindData)
            data_service_->Show(watch_kind == settings::kWatchKindData);
        SetSignalBars(1);
        if (state_.connection_state != kConnectionStopped) {
            SetMessageLine(2, Text(player::Text::kDisconnect));
            ResetTimeShift();
        }
    }
    Post(WM_SYSTEM_STOP);
    menu_.OnStopped();
    view_.RefreshMenus();
    view_.RefreshButtons();
    StatusChanged();
}

void MainController::StopCommand() {
    if (state_.Searching()) return;
    if (state_.Recording() && !Ask(Text(player::Text::kRecordingStopAsk))) return;
    Stop();
}

void MainController::OnProgressPressed(int offset, int span) {
    if (state_.FilePlayback()) extensions_->SeekFile(offset, span);
}

bool MainController::AskToStopRecording() {
    if (!state_.Recording()) return true;
    if (!Ask(Text(player::Text::kRecordingStopAsk))) return false;
    Stop();
    return true;
}

void MainController::ChannelStep(int direction) {
    if (state_.Searching()) return;
    if (!AskToStopRecording()) return;
    const int watch_kind = NormalisedWatchKind();
    const int count = state_.ChannelCount(watch_kind);
    if (count <= 0) return;
    CheckReceiverIfMissing();
    if (state_.FilePlayback()) {
        pending_index_ = state_.CurrentIndex(watch_kind);
    } else {
        if (!timers_.IsActive(timer::kPendingChannel))
            pending_index_ = state_.CurrentIndex(watch_kind);
        pending_index_ = ((pending_index_ + direction) % count + count) % count;
    }
    ShowChannelCaption(watch_kind, pending_index_);
    if (watch_kind == settings::kWatchKindTv && channel_windows_ != nullptr)
        channel_windows_->SelectChannel(watch_kind, pending_index_);
    timers_.Start(timer::kPendingChannel, 1500, false);
}

void MainController::DigitKey(int n) {
    if (n < 1 || n > 9 || state_.Searching()) return;
    if ((n == 1 || n == 2) && !digit_keys_enabled_) return;
    const int watch_kind = NormalisedWatchKind();
    if (state_.ChannelCount(watch_kind) < n) return;
    if (state_.FilePlayback()) Stop();
    if (!AskToStopRecording()) return;
    CheckReceiverIfMissing();
    pending_index_ = n - 1;
    ShowChannelCaption(watch_kind, pending_index_);
    timers_.Start(timer::kPendingChannel, 1500, false);
}

void MainController::StartPendingTune() {
    // A search that started meanwhile has the receiver: the pending channel is dropped.
    if (state_.Searching()) return;
    if (state_.FilePlayback()) Stop();
    Post(WM_SYSTEM_TUNE_IF_PRESENT, pending_index_);
}

void MainController::ShowChannelCaption(int watch_kind, int index) {
    std::string label;
    if (state_.receiver_present != 1) {
        label = Text(player::Text::kNoChannelData);
    } else if (std::optional<settings::ChannelEntry> entry = state_.Channel(watch_kind, index)) {
        label = std::string(settings::FixedText(entry->label));
        while (!label.empty() && label.back() == ' ')
            label.pop_back();
    }
    SetMessageLine(1, label);
    view_.ShowChannelBanner(Format(Text(player::Text::kCaptionFormat),
                                   Text(player::Text::kChannelWord), label.c_str()));
}

void MainController::HideChannelBanner() {
    view_.HideChannelBanner();
}

void MainController::ShowStatusOverlay(const std::string& text) {
    if (minimised_ || dialog_open_) return;
    view_.ShowStatusOverlay(text);
}

void MainController::HideStatusOverlay() {
    view_.HideStatusOverlay();
}

std::string MainController::TimeShiftText() {
    return extensions_->TimeShiftText();
}

void MainController::ResetTimeShift() {
    paused_ = false;
    timers_.Stop(timer::kTimeShiftCounter);
    extensions_->ResetTimeShift();
}

// ---- Volume ---------------------------------------------------------------------------------

void MainController::ToggleMute() {
    muted_ = !muted_;
    if (muted_) {
        Post(WM_SYSTEM_VOLUME, 0);
        view_.ShowVolumeOsd(Format(Text(player::Text::kMuteFormat), Text(player::Text::kMuteWord)));
    } else {
        Post(WM_SYSTEM_VOLUME, volume_);
        view_.ShowVolumeOsd(Format(Text(player::Text::kVolumeFormat),
                                   Text(player::Text::kVolumeWord), volume_, "%"));
    }
    timers_.Start(timer::kVolumeOsd, 1000, true);
    view_.SetMuted(muted_);
    SaveSettings();
    StatusChanged();
}

void MainController::SetVolume(int volume) {
    volume_ = std::clamp(volume, 0, 100);
    if (muted_) {
        muted_ = false;
        view_.SetMuted(false);
    }
    Post(WM_SYSTEM_VOLUME, volume_);
    view_.SetVolumeSlider(volume_);
    view_.ShowVolumeOsd(
        Format(Text(player::Text::kVolumeFormat), Text(player::Text::kVolumeWord), volume_, "%"));
    timers_.Start(timer::kVolumeOsd, 1000, true);
    SaveSettings();
    StatusChanged();
}

void MainController::OnVolumeSlider(int value) {
    SetVolume(value);
}

// ---- Sizes and full screen ------------------------------------------------------------------

void MainController::PostVideoSize(int width, int height) {
    video_size_ = Size{width, height};
    Post(WM_SYSTEM_VIDEO_SIZE, width, height);
}

void MainController::ApplySize(int dx, int dy, int screen_size) {
    extra_ = Size{dx, dy};
    state_.screen_size = screen_size;
    view_.ApplyExtraSize(dx, dy);
    const Rect video = FitFourByThree(view_.ScreenRegion());
    PostVideoSize(video.width(), video.height());
}

void MainController::NormalSize() {
    if (state_.layout == kLayoutAudio || state_.Searching()) return;
    LeaveFullScreen();
    ApplySize(0, 0, kScreenNormal);
}

void MainController::DoubleSize() {
    if (state_.layout == kLayoutAudio || state_.Searching()) return;
    LeaveFullScreen();
    ApplySize(kDoubleExtra.width, kDoubleExtra.height, kScreenDouble);
}

bool MainController::CanResizeWithGrip() const {
    return !state_.Searching() && state_.layout != kLayoutAudio && !full_screen_;
}

void MainController::OnGripResized(int dx, int dy) {
    if (!CanResizeWithGrip()) return;
    ApplySize(std::max(0, dx), std::max(0, dy), kScreenGrip);
}

void MainController::EnterFullScreen() {
    if (full_screen_) return;
    if (channel_windows_ != nullptr && channel_windows_->SearchWindowActive()) return;
    full_screen_ = true;
    minimised_ = false;
    const Size desktop = view_.DesktopSize();
    const Rect video = FullScreenVideoRect(desktop.width, desktop.height, settings_.ratio() != 0);
    if (channel_windows_ != nullptr) channel_windows_->HideForFullScreen();
    view_.EnterFullScreen(video);
    PostVideoSize(video.width(), video.height());
    timers_.Start(timer::kPointerAway, 1500, false);
}

void MainController::LeaveFullScreen() {
    if (!full_screen_) return;
    full_screen_ = false;
    timers_.Stop(timer::kPointerAway);
    view_.LeaveFullScreen();
    if (channel_windows_ != nullptr) channel_windows_->RestoreAfterFullScreen();
    const Rect video = FitFourByThree(view_.ScreenRegion());
    PostVideoSize(video.width(), video.height());
}

void MainController::OnMouseMovedInFullScreen() {
    if (full_screen_) timers_.Start(timer::kPointerAway, 1500, false);
}

void MainController::SwitchLayout(int layout) {
    if (state_.layout == layout) {
        view_.ApplyLayout(layout);
        return;
    }
    if (layout == kLayoutAudio) {
        extra_before_audio_ = extra_;
        state_.layout = kLayoutAudio;
        ApplySize(0, 0, kScreenNormal);
        view_.ApplyLayout(kLayoutAudio);
    } else {
        state_.layout = kLayoutVideo;
        view_.ApplyLayout(kLayoutVideo);
        const Size extra = extra_before_audio_;
        ApplySize(extra.width, extra.height, ScreenSizeOf(extra));
    }
}

// ---- Lists, language, region ----------------------------------------------------------------

void MainController::SwitchLayoutForList(int watch_kind, int current, bool live) {
    const int layout = state_.layout;
    if (watch_kind == settings::kWatchKindTv) {
        // The data list shows the audio layout as the radio list does: TV needs the picture.
        if ((live && current != settings::kWatchKindTv) || (!live && layout == kLayoutAudio)) {
            data_service_->ShowRadioText(false);
            data_service_->UseLogo();
            data_service_->Hide();
            SwitchLayout(kLayoutVideo);
        }
    } else if (watch_kind == settings::kWatchKindRadio) {
        if ((live && current == settings::kWatchKindTv) || (!live && layout == kLayoutVideo)) {
            data_service_->Show(false);
            SwitchLayout(kLayoutAudio);
            data_service_->SetRadioText("");
        }
    } else if (watch_kind == settings::kWatchKindData && live &&
               current == settings::kWatchKindTv) {
        data_service_->UseLogo();
        data_service_->Show(false);
        SwitchLayout(kLayoutAudio);
        data_service_->SetRadioText("");
    }
}

void MainController::SwitchWatchKind(int watch_kind) {
    const bool live = state_.play_source == kPlaySourceLive;
    const int current = state_.WatchKind();
    if (state_.FilePlayback()) {
        Stop();
    } else {
        HideChannelBanner();
    }
    if (!AskToStopRecording()) return;
    if (channel_windows_ != nullptr) channel_windows_->WatchKindSwitched(watch_kind);
    if (watch_kind == settings::kWatchKindTv) data_service_->SetRadioText("");
    if (watch_kind == settings::kWatchKindRadio) data_service_->ShowRadioText(true);
    if (watch_kind == settings::kWatchKindData) data_service_->ShowRadioText(false);
    if (!full_screen_) SwitchLayoutForList(watch_kind, current, live);
    // A live service of another list is tuned afresh, in full screen too (where the layout
    // stays): the same index in the other list is another service.
    if (live && current != watch_kind) state_.tune_state = kTuneChosenFromList;
    state_.SetWatchKind(watch_kind);
    if (state_.Searching()) return;
    if (state_.ChannelCount(watch_kind) == 0) return;
    const int index = state_.CurrentIndex(watch_kind);
    ShowChannelCaption(watch_kind, index);
    Post(WM_SYSTEM_TUNE, index);
}

void MainController::SetLanguage(int language) {
    state_.SetLanguage(language);
    menu_.SetLanguage(language);
    view_.RefreshTexts();
    if (channel_windows_ != nullptr) channel_windows_->RefreshTexts();
    view_.RefreshMenus();
    SaveSettings();
}

void MainController::SetFrequencyRegion(int region) {
    if (region < 0 || region >= 6) return;
    state_.WithStore([region](settings::ChannelStore& store) { store.frequency_region = region; });
    menu_.SetRegion(region);
    view_.RefreshMenus();
    SaveSettings();
}

void MainController::SelectSkin(int command) {
    if (menu_.IsChecked(command)) return;
    const bool radio_playing =
        state_.play_source == kPlaySourceLive && state_.WatchKind() == settings::kWatchKindRadio;
    if (radio_playing || state_.layout == kLayoutAudio) {
        ShowMessage(Text(player::Text::kSkinRefusedInRadio));
        return;
    }
    if (!load_skin_ || !load_skin_(command)) return;
    menu_.SetCheckedSkin(command);
    if (channel_windows_ != nullptr) channel_windows_->Relayout();
    ApplySize(extra_.width, extra_.height, state_.screen_size);
    view_.RefreshMenus();
    SaveSettings();
}

bool MainController::MayOpenFile(const std::string& path) const {
    if (!menu_.HasFeature(Feature::kFilePlayback)) {
        M4_LOG(1, kSource, "file playback is not available: %s not opened", path.c_str());
        return false;
    }
    if (state_.Searching()) {
        // The search has the receiver and the picture area: nothing else plays meanwhile.
        M4_LOG(1, kSource, "a channel search runs: %s not opened", path.c_str());
        return false;
    }
    return true;
}

void MainController::OpenFileFromOutside(const std::string& path) {
    if (!MayOpenFile(path)) return;
    Post(WM_SYSTEM_STOP);
    state_.SetUrl(path);
    Post(WM_SYSTEM_OPEN_FILE);
}

void MainController::OpenUrlText(const std::string& text) {
    if (!MayOpenFile(text)) return;
    state_.SetUrl(text);
    Post(WM_SYSTEM_OPEN_FILE);
}

// ---- Status displays ------------------------------------------------------------------------

void MainController::SetMessageLine(int line, const std::string& text) {
    lines_[line == 2 ? 1 : 0] = text;
    view_.RedrawMessageLine(line == 2 ? 2 : 1);
}

void MainController::SetTransientMessage(const std::string& text) {
    SetMessageLine(2, text);
    timers_.Start(timer::kTransientMessage, 300, false);
}

void MainController::ClearMessageLines() {
    SetMessageLine(1, "");
    SetMessageLine(2, "");
}

void MainController::SetSignalBars(int bars) {
    antenna_bars_ = std::clamp(bars, 1, 7);
    view_.RedrawAntenna();
}

void MainController::ReportError(uint32_t code) {
    player::Text text;
    switch (code) {
        case WM_SYSTEM_USB_LOST:
        case WM_SYSTEM_USB_LOST2:
            text = player::Text::kUsbLostRetry;
            break;
        case WM_SYSTEM_NO_DEVICE:
            text = player::Text::kUsbLostConnect;
            break;
        case kSearchDeviceLost:
            text = player::Text::kUsbLostSearchCanceled;
            break;
        case WM_SYSTEM_TIMESHIFT_NO_SPACE:
            text = player::Text::kTimeShiftNoSpace;
            break;
        case WM_SYSTEM_TIMESHIFT_NO_FILE:
            text = player::Text::kTimeShiftNoFile;
            break;
        default:
            return;
    }
    if (code == WM_SYSTEM_USB_LOST || code == WM_SYSTEM_USB_LOST2 || code == WM_SYSTEM_NO_DEVICE) {
        if (state_.suppress_usb_lost.exchange(false)) return;
    }
    ShowMessage(Text(text));
}

void MainController::ShowMessage(const std::string& text) {
    M4_LOG(2, kSource, "message box: %s", text.c_str());
    view_.ShowErrorBox(text);
    state_.message_box_flag = true;
}

void MainController::ShowSkinnedMessage(const std::string& text) {
    M4_LOG(2, kSource, "skinned message: %s", text.c_str());
    ++skinned_message_serial_;
    view_.ShowSkinnedMessage(text);
}

void MainController::HideSkinnedMessage() {
    ++skinned_message_serial_;
    view_.HideSkinnedMessage();
}

void MainController::ShowSkinnedMessageFor(const std::string& text, int ms) {
    ShowSkinnedMessage(text);
    timed_message_serial_ = skinned_message_serial_;
    timers_.Start(timer::kSkinnedMessage, ms, true);
}

bool MainController::Ask(const std::string& text) {
    const bool yes = view_.AskYesNo(text);
    state_.message_box_flag = true;
    return yes;
}

// ---- Window ---------------------------------------------------------------------------------

void MainController::OnWindowMoved(int dx, int dy, int x, int y) {
    if (full_screen_) return;
    M4_LOG(3, kSource, "dx[%d]dy[%d]", dx, dy);
    if (channel_windows_ != nullptr && (dx != 0 || dy != 0))
        channel_windows_->MainWindowMoved(dx, dy);
    Post(kEventSetPosition, x, y);
}

void MainController::RaiseWindow() {
    minimised_ = false;
    view_.RaiseWindow();
}

bool MainController::Exit() {
    if (exiting_ || state_.Searching()) return false;
    if (state_.Recording()) {
        if (!Ask(Text(player::Text::kRecordingStopAsk))) return false;
        extensions_->StopRecording();
    } else {
        Stop();
    }
    exiting_ = true;
    data_service_->Hide();
    LeaveFullScreen();
    // The picture size of the video layout, also when leaving from the audio layout.
    const Size extra = state_.layout == kLayoutAudio ? extra_before_audio_ : extra_;
    settings_.set_region_x(extra.width);
    settings_.set_region_y(extra.height);
    if (shutdown_) shutdown_();
    return true;
}

}  // namespace koru::player
