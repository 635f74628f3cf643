// The player's window messages as Qt events: one event type carrying (code, wparam, lparam),
// codes keeping their numbers (WM_USER + n). Posting is thread-safe; sending blocks until the
// receiver, on its own thread, has handled the message. Every hand-over between the player's
// threads goes through here (messages and queued calls alike), marked for ThreadSanitizer: Qt
// passes them under its own locks, which it cannot see in the uninstrumented Qt libraries.
#ifndef PLAYER_CORE_PLAYER_EVENT_H
#define PLAYER_CORE_PLAYER_EVENT_H

#include <QEvent>
#include <QMetaObject>
#include <QObject>
#include <QThread>
#include <utility>

#include "m4systems/m4_types.h"

namespace koru::player {

// What a thread writes before HandOverTo(target) is seen by target's thread after its next
// TakeOver(); HandBack/TakeBack the same through a token both sides know. Empty calls where no
// thread sanitizer runs.
void HandOverTo(const QObject* target);
void TakeOver();
void HandBack(const void* token);
void TakeBack(const void* token);

class PlayerEvent : public QEvent {
  public:
    PlayerEvent(uint32_t code, M4Param wparam, M4Param lparam)
        : QEvent(Type()), code_(code), wparam_(wparam), lparam_(lparam) {}
    // A message never delivered is freed by Qt on the receiver's thread all the same.
    ~PlayerEvent() override { TakeOver(); }

    static QEvent::Type Type();
    // The player message in event, taken over by the receiving thread; nullptr for other events.
    static const PlayerEvent* Received(QEvent* event);

    uint32_t code() const { return code_; }
    M4Param wparam() const { return wparam_; }
    M4Param lparam() const { return lparam_; }

  private:
    uint32_t code_;
    M4Param wparam_;
    M4Param lparam_;
};

// A call for another thread. Qt moves it into its queued call last; the hand-over is marked
// there, so that every write to it comes before the mark.
template <typename Work>
class HandedOverCall {
  public:
    HandedOverCall(const QObject* target, Work work, const char* token)
        : target_(target), token_(token), work_(std::move(work)) {}
    HandedOverCall(HandedOverCall&& other)
        : target_(other.target_), token_(other.token_), work_(std::move(other.work_)) {
        HandOverTo(target_);
    }
    // A waiting caller's thread frees the queued call: it takes back what the call wrote. A
    // call that never ran is freed on the receiver's thread.
    ~HandedOverCall() {
        TakeOver();
        if (token_ != nullptr) TakeBack(token_);
    }
    void operator()() {
        TakeOver();
        const char* token = token_;  // read before the hand-back: the caller may free this then
        work_();
        if (token != nullptr) HandBack(token);
    }

  private:
    const QObject* target_;
    const char* token_;  // set when the caller waits
    Work work_;
};

// Runs work on target's thread: queued (returns at once) or blocking-queued (returns once it
// ran; never from target's own thread, as with Qt).
template <typename Work>
void RunOnThreadOf(QObject* target, Work work, Qt::ConnectionType type) {
    const bool waits = type == Qt::BlockingQueuedConnection;
    const char token = 0;
    QMetaObject::invokeMethod(
        target, HandedOverCall<Work>(target, std::move(work), waits ? &token : nullptr), type);
    if (waits) TakeBack(&token);
}

// Queues the message for target's thread; returns at once.
void PostPlayerEvent(QObject* target, uint32_t code, M4Param wparam = 0, M4Param lparam = 0);
// Delivers the message on target's thread and waits for it to be handled (directly when the
// caller is on that thread).
void SendPlayerEvent(QObject* target, uint32_t code, M4Param wparam = 0, M4Param lparam = 0);

}  // namespace koru::player

#endif
