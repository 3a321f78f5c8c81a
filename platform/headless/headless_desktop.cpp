#include "platform/headless/headless_desktop.h"

namespace qv::headless {

int HeadlessDesktop::dpiAt(const PixelRect& outer) const {
    const Monitor* m = nearestMonitor({outer.x, outer.y, 1, 1}, monitors);
    return m ? m->dpi : systemDpi;
}

FrameExtents HeadlessDesktop::frameAt(int dpi) const {
    return {scaleFrom96(frameAt96.left, dpi), scaleFrom96(frameAt96.right, dpi),
            scaleFrom96(frameAt96.top, dpi), scaleFrom96(frameAt96.bottom, dpi)};
}

}  // namespace qv::headless
