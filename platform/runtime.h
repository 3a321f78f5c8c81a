#pragma once
// The window runtime's base: the connection to a backend, the handler guard that every entry
// into the program passes, the shared timer scheduler, and which windows are open. The windows
// (platform/window.h) stand on it and tell it as they open and close.

#include <vector>

#include "platform/backend.h"
#include "platform/handler_guard.h"
#include "platform/timer_scheduler.h"

namespace qv {

class Runtime {
  public:
    // Connects `backend` to this runtime; it stays connected until the runtime goes. Every
    // handler the runtime runs, its windows' and its timers', passes `guard`.
    Runtime(Backend& backend, HandlerGuard& guard);
    ~Runtime();
    Runtime(const Runtime&) = delete;
    Runtime& operator=(const Runtime&) = delete;

    Backend& backend() const { return backend_; }
    HandlerGuard& guard() const { return guard_; }
    TimerScheduler& scheduler() { return scheduler_; }

    // The loaded windows, oldest first.
    const std::vector<Window*>& openWindows() const { return open_; }
    void windowOpened(Window& window) { open_.push_back(&window); }
    void windowClosed(Window& window) { std::erase(open_, &window); }

    // The window whose closing ends the program.
    Window* startupWindow() const { return startup_; }
    void setStartupWindow(Window& window) { startup_ = &window; }
    // The start-up window has closed, or the session is over: no timer wakes the program any
    // more, and the event loop ends.
    void end();
    bool ended() const { return ended_; }

  private:
    Backend& backend_;
    HandlerGuard& guard_;
    TimerScheduler scheduler_;
    Window* startup_ = nullptr;
    std::vector<Window*> open_;
    bool ended_ = false;
};

}  // namespace qv
