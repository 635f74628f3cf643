#include "player/core/single_instance.h"

#include <filesystem>

#include <unistd.h>

#include <QCryptographicHash>
#include <QLocalSocket>

#include "m4systems/log.h"

namespace koru::player {

namespace {

constexpr const char* kSource = "VelmarPlayer";
constexpr qsizetype kMaxText = 4096;

}  // namespace

std::string StripQuotes(const std::string& text) {
    std::string result = text;
    if (!result.empty() && result.front() == '"') result.erase(0, 1);
    if (!result.empty() && result.back() == '"') result.pop_back();
    return result;
}

std::string AbsoluteFileName(const std::string& text) {
    if (text.empty() || text.find("://") != std::string::npos) return text;
    std::error_code error;
    const std::filesystem::path absolute = std::filesystem::absolute(text, error);
    return error ? text : absolute.lexically_normal().string();
}

QString SingleInstance::DefaultName() {
    QString name = QString("aura-%1").arg(getuid());
    const QByteArray home = qgetenv("KORU_DMB_HOME");
    if (!home.isEmpty()) {
        name +=
            "-" + QString::fromLatin1(
                      QCryptographicHash::hash(home, QCryptographicHash::Sha1).toHex().left(12));
    }
    return name;
}

SingleInstance::SingleInstance(QString name, QObject* parent)
    : QObject(parent), name_(std::move(name)) {}

SingleInstance::~SingleInstance() {
    if (server_ != nullptr) server_->close();
}

bool SingleInstance::Claim() {
    // Default socket options: with access options Qt renames its socket into place, which
    // would silently take the name from a running player.
    server_ = std::make_unique<QLocalServer>();
    if (!server_->listen(name_)) {
        // Someone answers: a player runs. Nobody answers: a player that died left its socket.
        QLocalSocket probe;
        probe.connectToServer(name_);
        if (probe.waitForConnected(1000)) {
            probe.disconnectFromServer();
            server_.reset();
            return false;
        }
        QLocalServer::removeServer(name_);
        if (!server_->listen(name_)) {
            M4_LOG(1, kSource, "cannot listen on %s: %s", qPrintable(name_),
                   qPrintable(server_->errorString()));
            // Play on without the single-instance guard rather than not at all.
            return true;
        }
    }
    connect(server_.get(), &QLocalServer::newConnection, this, [this] { OnConnection(); });
    return true;
}

bool SingleInstance::HandOver(const std::string& text, int timeout_ms) {
    QLocalSocket socket;
    socket.connectToServer(name_);
    if (!socket.waitForConnected(timeout_ms)) return false;
    socket.write(text.data(), static_cast<qint64>(text.size()));
    socket.waitForBytesWritten(timeout_ms);
    socket.disconnectFromServer();
    if (socket.state() != QLocalSocket::UnconnectedState) socket.waitForDisconnected(timeout_ms);
    return true;
}

void SingleInstance::OnConnection() {
    while (QLocalSocket* socket = server_->nextPendingConnection()) {
        auto buffer = std::make_shared<QByteArray>();
        connect(socket, &QLocalSocket::readyRead, socket, [socket, buffer] {
            buffer->append(socket->readAll());
            // A file name, not a stream: a sender that goes on is cut off.
            if (buffer->size() > kMaxText) socket->abort();
        });
        connect(socket, &QLocalSocket::disconnected, this, [this, socket, buffer] {
            buffer->append(socket->readAll());
            socket->deleteLater();
            // The URL buffer keeps 2047 bytes of it.
            if (!buffer->isEmpty() && receiver_) receiver_(buffer->left(kMaxText).toStdString());
        });
    }
}

}  // namespace koru::player
