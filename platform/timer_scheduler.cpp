#include "platform/timer_scheduler.h"

#include <algorithm>

#include "platform/handler_guard.h"

namespace qv {

void Timer::setPeriod(std::int64_t periodMs) {
    periodMs_ = std::max<std::int64_t>(0, periodMs);
    if (enabled_) owner_->armFromNow(*this);
    owner_->changed();
}

void Timer::setEnabled(bool enabled) {
    if (enabled == enabled_) return;
    enabled_ = enabled;
    if (enabled_) owner_->armFromNow(*this);
    if (owner_->onEnabledChanged_) owner_->onEnabledChanged_(*this);
    owner_->changed();
}

Timer& TimerScheduler::create(std::string name, std::function<void()> handler) {
    timers_.push_back(Timer(*this, std::move(name), std::move(handler)));
    return timers_.back();
}

void TimerScheduler::setGroupEnabled(std::span<Timer* const> order, bool enabled) {
    for (Timer* t : order) t->setEnabled(enabled);
}

std::int64_t TimerScheduler::effectivePeriod(std::int64_t periodMs) {
    return std::max(periodMs, kTimerResolutionMs);
}

void TimerScheduler::armFromNow(Timer& t) {
    t.dueMs_ = nowMs_() + effectivePeriod(t.periodMs_);
}

void TimerScheduler::changed() {
    if (!running_ && onChanged_) onChanged_();
}

void TimerScheduler::runDue() {
    if (running_) return;
    running_ = true;
    const std::int64_t now = nowMs_();
    for (Timer& t : timers_) {
        // A handler may disable a later timer, or enable one: test each at its turn.
        if (!t.enabled_ || t.periodMs_ <= 0 || t.dueMs_ > now) continue;
        t.dueMs_ = now + effectivePeriod(t.periodMs_);
        HandlerGuard::instance().run(t.name_, t.handler_);
    }
    running_ = false;
}

std::optional<std::int64_t> TimerScheduler::msUntilNextDue() const {
    std::optional<std::int64_t> due;
    for (const Timer& t : timers_) {
        if (!t.enabled_ || t.periodMs_ <= 0) continue;
        if (!due || t.dueMs_ < *due) due = t.dueMs_;
    }
    if (!due) return std::nullopt;
    return std::max<std::int64_t>(0, *due - nowMs_());
}

}  // namespace qv
