// The player as an MPRIS media player on the session bus (org.mpris.MediaPlayer2 and
// org.mpris.MediaPlayer2.Player), so that media keys and the desktop's player controls reach it.
// The D-Bus side runs on a thread of its own: calls arrive there and become media commands
// posted to the event window, like every other request; properties are answered there from the
// last status the main thread handed over, and each change of it is announced with
// PropertiesChanged.
#ifndef PLAYER_MPRIS_MPRIS_SERVICE_H
#define PLAYER_MPRIS_MPRIS_SERVICE_H

#include <QObject>
#include <QString>
#include <QThread>
#include <functional>
#include <memory>

#include "player/core/media_control.h"

namespace koru::player {

class MprisObject;

// The well-known name, and the one a second player on the bus takes (".instance<pid>").
constexpr const char* kMprisBusName = "org.mpris.MediaPlayer2.VelmarPlayer";

class MprisService {
  public:
    struct Dependencies {
        QObject* event_window = nullptr;           // receives the media commands
        std::function<MediaStatus()> read_status;  // called on the main thread
    };
    explicit MprisService(Dependencies dependencies);
    ~MprisService();
    MprisService(const MprisService&) = delete;
    MprisService& operator=(const MprisService&) = delete;

    // Starts the D-Bus thread, offers the player object and claims the bus name. False (logged)
    // without a session bus: the player runs on without media controls.
    bool Start();
    // Main thread: something may have changed. The status is read once the current event is
    // done and handed over when it differs from the last.
    void StatusChanged();
    // The name claimed (empty before Start or without a bus).
    const QString& bus_name() const { return bus_name_; }

  private:
    void HandOver();

    Dependencies dependencies_;
    QThread thread_;
    std::unique_ptr<MprisObject> object_;
    std::unique_ptr<QObject> main_context_;  // the main thread's end of the hand-over
    QString bus_name_;
    MediaStatus last_;
    bool pending_ = false;
};

}  // namespace koru::player

#endif
