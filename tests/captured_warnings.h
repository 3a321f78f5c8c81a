#pragma once
// What the handler guard reports while a test runs: the guard starts afresh, its lines gather
// here, and the test leaves the guard as it found a fresh one.

#include <string>
#include <string_view>
#include <vector>

#include "platform/handler_guard.h"

namespace qv::test {

class CapturedWarnings {
  public:
    CapturedWarnings() {
        HandlerGuard::instance().clear();
        HandlerGuard::instance().setExtraSink(
            [this](std::string_view l) { lines.emplace_back(l); });
    }
    ~CapturedWarnings() { HandlerGuard::instance().clear(); }
    CapturedWarnings(const CapturedWarnings&) = delete;
    CapturedWarnings& operator=(const CapturedWarnings&) = delete;

    std::vector<std::string> lines;
};

}  // namespace qv::test
