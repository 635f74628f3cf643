// The player's window messages as Qt events: one event type carrying (code, wparam, lparam),
// codes keeping their numbers (WM_USER + n). Posting is thread-safe; sending blocks until the
// receiver, on its own thread, has handled the message.
#ifndef PLAYER_CORE_PLAYER_EVENT_H
#define PLAYER_CORE_PLAYER_EVENT_H

#include <QEvent>
#include <QObject>

#include "m4systems/m4_types.h"

namespace koru::player {

class PlayerEvent : public QEvent {
  public:
    PlayerEvent(uint32_t code, M4Param wparam, M4Param lparam)
        : QEvent(Type()), code_(code), wparam_(wparam), lparam_(lparam) {}

    static QEvent::Type Type();

    uint32_t code() const { return code_; }
    M4Param wparam() const { return wparam_; }
    M4Param lparam() const { return lparam_; }

  private:
    uint32_t code_;
    M4Param wparam_;
    M4Param lparam_;
};

// Queues the message for target's thread; returns at once.
void PostPlayerEvent(QObject* target, uint32_t code, M4Param wparam = 0, M4Param lparam = 0);
// Delivers the message on target's thread and waits for it to be handled (directly when the
// caller is on that thread).
void SendPlayerEvent(QObject* target, uint32_t code, M4Param wparam = 0, M4Param lparam = 0);

}  // namespace koru::player

#endif
