#include "player/core/file_playback.h"

#include <algorithm>
#include <cctype>

#include "m4systems/log.h"
#include "m4systems/messages.h"
#include "player/core/event_window.h"

namespace koru::player {

namespace {

constexpr const char* kSource = "VelmarPlayerDlg";
constexpr int kProgressPeriodMs = 500;

}  // namespace

FileNameParts SplitFileName(const std::string& path) {
    FileNameParts parts;
    const size_t slash = path.find_last_of('/');
    parts.name = slash == std::string::npos ? path : path.substr(slash + 1);
    const size_t dot = parts.name.find_last_of('.');
    if (dot != std::string::npos) parts.extension = parts.name.substr(dot + 1);
    return parts;
}

FilePlayback::FilePlayback(MainController& controller, ChooseFiles choose_files)
    : controller_(controller), state_(controller.state()), choose_files_(std::move(choose_files)) {}

void FilePlayback::OpenCommand() {
    if (state_.Searching()) return;
    if (state_.Recording()) {
        if (!controller_.Ask(controller_.Text(Text::kRecordingStopAsk))) return;
        controller_.Stop();
    }
    controller_.Post(WM_SYSTEM_OPEN_DIALOG);
}

void FilePlayback::OpenDialog() {
    if (!choose_files_) return;
    controller_.set_dialog_open(true);
    const std::vector<std::string> files = choose_files_();
    controller_.set_dialog_open(false);
    if (files.empty()) return;
    state_.SetUrl(files.front());
    Play();
}

void FilePlayback::OpenFromUrlBuffer() {
    Play();
}

void FilePlayback::SwitchLayout(int layout) {
    if (state_.layout == layout || controller_.full_screen()) return;
    // The data-service window covers the picture area of the audio layout, as in radio.
    DataServiceDisplay& display = controller_.data_service();
    if (layout == kLayoutVideo) {
        display.ShowRadioText(false);
        display.UseLogo();
        display.Hide();
        controller_.SwitchLayout(layout);
    } else {
        display.Show(false);
        controller_.SwitchLayout(layout);
        display.SetRadioText("");
    }
}

void FilePlayback::Play() {
    // A file handed over just before a search began: the search keeps the receiver.
    if (state_.Searching()) return;
    // Dropped files reach here without the Open command's question.
    if (state_.Recording()) {
        if (!controller_.Ask(controller_.Text(Text::kRecordingStopAsk))) return;
        controller_.Stop();
    }
    const std::string path = state_.Url();
    FileNameParts parts = SplitFileName(path);
    name_ = parts.name;
    extension_ = parts.extension;
    std::transform(extension_.begin(), extension_.end(), extension_.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    M4_LOG(2, kSource, "play file %s", path.c_str());
    controller_.SetSignalBars(1);
    controller_.Send(WM_SYSTEM_CLOSE);
    SwitchLayout(extension_ == "ts" ? kLayoutVideo : kLayoutAudio);
    controller_.ResetTimeShift();
    state_.play_source = kPlaySourceFile;
    paused_ = false;
    length_ms_ = 0;
    length_known_ = false;
    clock_requests_ = 0;
    controller_.view().SetPlayTooltip(false);
    controller_.view().SetProgress(0, 0);
    Connect();
    controller_.menu().OnFilePlaying();
    controller_.view().RefreshMenus();
}

void FilePlayback::Connect() {
    controller_.SetMessageLine(1, name_);
    controller_.Post(WM_SYSTEM_CONNECT);
    controller_.timers().Start(timer::kFileProgress, kProgressPeriodMs, false);
}

void FilePlayback::PlayPause() {
    if (state_.connection_state == kConnectionStopped) {
        paused_ = false;
        Connect();
        return;
    }
    paused_ = !paused_;
    controller_.ClearMessageLines();
    controller_.Post(paused_ ? WM_SYSTEM_PAUSE : WM_SYSTEM_RESUME);
    controller_.view().SetPlayTooltip(paused_);
}

void FilePlayback::Stop() {
    paused_ = false;
    controller_.view().SetPlayTooltip(false);
}

void FilePlayback::ProgressTick() {
    ++clock_requests_;
    controller_.Post(kEventFileClock);
}

void FilePlayback::Progress(long long position_ms, long long length_ms) {
    if (clock_requests_ == 0) return;  // asked for before the file (re)started
    --clock_requests_;
    if (!state_.FilePlayback() || !controller_.timers().IsActive(timer::kFileProgress)) return;
    length_ms_ = length_ms;
    if (length_ms > 0) length_known_ = true;
    if (length_ms <= 0 || position_ms >= length_ms) {
        M4_LOG(2, kSource, "end of %s at %lld of %lld ms", name_.c_str(), position_ms, length_ms);
        controller_.Post(WM_SYSTEM_CLOSE);
        controller_.timers().Stop(timer::kFileProgress);
        controller_.ClearMessageLines();
        controller_.view().SetProgress(0, length_ms);
        controller_.view().RefreshMenus();
        // A file whose length never came could not be opened or read.
        if (!length_known_)
            controller_.ShowMessage(Format(controller_.Text(Text::kFileCannotPlay), name_.c_str()));
        return;
    }
    controller_.view().SetProgress(position_ms, length_ms);
}

void FilePlayback::Seek(int offset, int span) {
    if (!state_.FilePlayback() || state_.connection_state == kConnectionStopped ||
        length_ms_ <= 0 || span <= 0) {
        return;
    }
    if (paused_) {
        paused_ = false;
        controller_.Post(WM_SYSTEM_RESUME);
        controller_.view().SetPlayTooltip(false);
    }
    const long long target =
        length_ms_ * std::clamp(offset, 0, span) / static_cast<long long>(span);
    M4_LOG(2, kSource, "seek %s to %lld of %lld ms", name_.c_str(), target, length_ms_);
    controller_.Post(kEventSeek, static_cast<M4Param>(target));
}

void FilePlayback::LiveTuned(int watch_kind) {
    controller_.view().SetProgress(0, 0);
    SwitchLayout(watch_kind == settings::kWatchKindTv ? kLayoutVideo : kLayoutAudio);
}

}  // namespace koru::player
