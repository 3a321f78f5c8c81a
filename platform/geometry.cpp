#include "platform/geometry.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace qv {

namespace {
int toPixels(double twips, int dpi) {
    return static_cast<int>(std::lround(twips * dpi / kTwipsPerInch));
}
double toTwips(int pixels, int dpi) {
    return static_cast<double>(pixels) * kTwipsPerInch / dpi;
}
int overlapArea(const PixelRect& a, const PixelRect& b) {
    const int w = std::min(a.right(), b.right()) - std::max(a.x, b.x);
    const int h = std::min(a.bottom(), b.bottom()) - std::max(a.y, b.y);
    return w > 0 && h > 0 ? w * h : 0;
}
long long distanceSquared(const PixelRect& a, const PixelRect& b) {
    const long long dx = std::max({0, b.x - a.right(), a.x - b.right()});
    const long long dy = std::max({0, b.y - a.bottom(), a.y - b.bottom()});
    return dx * dx + dy * dy;
}
}  // namespace

int positionTwipsToPixels(double twips, int systemDpi) {
    return toPixels(twips, systemDpi);
}
double positionPixelsToTwips(int pixels, int systemDpi) {
    return toTwips(pixels, systemDpi);
}
int sizeTwipsToPixels(double twips, int monitorDpi) {
    return toPixels(twips, monitorDpi);
}
double sizePixelsToTwips(int pixels, int monitorDpi) {
    return toTwips(pixels, monitorDpi);
}
int scaleFrom96(int pixelsAt96, int dpi) {
    return static_cast<int>(std::lround(static_cast<double>(pixelsAt96) * dpi / kDefaultDpi));
}

const Monitor* nearestMonitor(const PixelRect& r, std::span<const Monitor> monitors) {
    const Monitor* best = nullptr;
    int bestArea = 0;
    long long bestDistance = std::numeric_limits<long long>::max();
    for (const Monitor& m : monitors) {
        const int area = overlapArea(r, m.full);
        const long long d = distanceSquared(r, m.full);
        if (area > bestArea || (bestArea == 0 && area == 0 && d < bestDistance)) {
            best = &m;
            bestArea = area;
            bestDistance = d;
        }
    }
    return best;
}

PixelRect keepReachable(const PixelRect& outer, int titleBarHeight,
                        std::span<const Monitor> monitors) {
    if (monitors.empty()) return outer;
    const PixelRect title{outer.x, outer.y, outer.width, std::max(1, titleBarHeight)};
    for (const Monitor& m : monitors) {
        const int w = std::min(title.right(), m.full.right()) - std::max(title.x, m.full.x);
        const int h = std::min(title.bottom(), m.full.bottom()) - std::max(title.y, m.full.y);
        if (w >= std::min(kMinVisibleTitleWidthPx, title.width) &&
            h >= std::min(kMinVisibleTitleHeightPx, title.height))
            return outer;
    }
    const Monitor* m = nearestMonitor(outer, monitors);
    const PixelRect& work = m->work.width > 0 && m->work.height > 0 ? m->work : m->full;
    PixelRect r = outer;
    // The windows cannot be resized, so a window larger than the work area keeps its size and
    // shows its top left corner, title bar included.
    r.x = std::clamp(r.x, work.x, std::max(work.x, work.right() - r.width));
    r.y = std::clamp(r.y, work.y, std::max(work.y, work.bottom() - r.height));
    return r;
}

}  // namespace qv
