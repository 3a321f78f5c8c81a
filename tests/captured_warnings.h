#pragma once
// What a handler guard reports while a test runs gathers here, until the test lets go of it.

#include <string>
#include <string_view>
#include <vector>

#include "platform/handler_guard.h"

namespace qv::test {

class CapturedWarnings {
  public:
    explicit CapturedWarnings(HandlerGuard& guard) : guard_(guard) {
        guard_.setExtraSink([this](std::string_view l) { lines.emplace_back(l); });
    }
    ~CapturedWarnings() { guard_.setExtraSink(nullptr); }
    CapturedWarnings(const CapturedWarnings&) = delete;
    CapturedWarnings& operator=(const CapturedWarnings&) = delete;

    std::vector<std::string> lines;

  private:
    HandlerGuard& guard_;
};

}  // namespace qv::test
