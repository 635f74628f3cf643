#include "player/core/player_event.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>

#if defined(__SANITIZE_THREAD__)
#define KORU_THREAD_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define KORU_THREAD_SANITIZER 1
#endif
#endif
#ifdef KORU_THREAD_SANITIZER
#include <sanitizer/tsan_interface.h>
#endif

namespace koru::player {

// Qt queues events and calls per receiving thread under one lock: its thread object stands for it.
#ifdef KORU_THREAD_SANITIZER
void HandOverTo(const QObject* target) {
    __tsan_release(target->thread());
}
void TakeOver() {
    __tsan_acquire(QThread::currentThread());
}
void HandBack(const void* token) {
    __tsan_release(const_cast<void*>(token));
}
void TakeBack(const void* token) {
    __tsan_acquire(const_cast<void*>(token));
}
#else
void HandOverTo(const QObject*) {}
void TakeOver() {}
void HandBack(const void*) {}
void TakeBack(const void*) {}
#endif

QEvent::Type PlayerEvent::Type() {
    static const QEvent::Type type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

const PlayerEvent* PlayerEvent::Received(QEvent* event) {
    TakeOver();
    return event->type() == Type() ? static_cast<const PlayerEvent*>(event) : nullptr;
}

void PostPlayerEvent(QObject* target, uint32_t code, M4Param wparam, M4Param lparam) {
    if (target == nullptr) return;
    auto* event = new PlayerEvent(code, wparam, lparam);
    HandOverTo(target);
    QCoreApplication::postEvent(target, event);
}

void SendPlayerEvent(QObject* target, uint32_t code, M4Param wparam, M4Param lparam) {
    if (target == nullptr) return;
    PlayerEvent event(code, wparam, lparam);
    if (target->thread() == QThread::currentThread()) {
        QCoreApplication::sendEvent(target, &event);
        return;
    }
    RunOnThreadOf(
        target, [target, &event] { QCoreApplication::sendEvent(target, &event); },
        Qt::BlockingQueuedConnection);
}

}  // namespace koru::player
