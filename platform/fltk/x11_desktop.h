#pragma once
// The window-manager side of the Linux program, in plain Xlib: EWMH and Motif hints, frame
// extents, the active window, the "above" state, monitors and the desktop's DPI. FLTK draws and
// delivers input; what FLTK 1.3 does not offer lives here.

#include <X11/Xlib.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/geometry.h"

namespace qv::fltk::x11 {

Atom atom(Display* display, const char* name);

// A window property of 32-bit items (CARDINAL, WINDOW, ATOM); empty when absent.
std::vector<long> readLongs(Display* display, ::Window window, const char* property, Atom type);

// A fixed single border with a title bar, a window menu and the close command only: no minimize,
// maximize or resize.
void setFixedFrameHints(Display* display, ::Window window);

// _NET_FRAME_EXTENTS of a mapped window, when the window manager has set them.
std::optional<FrameExtents> frameExtents(Display* display, ::Window window);

// The frame the window manager would give a window with our hints, asked before any of ours is
// mapped (_NET_REQUEST_FRAME_EXTENTS); none when no EWMH window manager runs, it does not offer
// the request, or it gave no answer.
std::optional<FrameExtents> probeFrameExtents(Display* display);

// Waits until the window manager has put _NET_FRAME_EXTENTS on a mapped `window` whose events
// include PropertyChangeMask, for at most `limitMs`; the extents, or none.
std::optional<FrameExtents> awaitFrameExtents(Display* display, ::Window window, int limitMs);

// True when an EWMH window manager runs (_NET_SUPPORTING_WM_CHECK).
bool windowManagerRunning(Display* display);

// True when the running window manager lists `name` in _NET_SUPPORTED.
bool windowManagerSupports(Display* display, const char* name);

// _NET_ACTIVE_WINDOW, 0 when none.
::Window activeWindow(Display* display);

// Asks the window manager to add or remove _NET_WM_STATE_ABOVE.
void setAbove(Display* display, ::Window window, bool above);

// Asks the window manager to raise `window` to the top of its layer, without activating it.
void raise(Display* display, ::Window window);

// The monitors from XRandR; one monitor covering the screen when XRandR has none. The work
// area (_NET_WORKAREA) is cut to each monitor.
std::vector<Monitor> monitors(Display* display, int dpi);

// How many pixels `text` (UTF-8) takes in the desktop's bold UI font at `dpi`: fontconfig's
// sans-serif, bold, at its default size (12 points unless the user set another); 0 when no
// font can be had.
int boldUiTextWidth(Display* display, std::string_view text, int dpi);

// The font family for the texts the program draws in the toolkit's own face (check boxes, the
// OK button, the strip's tooltip): fontconfig's sans-serif, unless it answers that with a
// monospace face (a system with only the Liberation fonts does), then Liberation Sans, which the
// package brings for Arial. Empty when neither gives a proportional face.
std::string proportionalUiFamily(Display* display);

// The desktop's DPI as Xft itself looks it up: XGetDefault(display, "Xft", "dpi"), from the
// server's resources (else ~/.Xdefaults) with the resource manager's matching, so Xft.dpi,
// Xft*dpi and *dpi all count. Null when no resource matches.
const char* xftDpiResource(Display* display);

// A DPI resource's value rounded to a whole DPI, or none when it is not a number from 24 to 960.
std::optional<int> dpiValue(std::string_view text);

// What the program says of a DPI resource that dpiValue() refuses; the value is quoted when it
// is short printable text.
std::string unusableDpiWarning(std::string_view text);

}  // namespace qv::fltk::x11
