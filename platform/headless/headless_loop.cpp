#include "platform/headless/headless_loop.h"

namespace qv {

void HeadlessLoop::advance(std::int64_t ms) {
    const std::int64_t end = clock_.nowMs() + ms;
    for (;;) {
        const auto wait = scheduler_.msUntilNextDue();
        if (!wait || clock_.nowMs() + *wait > end) break;
        clock_.advance(*wait);
        scheduler_.runDue();
    }
    if (clock_.nowMs() < end) clock_.advance(end - clock_.nowMs());
}

}  // namespace qv
