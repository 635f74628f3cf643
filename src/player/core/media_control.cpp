#include "player/core/media_control.h"

#include <Qt>
#include <filesystem>

#include "rxmod/rxmod_api.h"

namespace koru::player {

namespace {

bool Active(const PlayerState& state) {
    const int connection = state.connection_state;
    return connection == kConnectionConnecting || connection == kConnectionPlaying;
}

bool Paused(MainController& controller) {
    return Active(controller.state()) && controller.extensions()->Paused();
}

// Live TV can be held in the time-shift cache; a file can be paused.
bool CanHold(MainController& controller) {
    PlayerState& state = controller.state();
    if (state.FilePlayback()) return true;
    return state.WatchKind() == settings::kWatchKindTv &&
           state.connection_state == kConnectionPlaying &&
           controller.settings().timeshiftonoff() != 0 && controller.timeshift_ready() &&
           controller.extensions()->TimeShiftAvailable();
}

// The main window's commands themselves, not its controls: those take the keyboard focus, and
// a media key must leave it where the user works.
void Pause(MainController& controller) {
    if (!Active(controller.state()) || Paused(controller)) return;
    // Play is the main window's pause while time shift or a file can hold.
    if (CanHold(controller)) {
        controller.Play();
    } else {
        controller.Stop();
    }
}

void Play(MainController& controller) {
    if (Active(controller.state()) && !Paused(controller)) return;
    controller.Play();
}

std::string Trimmed(std::string text) {
    while (!text.empty() && text.back() == ' ')
        text.pop_back();
    return text;
}

const char* ListName(int watch_kind) {
    if (watch_kind == settings::kWatchKindRadio) return "radio";
    if (watch_kind == settings::kWatchKindData) return "data";
    return "tv";
}

}  // namespace

void ApplyMediaCommand(MainController& controller, MediaCommand command, int value) {
    switch (command) {
        case MediaCommand::kPlay:
            Play(controller);
            break;
        case MediaCommand::kPause:
            Pause(controller);
            break;
        case MediaCommand::kPlayPause:
            if (Active(controller.state()) && !Paused(controller)) {
                Pause(controller);
            } else {
                Play(controller);
            }
            break;
        case MediaCommand::kStop:
            controller.StopCommand();
            break;
        case MediaCommand::kNext:
            controller.ChannelStep(+1);
            break;
        case MediaCommand::kPrevious:
            controller.ChannelStep(-1);
            break;
        case MediaCommand::kSetVolume:
            if (value != controller.volume() || controller.muted()) controller.SetVolume(value);
            break;
        case MediaCommand::kRaise:
            controller.RaiseWindow();
            break;
        case MediaCommand::kQuit:
            controller.Exit();
            break;
    }
}

std::optional<MediaCommand> MediaKeyCommand(int qt_key) {
    switch (qt_key) {
        case Qt::Key_MediaPlay:
        case Qt::Key_MediaTogglePlayPause:
            return MediaCommand::kPlayPause;
        case Qt::Key_MediaPause:
            return MediaCommand::kPause;
        case Qt::Key_MediaStop:
            return MediaCommand::kStop;
        case Qt::Key_MediaNext:
            return MediaCommand::kNext;
        case Qt::Key_MediaPrevious:
            return MediaCommand::kPrevious;
        default:
            return std::nullopt;
    }
}

// ---- DataServiceRecorder ------------------------------------------------------------------

void DataServiceRecorder::Show(bool refresh) {
    target().Show(refresh);
}

void DataServiceRecorder::Hide() {
    target().Hide();
}

void DataServiceRecorder::Reset() {
    radio_text_.clear();
    slide_.clear();
    target().Reset();
    controller_.StatusChanged();
}

void DataServiceRecorder::UseLogo() {
    slide_.clear();
    target().UseLogo();
    controller_.StatusChanged();
}

void DataServiceRecorder::ShowFile(const std::string& path) {
    if (!path.empty()) {
        std::error_code ignored;
        slide_ = std::filesystem::absolute(path, ignored).string();
    }
    target().ShowFile(path);
    controller_.StatusChanged();
}

void DataServiceRecorder::Navigate(const std::string& start_page) {
    target().Navigate(start_page);
}

void DataServiceRecorder::SetRadioText(const std::string& text) {
    radio_text_ = text;
    target().SetRadioText(text);
    controller_.StatusChanged();
}

void DataServiceRecorder::ShowRadioText(bool visible) {
    target().ShowRadioText(visible);
}

// ---- MediaStatusReader --------------------------------------------------------------------

const std::string& MediaStatusReader::EnsembleLabel(int frequency_khz) {
    std::error_code error;
    const auto written = std::filesystem::last_write_time("channel.dat", error);
    const long long cache_time = error ? 0 : written.time_since_epoch().count();
    if (frequency_khz == label_khz_ && cache_time == label_cache_time_) return label_;
    label_khz_ = frequency_khz;
    label_cache_time_ = cache_time;
    char label[64] = {};
    BB_API_GetEnsembleLabel(frequency_khz, label, sizeof(label));
    label_ = label;
    return label_;
}

MediaStatus MediaStatusReader::Read() {
    MainController& controller = controller_;
    PlayerState& state = controller.state();
    MediaStatus status;
    const bool active = Active(state);
    status.playback = !active              ? PlaybackStatus::kStopped
                      : Paused(controller) ? PlaybackStatus::kPaused
                                           : PlaybackStatus::kPlaying;
    status.volume = controller.muted() ? 0 : controller.volume();
    status.can_pause = active;
    const int watch_kind = state.WatchKind();
    const bool channels = state.ChannelCount(watch_kind) > 0 && !state.Searching();
    status.can_go_next = channels;
    status.can_go_previous = channels;
    if (state.FilePlayback()) {
        const std::string path = state.Url();
        status.track = "file";
        status.title = path.substr(path.rfind('/') + 1);
        status.can_play = true;
        return status;
    }
    status.can_play = channels;
    const int index = state.CurrentIndex(watch_kind);
    const std::optional<settings::ChannelEntry> entry = state.Channel(watch_kind, index);
    if (!entry) return status;
    status.track = std::string(ListName(watch_kind)) + "/" + std::to_string(index);
    status.title = Trimmed(std::string(settings::FixedText(entry->label)));
    status.album = EnsembleLabel(settings::FrequencyKHz(entry->freq));
    if (watch_kind == settings::kWatchKindRadio) {
        status.artist = recorder_.radio_text();
        status.art_file = recorder_.slide();
    }
    return status;
}

}  // namespace koru::player
