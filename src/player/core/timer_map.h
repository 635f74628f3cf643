// Window timers by the system's ids (2028, 2224, 2524 ...): starting an id that runs restarts it,
// and each expiry calls the handler with the id. Timers run on the owner's thread.
//
// They run on real time (Qt timers) unless the map is given a ManualTime: then time stands
// still until its owner moves it on, and the timers that fall due on the way fire in order.
// Tests use that to check a 1.5 s timer without waiting 1.5 s, or racing a loaded machine.
#ifndef PLAYER_CORE_TIMER_MAP_H
#define PLAYER_CORE_TIMER_MAP_H

#include <QObject>
#include <QTimer>
#include <cstdint>
#include <functional>
#include <map>
#include <vector>

namespace koru::player {

class TimerMap;

// A clock that moves only when told to, shared by the timer maps that use it.
class ManualTime {
  public:
    ManualTime() = default;
    ManualTime(const ManualTime&) = delete;
    ManualTime& operator=(const ManualTime&) = delete;
    ~ManualTime();

    int64_t now_ms() const { return now_ms_; }
    // Moves time on by ms, firing every timer of the attached maps that falls due meanwhile, in
    // the order of their due times (a timer a handler starts fires too if it falls due).
    void Advance(int ms);

  private:
    friend class TimerMap;
    void Attach(TimerMap* map);
    void Detach(TimerMap* map);

    std::vector<TimerMap*> maps_;
    int64_t now_ms_ = 0;
};

class TimerMap : public QObject {
  public:
    using Handler = std::function<void(int id)>;
    explicit TimerMap(Handler handler, QObject* parent = nullptr)
        : QObject(parent), handler_(std::move(handler)) {}
    ~TimerMap() override;

    // The timers run on time instead of real time (set before any timer starts).
    void UseManualTime(ManualTime* time);

    // Starts (or restarts) timer id firing every period_ms; a one-shot timer stops itself
    // before its handler runs.
    void Start(int id, int period_ms, bool one_shot = false);
    void Stop(int id);
    bool IsActive(int id) const;
    // The period a running timer was started with, or -1.
    int Period(int id) const;

  private:
    friend class ManualTime;
    struct Timer {
        QTimer* qt = nullptr;  // real time only
        int period_ms = 0;
        bool one_shot = false;
        bool active = false;  // manual time only
        int64_t due_ms = 0;   // manual time only
    };
    // Manual time: the running timer due first, at or before until_ms; false when none is.
    bool FirstDue(int64_t until_ms, int* id, int64_t* due_ms) const;
    void Expire(int id);

    Handler handler_;
    std::map<int, Timer> timers_;
    ManualTime* manual_ = nullptr;
};

}  // namespace koru::player

#endif
