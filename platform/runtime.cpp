#include "platform/runtime.h"

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

void Runtime::end() {
    ended_ = true;
    backend_.wakeAfter(std::nullopt);
    backend_.quit();
}

namespace input {

void timerDue(Runtime& runtime) noexcept {
    runtime.guard().run("timers", [&] {
        runtime.scheduler().runDue();
        runtime.backend().wakeAfter(runtime.scheduler().msUntilNextDue());
    });
}

}  // namespace input

}  // namespace qv
