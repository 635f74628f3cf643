#include "player/core/event_window.h"

#include "m4systems/log.h"
#include "m4systems/messages.h"
#include "player/core/file_playback.h"
#include "player/core/player_event.h"
#include "player/core/screen_wnd.h"
#include "player/core/service_url.h"

namespace koru::player {

namespace {

constexpr const char* kSource = "VelmarPostMessage";

// A signal report of "one bar": 0.1 dB, below every bar threshold.
constexpr M4Param kOneBarSignal = 1;

}  // namespace

EventWindow::EventWindow(PlayerState& state, TerminalPort& terminal, QObject* message_window)
    : state_(state), terminal_(terminal), message_window_(message_window) {
    setObjectName("Velmar PostMessage");
}

void EventWindow::customEvent(QEvent* event) {
    const PlayerEvent* message = PlayerEvent::Received(event);
    if (message == nullptr) return;
    Handle(message->code(), message->wparam(), message->lparam());
}

void EventWindow::Forward(uint32_t code, M4Param wparam, M4Param lparam) {
    PostPlayerEvent(message_window_.load(), code, wparam, lparam);
}

void EventWindow::PostSelf(uint32_t code, M4Param wparam, M4Param lparam) {
    PostPlayerEvent(this, code, wparam, lparam);
}

void EventWindow::Handle(uint32_t code, M4Param wparam, M4Param lparam) {
    switch (code) {
        case WM_SYSTEM_RECONNECT:
            if (SearchHasReceiver("reconnect")) break;
            terminal_.ConnectURL(state_.Url());
            total_duration_ = -1;
            Forward(code, wparam, lparam);
            break;
        case WM_SYSTEM_STOP:
            if (!state_.Recording()) PostSelf(WM_SYSTEM_CLOSE);
            Forward(code, wparam, lparam);
            break;
        case WM_SYSTEM_TUNE_IF_PRESENT:
            if (state_.receiver_present == 1) PostSelf(WM_SYSTEM_TUNE, wparam);
            Forward(code, wparam, lparam);  // the message window shows one bar
            break;
        case WM_SYSTEM_TUNE_IF_IDLE:
            if (state_.receiver_present == 1 && state_.connection_state != kConnectionConnecting)
                PostSelf(WM_SYSTEM_TUNE, wparam);
            Forward(code, wparam, lparam);
            break;
        case WM_SYSTEM_TUNE:
            Tune(static_cast<int>(wparam));
            break;
        case WM_SYSTEM_CONNECT:
            Connect(wparam);
            break;
        case WM_SYSTEM_CLOSE:
            Close();
            break;
        case WM_SYSTEM_VOLUME:
            terminal_.SetOption(M4T_OPTION_VOLUME, static_cast<uint32_t>(wparam));
            break;
        case WM_SYSTEM_VIDEO_SIZE:
            video_width_ = static_cast<uint32_t>(wparam);
            video_height_ = static_cast<uint32_t>(lparam);
            terminal_.SetSize(video_width_, video_height_);
            M4_LOG(2, kSource, "screen size=========== width-%d, height-%d",
                   static_cast<int>(wparam), static_cast<int>(lparam));
            Forward(code, wparam, lparam);
            break;
        case WM_SYSTEM_RESUME:
            terminal_.SetOption(M4T_OPTION_PAUSE, 0);
            M4_LOG(2, kSource, "resume at %u ms", terminal_.GetCurrentTimeInMS());
            break;
        case WM_SYSTEM_PAUSE:
            terminal_.SetOption(M4T_OPTION_PAUSE, 1);
            M4_LOG(2, kSource, "pause at %u ms", terminal_.GetCurrentTimeInMS());
            break;
        case WM_SYSTEM_OPEN_FILE:
            Forward(code, 0, 0);
            break;
        case WM_SYSTEM_EXIT:
            Exit();
            break;
        case WM_SYSTEM_WEAK_SIGNAL:
        case WM_SYSTEM_SIGNAL_LOST:
            PostSelf(WM_SYSTEM_SIGNAL_LEVEL, 0, kOneBarSignal);
            Forward(code, wparam, lparam);
            break;
        case WM_SYSTEM_FIRST_FRAME:
            log_debug_out("VelmarPlayer: first data after %lld ms", MillisecondsSinceStart());
            terminal_.SetSize(video_width_, video_height_);
            M4_LOG(2, kSource, "screen size width-%d, height-%d", static_cast<int>(video_width_),
                   static_cast<int>(video_height_));
            state_.connection_state = kConnectionPlaying;
            Forward(code, video_width_, video_height_);
            break;
        case WM_SYSTEM_DURATION:
            if (state_.FilePlayback()) {
                total_duration_ = static_cast<int>(lparam);
                M4_LOG(2, kSource, "ntotalduration = %d", static_cast<int>(lparam));
                terminal_.SetSize(video_width_, video_height_);
            }
            break;
        case WM_SYSTEM_TIME_BASE:
            time_base_ = static_cast<uint32_t>(wparam);
            break;
        case WM_SYSTEM_SIGNAL_LEVEL:
            Forward(code, state_.connection_state == kConnectionStopped ? kOneBarSignal : wparam,
                    lparam);
            terminal_.PADDataInValidCheck(static_cast<int>(wparam));
            break;
        case WM_SYSTEM_RECONNECT_URL:
            if (SearchHasReceiver("reconnect")) break;
            terminal_.CloseURL();
            terminal_.ConnectURL(state_.Url());
            break;
        case kEventResetRadioData:
            terminal_.MOTInitVariable(1);
            break;
        case kEventTimeShiftOff:
            terminal_.SetTimeShiftParams("", 0);
            break;
        case kEventCloseForSearch:
            terminal_.CloseURL();
            file_opened_ = false;
            break;
        case kEventSetPosition:
            terminal_.SetPosition(static_cast<int32_t>(wparam), static_cast<int32_t>(lparam));
            break;
        case kEventStartRecord: {
            auto* request = reinterpret_cast<RecordRequest*>(wparam);
            // DAB+ radio is recorded as MPEG-4 audio: the file is named as the terminal writes it.
            if (const std::string extension = terminal_.RecordExtension(); !extension.empty()) {
                const std::string asked = SplitFileName(request->path).extension;
                if (!asked.empty()) request->path.resize(request->path.size() - asked.size() - 1);
                request->path += "." + extension;
            }
            request->result = terminal_.StartRecord(request->path);
            break;
        }
        case kEventStopRecord:
            terminal_.StopRecord();
            break;
        case kEventCaptureScreen: {
            auto* request = reinterpret_cast<CaptureRequest*>(wparam);
            request->result = terminal_.CaptureScreen(&request->record);
            break;
        }
        case kEventSeek:
            terminal_.PlayFromTime(time_base_ + static_cast<uint32_t>(wparam));
            break;
        case kEventFileClock:
            FileClock();
            break;
        case WM_SYSTEM_OPEN_DIALOG:
        case WM_SYSTEM_RECORD:
        case WM_SYSTEM_RECEIVING:
        case WM_SYSTEM_USB_LOST:
        case WM_SYSTEM_USB_LOST2:
        case WM_SYSTEM_UNNAMED_208:
        case WM_SYSTEM_NO_DEVICE:
        case WM_SYSTEM_RECORD_WRITE_ERROR:
        case WM_SYSTEM_RECORD_SIZE_LIMIT:
        case WM_SYSTEM_RECORD_SPLIT:
        case WM_SYSTEM_TUNER_ID_ERROR:
        case WM_SYSTEM_TIMESHIFT_NO_SPACE:
        case WM_SYSTEM_TIMESHIFT_NO_FILE:
        case WM_SYSTEM_DLS:
        case WM_SYSTEM_MOT_FILE:
        case WM_SYSTEM_MOT_DIR_TIME:
        case WM_SYSTEM_AUDIO_UNSUPPORTED:
        case kEventMediaCommand:
            Forward(code, wparam, lparam);
            break;
        default:
            // 1134, 1135, 1145, 1234, 1240 and anything unknown: no effect here.
            break;
    }
}

bool EventWindow::SearchHasReceiver(const char* request) {
    if (!state_.Searching()) return false;
    M4_LOG(2, kSource, "%s refused: a channel search runs", request);
    return true;
}

void EventWindow::Tune(int index) {
    if (state_.receiver_present != 1 || SearchHasReceiver("tune")) return;
    const int watch_kind = state_.WatchKind();
    if (!state_.FilePlayback() && index == state_.CurrentIndex(watch_kind) &&
        state_.tune_state == kTuneTuned && state_.connection_state == kConnectionPlaying) {
        Forward(WM_SYSTEM_SAME_CHANNEL, 0, 0);
        return;
    }
    const std::optional<settings::ChannelEntry> entry = state_.Channel(watch_kind, index);
    if (!entry) {
        // A stale index (the list changed under the request): nothing to build a URL from.
        M4_LOG(1, kSource, "no channel %d in list %d", index, watch_kind);
        return;
    }
    state_.tune_state = kTuneTuned;
    Forward(WM_SYSTEM_SIGNAL_LEVEL, 0, kOneBarSignal);

    state_.SetCurrentIndex(watch_kind, index);
    state_.SetUrl(ServiceUrl(*entry, watch_kind));
    M4_LOG(2, kSource, "nchnum=========== %d", index);

    Forward(WM_SYSTEM_TUNE, index, 0);
    state_.play_source = kPlaySourceLive;
    state_.activity = kActivityTuned;

    switch (state_.connection_state.load()) {
        case kConnectionIdle:
        case kConnectionStopped:
            PostSelf(WM_SYSTEM_CONNECT);
            break;
        case kConnectionConnecting:
        case kConnectionPlaying:
            PostSelf(WM_SYSTEM_CLOSE);
            PostSelf(WM_SYSTEM_CONNECT);
            M4_LOG(2, kSource, "channel change2");
            break;
        default:
            break;
    }
}

void EventWindow::Connect(M4Param wparam) {
    // A connect queued behind the search's close would take the receiver from the search.
    if (SearchHasReceiver("connect")) return;
    const bool live = state_.play_source == kPlaySourceLive;
    if (live) state_.connection_state = kConnectionConnecting;
    if (state_.WatchKind() == settings::kWatchKindRadio)
        terminal_.GetCurrentRadioType(live ? 1 : 0);
    QThread::msleep(10);
    const std::string url = state_.Url();
    // A file's length is unknown until the terminal reports it (1230); one that does not open
    // never does, and its playback ends at the next progress step.
    if (state_.FilePlayback()) total_duration_ = -1;
    log_debug_out("VelmarPlayer: connect after %lld ms", MillisecondsSinceStart());
    const M4Err result = terminal_.ConnectURL(url);
    if (result != M4OK) M4_LOG(1, kSource, "M4T_ConnectURL(%s) = %d", url.c_str(), result);
    if (state_.FilePlayback()) {
        state_.connection_state = kConnectionPlaying;
        file_opened_ = true;
    }
    Forward(WM_SYSTEM_CONNECT, wparam, 0);
    if (wparam == 1) terminal_.HideOsd(1);
}

void EventWindow::FileClock() {
    const long long position =
        static_cast<long long>(terminal_.GetCurrentTimeInMS()) - static_cast<long long>(time_base_);
    const long long length = static_cast<long long>(total_duration_) * 1000;
    Forward(kEventFileClock, static_cast<M4Param>(position), static_cast<M4Param>(length));
}

void EventWindow::Close() {
    terminal_.CloseURL();
    state_.connection_state = kConnectionStopped;
    M4_LOG(2, kSource, "VelmarState : velmar st stop");
    Forward(WM_SYSTEM_CLOSE, 0, 0);
    file_opened_ = false;
}

void EventWindow::Exit() {
    M4_LOG(2, kSource, "VelmarExit: 1");
    terminal_.DeleteTerminal();
    M4_LOG(2, kSource, "VelmarExit: 2");
    terminal_.DeletePluginManager();
    M4_LOG(2, kSource, "VelmarExit: 3");
    terminal_.DeleteIniFile();
    M4_LOG(2, kSource, "VelmarExit: 4");
    thread()->quit();
}

EventWindowThread::EventWindowThread(PlayerState& state, TerminalPort& terminal)
    : window_(std::make_unique<EventWindow>(state, terminal)) {
    thread_.setObjectName("Velmar PostMessage");
}

EventWindowThread::~EventWindowThread() {
    if (thread_.isRunning()) {
        thread_.quit();
        thread_.wait();
    }
}

bool EventWindowThread::Open(QObject* message_window) {
    window_->SetMessageWindow(message_window);
    window_->moveToThread(&thread_);
    thread_.start();
    return thread_.isRunning();
}

void EventWindowThread::Exit() {
    if (!thread_.isRunning()) return;
    SendPlayerEvent(window_.get(), WM_SYSTEM_EXIT);
    thread_.wait();
}

void MessageRelay::Attach(QObject* event_window) {
    std::lock_guard lock(mutex_);
    target_ = event_window;
}

void MessageRelay::Detach() {
    std::lock_guard lock(mutex_);
    target_ = nullptr;
}

void MessageRelay::Post(uint32_t code, M4Param wparam, M4Param lparam) {
    std::lock_guard lock(mutex_);
    PostPlayerEvent(target_, code, wparam, lparam);
}

void MessageRelay::MessageFunc(void* owner, uint32_t message, M4Param wparam, M4Param lparam) {
    if (owner != nullptr) static_cast<MessageRelay*>(owner)->Post(message, wparam, lparam);
}

}  // namespace koru::player
