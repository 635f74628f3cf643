#include "player/core/timer_map.h"

#include <algorithm>

namespace koru::player {

ManualTime::~ManualTime() {
    for (TimerMap* map : maps_)
        map->manual_ = nullptr;
}

void ManualTime::Attach(TimerMap* map) {
    maps_.push_back(map);
}

void ManualTime::Detach(TimerMap* map) {
    std::erase(maps_, map);
}

void ManualTime::Advance(int ms) {
    const int64_t until = now_ms_ + std::max(ms, 0);
    for (;;) {
        TimerMap* first_map = nullptr;
        int first_id = 0;
        int64_t first_due = until + 1;
        for (TimerMap* map : maps_) {
            int id = 0;
            int64_t due = 0;
            if (map->FirstDue(until, &id, &due) && due < first_due) {
                first_map = map;
                first_id = id;
                first_due = due;
            }
        }
        if (first_map == nullptr) break;
        now_ms_ = first_due;
        first_map->Expire(first_id);
    }
    now_ms_ = until;
}

TimerMap::~TimerMap() {
    if (manual_ != nullptr) manual_->Detach(this);
}

void TimerMap::UseManualTime(ManualTime* time) {
    if (manual_ != nullptr) manual_->Detach(this);
    manual_ = time;
    if (manual_ != nullptr) manual_->Attach(this);
}

void TimerMap::Start(int id, int period_ms, bool one_shot) {
    Timer& timer = timers_[id];
    timer.period_ms = std::max(period_ms, 0);
    timer.one_shot = one_shot;
    if (manual_ != nullptr) {
        timer.active = true;
        timer.due_ms = manual_->now_ms() + timer.period_ms;
        return;
    }
    if (timer.qt == nullptr) {
        timer.qt = new QTimer(this);
        timer.qt->setTimerType(Qt::PreciseTimer);
        connect(timer.qt, &QTimer::timeout, this, [this, id] {
            if (handler_) handler_(id);
        });
    }
    timer.qt->setSingleShot(one_shot);
    timer.qt->start(timer.period_ms);
}

void TimerMap::Stop(int id) {
    auto it = timers_.find(id);
    if (it == timers_.end()) return;
    it->second.active = false;
    if (it->second.qt != nullptr) it->second.qt->stop();
}

bool TimerMap::IsActive(int id) const {
    auto it = timers_.find(id);
    if (it == timers_.end()) return false;
    return it->second.qt != nullptr ? it->second.qt->isActive() : it->second.active;
}

int TimerMap::Period(int id) const {
    return IsActive(id) ? timers_.at(id).period_ms : -1;
}

bool TimerMap::FirstDue(int64_t until_ms, int* id, int64_t* due_ms) const {
    bool found = false;
    for (const auto& [timer_id, timer] : timers_) {
        if (!timer.active || timer.due_ms > until_ms) continue;
        if (!found || timer.due_ms < *due_ms) {
            found = true;
            *id = timer_id;
            *due_ms = timer.due_ms;
        }
    }
    return found;
}

void TimerMap::Expire(int id) {
    Timer& timer = timers_[id];
    if (timer.one_shot) {
        timer.active = false;
    } else {
        // A repeating timer of period 0 still lets time move on.
        timer.due_ms += std::max(timer.period_ms, 1);
    }
    if (handler_) handler_(id);
}

}  // namespace koru::player
