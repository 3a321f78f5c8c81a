#pragma once
// The headless backend: a simulated desktop for behaviour tests. Time is virtual, windows have
// geometry, a frame and a z-order, there are monitors and a foreground window, the window-order
// calls are recorded and applied, and input arrives as a user's clicks and keys would: at a point
// of a window, through hit-testing, never by calling handlers directly.

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/headless/virtual_clock.h"
#include "platform/runtime.h"

namespace qv {

class HeadlessPlatform;

class HeadlessPeer : public WindowPeer {
  public:
    HeadlessPeer(HeadlessPlatform& platform, Window& window, Window* owner, WindowHandle handle);
    ~HeadlessPeer() override;

    WindowHandle handle() const override { return handle_; }
    void setCaption(std::string_view caption) override;
    void setOuterRect(const PixelRect& outer) override { outer_ = outer; }
    FrameExtents frameExtents() const override;
    void show() override;
    void setInputEnabled(bool enabled) override { inputEnabled_ = enabled; }
    void controlChanged(const Control&) override { ++controlPushes_; }
    void focusControl(const Control& control) override { focused_ = control.name(); }

    Window& window() const { return window_; }
    Window* owner() const { return owner_; }
    // What the screen shows: the caption as last pushed, and how many pushes there were.
    const std::string& screenCaption() const { return caption_; }
    int captionPushes() const { return captionPushes_; }
    const PixelRect& outer() const { return outer_; }
    PixelRect client() const;
    bool visible() const { return visible_; }
    bool inputEnabled() const { return inputEnabled_; }
    std::string_view focusedControl() const { return focused_; }

  private:
    HeadlessPlatform& platform_;
    Window& window_;
    Window* owner_;
    WindowHandle handle_;
    std::string caption_;
    int captionPushes_ = 0;
    int controlPushes_ = 0;
    PixelRect outer_;
    bool visible_ = false;
    bool inputEnabled_ = true;
    std::string_view focused_;
};

struct OrderCall {
    enum Kind { Foreground, SetWindowPos } kind;
    WindowHandle window = 0;  // SetWindowPos only
    InsertAfter after = InsertAfter::Topmost;
    unsigned flags = 0;
};

enum class Key { Tab, ShiftTab, Enter, Escape, Space };

class HeadlessPlatform : public Platform, public WindowOrder {
  public:
    explicit HeadlessPlatform(std::uint64_t uptimeAtStartMs = 0);
    ~HeadlessPlatform() override;

    // Platform
    const MonotonicClock& clock() const override { return clock_; }
    const TickSource& tickSource() const override { return clock_; }
    std::unique_ptr<WindowPeer> createPeer(Window& window, Window* owner) override;
    void runModalLoop(Window&) override {}  // the test is the loop
    void runLoop() override {}
    void quit() override { quitRequested_ = true; }
    void wakeAfter(std::optional<std::int64_t>) override {}
    std::vector<Monitor> monitors() const override { return monitors_; }
    int systemDpi() const override { return systemDpi_; }
    WindowOrder& windowOrder() override { return *this; }

    // WindowOrder: recorded, and applied to the simulated z-order.
    WindowHandle foregroundWindow() override;
    void setWindowPos(WindowHandle window, InsertAfter after, unsigned flags) override;

    // Connects the loop to a runtime's scheduler; needed before advance().
    void attach(Runtime& runtime) { runtime_ = &runtime; }
    VirtualClock& virtualClock() { return clock_; }
    // Lets `ms` virtual milliseconds pass, delivering every timer tick when it falls due.
    void advance(std::int64_t ms);
    bool quitRequested() const { return quitRequested_; }

    // The desktop.
    void setMonitors(std::vector<Monitor> monitors) { monitors_ = std::move(monitors); }
    void setSystemDpi(int dpi) { systemDpi_ = dpi; }
    // The frame a window gets, in pixels at 96 DPI (scaled with the DPI).
    void setFrameAt96(FrameExtents f) { frameAt96_ = f; }
    FrameExtents frameAt96() const { return frameAt96_; }
    // Another program's window, for the keeper to push around.
    WindowHandle createForeignWindow(bool topmost);
    void setForeground(WindowHandle window) { foreground_ = window; }
    WindowHandle foreground() const { return foreground_; }
    bool isTopmost(WindowHandle window) const;
    const std::vector<OrderCall>& orderCalls() const { return orderCalls_; }
    void clearOrderCalls() { orderCalls_.clear(); }
    HeadlessPeer* peerOf(const Window& window) const;

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
    // The client rectangle of a control, in pixels.
    std::optional<PixelRect> controlRect(const Window& window, std::string_view name) const;

  private:
    friend class HeadlessPeer;
    Control* hitTest(const Window& window, int clientX, int clientY) const;
    int windowDpi(const Window& window) const;

    VirtualClock clock_;
    Runtime* runtime_ = nullptr;
    std::vector<Monitor> monitors_;
    int systemDpi_ = kDefaultDpi;
    FrameExtents frameAt96_{3, 3, 22, 3};
    std::vector<HeadlessPeer*> peers_;
    std::map<WindowHandle, bool> topmost_;  // every window's topmost state, foreign ones too
    WindowHandle nextHandle_ = 0x1000;
    WindowHandle foreground_ = 0;
    std::vector<OrderCall> orderCalls_;
    bool quitRequested_ = false;
};

}  // namespace qv
