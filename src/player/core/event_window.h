// The event window: the one object that calls the terminal. It lives on a thread of its own
// ("Velmar PostMessage"); the main window posts it requests (tune, connect, close, volume, size,
// pause) and the terminal's and plug-in's status messages reach it through MessageRelay. It acts
// on the terminal in the order the messages arrive and forwards them to the message window,
// which updates the user interface on the main thread.
#ifndef PLAYER_CORE_EVENT_WINDOW_H
#define PLAYER_CORE_EVENT_WINDOW_H

#include <QObject>
#include <QThread>
#include <atomic>
#include <memory>
#include <mutex>
#include <string>

#include "m4systems/m4_types.h"
#include "player/core/player_state.h"
#include "player/core/terminal_port.h"

namespace koru::player {

// Requests of the main window that are no status messages: M4T_SetPosition with (x, y), time
// shift off (SetTimeShiftParams with 0 minutes) after the cache failed, and the radio module's
// reset of its label and slideshow state (MOTInitVariable with 1), and the channel search's
// M4T_CloseURL before it takes the receiver (sent: the search waits for it).
constexpr uint32_t kEventSetPosition = 1024 + 3100;
constexpr uint32_t kEventTimeShiftOff = 1024 + 3101;
constexpr uint32_t kEventResetRadioData = 1024 + 3102;
constexpr uint32_t kEventCloseForSearch = 1024 + 3103;
// A command of the desktop's media controls (wparam a MediaCommand of media_control.h, lparam
// its value), forwarded to the message window, which does it.
constexpr uint32_t kEventMediaCommand = 1024 + 3104;

// Requests of recording, capture and file playback. Start recording and capture are sent (the
// caller waits for the result in the request that wparam points to); stop recording and seek
// (wparam: milliseconds after the file's start) are posted; the file clock request is answered
// to the message window with the same code, the position and the length in milliseconds.
constexpr uint32_t kEventStartRecord = 1024 + 3110;
constexpr uint32_t kEventStopRecord = 1024 + 3111;
constexpr uint32_t kEventCaptureScreen = 1024 + 3112;
constexpr uint32_t kEventSeek = 1024 + 3113;
constexpr uint32_t kEventFileClock = 1024 + 3114;

struct RecordRequest {
    std::string path;  // as asked; the event window gives it the extension the terminal writes
    M4Err result = M4BadParam;
};

struct CaptureRequest {
    M4CaptureRecord record{};  // pixels: freed by the requester with free()
    M4Err result = M4BadParam;
};

class EventWindow : public QObject {
  public:
    // message_window receives the forwarded messages; it may be set later.
    EventWindow(PlayerState& state, TerminalPort& terminal, QObject* message_window = nullptr);

    void SetMessageWindow(QObject* message_window) { message_window_.store(message_window); }

    // The file clock of the last file (read from any thread): total duration in seconds (-1
    // unknown) and the time base in milliseconds. And the picture size last set through 1136.
    int total_duration() const { return total_duration_.load(); }
    uint32_t time_base() const { return time_base_.load(); }
    uint32_t video_width() const { return video_width_.load(); }
    uint32_t video_height() const { return video_height_.load(); }
    bool file_opened() const { return file_opened_.load(); }

  protected:
    void customEvent(QEvent* event) override;

  private:
    void Handle(uint32_t code, M4Param wparam, M4Param lparam);
    // True (with a log line) while a channel search owns the receiver: nothing connects then.
    bool SearchHasReceiver(const char* request);
    void Tune(int index);
    void Connect(M4Param wparam);
    void Close();
    void Exit();
    void FileClock();
    void Forward(uint32_t code, M4Param wparam, M4Param lparam);
    void PostSelf(uint32_t code, M4Param wparam = 0, M4Param lparam = 0);

    PlayerState& state_;
    TerminalPort& terminal_;
    // Lives on the main thread and outlives this object's thread.
    std::atomic<QObject*> message_window_{nullptr};
    std::atomic<int> total_duration_{-1};
    std::atomic<uint32_t> time_base_{0};
    std::atomic<uint32_t> video_width_{320};
    std::atomic<uint32_t> video_height_{240};
    std::atomic<bool> file_opened_{false};
};

// The event window with its thread. One per player; Exit ends both.
class EventWindowThread {
  public:
    EventWindowThread(PlayerState& state, TerminalPort& terminal);
    ~EventWindowThread();
    EventWindowThread(const EventWindowThread&) = delete;
    EventWindowThread& operator=(const EventWindowThread&) = delete;

    // Starts the thread with the window on it. False when the thread did not start.
    bool Open(QObject* message_window);
    // Sends 1144 and waits: the terminal, plug-in manager and ini file are deleted on the
    // event thread, then the thread ends.
    void Exit();
    bool running() const { return thread_.isRunning(); }

    EventWindow* window() const { return window_.get(); }
    QThread* thread() { return &thread_; }

  private:
    QThread thread_;
    std::unique_ptr<EventWindow> window_;
};

// The terminal's message function: every status message of the terminal and the plug-in is
// posted, unchanged, to the event window. Called from any thread; after Detach nothing more is
// posted.
class MessageRelay {
  public:
    void Attach(QObject* event_window);
    void Detach();
    void Post(uint32_t code, M4Param wparam, M4Param lparam);

    // For the user record: owner is the MessageRelay.
    static void MessageFunc(void* owner, uint32_t message, M4Param wparam, M4Param lparam);

  private:
    std::mutex mutex_;
    QObject* target_ = nullptr;
};

}  // namespace koru::player

#endif
