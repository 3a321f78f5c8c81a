#pragma once
// The window runtime: what the program needs of a windowing platform, and the object that ties
// a platform to the shared timer scheduler.

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "platform/clock.h"
#include "platform/geometry.h"
#include "engine/tick_source.h"
#include "platform/timer_scheduler.h"
#include "platform/window.h"
#include "platform/window_order.h"

namespace qv {

// One per backend (headless, FLTK, Win32).
class Platform {
  public:
    virtual ~Platform() = default;
    virtual const MonotonicClock& clock() const = 0;
    virtual const TickSource& tickSource() const = 0;
    // A hidden native window for `window`, whose controls already exist; `owner` is the window
    // that owns it (a modal window), or nullptr.
    virtual std::unique_ptr<WindowPeer> createPeer(Window& window, Window* owner) = 0;
    // Runs a nested event loop until `modal` is closed, delivering every window's timer ticks.
    virtual void runModalLoop(Window& modal) = 0;
    // Runs the event loop until quit().
    virtual void runLoop() = 0;
    virtual void quit() = 0;
    // Asks for Runtime::timerWake() after `ms` milliseconds (replacing any earlier request);
    // nothing means no timer is enabled.
    virtual void wakeAfter(std::optional<std::int64_t> ms) = 0;
    virtual std::vector<Monitor> monitors() const = 0;
    virtual int systemDpi() const = 0;
    virtual WindowOrder& windowOrder() = 0;
};

class Runtime {
  public:
    explicit Runtime(Platform& platform);
    ~Runtime();
    Runtime(const Runtime&) = delete;
    Runtime& operator=(const Runtime&) = delete;

    Platform& platform() const { return platform_; }
    TimerScheduler& scheduler() { return scheduler_; }

    // Shows the start-up window and runs the event loop until that window closes. Returns the
    // exit status.
    int run(Window& startup);
    // For platforms that show windows without a loop of their own (headless).
    void setStartupWindow(Window& startup) { startup_ = &startup; }
    Window* startupWindow() const { return startup_; }
    // The platform calls this when its wake-up request falls due.
    void timerWake();
    // The platform asks the program to end (the session ends, a termination signal): runs the
    // start-up window's close command, so its unload saves as on a normal close.
    void requestEnd();
    bool ended() const { return ended_; }

  private:
    friend class Window;
    void startupClosed();
    void windowOpened(Window* w) { open_.push_back(w); }
    void windowClosed(Window* w) { std::erase(open_, w); }

    Platform& platform_;
    TimerScheduler scheduler_;
    Window* startup_ = nullptr;
    std::vector<Window*> open_;  // loaded windows, oldest first
    bool ended_ = false;
};

}  // namespace qv
