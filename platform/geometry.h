#pragma once
// Screen geometry: rectangles in pixels, monitors, and the one place where twips meet pixels.

#include <cstdint>
#include <span>
#include <vector>

namespace qv {

struct PixelPoint {
    int x = 0;
    int y = 0;
};

struct PixelRect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    int right() const { return x + width; }
    int bottom() const { return y + height; }
    friend bool operator==(const PixelRect&, const PixelRect&) = default;
};

// A line from (x1, y1) to (x2, y2), both end points drawn.
struct PixelLine {
    int x1 = 0;
    int y1 = 0;
    int x2 = 0;
    int y2 = 0;
};

struct Monitor {
    PixelRect full;  // the whole monitor
    PixelRect work;  // less task bars and docks
    int dpi = 96;
    bool primary = false;
};

// What the window manager adds around the client area, in pixels.
struct FrameExtents {
    int left = 0;
    int right = 0;
    int top = 0;  // title bar and top edge
    int bottom = 0;
};

inline constexpr int kTwipsPerInch = 1440;
inline constexpr int kDefaultDpi = 96;  // 15 twips per pixel

// A window's outer geometry in twips: its position on the screen, its size with frame and title
// bar.
struct TwipsGeometry {
    float left = 0.0f;
    float top = 0.0f;
    float width = 0.0f;
    float height = 0.0f;
};

// What the desktop tells of itself that a window's geometry depends on, taken as the window
// loads.
struct DesktopFacts {
    int systemDpi = kDefaultDpi;
    std::vector<Monitor> monitors;
    // The window system keeps a window within the size it can track (Windows); where it does
    // not (X11), the program limits a stored size to the desktop.
    bool limitsWindowSize = true;
    // The least outer width, in pixels at the system DPI, at which the title bar shows the
    // window's widest caption whole; 0 where the design's width is enough.
    int captionFitWidthPx = 0;
};

// Positions use one scale for the whole desktop (the system DPI), so a saved position means the
// same place on every monitor; sizes use the DPI of the monitor the window is on.
int positionTwipsToPixels(double twips, int systemDpi);
double positionPixelsToTwips(int pixels, int systemDpi);
int sizeTwipsToPixels(double twips, int monitorDpi);
double sizePixelsToTwips(int pixels, int monitorDpi);
// A length given in pixels at 96 DPI, scaled to `dpi`.
int scaleFrom96(int pixelsAt96, int dpi);

// The monitor that holds most of `r` (the nearest one when none overlaps it); nullptr when the
// list is empty.
const Monitor* nearestMonitor(const PixelRect& r, std::span<const Monitor> monitors);

// A window whose title bar shows less than 40 × 20 pixels on every monitor is moved into the
// nearest monitor's work area; any other window stays exactly where
// it is, also on a monitor left of or above the primary one. `titleBarHeight` is the height of
// the strip at the top of `outer` that the user grabs to move the window.
PixelRect keepReachable(const PixelRect& outer, int titleBarHeight,
                        std::span<const Monitor> monitors);

inline constexpr int kMinVisibleTitleWidthPx = 40;
inline constexpr int kMinVisibleTitleHeightPx = 20;

}  // namespace qv
