#include "player/core/timer_map.h"

namespace koru::player {

void TimerMap::Start(int id, int period_ms, bool one_shot) {
    QTimer*& timer = timers_[id];
    if (timer == nullptr) {
        timer = new QTimer(this);
        timer->setTimerType(Qt::PreciseTimer);
        connect(timer, &QTimer::timeout, this, [this, id] {
            if (handler_) handler_(id);
        });
    }
    timer->setSingleShot(one_shot);
    timer->start(period_ms < 0 ? 0 : period_ms);
}

void TimerMap::Stop(int id) {
    auto it = timers_.find(id);
    if (it != timers_.end()) it->second->stop();
}

bool TimerMap::IsActive(int id) const {
    auto it = timers_.find(id);
    return it != timers_.end() && it->second->isActive();
}

int TimerMap::Period(int id) const {
    auto it = timers_.find(id);
    return it != timers_.end() && it->second->isActive() ? it->second->interval() : -1;
}

}  // namespace koru::player
