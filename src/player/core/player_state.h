// The player's process-wide state: what is connected and from where, which list and channel,
// recording, layout, tune state, activity, screen size, the message-box flag and the URL buffer.
// The main window, the event window thread and the dialogs all read and set it, so the numbers
// are atomics and the channel store and the URL buffer are reached under a lock.
#ifndef PLAYER_CORE_PLAYER_STATE_H
#define PLAYER_CORE_PLAYER_STATE_H

#include <atomic>
#include <cstddef>
#include <functional>
#include <mutex>
#include <optional>
#include <string>

#include "player/settings/channel_store.h"

namespace koru::player {

// Connection state.
constexpr int kConnectionNone = 0;
constexpr int kConnectionIdle = 1;
constexpr int kConnectionConnecting = 2;
constexpr int kConnectionPlaying = 3;
constexpr int kConnectionStopped = 4;
// Play source.
constexpr int kPlaySourceFile = 106;
constexpr int kPlaySourceLive = 107;
// Recording state and kind.
constexpr int kRecording = 110;
constexpr int kNotRecording = 111;
constexpr int kRecordKindTv = 112;
constexpr int kRecordKindRadio = 113;
// Layout of the main window.
constexpr int kLayoutVideo = 108;
constexpr int kLayoutAudio = 109;
// Tune state.
constexpr int kTuneChosenFromList = 303;
constexpr int kTuneTuned = 304;
// Activity.
constexpr int kActivityStart = 0;
constexpr int kActivityTuned = 3;
constexpr int kActivitySearchEnded = 4;
constexpr int kActivitySearching = 5;
// Screen size.
constexpr int kScreenNormal = 400;
constexpr int kScreenDouble = 401;
constexpr int kScreenGrip = 402;
// Language index.
constexpr int kLanguageKorean = 0;
constexpr int kLanguageEnglish = 1;
// The URL buffer holds at most this many characters (and a terminator).
constexpr size_t kUrlBufferSize = 2048;

class PlayerState {
  public:
    explicit PlayerState(settings::ChannelStore& store) : store_(store) {}
    PlayerState(const PlayerState&) = delete;
    PlayerState& operator=(const PlayerState&) = delete;

    std::atomic<int> connection_state{kConnectionNone};
    std::atomic<int> play_source{0};
    std::atomic<int> recording_state{kNotRecording};
    std::atomic<int> recording_kind{0};
    std::atomic<int> layout{kLayoutVideo};
    std::atomic<int> tune_state{0};
    std::atomic<int> activity{kActivityStart};
    std::atomic<int> receiver_present{0};
    std::atomic<int> screen_size{kScreenNormal};
    // Set after every message box; the next Enter or Esc only dismisses.
    std::atomic<bool> message_box_flag{false};
    // Set by the channel search when the receiver was lost during a search, so that the
    // plug-in's following receiver-lost message is not reported a second time.
    std::atomic<bool> suppress_usb_lost{false};

    bool Searching() const { return activity.load() == kActivitySearching; }
    bool Recording() const { return recording_state.load() == kRecording; }
    bool FilePlayback() const { return play_source.load() == kPlaySourceFile; }

    // The URL buffer: the next URL or file name to open, cut to 2047 bytes.
    void SetUrl(const std::string& url);
    std::string Url() const;

    // The channel store, shared with the event window thread: every access goes through these.
    int WatchKind() const;
    void SetWatchKind(int watch_kind);
    int Language() const;
    void SetLanguage(int language);
    // The list of a WatchKind (TV for any value that is not radio or data).
    int ChannelCount(int watch_kind) const;
    int CurrentIndex(int watch_kind) const;
    void SetCurrentIndex(int watch_kind, int index);
    std::optional<settings::ChannelEntry> Channel(int watch_kind, int index) const;
    // Runs f with the store locked (bulk changes: a search result, loading the settings).
    void WithStore(const std::function<void(settings::ChannelStore&)>& f);
    void WithStore(const std::function<void(const settings::ChannelStore&)>& f) const;

  private:
    settings::ChannelStore& store_;
    mutable std::mutex store_mutex_;
    mutable std::mutex url_mutex_;
    std::string url_;
};

// The list of a WatchKind within the store.
settings::ChannelList& ListOf(settings::ChannelStore& store, int watch_kind);
const settings::ChannelList& ListOf(const settings::ChannelStore& store, int watch_kind);
int& CurrentIndexOf(settings::ChannelStore& store, int watch_kind);

}  // namespace koru::player

#endif
