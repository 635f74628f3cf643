// One player per user: the first start listens on a local socket named after "aura" and the
// user; a second start hands its command-line file name (without its surrounding quotes) to the
// first and exits.
#ifndef PLAYER_CORE_SINGLE_INSTANCE_H
#define PLAYER_CORE_SINGLE_INSTANCE_H

#include <QLocalServer>
#include <QObject>
#include <functional>
#include <memory>
#include <string>

namespace koru::player {

// One leading and one trailing double quote removed.
std::string StripQuotes(const std::string& text);
// A file name made absolute against the current folder; URLs ("...://...") and empty text stay
// as they are.
std::string AbsoluteFileName(const std::string& text);

class SingleInstance : public QObject {
  public:
    // "aura-<uid>", and a hash of the user folder when KORU_DMB_HOME chooses one (a player
    // with a folder of its own is another user's player).
    static QString DefaultName();

    explicit SingleInstance(QString name = DefaultName(), QObject* parent = nullptr);
    ~SingleInstance() override;

    // True when this process is the first player (it now listens); false when another player
    // answers on the name.
    bool Claim();
    // For a second start: sends text to the first player. False when none answers.
    bool HandOver(const std::string& text, int timeout_ms = 3000);

    // The first player receives the texts of later starts (on its main thread).
    void SetReceiver(std::function<void(const std::string&)> receiver) {
        receiver_ = std::move(receiver);
    }
    const QString& name() const { return name_; }

  private:
    void OnConnection();

    QString name_;
    std::unique_ptr<QLocalServer> server_;
    std::function<void(const std::string&)> receiver_;
};

}  // namespace koru::player

#endif
