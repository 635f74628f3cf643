#include "m4systems/terminal.h"

#include <strings.h>

#include <algorithm>
#include <cstdarg>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

extern "C" {
#include <libavutil/log.h>
}

#include "m4systems/clock.h"
#include "m4systems/log.h"
#include "m4systems/messages.h"
#include "m4systems/padaudio/pad_service.h"
#include "m4systems/terminal/audio_output.h"
#include "m4systems/terminal/live_source.h"
#include "m4systems/terminal/media_session.h"
#include "m4systems/terminal/recorder.h"
#include "m4systems/terminal/video_renderer.h"
#include "m4systems/tsfeed/time_shift_cache.h"

namespace {

constexpr const char* kSource = "terminal";
constexpr const char* kConnectingText = "Connecting";
constexpr const char* kPausedText = "Paused";

// Where M4T_SendMessage goes: the message function of a live terminal, or the hook.
struct MessageTarget {
    void* owner;
    void (*function)(void* owner, uint32_t message, M4Param wparam, M4Param lparam);
};

struct MessageRoutes {
    std::mutex mutex;
    std::vector<std::pair<const M4Term*, MessageTarget>> terminals;  // newest last
    M4MessageHook hook = nullptr;
    void* hook_user = nullptr;
};

MessageRoutes& Routes() {
    static MessageRoutes routes;
    return routes;
}

// The live input behind each connected service object. Deliveries look their input up here, so
// a download thread that outlives its connection (abandoned by a forced stop) finds nothing
// instead of a freed input.
struct LiveInputs {
    std::mutex mutex;
    std::map<const M4InputService*, std::shared_ptr<koru::m4::LiveSource>> inputs;
};

LiveInputs& Inputs() {
    static LiveInputs inputs;
    return inputs;
}

void DeliverData(M4InputService* service, const uint8_t* data, uint32_t length) {
    std::shared_ptr<koru::m4::LiveSource> input;
    {
        LiveInputs& inputs = Inputs();
        std::lock_guard lock(inputs.mutex);
        auto found = inputs.inputs.find(service);
        if (found == inputs.inputs.end()) return;
        input = found->second;
    }
    input->Deliver(data, length);
}

// FFmpeg's complaints about broken broadcast data are details, not errors of the terminal.
void LogFromFfmpeg(void* context, int level, const char* format, va_list args) {
    if (level > AV_LOG_WARNING || M4_GetLogLevel() < 3) return;
    char line[1024];
    int print_prefix = 1;
    av_log_format_line2(context, level, format, args, line, sizeof(line), &print_prefix);
    size_t length = std::strlen(line);
    while (length > 0 && (line[length - 1] == '\n' || line[length - 1] == '\r'))
        line[--length] = 0;
    M4_LOG(3, "ffmpeg", "%s", line);
}

std::string LowerExtension(const std::string& url) {
    const size_t dot = url.rfind('.');
    if (dot == std::string::npos || url.find('/', dot) != std::string::npos) return "";
    std::string extension = url.substr(dot + 1);
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return extension;
}

}  // namespace

struct M4Term {
    explicit M4Term(const M4User& record)
        : user(record),
          video(record.video),
          recorder([this](uint32_t m, int64_t w, int64_t l) { Send(m, w, l); }, M4_GetSysClock) {}

    void Send(uint32_t message, int64_t wparam, int64_t lparam) {
        user.MessageFunc(user.owner, message, static_cast<M4Param>(wparam),
                         static_cast<M4Param>(lparam));
    }

    M4InputService* FindInputService(const char* url);
    M4Err ConnectLive(M4InputService* service, const std::string& url);
    M4Err ConnectFile(const std::string& path);
    std::unique_ptr<koru::m4::MediaSession> NewSession(bool file);
    void CloseLocked();

    const M4User user;
    std::mutex mutex;  // one terminal call at a time
    koru::m4::AudioOutput audio;
    koru::m4::VideoRenderer video;
    koru::m4::Recorder recorder;
    M4InputService* service = nullptr;
    std::shared_ptr<koru::m4::LiveSource> live;
    std::unique_ptr<koru::m4::MediaSession> session;
    bool paused = false;
    // Pictures and sample frames played when the connection began.
    uint64_t pictures_at_connect = 0;
    uint64_t samples_at_connect = 0;
};

M4Term* NewMPEG4Term(const M4User* user) {
    if (user == nullptr || user->MessageFunc == nullptr) return nullptr;
    static std::once_flag ffmpeg_log;
    std::call_once(ffmpeg_log, [] { av_log_set_callback(&LogFromFfmpeg); });
    auto* term = new M4Term(*user);
    if (!term->audio.Open()) M4_LOG(1, kSource, "audio output unavailable: playing without sound");
    MessageRoutes& routes = Routes();
    std::lock_guard lock(routes.mutex);
    routes.terminals.emplace_back(term, MessageTarget{user->owner, user->MessageFunc});
    return term;
}

void M4T_Delete(M4Term* term) {
    if (term == nullptr) return;
    {
        std::lock_guard lock(term->mutex);
        term->CloseLocked();
    }
    {
        MessageRoutes& routes = Routes();
        std::lock_guard lock(routes.mutex);
        std::erase_if(routes.terminals, [term](const auto& entry) { return entry.first == term; });
    }
    delete term;
}

int M4T_HasAudioOut(M4Term* term) {
    return term != nullptr && term->audio.HasDevice() ? 1 : 0;
}

M4InputService* M4Term::FindInputService(const char* url) {
    PluginManager* plugins = user.plugins;
    for (uint32_t i = 0; i < PM_GetPluginsCount(plugins); ++i) {
        void* object = nullptr;
        if (!PM_LoadInterface(plugins, i, M4_INPUT_SERVICE_INTERFACE, &object)) continue;
        auto* candidate = static_cast<M4InputService*>(object);
        if (candidate->CanHandleURL != nullptr && candidate->CanHandleURL(candidate, url) != 0) {
            return candidate;
        }
        PM_ShutdownInterface(plugins, object);
    }
    return nullptr;
}

std::unique_ptr<koru::m4::MediaSession> M4Term::NewSession(bool file) {
    pictures_at_connect = video.Frames();
    samples_at_connect = audio.PlayedFrames();
    koru::m4::SessionEvents events;
    events.message = [this](uint32_t m, int64_t w, int64_t l) { Send(m, w, l); };
    events.first_frame = [this, file] {
        video.SetText(nullptr);
        // A live input's plug-in reports its first data itself.
        if (file) Send(WM_SYSTEM_FIRST_FRAME, 0, 0);
    };
    events.mpeg_audio_frame = [this](const uint8_t* frame, size_t size) {
        koru::padaudio::FeedAudioFrame(frame, size,
                                       [this](uint32_t m, int64_t w, int64_t l) { Send(m, w, l); });
    };
    return std::make_unique<koru::m4::MediaSession>(&audio, &video, std::move(events));
}

M4Err M4Term::ConnectLive(M4InputService* plugin, const std::string& url) {
    const std::string extension = LowerExtension(url);
    const bool ts = extension == "ts";
    if (!ts && extension != "mp2" && extension != "mp3") {
        M4_LOG(1, kSource, "%s: no stream kind for this extension", url.c_str());
        PM_ShutdownInterface(user.plugins, plugin);
        return M4NotSupported;
    }
    std::unique_ptr<koru::tsfeed::TimeShiftCache> cache;
    const koru::tsfeed::TimeShiftSettings shift = koru::tsfeed::CurrentTimeShiftSettings();
    if (ts && shift.On()) {
        cache =
            koru::tsfeed::TimeShiftCache::Create(shift.path, shift.minutes * 60000, M4_GetSysClock);
        if (cache == nullptr) Send(WM_SYSTEM_TIMESHIFT_NO_FILE, 0, 0);
    }
    live = std::make_shared<koru::m4::LiveSource>(
        &recorder, std::move(cache), [this](uint32_t m, int64_t w, int64_t l) { Send(m, w, l); });
    service = plugin;
    {
        LiveInputs& inputs = Inputs();
        std::lock_guard lock(inputs.mutex);
        inputs.inputs[plugin] = live;
    }
    plugin->DeliverData = &DeliverData;
    plugin->terminal_private = this;
    session = NewSession(false);
    session->OpenLive(
        live.get(), ts ? koru::m4::LiveFormat::kTransportStream : koru::m4::LiveFormat::kMpegAudio);
    audio.SetClock(session->Clock());
    session->Start();
    const int32_t result =
        plugin->Connect != nullptr ? plugin->Connect(plugin, url.c_str(), 0) : M4BadParam;
    if (result < 0) {
        M4_LOG(1, kSource, "%s: the plug-in refused to connect (%d)", url.c_str(), result);
        CloseLocked();
        return result;
    }
    return M4OK;
}

M4Err M4Term::ConnectFile(const std::string& path) {
    session = NewSession(true);
    if (!session->OpenFile(path)) {
        session.reset();
        return M4IOErr;
    }
    audio.SetClock(session->Clock());
    session->Start();
    return M4OK;
}

void M4Term::CloseLocked() {
    // Nothing received is lost: the recording is flushed before the input goes.
    recorder.Stop();
    if (service != nullptr) {
        if (service->Close != nullptr) service->Close(service);
        {
            LiveInputs& inputs = Inputs();
            std::lock_guard lock(inputs.mutex);
            inputs.inputs.erase(service);
        }
        PM_ShutdownInterface(user.plugins, service);
        service = nullptr;
    }
    if (session != nullptr) {
        audio.SetClock(nullptr);
        session->Stop();
        session.reset();
        M4_LOG(2, kSource, "closed: %llu pictures and %llu audio samples played",
               static_cast<unsigned long long>(video.Frames() - pictures_at_connect),
               static_cast<unsigned long long>(audio.PlayedFrames() - samples_at_connect));
    }
    live.reset();
    audio.Flush(0);
    video.Clear();
    video.SetText(nullptr);
    paused = false;
}

M4Err M4T_ConnectURL(M4Term* term, const char* url) {
    if (term == nullptr || url == nullptr || *url == 0) return M4BadParam;
    std::lock_guard lock(term->mutex);
    term->CloseLocked();
    term->video.SetText(kConnectingText);
    M4_LOG(2, kSource, "connect %s", url);
    const std::string text(url);
    if (M4InputService* service = term->FindInputService(url)) {
        return term->ConnectLive(service, text);
    }
    std::string path = text;
    if (path.rfind("file://", 0) == 0) {
        path.erase(0, 7);
    } else if (path.find("://") != std::string::npos) {
        M4_LOG(1, kSource, "%s: no plug-in takes this URL", url);
        term->video.SetText(nullptr);
        return M4NotSupported;
    }
    const M4Err result = term->ConnectFile(path);
    if (result != M4OK) term->video.SetText(nullptr);
    return result;
}

M4Err M4T_CloseURL(M4Term* term) {
    if (term == nullptr) return M4BadParam;
    std::lock_guard lock(term->mutex);
    term->CloseLocked();
    return M4OK;
}

M4Err M4T_SetSize(M4Term* term, uint32_t width, uint32_t height) {
    if (term == nullptr) return M4BadParam;
    term->video.SetSize(width, height);
    return M4OK;
}

M4Err M4T_SetPosition(M4Term* term, int32_t /*x*/, int32_t /*y*/) {
    return term != nullptr ? M4OK : M4BadParam;
}

uint32_t M4T_GetCurrentTimeInMS(M4Term* term) {
    if (term == nullptr) return 0;
    std::lock_guard lock(term->mutex);
    if (term->session == nullptr) return 0;
    return static_cast<uint32_t>(std::max<int64_t>(term->session->NowMs(), 0));
}

M4Err M4T_PlayFromTime(M4Term* term, uint32_t ms) {
    if (term == nullptr) return M4BadParam;
    std::lock_guard lock(term->mutex);
    if (term->session == nullptr) return M4BadParam;
    if (term->session->IsLive()) return M4NotSupported;
    term->session->Seek(ms);
    return M4OK;
}

M4Err M4T_SetOption(M4Term* term, uint32_t option, uint32_t value) {
    if (term == nullptr) return M4BadParam;
    std::lock_guard lock(term->mutex);
    switch (option) {
        case M4T_OPTION_VOLUME:
            if (value > 100) return M4BadParam;
            term->audio.SetVolume(static_cast<int>(value));
            return M4OK;
        case M4T_OPTION_PAUSE:
            if (value > 1) return M4BadParam;
            term->paused = value == 1;
            if (term->session != nullptr) term->session->SetPaused(term->paused);
            term->video.SetText(term->paused ? kPausedText : nullptr);
            return M4OK;
        default:
            return M4NotSupported;
    }
}

void M4T_HideOsd(M4Term* term, int hide) {
    if (term != nullptr) term->video.HideText(hide != 0);
}

M4Err M4T_StartRecord(M4Term* term, const char* path) {
    if (term == nullptr || path == nullptr || *path == 0) return M4BadParam;
    std::lock_guard lock(term->mutex);
    if (term->live == nullptr) return M4BadParam;
    return term->recorder.Start(path) ? M4OK : M4IOErr;
}

M4Err M4T_StopRecord(M4Term* term) {
    if (term == nullptr) return M4BadParam;
    term->recorder.Stop();
    return M4OK;
}

M4Err M4T_CaptureScreen(M4Term* term, M4CaptureRecord* record) {
    if (term == nullptr || record == nullptr) return M4BadParam;
    return term->video.Capture(record);
}

void M4T_SetAudioTap(M4Term* term, M4AudioTap tap, void* user) {
    if (term != nullptr) term->audio.SetTap(tap, user);
}

int M4T_IsEndOfStream(M4Term* term) {
    if (term == nullptr) return 0;
    std::lock_guard lock(term->mutex);
    return term->session != nullptr && term->session->EndOfStream() ? 1 : 0;
}

void M4T_SendMessage(uint32_t message, M4Param wparam, M4Param lparam) {
    MessageRoutes& routes = Routes();
    MessageTarget target{nullptr, nullptr};
    M4MessageHook hook = nullptr;
    void* hook_user = nullptr;
    {
        std::lock_guard lock(routes.mutex);
        if (!routes.terminals.empty()) target = routes.terminals.back().second;
        hook = routes.hook;
        hook_user = routes.hook_user;
    }
    // Called outside the lock: the receiver may send messages of its own.
    if (target.function != nullptr) {
        target.function(target.owner, message, wparam, lparam);
    } else if (hook != nullptr) {
        hook(hook_user, message, wparam, lparam);
    } else {
        M4_LOG(3, kSource, "message %u dropped: no terminal", message);
    }
}

void M4_SetMessageHook(M4MessageHook hook, void* user) {
    MessageRoutes& routes = Routes();
    std::lock_guard lock(routes.mutex);
    routes.hook = hook;
    routes.hook_user = user;
}
