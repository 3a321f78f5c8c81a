#pragma once
#include <cstdint>

namespace qv {

// Milliseconds on a clock that never goes backwards; drives the timer scheduler.
class MonotonicClock {
  public:
    virtual ~MonotonicClock() = default;
    virtual std::int64_t nowMs() const = 0;
};

}  // namespace qv
