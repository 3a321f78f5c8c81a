#pragma once
// Window timers for every backend. Semantics follow classic window timers: a timer whose period
// has elapsed yields one tick, however long the loop was busy; ticks never accumulate, and the
// next period counts from the moment the tick is delivered. Periods shorter than the resolution
// fire once per resolution step, as a 1 ms window timer does on Windows. A backend only supplies
// a clock and "wake me after N ms" (platform/backend.h); the runtime runs the due timers when
// woken.
//
// While the screen is not visible (a backend that can tell says so), the resolution becomes one
// second: ticks then fall on whole seconds of the clock, so that every timer shares one wake-up.
// When the screen is visible again, every timer whose own period has elapsed runs at once, and
// the normal resolution returns.

#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace qv {

class HandlerGuard;

// The shortest interval between two ticks of one timer. Windows clamps window timers to about
// 10 ms; the other backends use the same figure so the caption is as fresh everywhere.
inline constexpr std::int64_t kTimerResolutionMs = 10;
// The resolution while nobody can see the screen.
inline constexpr std::int64_t kRestingResolutionMs = 1000;

class TimerScheduler;

class Timer {
  public:
    const std::string& name() const { return name_; }
    std::int64_t period() const { return periodMs_; }
    bool enabled() const { return enabled_; }

    void setPeriod(std::int64_t periodMs);
    // Enabling starts the period afresh; setting the flag it already has changes nothing.
    void setEnabled(bool enabled);

  private:
    friend class TimerScheduler;
    Timer(TimerScheduler& owner, std::string name, std::function<void()> handler)
        : owner_(&owner), name_(std::move(name)), handler_(std::move(handler)) {}

    TimerScheduler* owner_;
    std::string name_;
    std::function<void()> handler_;
    std::int64_t periodMs_ = 0;
    bool enabled_ = false;
    std::int64_t startMs_ = 0;  // when the current period began
    std::int64_t dueMs_ = 0;
};

class TimerScheduler {
  public:
    // `nowMs` reads milliseconds on a clock that never goes backwards; `guard` takes what a
    // handler throws.
    TimerScheduler(HandlerGuard& guard, std::function<std::int64_t()> nowMs)
        : guard_(guard), nowMs_(std::move(nowMs)) {}
    TimerScheduler(const TimerScheduler&) = delete;
    TimerScheduler& operator=(const TimerScheduler&) = delete;

    // A new timer, disabled, period 0. Timers run in the order they were created.
    Timer& create(std::string name, std::function<void()> handler);

    // Sets the enabled flag of several timers one after another, in the order given.
    static void setGroupEnabled(std::span<Timer* const> order, bool enabled);

    // Runs, one at a time and in creation order, every timer that is due now; each is re-armed
    // one period from the time this pass began. A handler's escaping error is reported through
    // the handler guard. Does nothing when called from inside a handler.
    void runDue();

    // Milliseconds until the earliest enabled timer is due (0 when one is due already), or
    // nothing when no timer is enabled.
    std::optional<std::int64_t> msUntilNextDue() const;

    // Whether anyone can see the screen; true until a backend says otherwise. Becoming visible
    // runs, in creation order, every timer whose period has elapsed, so the first caption seen
    // is fresh. Setting the state it already has changes nothing.
    void setScreenVisible(bool visible);
    bool screenVisible() const { return visible_; }

    // Called whenever the schedule changes outside runDue(), so the backend can re-arm its
    // wake-up.
    void setOnScheduleChanged(std::function<void()> callback) { onChanged_ = std::move(callback); }

    // Sees every change of a timer's enabled flag, in the order they happen (for tests).
    void setOnEnabledChanged(std::function<void(const Timer&)> observer) {
        onEnabledChanged_ = std::move(observer);
    }

  private:
    friend class Timer;
    void arm(Timer& t) const;
    void armFromNow(Timer& t);
    void changed();

    HandlerGuard& guard_;
    std::function<std::int64_t()> nowMs_;
    std::deque<Timer> timers_;  // stable addresses
    std::function<void()> onChanged_;
    std::function<void(const Timer&)> onEnabledChanged_;
    bool running_ = false;
    bool visible_ = true;
};

}  // namespace qv
