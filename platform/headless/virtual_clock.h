#pragma once
// Simulated time for the headless backend: one virtual millisecond counter that serves both as
// the clock that drives the timers and, offset by the simulated time the machine had already
// been up, as the tick source.

#include <cstdint>

namespace qv::headless {

class VirtualClock {
  public:
    explicit VirtualClock(std::uint64_t uptimeAtStartMs = 0) : bootOffset_(uptimeAtStartMs) {}

    std::int64_t nowMs() const { return now_; }
    std::uint64_t ticksSinceStart() const { return bootOffset_ + static_cast<std::uint64_t>(now_); }

    // Moves time forward without running anything (a handler that takes long does this).
    void advance(std::int64_t ms) { now_ += ms; }

  private:
    std::int64_t now_ = 0;
    std::uint64_t bootOffset_;
};

}  // namespace qv::headless
