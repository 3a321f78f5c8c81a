#include "platform/runtime.h"

#include "platform/handler_guard.h"

namespace qv {

Runtime::Runtime(Platform& platform) : platform_(platform), scheduler_(platform.clock()) {
    scheduler_.setOnScheduleChanged([this] { platform_.wakeAfter(scheduler_.msUntilNextDue()); });
}

Runtime::~Runtime() {
    scheduler_.setOnScheduleChanged(nullptr);
}

int Runtime::run(Window& startup) {
    startup_ = &startup;
    HandlerGuard::instance().run(startup.design().name, [&] { startup.show(); });
    if (!ended_) platform_.runLoop();
    HandlerGuard::instance().flushRepeats();
    return 0;
}

void Runtime::timerWake() {
    scheduler_.runDue();
    platform_.wakeAfter(scheduler_.msUntilNextDue());
}

void Runtime::requestEnd() {
    if (ended_) return;
    // Newest first: a modal window closes (and saves) before the window that owns it.
    while (!open_.empty()) {
        Window* w = open_.back();
        HandlerGuard::instance().run("end of session", [&] { w->close(); });
        if (!open_.empty() && open_.back() == w) open_.pop_back();  // its unload failed
    }
    if (!ended_) startupClosed();
}

void Runtime::startupClosed() {
    ended_ = true;
    platform_.wakeAfter(std::nullopt);
    platform_.quit();
}

}  // namespace qv
