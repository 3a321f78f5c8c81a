#include "platform/timer_scheduler.h"

#include <algorithm>

#include "platform/handler_guard.h"

namespace qv {

namespace {

std::int64_t floorTo(std::int64_t ms, std::int64_t step) {
    std::int64_t q = ms / step;
    if (ms % step < 0) --q;
    return q * step;
}

std::int64_t ceilTo(std::int64_t ms, std::int64_t step) {
    return -floorTo(-ms, step);
}

}  // namespace

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

void TimerScheduler::arm(Timer& t) const {
    if (visible_) {
        t.dueMs_ = t.startMs_ + std::max(t.periodMs_, kTimerResolutionMs);
    } else {
        t.dueMs_ =
            ceilTo(t.startMs_ + std::max(t.periodMs_, kRestingResolutionMs), kRestingResolutionMs);
    }
}

void TimerScheduler::armFromNow(Timer& t) {
    t.startMs_ = nowMs_();
    arm(t);
}

void TimerScheduler::changed() {
    if (!running_ && onChanged_) onChanged_();
}

void TimerScheduler::runDue() {
    if (running_) return;
    running_ = true;
    const std::int64_t now = nowMs_();
    // A late wake-up while resting counts from the whole second it was meant for, so that the
    // timers stay on the shared second and a late one is not pushed a second further.
    const std::int64_t start = visible_ ? now : floorTo(now, kRestingResolutionMs);
    for (Timer& t : timers_) {
        // A handler may disable a later timer, or enable one: test each at its turn.
        if (!t.enabled_ || t.periodMs_ <= 0 || t.dueMs_ > now) continue;
        t.startMs_ = start;
        arm(t);
        guard_.run(t.name_, t.handler_);
    }
    running_ = false;
}

void TimerScheduler::setScreenVisible(bool visible) {
    if (visible == visible_) return;
    visible_ = visible;
    for (Timer& t : timers_) {
        if (!t.enabled_) continue;
        arm(t);
        // Back on screen, a timer is due once its own period has passed since its last tick,
        // however short: the screen may come back just after a resting tick, whose title the
        // steps have not refreshed since.
        if (visible_ && t.periodMs_ > 0) t.dueMs_ = std::min(t.dueMs_, t.startMs_ + t.periodMs_);
    }
    if (visible_) runDue();
    changed();
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
