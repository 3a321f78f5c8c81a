#pragma once
#include <cstdint>

namespace qv {

// The operating system's count of milliseconds since the system started. 64 bits wide, so the
// uptime shown does not fall back to zero after 49.7 days as a 32-bit count would.
class TickSource {
  public:
    virtual ~TickSource() = default;
    virtual std::uint64_t millisecondsSinceStart() const = 0;
};

}  // namespace qv
