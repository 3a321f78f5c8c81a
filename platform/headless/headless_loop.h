#pragma once
// The headless event loop: time moves only when a test says so, and every timer tick is
// delivered exactly when a real loop would deliver it.

#include <cstdint>

#include "platform/headless/virtual_clock.h"
#include "platform/timer_scheduler.h"

namespace qv::headless {

class HeadlessLoop {
  public:
    HeadlessLoop(VirtualClock& clock, TimerScheduler& scheduler)
        : clock_(clock), scheduler_(scheduler) {}

    // Lets `ms` virtual milliseconds pass, waking at each moment a timer falls due. A handler
    // that advances the clock itself (a slow handler) delays the next wake-up accordingly.
    // Returns how many times it woke.
    int advance(std::int64_t ms);

  private:
    VirtualClock& clock_;
    TimerScheduler& scheduler_;
};

}  // namespace qv::headless
