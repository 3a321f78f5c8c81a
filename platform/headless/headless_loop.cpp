#include "platform/headless/headless_loop.h"

namespace qv::headless {

int HeadlessLoop::advance(std::int64_t ms) {
    const std::int64_t end = clock_.nowMs() + ms;
    int wakeUps = 0;
    for (;;) {
        const auto wait = scheduler_.msUntilNextDue();
        if (!wait || clock_.nowMs() + *wait > end) break;
        clock_.advance(*wait);
        scheduler_.runDue();
        ++wakeUps;
    }
    if (clock_.nowMs() < end) clock_.advance(end - clock_.nowMs());
    return wakeUps;
}

}  // namespace qv::headless
