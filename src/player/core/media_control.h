// The player as the desktop's media controls see it (media keys, the panel's player widget): the
// commands they send and the status they show. A command reaches the player the way every
// other request does, posted to the event window as kEventMediaCommand (wparam the command,
// lparam its value) and forwarded to the message window, which does it with the main window's
// own commands. The status is read on the main thread.
#ifndef PLAYER_CORE_MEDIA_CONTROL_H
#define PLAYER_CORE_MEDIA_CONTROL_H

#include <optional>
#include <string>

#include "player/core/event_window.h"
#include "player/core/main_controller.h"
#include "player/core/main_view.h"

namespace koru::player {

enum class MediaCommand : int {
    kPlay = 1,
    kPause,
    kPlayPause,
    kStop,
    kNext,       // the channel after the current one in its list (wraps)
    kPrevious,   // the channel before it (wraps)
    kSetVolume,  // value: 0 to 100
    kRaise,
    kQuit,
};

// Play resumes a paused service or starts the current channel; Pause holds live TV in the
// time-shift cache and pauses a file, and stops what cannot be held (radio, data, TV without
// time shift), since a live service goes on without the listener.
void ApplyMediaCommand(MainController& controller, MediaCommand command, int value);

// The command of a media key pressed while the main window has the keyboard (where no desktop
// takes the keys for its media controls); none for other keys. Play toggles, as on keyboards
// with a single play/pause key.
std::optional<MediaCommand> MediaKeyCommand(int qt_key);

enum class PlaybackStatus { kStopped, kPlaying, kPaused };

struct MediaStatus {
    PlaybackStatus playback = PlaybackStatus::kStopped;
    // What plays: the list and index of a channel ("tv/3") or "file"; empty for nothing.
    std::string track;
    std::string title;     // the channel label or the file name
    std::string album;     // the ensemble's label
    std::string artist;    // the dynamic label of a radio service
    std::string art_file;  // the slide a radio service shows now (an absolute path)
    int volume = 0;        // 0 to 100; 0 while muted
    bool can_play = false;
    bool can_pause = false;
    bool can_go_next = false;
    bool can_go_previous = false;

    bool operator==(const MediaStatus&) const = default;
};

// Stands in front of the data-service display and keeps what it shows: the radio text and the
// slide. Every change it passes on is also reported to the controller's status observer.
class DataServiceRecorder : public DataServiceDisplay {
  public:
    explicit DataServiceRecorder(MainController& controller) : controller_(controller) {}

    // The display that is shown; null while there is none.
    void SetTarget(DataServiceDisplay* target) { target_ = target; }

    const std::string& radio_text() const { return radio_text_; }
    const std::string& slide() const { return slide_; }

    void Show(bool refresh) override;
    void Hide() override;
    void Reset() override;
    void UseLogo() override;
    void ShowFile(const std::string& path) override;
    void Navigate(const std::string& start_page) override;
    void SetRadioText(const std::string& text) override;
    void ShowRadioText(bool visible) override;

  private:
    DataServiceDisplay& target() { return target_ != nullptr ? *target_ : none_; }

    MainController& controller_;
    DataServiceDisplay* target_ = nullptr;
    DataServiceDisplay none_;
    std::string radio_text_;
    std::string slide_;
};

// The status of the player now (main thread). The ensemble's label comes from the channel
// cache, read again only when the frequency or the cache file changes.
class MediaStatusReader {
  public:
    MediaStatusReader(MainController& controller, const DataServiceRecorder& recorder)
        : controller_(controller), recorder_(recorder) {}

    MediaStatus Read();

  private:
    const std::string& EnsembleLabel(int frequency_khz);

    MainController& controller_;
    const DataServiceRecorder& recorder_;
    int label_khz_ = -1;
    long long label_cache_time_ = 0;
    std::string label_;
};

}  // namespace koru::player

#endif
