#include "player/core/message_window.h"

#include <algorithm>
#include <filesystem>

#include "m4systems/log.h"
#include "m4systems/messages.h"
#include "player/core/event_window.h"
#include "player/core/media_control.h"
#include "player/core/player_event.h"
#include "player/core/screen_geometry.h"

namespace koru::player {

namespace {

constexpr const char* kSource = "Velmar_message";

bool EndsWith(const std::string& text, const std::string& suffix) {
    return text.size() >= suffix.size() &&
           text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

}  // namespace

VelmarMessage::VelmarMessage(MainController& controller, DataServicePort* port, QObject* parent)
    : QObject(parent),
      controller_(controller),
      state_(controller.state()),
      timers_([this](int id) { OnTimer(id); }, this),
      own_port_(port == nullptr ? std::make_unique<PadAudioPort>() : nullptr),
      port_(port == nullptr ? *own_port_ : *port) {
    setObjectName("Velmar_message");
}

void VelmarMessage::customEvent(QEvent* event) {
    const PlayerEvent* message = PlayerEvent::Received(event);
    if (message == nullptr) return;
    Handle(message->code(), message->wparam(), message->lparam());
}

void VelmarMessage::ResetDataService() {
    controller_.Post(kEventResetRadioData);
    controller_.data_service().Reset();
}

void VelmarMessage::Tuned(int watch_kind, int index) {
    DataServiceDisplay& display = controller_.data_service();
    if (watch_kind == settings::kWatchKindTv) {
        display.ShowRadioText(false);
        display.Hide();
        return;
    }
    // A new service: the label and picture of the one before no longer apply.
    display.SetRadioText("");
    display.UseLogo();
    display.ShowRadioText(watch_kind == settings::kWatchKindRadio);
    display.Show(false);
    if (watch_kind == settings::kWatchKindRadio) {
        timers_.Stop(timer::kDataServiceDirectory);
    } else {
        TunedDataChannel(index);
    }
}

void VelmarMessage::TunedDataChannel(int index) {
    const std::optional<settings::ChannelEntry> entry =
        state_.Channel(settings::kWatchKindData, index);
    const std::string label = entry ? std::string(settings::FixedText(entry->label)) : "";
    const std::string base = controller_.settings().path(settings::kDataServiceFolder) + "/";
    channel_data_folder_ = ChannelDataFolder(base, label);
    std::error_code error;
    std::filesystem::create_directories(channel_data_folder_, error);  // an existing one stays
    if (error) {
        M4_LOG(1, kSource, "cannot create %s: %s", channel_data_folder_.c_str(),
               error.message().c_str());
    }
    port_.SetMOTBodyPath(channel_data_folder_);
    M4_LOG(2, kSource, "SetMOTBodyPath %s", channel_data_folder_.c_str());
}

void VelmarMessage::Label(M4Param charset) {
    uint8_t buffer[kDlsBufferBytes] = {};
    const int count = port_.GetDLSData(buffer);
    M4_LOG(2, kSource, "ncharset[%d]", static_cast<int>(charset));
    const size_t length = static_cast<size_t>(std::clamp(count, 0, int{kDlsBufferBytes}));
    const std::string text = LabelText(static_cast<int>(charset), buffer, length);
    if (text.empty()) return;
    M4_LOG(2, kSource, "radio text: %s", text.c_str());
    controller_.data_service().SetRadioText(text);
}

void VelmarMessage::SlideshowObject() {
    MOTFileName record{};
    port_.GetMOTFileName(&record);
    record.name[sizeof(record.name) - 1] = '\0';
    const std::string name(record.name);
    // A slide of a radio service that arrives after the switch to another list stays off screen.
    if (state_.WatchKind() == settings::kWatchKindRadio) controller_.data_service().ShowFile(name);
    M4_LOG(2, kSource, "===szMOTName - %s", name.c_str());
}

void VelmarMessage::WebSite() {
    if (channel_data_folder_.empty()) return;
    const std::string start_page = channel_data_folder_ + "index.htm";
    M4_LOG(2, kSource, "start page %s", start_page.c_str());
    controller_.data_service().Navigate(start_page);
}

void VelmarMessage::WeakSignal(Text text) {
    controller_.SetSignalBars(1);
    ResetDataService();
    const std::string line = controller_.Text(text);
    controller_.SetMessageLine(2, line);
    if (state_.connection_state == kConnectionPlaying) controller_.ShowStatusOverlay(line);
}

void VelmarMessage::ReceiverLost(uint32_t code) {
    ResetDataService();
    controller_.SetSignalBars(1);
    controller_.LeaveFullScreen();
    controller_.Stop();
    controller_.ReportError(code);
}

void VelmarMessage::Handle(uint32_t code, M4Param wparam, M4Param lparam) {
    HandleMessage(code, wparam, lparam);
    controller_.StatusChanged();
}

void VelmarMessage::HandleMessage(uint32_t code, M4Param wparam, M4Param lparam) {
    PlaybackExtensions& extensions = *controller_.extensions();
    DataServiceDisplay& data_service = controller_.data_service();
    const int watch_kind = state_.WatchKind();
    switch (code) {
        case WM_SYSTEM_RECONNECT:
            controller_.HideStatusOverlay();
            break;
        case WM_SYSTEM_STOP:
            if (state_.Recording()) {
                extensions.StopRecording();
            } else {
                controller_.SetMessageLine(2, "");
            }
            if (watch_kind == settings::kWatchKindRadio) ResetDataService();
            break;
        case WM_SYSTEM_OPEN_DIALOG:
            extensions.OpenFileDialog();
            break;
        case WM_SYSTEM_TUNE_IF_PRESENT:
        case WM_SYSTEM_TUNE_IF_IDLE:
            controller_.SetSignalBars(1);
            break;
        case WM_SYSTEM_TUNE: {
            const int index = static_cast<int>(wparam);
            controller_.Post(kEventResetRadioData);
            Tuned(watch_kind, index);
            controller_.ResetTimeShift();
            controller_.ShowChannelCaption(watch_kind, index);
            extensions.LiveTuned(watch_kind);
            break;
        }
        case WM_SYSTEM_RECORD:
            extensions.StartRecording();
            break;
        case WM_SYSTEM_CONNECT:
            sound_unsupported_ = false;
            if (state_.play_source == kPlaySourceLive) {
                if (controller_.channel_windows() != nullptr) {
                    controller_.channel_windows()->SelectChannel(watch_kind,
                                                                 state_.CurrentIndex(watch_kind));
                }
                if (watch_kind == settings::kWatchKindRadio) data_service.Show(false);
                controller_.SetMessageLine(2, controller_.Text(Text::kConnecting));
                controller_.SaveSettings();
            } else if (state_.FilePlayback()) {
                state_.connection_state = kConnectionPlaying;
                controller_.ClearMessageLines();
                if (EndsWith(state_.Url(), ".ts")) controller_.SwitchLayout(kLayoutVideo);
                controller_.HideStatusOverlay();
            }
            break;
        case WM_SYSTEM_CLOSE:
            controller_.Post(kEventResetRadioData);
            controller_.SetMessageLine(1, "");
            controller_.SetMessageLine(2, controller_.Text(Text::kDisconnect));
            break;
        case WM_SYSTEM_OPEN_FILE:
            extensions.OpenFileFromUrlBuffer();
            break;
        case WM_SYSTEM_SAME_CHANNEL:
            controller_.HideChannelBanner();
            if (watch_kind == settings::kWatchKindTv)
                controller_.SetMessageLine(2, controller_.TimeShiftText());
            break;
        case WM_SYSTEM_WEAK_SIGNAL:
            WeakSignal(Text::kWeakSignal);
            break;
        case WM_SYSTEM_RECEIVING:
            if (!extensions.TimeShiftAvailable())
                controller_.SetMessageLine(2, controller_.Text(Text::kReceiving));
            controller_.HideStatusOverlay();
            break;
        case WM_SYSTEM_FIRST_FRAME:
            M4_LOG(2, kSource, "first frame of %s", state_.Url().c_str());
            state_.connection_state = kConnectionPlaying;
            if (!state_.Recording()) {
                controller_.ClearMessageLines();
                controller_.SetMessageLine(2, sound_unsupported_
                                                  ? controller_.Text(Text::kSoundUnsupported)
                                                  : controller_.TimeShiftText());
            }
            controller_.HideStatusOverlay();
            timers_.Start(timer::kHideBanner, 2200, true);
            extensions.FirstFrame();
            break;
        case WM_SYSTEM_AUDIO_UNSUPPORTED:
            // Said once a tune: the terminal reports it once a connection, the first picture
            // shows it again if it came before.
            if (sound_unsupported_) break;
            sound_unsupported_ = true;
            M4_LOG(1, kSource, "the sound of %s cannot be played", state_.Url().c_str());
            controller_.SetMessageLine(2, controller_.Text(Text::kSoundUnsupported));
            break;
        case WM_SYSTEM_SIGNAL_LOST:
            WeakSignal(Text::kWeakSignalLost);
            state_.connection_state = kConnectionPlaying;
            break;
        case WM_SYSTEM_USB_LOST:
        case WM_SYSTEM_USB_LOST2:
        case WM_SYSTEM_NO_DEVICE:
            ReceiverLost(code);
            break;
        case WM_SYSTEM_DISPLAY_CHANGED:
            controller_.ShowMessage(controller_.Text(Text::kDisplayChanged));
            controller_.OnControl(control::kTurnOff);
            break;
        case WM_SYSTEM_RECORD_WRITE_ERROR:
        case WM_SYSTEM_RECORD_SIZE_LIMIT:
            controller_.ShowMessage(controller_.Text(code == WM_SYSTEM_RECORD_WRITE_ERROR
                                                         ? Text::kRecordWriteError
                                                         : Text::kRecordSizeLimit));
            if (state_.Recording()) extensions.StopRecording();
            break;
        case WM_SYSTEM_RECORD_SPLIT:
            extensions.RecordSplit();
            break;
        case WM_SYSTEM_TUNER_ID_ERROR:
            ResetDataService();
            state_.message_box_flag = true;
            break;
        case WM_SYSTEM_TIMESHIFT_NO_SPACE:
        case WM_SYSTEM_TIMESHIFT_NO_FILE:
            controller_.ReportError(code);
            controller_.settings().set_timeshiftonoff(0);
            controller_.SaveSettings();
            controller_.Post(kEventTimeShiftOff);
            controller_.Stop();
            break;
        case WM_SYSTEM_DLS:
            Label(wparam);
            break;
        case WM_SYSTEM_SIGNAL_LEVEL:
            controller_.SetSignalBars(SignalBars(wparam));
            break;
        case WM_SYSTEM_MOT_FILE:
            SlideshowObject();
            break;
        case kEventMediaCommand:
            ApplyMediaCommand(controller_, static_cast<MediaCommand>(wparam),
                              static_cast<int>(lparam));
            break;
        case WM_SYSTEM_MOT_DIR_TIME:
            if (watch_kind == settings::kWatchKindData) WebSite();
            M4_LOG(2, kSource, "WM_SYSTEM_MOT_DIR_TIME[%d]", static_cast<int>(lparam));
            timers_.Start(timer::kDataServiceDirectory,
                          static_cast<int>(std::clamp<M4Param>(lparam, 0, 1 << 24)) * 100, true);
            break;
        case kEventFileClock:
            extensions.FileProgress(wparam, lparam);
            break;
        default:
            break;
    }
}

void VelmarMessage::StartRecordBlink() {
    controller_.ShowRecordMark(true);
    timers_.Stop(timer::kRecordMarkOn);
    timers_.Start(timer::kRecordMarkOff, 1000, false);
}

void VelmarMessage::StopRecordBlink() {
    timers_.Stop(timer::kRecordMarkOff);
    timers_.Stop(timer::kRecordMarkOn);
    controller_.ShowRecordMark(false);
}

void VelmarMessage::OnTimer(int id) {
    switch (id) {
        case timer::kHideBanner:
            controller_.HideChannelBanner();
            break;
        case timer::kRecordMarkOff:
            timers_.Stop(timer::kRecordMarkOff);
            controller_.ShowRecordMark(false);
            timers_.Start(timer::kRecordMarkOn, 1000, false);
            break;
        case timer::kRecordMarkOn:
            timers_.Stop(timer::kRecordMarkOn);
            controller_.ShowRecordMark(true);
            timers_.Start(timer::kRecordMarkOff, 1000, false);
            break;
        case timer::kDataServiceDirectory:
            timers_.Stop(timer::kDataServiceDirectory);
            break;
        default:
            break;
    }
}

}  // namespace koru::player
