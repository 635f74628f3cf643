// Window timers by the system's ids (2028, 2224, 2524 ...): starting an id that runs restarts it,
// and each expiry calls the handler with the id. Timers run on the owner's thread.
#ifndef PLAYER_CORE_TIMER_MAP_H
#define PLAYER_CORE_TIMER_MAP_H

#include <QObject>
#include <QTimer>
#include <functional>
#include <map>

namespace koru::player {

class TimerMap : public QObject {
  public:
    using Handler = std::function<void(int id)>;
    explicit TimerMap(Handler handler, QObject* parent = nullptr)
        : QObject(parent), handler_(std::move(handler)) {}

    // Starts (or restarts) timer id firing every period_ms; a one-shot timer stops itself
    // before its handler runs.
    void Start(int id, int period_ms, bool one_shot = false);
    void Stop(int id);
    bool IsActive(int id) const;
    // The period a running timer was started with, or -1.
    int Period(int id) const;

  private:
    Handler handler_;
    std::map<int, QTimer*> timers_;
};

}  // namespace koru::player

#endif
