#pragma once
// The simulated screen that the headless windows are on: its monitors and DPI, the frame every
// window gets, the windows made on it and the one in the foreground. The headless backend keeps
// one and changes it as a test asks; its windows read it and take the foreground.

#include <vector>

#include "platform/backend.h"
#include "platform/geometry.h"

namespace qv::headless {

class HeadlessWindow;

struct HeadlessDesktop {
    std::vector<Monitor> monitors;
    int systemDpi = kDefaultDpi;
    FrameExtents frameAt96{3, 3, 22, 3};  // scaled with the window's DPI
    // Out of memory: showing a window fails, as an X server's BadAlloc makes it.
    bool refusesWindows = false;
    std::vector<HeadlessWindow*> windows;  // those that exist, oldest first
    WindowHandle foreground = 0;

    // The DPI of the monitor that a window whose outer frame is `outer` is on.
    int dpiAt(const PixelRect& outer) const;
    // The frame at `dpi`.
    FrameExtents frameAt(int dpi) const;
};

}  // namespace qv::headless
