#pragma once
// The whole contract between the core and a backend (headless, FLTK on X11, Win32): the table of
// calls every backend provides, grouped as the program uses them, the native side of one window,
// and the core's entries that a backend calls when something happens on the screen. The rules
// stand beside each call.
//
// The core owns every piece of state: captions, check box values, timers, geometry in twips. A
// backend mirrors that state to the screen and reports the user's actions back. The core hands
// a backend what it needs already prepared (controls in tab order, pixel rectangles, a line's two
// end points) and asks in calls named after their intent; no platform's own parameters pass here.

#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

#include "platform/geometry.h"

namespace qv {

class Control;
class Runtime;
class SectionSource;
class SettingsBackend;
class Window;

// A window as the platform knows it (an HWND, an X window id); 0 for none.
using WindowHandle = std::uintptr_t;

// The native side of one window: made by Backend::createPeer() at each load, destroyed when the
// window closes. It reads what it shows from its Window (design, caption, shownControls(), each
// control's text and value) and changes nothing there but through the input entries below.
class WindowPeer {
  public:
    virtual ~WindowPeer() = default;

    // The platform's handle, for the window-order calls; 0 while there is no native window.
    virtual WindowHandle handle() const = 0;
    // The caption changed; the core calls only on a change.
    virtual void setCaption(std::string_view caption) = 0;
    // Places the outer frame, title bar included. The core has already converted the twips,
    // kept its strip of client area below the title bar and applied the off-screen rule.
    virtual void setOuterRect(const PixelRect& outer) = 0;
    // Where the outer frame's top left corner is on the screen now, asked as the window closes so
    // that what is saved is where the window really is. std::nullopt when the platform has
    // reported every move through input::moved() already, or cannot tell.
    virtual std::optional<PixelPoint> framePosition() const = 0;
    // What the frame adds around the client area, in pixels at the window's DPI; a best guess
    // until the platform knows, and input::frameChanged() when the figures change.
    virtual FrameExtents frameExtents() const = 0;
    // Shows the window and activates it. Throws with the system's message when the platform
    // cannot make the window after all.
    virtual void show() = 0;
    // False while a modal window that this one owns is open. The core drops input reported
    // meanwhile, so a platform whose modal windows block their owners by themselves may ignore it.
    virtual void setInputEnabled(bool enabled) = 0;
    // A shown control's caption or value changed: mirror it. Also called when the core refuses a
    // user's change of a check box (its window takes no input), to put the box back.
    virtual void controlChanged(const Control& control) = 0;
    // Gives the keyboard focus to one of the shown controls.
    virtual void focusControl(const Control& control) = 0;
};

// One per backend, made by the backend's entry point (or a test) and handed to the core, which
// connects to it as it starts.
class Backend {
  public:
    virtual ~Backend() = default;

    // ---- Start-up and the event loop ----

    // Called once by the core as it starts, before any window exists: from then on the backend
    // reports timer wake-ups and the end of the session to `runtime` (input::timerDue,
    // input::endOfSession), and sets up whatever it needs to hear of the latter (termination
    // signals, the loss of the display).
    virtual void connect(Runtime& runtime) = 0;
    // The core is going: nothing more is reported to it.
    virtual void disconnect() = 0;
    // Runs the event loop until quit(). The headless backend returns at once: its tests drive
    // time.
    virtual void runLoop() = 0;
    // Runs a nested event loop until `modal` has closed or the program ends, delivering every
    // window's timer ticks meanwhile. The headless backend returns at once.
    virtual void runModalLoop(Window& modal) = 0;
    // Ends runLoop(); the core calls it when the start-up window has closed.
    virtual void quit() = 0;

    // ---- Monitors ----

    // Every monitor with its work area and DPI; empty when the desktop cannot tell.
    virtual std::vector<Monitor> monitors() const = 0;
    // The one DPI with which positions convert between twips and pixels, the desktop over.
    virtual int systemDpi() const = 0;
    // True when the window system itself keeps a window no larger than it can track (Windows);
    // false when it takes any size and allocates for it (X11): the core then limits a stored
    // size to the bounding box of all monitors.
    virtual bool limitsWindowSize() const = 0;

    // ---- Windows ----

    // A hidden native window for `window`, whose controls already exist, with a native control
    // for each of window.shownControls(), made in that order (it is the tab order, which a
    // platform takes from the order of making). `owner` is the window that owns it, or nullptr:
    // an owned window stays above its owner, also when the owner is topmost. Throws with the
    // system's message when the platform refuses.
    virtual std::unique_ptr<WindowPeer> createPeer(Window& window, Window* owner) = 0;
    // The least outer width, in pixels at the system DPI, at which the title bar shows
    // `caption` whole: the text in the title font, the frame's sides, and room for the window
    // icon and the title bar's buttons. 0 where the platform's title bar needs nothing beyond
    // the design's width (it draws a caption in the size the design was made for).
    virtual int captionFitWidth(std::string_view caption) = 0;

    // ---- Timers ----

    // Milliseconds on a clock that never goes backwards; it drives every timer.
    virtual std::int64_t monotonicMs() const = 0;
    // Reports input::timerDue() once, `ms` milliseconds from now, replacing any earlier request;
    // std::nullopt cancels it (no timer is enabled). A late wake-up is reported once, never
    // caught up: the core asks again from now at each one. (The headless backend runs the due
    // timers itself as a test moves time on.)
    virtual void wakeAfter(std::optional<std::int64_t> ms) = 0;

    // ---- Window order ----

    // The window the user is working in, ours or another program's; 0 when there is none.
    virtual WindowHandle foregroundWindow() = 0;
    // Puts `window` at the top of the topmost band (true) or takes it out of that band (false),
    // without moving or resizing it; whatever activation the platform applies with it is
    // accepted. The result is not examined: a refused call changes nothing, and the always-on-top
    // keeper tries again a second later.
    virtual void setTopmost(WindowHandle window, bool topmost) = 0;

    // ---- Tick source ----

    // Milliseconds since the system started, 64 bits wide so that it does not wrap after 49.7
    // days as a 32-bit count would.
    virtual std::uint64_t ticksSinceStart() const = 0;

    // ---- Settings backend and executable name ----

    // The per-user store of the program's settings (platform/settings_backend.h).
    virtual SettingsBackend& settingsBackend() = 0;
    // The running executable's file name without directory and extension, taken anew at each
    // call: the settings section.
    virtual const SectionSource& executableSection() const = 0;
};

// ---- What a backend reports to the core ----
// A backend calls these from its event callbacks. Each runs whatever it reaches of the program
// through the handler guard, so nothing thrown comes back into the platform's callback, and drops
// the user's input to a window that takes none (a modal window that it owns is open).
namespace input {

// The wake-up asked for with wakeAfter() fell due: runs the due timers and asks for the next one.
void timerDue(Runtime& runtime) noexcept;
// The session ends (logging off, shutting down, a termination signal, the display gone): every
// open window closes, newest first, and saves as on the user's close; then the loop quits.
void endOfSession(Runtime& runtime) noexcept;
// Whether anyone can see the screen: false while the screen saver runs or the monitors are
// powered down. A backend that can tell reports each change; one that cannot never calls it, and
// the core takes the screen as visible. While it is not visible the timers tick at most once a
// second (platform/timer_scheduler.h).
void screenVisibility(Runtime& runtime, bool visible) noexcept;

// The session may end soon (Windows asks with WM_QUERYENDSESSION, and another program may still
// refuse): every open window saves as on the user's close, and stays open.
void sessionMayEnd(Runtime& runtime) noexcept;
// The title bar's close command.
void closeCommand(Window& window) noexcept;
// A double-click on the client area that no shown control took.
void doubleClick(Window& window) noexcept;
// The outer frame's top left corner is at (outerX, outerY) pixels. The core tells the echo of
// its own setOuterRect() from a move by the user.
void moved(Window& window, int outerX, int outerY) noexcept;
// frameExtents() gives other figures than before: the core places the window anew.
void frameChanged(Window& window) noexcept;
// The keyboard focus went to a shown control.
void focusMoved(Control& control) noexcept;

// A push button was pressed.
void buttonClicked(Control& button) noexcept;
// The user ticked (1) or cleared (0) a check box.
void checkBoxToggled(Control& box, int newValue) noexcept;
// A double-click on a label whose design asks for double-clicks.
void labelDoubleClicked(Control& label) noexcept;

}  // namespace input

}  // namespace qv
