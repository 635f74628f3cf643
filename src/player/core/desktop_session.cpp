#include "player/core/desktop_session.h"

#include <QDBusConnection>
#include <QDBusInterface>
#include <QDBusReply>
#include <QGuiApplication>
#include <QScreen>

#include "m4systems/log.h"

namespace koru::player {

namespace {

constexpr const char* kSource = "VelmarPlayer";
constexpr const char* kScreenSaverService = "org.freedesktop.ScreenSaver";
constexpr const char* kScreenSaverPath = "/org/freedesktop/ScreenSaver";

}  // namespace

DesktopSession::DesktopSession(QObject* parent) : QObject(parent) {}

DesktopSession::~DesktopSession() {
    RestoreScreenSaver();
}

bool DesktopSession::SuppressScreenSaver() {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) return false;
    QDBusInterface screen_saver(kScreenSaverService, kScreenSaverPath, kScreenSaverService, bus);
    if (!screen_saver.isValid()) return false;
    const QDBusReply<uint32_t> reply =
        screen_saver.call("Inhibit", QString("VelmarPlayer"), QString("Watching KORU-DMB"));
    if (!reply.isValid()) return false;
    cookie_ = reply.value();
    M4_LOG(2, kSource, "screen saver off (%u)", cookie_);
    return cookie_ != 0;
}

void DesktopSession::RestoreScreenSaver() {
    if (cookie_ == 0) return;
    QDBusConnection bus = QDBusConnection::sessionBus();
    QDBusInterface screen_saver(kScreenSaverService, kScreenSaverPath, kScreenSaverService, bus);
    if (screen_saver.isValid()) screen_saver.call("UnInhibit", cookie_);
    cookie_ = 0;
}

void DesktopSession::WatchSuspend(std::function<void()> on_suspend) {
    on_suspend_ = std::move(on_suspend);
    QDBusConnection bus = QDBusConnection::systemBus();
    if (!bus.isConnected()) return;
    bus.connect("org.freedesktop.login1", "/org/freedesktop/login1",
                "org.freedesktop.login1.Manager", "PrepareForSleep", this,
                SLOT(OnPrepareForSleep(bool)));
}

void DesktopSession::OnPrepareForSleep(bool going_to_sleep) {
    if (going_to_sleep && on_suspend_) on_suspend_();
}

void DesktopSession::WatchDisplay(std::function<void()> on_change) {
    QScreen* screen = QGuiApplication::primaryScreen();
    if (screen == nullptr) return;
    connect(screen, &QScreen::geometryChanged, this,
            [on_change = std::move(on_change)](const QRect&) { on_change(); });
}

}  // namespace koru::player
