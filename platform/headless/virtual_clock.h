#pragma once
// Simulated time for the headless runtime: one virtual millisecond counter that serves both as
// the scheduler's monotonic clock and, offset by the simulated time the machine had already been
// up, as the tick source.

#include <cstdint>

#include "platform/clock.h"
#include "engine/tick_source.h"

namespace qv {

class VirtualClock : public MonotonicClock, public TickSource {
  public:
    explicit VirtualClock(std::uint64_t uptimeAtStartMs = 0) : bootOffset_(uptimeAtStartMs) {}

    std::int64_t nowMs() const override { return now_; }
    std::uint64_t millisecondsSinceStart() const override {
        return bootOffset_ + static_cast<std::uint64_t>(now_);
    }

    // Moves time forward without running anything (a handler that takes long does this).
    void advance(std::int64_t ms) { now_ += ms; }
    // Makes the simulated uptime jump to `uptimeMs` now.
    void setUptime(std::uint64_t uptimeMs) {
        bootOffset_ = uptimeMs - static_cast<std::uint64_t>(now_);
    }

  private:
    std::int64_t now_ = 0;
    std::uint64_t bootOffset_;
};

}  // namespace qv
