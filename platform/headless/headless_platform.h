#pragma once
// The headless backend: a simulated desktop for behaviour tests. Time is virtual, windows have
// geometry, a frame and a z-order, there are monitors and a foreground window, the window-order
// calls are recorded and applied, settings live in memory, and input arrives as a user's clicks
// and keys would: at a point of a window, through hit-testing, never by calling handlers
// directly.

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/backend.h"
#include "platform/headless/headless_desktop.h"
#include "platform/headless/headless_window.h"
#include "platform/headless/memory_settings.h"
#include "platform/headless/virtual_clock.h"

namespace qv::headless {

// A window-order call as the always-on-top keeper made it.
struct OrderCall {
    enum Kind { Foreground, SetTopmost } kind;
    WindowHandle window = 0;  // SetTopmost only
    bool topmost = false;
};

enum class Key { Tab, ShiftTab, Enter, Escape, Space };

class HeadlessPlatform : public Backend {
  public:
    explicit HeadlessPlatform(std::uint64_t uptimeAtStartMs = 0);
    ~HeadlessPlatform() override;

    // Backend
    void connect(Runtime& runtime) override { runtime_ = &runtime; }
    void disconnect() override { runtime_ = nullptr; }
    void runLoop() override {}  // the test is the loop
    void runModalLoop(Window&) override {}
    void quit() override { quitRequested_ = true; }
    std::vector<Monitor> monitors() const override { return desktop_.monitors; }
    int systemDpi() const override { return desktop_.systemDpi; }
    // As Windows by default; a test of the X11 rule turns it off.
    bool limitsWindowSize() const override { return limitsWindowSize_; }
    std::unique_ptr<WindowPeer> createPeer(Window& window, Window* owner) override;
    // A title bar whose font draws every character setTitleCharWidth() pixels wide, with the
    // frame's sides, an icon and three buttons as wide as the title bar is high.
    int captionFitWidth(std::string_view caption) override;
    std::int64_t monotonicMs() const override { return clock_.nowMs(); }
    void wakeAfter(std::optional<std::int64_t>) override {}  // advance() finds the due timers
    // The window-order calls are recorded, and applied to the simulated z-order.
    WindowHandle foregroundWindow() override;
    void setTopmost(WindowHandle window, bool topmost) override;
    std::uint64_t ticksSinceStart() const override { return clock_.ticksSinceStart(); }
    SettingsBackend& settingsBackend() override { return store_; }
    const SectionSource& executableSection() const override { return section_; }

    // Lets `ms` virtual milliseconds pass, delivering every timer tick when it falls due.
    void advance(std::int64_t ms);
    // How many times the loop has woken to run timers, as a real one would wake the process.
    int wakeUps() const { return wakeUps_; }
    bool quitRequested() const { return quitRequested_; }
    // The session ends (the user logs off) with the program running.
    void endSession();
    // The session may end: asked first, as Windows asks, and then perhaps refused elsewhere.
    void querySessionEnd();
    // The screen saver starts or ends, or the monitors power down or up.
    void setScreenVisible(bool visible);

    // The store, for a test to fill and to read back, and the executable's name.
    MemorySettingsBackend& store() { return store_; }
    FixedSection& section() { return section_; }

    // The desktop.
    void setMonitors(std::vector<Monitor> monitors) { desktop_.monitors = std::move(monitors); }
    void setSystemDpi(int dpi) { desktop_.systemDpi = dpi; }
    void setLimitsWindowSize(bool limits) { limitsWindowSize_ = limits; }
    // A desktop out of memory: showing a window fails, as an X server's BadAlloc makes it.
    void setRefusesWindows(bool refuses) { desktop_.refusesWindows = refuses; }
    // The title font's width of a character in pixels at 96 DPI; 0 (the start) for a title bar
    // that shows any caption within the design's width.
    void setTitleCharWidth(int pixelsAt96) { titleCharWidthAt96_ = pixelsAt96; }
    // The window manager frames its windows otherwise than first assumed (at 96 DPI), as a real
    // one may tell only once a window is mapped: every window hears of it.
    void setFrame(const FrameExtents& at96);
    // Another program's window, for the keeper to push around.
    WindowHandle createForeignWindow(bool topmost);
    void setForeground(WindowHandle window) { desktop_.foreground = window; }
    WindowHandle foreground() const { return desktop_.foreground; }
    bool isTopmost(WindowHandle window) const;
    const std::vector<OrderCall>& orderCalls() const { return orderCalls_; }
    void clearOrderCalls() { orderCalls_.clear(); }
    HeadlessWindow* peerOf(const Window& window) const;

    // A user's input. Points are in pixels relative to the window's client area; input to a
    // window that is not shown goes nowhere. Each returns false when nothing took the input.
    bool doubleClickAt(Window& window, int clientX, int clientY);
    bool clickAt(Window& window, int clientX, int clientY);
    // Clicks the middle of a visible control.
    bool clickControl(Window& window, std::string_view name);
    bool doubleClickControl(Window& window, std::string_view name);
    void pressKey(Window& window, Key key);
    // The close command of the window's title bar.
    void requestClose(Window& window);
    // The user drags the window so that its outer frame's top left corner is at (x, y).
    void dragTo(Window& window, int outerX, int outerY);
    // A window manager that puts the window elsewhere and whose report of it the core never
    // takes (one that arrives while the platform still waits for its own request's echo).
    void placeUnreported(Window& window, int outerX, int outerY);
    // The client rectangle of a control, in pixels.
    std::optional<PixelRect> controlRect(const Window& window, std::string_view name) const;

  private:
    Control* hitTest(const Window& window, int clientX, int clientY) const;
    int windowDpi(const Window& window) const;

    VirtualClock clock_;
    Runtime* runtime_ = nullptr;
    MemorySettingsBackend store_;
    FixedSection section_;
    HeadlessDesktop desktop_;
    bool limitsWindowSize_ = true;
    int titleCharWidthAt96_ = 0;
    std::map<WindowHandle, bool> topmost_;  // every window's topmost state, foreign ones too
    WindowHandle nextHandle_ = 0x1000;
    std::vector<OrderCall> orderCalls_;
    bool quitRequested_ = false;
    int wakeUps_ = 0;
};

}  // namespace qv::headless
