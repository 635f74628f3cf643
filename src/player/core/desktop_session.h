// What the player asks of the desktop: no screen saver while it runs (the freedesktop
// ScreenSaver interface on the session bus), a word before the system suspends (logind's
// PrepareForSleep on the system bus), and a word when the display's geometry changes. Where a
// service is missing, nothing happens.
#ifndef PLAYER_CORE_DESKTOP_SESSION_H
#define PLAYER_CORE_DESKTOP_SESSION_H

#include <QObject>
#include <functional>

namespace koru::player {

class DesktopSession : public QObject {
    Q_OBJECT

  public:
    explicit DesktopSession(QObject* parent = nullptr);
    ~DesktopSession() override;

    // Keeps the screen saver off until RestoreScreenSaver. True when a screen saver service
    // took the request.
    bool SuppressScreenSaver();
    void RestoreScreenSaver();
    bool screen_saver_suppressed() const { return cookie_ != 0; }

    // Called when the system is about to suspend.
    void WatchSuspend(std::function<void()> on_suspend);
    // Called when the primary screen's geometry changes.
    void WatchDisplay(std::function<void()> on_change);

  private slots:
    void OnPrepareForSleep(bool going_to_sleep);

  private:
    uint32_t cookie_ = 0;
    std::function<void()> on_suspend_;
};

}  // namespace koru::player

#endif
