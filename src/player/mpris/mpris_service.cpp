#include "player/mpris/mpris_service.h"

#include <unistd.h>

#include <QDBusAbstractAdaptor>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QStringList>
#include <QTimer>
#include <QUrl>
#include <QVariantMap>
#include <algorithm>
#include <cmath>

#include "m4systems/log.h"
#include "player/core/player_event.h"

namespace koru::player {

namespace {

constexpr const char* kSource = "mpris";
constexpr const char* kObjectPath = "/org/mpris/MediaPlayer2";
constexpr const char* kPlayerInterface = "org.mpris.MediaPlayer2.Player";
constexpr const char* kTrackPrefix = "/kr/koru_dmb/VelmarPlayer/";
constexpr const char* kNoTrack = "/org/mpris/MediaPlayer2/TrackList/NoTrack";

QString StatusName(PlaybackStatus status) {
    switch (status) {
        case PlaybackStatus::kPlaying:
            return "Playing";
        case PlaybackStatus::kPaused:
            return "Paused";
        case PlaybackStatus::kStopped:
            break;
    }
    return "Stopped";
}

QVariantMap MetadataOf(const MediaStatus& status) {
    QVariantMap metadata;
    const QString track = status.track.empty()
                              ? QString(kNoTrack)
                              : QString(kTrackPrefix) + QString::fromStdString(status.track);
    metadata["mpris:trackid"] = QVariant::fromValue(QDBusObjectPath(track));
    if (!status.title.empty()) metadata["xesam:title"] = QString::fromStdString(status.title);
    if (!status.album.empty()) metadata["xesam:album"] = QString::fromStdString(status.album);
    if (!status.artist.empty())
        metadata["xesam:artist"] = QStringList{QString::fromStdString(status.artist)};
    if (!status.art_file.empty()) {
        metadata["mpris:artUrl"] =
            QUrl::fromLocalFile(QString::fromStdString(status.art_file)).toString();
    }
    return metadata;
}

}  // namespace

// The player object on the bus. It lives on the D-Bus thread, with its two adaptors.
class MprisObject : public QObject {
    Q_OBJECT

  public:
    explicit MprisObject(QObject* event_window) : event_window_(event_window) {}

    bool Register(QString* name);
    void Unregister();
    // A new status from the main thread: kept, and what changed is announced.
    void Update(const MediaStatus& status);
    // A call of the bus as a request to the player.
    void Request(MediaCommand command, int value = 0) {
        PostPlayerEvent(event_window_, kEventMediaCommand, static_cast<int>(command), value);
    }
    const MediaStatus& status() const { return status_; }

  private:
    QObject* event_window_;
    MediaStatus status_;
    QString name_;
};

class MprisRootAdaptor : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2")
    Q_PROPERTY(bool CanQuit READ canQuit)
    Q_PROPERTY(bool CanRaise READ canRaise)
    Q_PROPERTY(bool HasTrackList READ hasTrackList)
    Q_PROPERTY(QString Identity READ identity)
    Q_PROPERTY(QString DesktopEntry READ desktopEntry)
    Q_PROPERTY(QStringList SupportedUriSchemes READ supportedUriSchemes)
    Q_PROPERTY(QStringList SupportedMimeTypes READ supportedMimeTypes)

  public:
    explicit MprisRootAdaptor(MprisObject* object)
        : QDBusAbstractAdaptor(object), object_(object) {}

    bool canQuit() const { return true; }
    bool canRaise() const { return true; }
    bool hasTrackList() const { return false; }
    QString identity() const { return "KORU-DMB"; }
    QString desktopEntry() const { return KORU_APP_ID; }
    // Files are opened from the window; the bus offers none.
    QStringList supportedUriSchemes() const { return {}; }
    QStringList supportedMimeTypes() const { return {}; }

  public Q_SLOTS:
    void Raise() { object_->Request(MediaCommand::kRaise); }
    void Quit() { object_->Request(MediaCommand::kQuit); }

  private:
    MprisObject* object_;
};

class MprisPlayerAdaptor : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2.Player")
    Q_PROPERTY(QString PlaybackStatus READ playbackStatus)
    Q_PROPERTY(double Rate READ rate WRITE setRate)
    Q_PROPERTY(QVariantMap Metadata READ metadata)
    Q_PROPERTY(double Volume READ volume WRITE setVolume)
    Q_PROPERTY(qlonglong Position READ position)
    Q_PROPERTY(double MinimumRate READ rate)
    Q_PROPERTY(double MaximumRate READ rate)
    Q_PROPERTY(bool CanGoNext READ canGoNext)
    Q_PROPERTY(bool CanGoPrevious READ canGoPrevious)
    Q_PROPERTY(bool CanPlay READ canPlay)
    Q_PROPERTY(bool CanPause READ canPause)
    Q_PROPERTY(bool CanSeek READ canSeek)
    Q_PROPERTY(bool CanControl READ canControl)

  public:
    explicit MprisPlayerAdaptor(MprisObject* object)
        : QDBusAbstractAdaptor(object), object_(object) {}

    QString playbackStatus() const { return StatusName(status().playback); }
    // Broadcasts play at their own pace.
    double rate() const { return 1.0; }
    void setRate(double) {}
    QVariantMap metadata() const { return MetadataOf(status()); }
    double volume() const { return status().volume / 100.0; }
    void setVolume(double volume) {
        if (!std::isfinite(volume)) return;
        const int percent = static_cast<int>(std::lround(std::clamp(volume, 0.0, 1.0) * 100));
        object_->Request(MediaCommand::kSetVolume, percent);
    }
    qlonglong position() const { return 0; }
    bool canGoNext() const { return status().can_go_next; }
    bool canGoPrevious() const { return status().can_go_previous; }
    bool canPlay() const { return status().can_play; }
    bool canPause() const { return status().can_pause; }
    bool canSeek() const { return false; }
    bool canControl() const { return true; }

  public Q_SLOTS:
    void Next() { object_->Request(MediaCommand::kNext); }
    void Previous() { object_->Request(MediaCommand::kPrevious); }
    void Pause() { object_->Request(MediaCommand::kPause); }
    void PlayPause() { object_->Request(MediaCommand::kPlayPause); }
    void Stop() { object_->Request(MediaCommand::kStop); }
    void Play() { object_->Request(MediaCommand::kPlay); }
    void Seek(qlonglong) {}
    void SetPosition(const QDBusObjectPath&, qlonglong) {}
    void OpenUri(const QString&) {}

  Q_SIGNALS:
    void Seeked(qlonglong position);

  private:
    const MediaStatus& status() const { return object_->status(); }

    MprisObject* object_;
};

bool MprisObject::Register(QString* name) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        M4_LOG(1, kSource, "no session bus: no media controls (%s)",
               bus.lastError().message().toUtf8().constData());
        return false;
    }
    // Children of this object, so made on its thread.
    new MprisRootAdaptor(this);
    new MprisPlayerAdaptor(this);
    if (!bus.registerObject(kObjectPath, this, QDBusConnection::ExportAdaptors)) {
        M4_LOG(1, kSource, "cannot offer %s on the session bus", kObjectPath);
        return false;
    }
    QString wanted = kMprisBusName;
    if (!bus.registerService(wanted)) {
        // Another player holds the name: the media players' convention for a second instance.
        wanted += ".instance" + QString::number(getpid());
        if (!bus.registerService(wanted)) {
            M4_LOG(1, kSource, "cannot claim %s", wanted.toUtf8().constData());
            bus.unregisterObject(kObjectPath);
            return false;
        }
    }
    name_ = wanted;
    *name = wanted;
    M4_LOG(2, kSource, "media controls on %s", wanted.toUtf8().constData());
    return true;
}

void MprisObject::Unregister() {
    if (name_.isEmpty()) return;
    QDBusConnection bus = QDBusConnection::sessionBus();
    bus.unregisterService(name_);
    bus.unregisterObject(kObjectPath);
    name_.clear();
}

void MprisObject::Update(const MediaStatus& status) {
    const MediaStatus before = status_;
    status_ = status;
    if (name_.isEmpty()) return;
    QVariantMap changed;
    if (status.playback != before.playback) changed["PlaybackStatus"] = StatusName(status.playback);
    const QVariantMap metadata = MetadataOf(status);
    if (metadata != MetadataOf(before)) changed["Metadata"] = metadata;
    if (status.volume != before.volume) changed["Volume"] = status.volume / 100.0;
    if (status.can_go_next != before.can_go_next) changed["CanGoNext"] = status.can_go_next;
    if (status.can_go_previous != before.can_go_previous)
        changed["CanGoPrevious"] = status.can_go_previous;
    if (status.can_play != before.can_play) changed["CanPlay"] = status.can_play;
    if (status.can_pause != before.can_pause) changed["CanPause"] = status.can_pause;
    if (changed.isEmpty()) return;
    QDBusMessage signal = QDBusMessage::createSignal(kObjectPath, "org.freedesktop.DBus.Properties",
                                                     "PropertiesChanged");
    signal << QString(kPlayerInterface) << changed << QStringList();
    QDBusConnection::sessionBus().send(signal);
}

MprisService::MprisService(Dependencies dependencies)
    : dependencies_(std::move(dependencies)),
      object_(std::make_unique<MprisObject>(dependencies_.event_window)),
      main_context_(std::make_unique<QObject>()) {
    thread_.setObjectName("MPRIS");
}

MprisService::~MprisService() {
    if (!thread_.isRunning()) return;
    RunOnThreadOf(
        object_.get(), [object = object_.get()] { object->Unregister(); },
        Qt::BlockingQueuedConnection);
    // The adaptors relay the object's signals, its last one too: it goes on its own thread,
    // which deletes it on the way out.
    object_.release()->deleteLater();
    thread_.quit();
    thread_.wait();
}

bool MprisService::Start() {
    object_->moveToThread(&thread_);
    thread_.start();
    QString name;
    bool registered = false;
    RunOnThreadOf(
        object_.get(),
        [object = object_.get(), &name, &registered] { registered = object->Register(&name); },
        Qt::BlockingQueuedConnection);
    bus_name_ = name;
    HandOver();
    return registered;
}

void MprisService::StatusChanged() {
    // Without the bus nobody asks.
    if (pending_ || bus_name_.isEmpty()) return;
    pending_ = true;
    QTimer::singleShot(0, main_context_.get(), [this] { HandOver(); });
}

void MprisService::HandOver() {
    pending_ = false;
    if (!dependencies_.read_status) return;
    const MediaStatus status = dependencies_.read_status();
    if (status == last_) return;
    last_ = status;
    RunOnThreadOf(
        object_.get(), [object = object_.get(), status] { object->Update(status); },
        Qt::QueuedConnection);
}

}  // namespace koru::player

#include "mpris_service.moc"
