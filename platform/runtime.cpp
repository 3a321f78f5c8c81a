#include "platform/runtime.h"

#include <string>

#include "platform/program_identity.h"
#include "platform/window.h"

namespace qv {

Runtime::Runtime(Backend& backend, HandlerGuard& guard)
    : backend_(backend),
      guard_(guard),
      scheduler_(guard, [&backend] { return backend.monotonicMs(); }) {
    scheduler_.setOnScheduleChanged([this] { backend_.wakeAfter(scheduler_.msUntilNextDue()); });
    backend_.connect(*this);
}

Runtime::~Runtime() {
    backend_.disconnect();
    scheduler_.setOnScheduleChanged(nullptr);
}

int Runtime::run(Window& startup) {
    start(startup);
    if (!ended_ && !startup.shown()) {
        // Never run on without a window: nothing could end the program then.
        guard_.say(std::string(kProgramName) + ": the window " +
                   std::string(startup.design().name) + " cannot be shown; ending");
        return 1;
    }
    if (!ended_) backend_.runLoop();
    guard_.flushRepeats();
    return 0;
}

void Runtime::start(Window& startup) {
    startup_ = &startup;
    guard_.run(startup.design().name, [&] { startup.show(); });
}

void Runtime::endSession() {
    if (ended_) return;
    // Newest first: a modal window closes (and saves) before the window that owns it.
    while (!open_.empty()) {
        Window* w = open_.back();
        guard_.run("end of session", [&] { w->close(); });
        if (!open_.empty() && open_.back() == w) open_.pop_back();  // its unload failed
    }
    if (!ended_) startupClosed();
}

void Runtime::saveSession() {
    for (Window* w : open_) w->saveForSession();
}

void Runtime::startupClosed() {
    ended_ = true;
    backend_.wakeAfter(std::nullopt);
    backend_.quit();
}

namespace input {

void timerDue(Runtime& runtime) noexcept {
    runtime.guard_.run("timers", [&] {
        runtime.scheduler_.runDue();
        runtime.backend_.wakeAfter(runtime.scheduler_.msUntilNextDue());
    });
}

void sessionMayEnd(Runtime& runtime) noexcept {
    runtime.guard_.run("end of session", [&] { runtime.saveSession(); });
}

void endOfSession(Runtime& runtime) noexcept {
    runtime.guard_.run("end of session", [&] { runtime.endSession(); });
}

void screenVisibility(Runtime& runtime, bool visible) noexcept {
    runtime.guard_.run("screen", [&] {
        // The timers' pass comes first, so that a title it refreshes is pushed once, fresh.
        runtime.scheduler_.setScreenVisible(visible);
        if (!visible) return;
        for (Window* w : runtime.open_)
            if (w->captionHeld_) w->pushCaption();
    });
}

}  // namespace input

}  // namespace qv
