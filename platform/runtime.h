#pragma once
// The window runtime: the object that connects a backend to the program's windows and to the
// shared timer scheduler, and runs the event loop.

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

    // Shows the start-up window and runs the event loop until that window closes. Returns the
    // exit status: 1 when the start-up window could not be shown, and no loop runs then.
    int run(Window& startup);
    // Shows the start-up window without running a loop (the headless backend's tests drive
    // time).
    void start(Window& startup);
    Window* startupWindow() const { return startup_; }
    bool ended() const { return ended_; }

  private:
    friend class Window;
    friend void input::timerDue(Runtime&) noexcept;
    friend void input::endOfSession(Runtime&) noexcept;
    friend void input::sessionMayEnd(Runtime&) noexcept;
    friend void input::screenVisibility(Runtime&, bool) noexcept;

    void endSession();
    void saveSession();
    void startupClosed();
    void windowOpened(Window* w) { open_.push_back(w); }
    void windowClosed(Window* w) { std::erase(open_, w); }

    Backend& backend_;
    HandlerGuard& guard_;
    TimerScheduler scheduler_;
    Window* startup_ = nullptr;
    std::vector<Window*> open_;  // loaded windows, oldest first
    bool ended_ = false;
};

}  // namespace qv
