#include "player/core/recording.h"

#include "m4systems/log.h"
#include "m4systems/messages.h"
#include "player/core/event_window.h"

namespace koru::player {

namespace {

constexpr const char* kSource = "VelmarPlayerDlg";

}  // namespace

std::string FileNameText(const std::string& text) {
    const size_t first = text.find_first_not_of(' ');
    if (first == std::string::npos) return {};
    std::string trimmed = text.substr(first, text.find_last_not_of(' ') - first + 1);
    for (char& c : trimmed) {
        if (c == '/') c = '_';
    }
    return trimmed;
}

std::string RecordingBaseName(const std::string& folder, const std::string& channel,
                              const LocalTime& time, int language) {
    return Format(Tr(Text::kRecordFileName, language), folder.c_str(), channel.c_str(), time.month,
                  time.day, time.hour, time.minute, time.second);
}

std::string SplitReport(const std::string& base, int splits, int language) {
    const std::string tail = Tr(Text::kRecordSplitTail, language);
    std::string report = Tr(Text::kRecordSplitHead, language) + base;
    for (int n = 1; n <= splits; ++n) {
        const std::string file = Format(Tr(Text::kRecordSplitFile, language), base.c_str(), n);
        if (report.size() + file.size() + tail.size() >= kSplitReportBytes) break;
        report += file;
    }
    if (report.size() + tail.size() < kSplitReportBytes) report += tail;
    return report;
}

Recording::Recording(MainController& controller, VelmarMessage& message_window,
                     TimeShift& time_shift, LocalClock clock)
    : controller_(controller),
      state_(controller.state()),
      message_window_(message_window),
      time_shift_(time_shift),
      clock_(std::move(clock)) {}

void Recording::Command() {
    if (state_.Searching() || state_.play_source != kPlaySourceLive ||
        state_.connection_state != kConnectionPlaying) {
        return;
    }
    const int watch_kind = state_.WatchKind();
    const bool tv = watch_kind == settings::kWatchKindTv;
    if (tv && time_shift_.paused()) {
        if (time_shift_.Available())
            controller_.ShowMessage(controller_.Text(Text::kTimeShiftPlayingNoRecord));
        return;
    }
    // A data service brings the terminal neither sound nor picture: there is nothing to record.
    if (watch_kind == settings::kWatchKindData) {
        controller_.SetMessageLine(2, controller_.Text(Text::kRecordDataChannelRefused));
        return;
    }
    const Text text = pending_ ? (tv ? Text::kPreengagedTv : Text::kPreengagedRadio)
                               : (tv ? Text::kRecordingTv : Text::kRecordingRadio);
    controller_.SetMessageLine(2, controller_.Text(text));
    controller_.Post(WM_SYSTEM_RECORD);
    controller_.view().RefreshMenus();
    pending_ = false;
}

void Recording::Start() {
    if (state_.FilePlayback() || state_.connection_state != kConnectionPlaying ||
        state_.Recording()) {
        return;
    }
    const int watch_kind = state_.WatchKind();
    if (watch_kind == settings::kWatchKindData) return;
    const bool tv = watch_kind != settings::kWatchKindRadio;
    std::string channel;
    if (auto entry = state_.Channel(watch_kind, state_.CurrentIndex(watch_kind)))
        channel = FileNameText(std::string(settings::FixedText(entry->label)));
    settings::EM_XmlFile& settings = controller_.settings();
    const std::string& folder = settings.path(tv ? settings::kVideoFolder : settings::kAudioFolder);
    const std::string base = RecordingBaseName(folder, channel, clock_(), state_.Language());
    // The folder first: the terminal creates only the file.
    if (!settings.EnsureFolder(folder)) {
        controller_.SetMessageLine(2, "");
        return;
    }
    RecordRequest request;
    request.path = base + (tv ? ".ts" : ".mp2");
    controller_.Send(kEventStartRecord, reinterpret_cast<M4Param>(&request));
    if (request.result != M4OK) {
        // A file that cannot be created is reported by the terminal itself (1236).
        M4_LOG(1, kSource, "M4T_StartRecord(%s) = %d", request.path.c_str(), request.result);
        controller_.SetMessageLine(2, "");
        return;
    }
    M4_LOG(2, kSource, "recording %s", request.path.c_str());
    base_name_ = base;
    path_ = request.path;
    splits_ = 0;
    state_.recording_kind = tv ? kRecordKindTv : kRecordKindRadio;
    state_.recording_state = kRecording;
    message_window_.StartRecordBlink();
    controller_.menu().OnRecordingStarted();
    controller_.view().RefreshMenus();
}

void Recording::Stop() {
    if (!state_.Recording()) return;
    controller_.Post(kEventStopRecord);
    const int splits = state_.recording_kind == kRecordKindTv ? splits_ : 0;
    splits_ = 0;
    message_window_.StopRecordBlink();
    state_.recording_state = kNotRecording;
    controller_.menu().OnStopped();
    controller_.view().RefreshMenus();
    M4_LOG(2, kSource, "recording of %s ended (%d splits)", path_.c_str(), splits);
    if (splits > 0) controller_.ShowMessage(SplitReport(base_name_, splits, state_.Language()));
}

void Recording::Split() {
    if (state_.Recording() && state_.recording_kind == kRecordKindTv) ++splits_;
}

}  // namespace koru::player
