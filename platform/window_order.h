#pragma once
// The two window-order calls the always-on-top keeper makes. Their results are ignored: a call
// that the platform refuses changes nothing, and the next run tries again.

#include <cstdint>

namespace qv {

using WindowHandle = std::uintptr_t;

enum class InsertAfter : int { Topmost = -1, NotTopmost = -2 };

inline constexpr unsigned kSwpNoSize = 1;
inline constexpr unsigned kSwpNoMove = 2;

class WindowOrder {
  public:
    virtual ~WindowOrder() = default;
    // The window the user is working in; 0 when there is none.
    virtual WindowHandle foregroundWindow() = 0;
    // Moves `window` into (Topmost) or out of (NotTopmost) the topmost band.
    virtual void setWindowPos(WindowHandle window, InsertAfter after, unsigned flags) = 0;
};

}  // namespace qv
