#pragma once
// A timer scheduler on a virtual clock, driven by the headless loop: time passes only when a
// test says so.

#include <cstdint>
#include <string>
#include <vector>

#include "platform/handler_guard.h"
#include "platform/headless/headless_loop.h"
#include "platform/headless/virtual_clock.h"
#include "platform/timer_scheduler.h"

namespace qv {

struct TimerRig {
    HandlerGuard guard;
    headless::VirtualClock clock;
    TimerScheduler scheduler{guard, [this] { return clock.nowMs(); }};
    headless::HeadlessLoop loop{clock, scheduler};
    std::string order;                // the names of the timers that ticked, in turn
    std::vector<std::int64_t> ticks;  // every tick of every timer, at its time

    explicit TimerRig(std::uint64_t uptime = 0) : clock(uptime) {}

    // An enabled timer that notes its ticks in `order` and `ticks`.
    Timer& timer(char name, std::int64_t periodMs) {
        Timer& t = scheduler.create(std::string(1, name), [this, name] {
            order += name;
            ticks.push_back(clock.nowMs());
        });
        t.setPeriod(periodMs);
        t.setEnabled(true);
        return t;
    }
    void until(std::int64_t ms) { loop.advance(ms - clock.nowMs()); }
};

}  // namespace qv
