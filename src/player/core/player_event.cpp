#include "player/core/player_event.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>

namespace koru::player {

QEvent::Type PlayerEvent::Type() {
    static const QEvent::Type type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

void PostPlayerEvent(QObject* target, uint32_t code, M4Param wparam, M4Param lparam) {
    if (target == nullptr) return;
    QCoreApplication::postEvent(target, new PlayerEvent(code, wparam, lparam));
}

void SendPlayerEvent(QObject* target, uint32_t code, M4Param wparam, M4Param lparam) {
    if (target == nullptr) return;
    PlayerEvent event(code, wparam, lparam);
    if (target->thread() == QThread::currentThread()) {
        QCoreApplication::sendEvent(target, &event);
        return;
    }
    QMetaObject::invokeMethod(
        target, [target, &event] { QCoreApplication::sendEvent(target, &event); },
        Qt::BlockingQueuedConnection);
}

}  // namespace koru::player
