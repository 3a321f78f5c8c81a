#include "platform/handler_guard.h"

#include <cstdio>

#include "platform/program_identity.h"

namespace qv {

namespace {
std::string key(std::string_view entry, std::string_view message) {
    std::string k;
    k.append(entry).append(": ").append(message);
    return k;
}
}  // namespace

void HandlerGuard::setExtraSink(Sink sink) {
    extra_ = std::move(sink);
}

void HandlerGuard::report(std::string_view entry, std::string_view message) noexcept {
    try {
        std::string k = key(entry, message);
        auto it = counts_.find(k);
        if (it != counts_.end()) {
            ++it->second;
            return;
        }
        counts_.emplace(k, 1);
        emit(std::string(kProgramName) + ": error in " + k +
             " (reported once; the program goes on)");
    } catch (...) {
        // Out of memory while reporting: nothing sensible is left to do.
    }
}

void HandlerGuard::warnOnce(std::string_view line) noexcept {
    try {
        auto it = warnings_.find(line);
        if (it != warnings_.end()) {
            ++it->second;
            return;
        }
        warnings_.emplace(std::string(line), 1);
        emit(std::string(kProgramName) + ": " + std::string(line));
    } catch (...) {
    }
}

void HandlerGuard::say(std::string_view line) noexcept {
    emit(line);
}

void HandlerGuard::emit(std::string_view line) noexcept {
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fputc('\n', stderr);
    std::fflush(stderr);
    if (extra_) {
        try {
            extra_(line);
        } catch (...) {
        }
    }
}

void HandlerGuard::flushRepeats() {
    for (const auto& [k, n] : counts_)
        if (n > 1)
            emit(std::string(kProgramName) + ": error in " + k + " repeated " + std::to_string(n) +
                 " times");
}

std::size_t HandlerGuard::count(std::string_view entry, std::string_view message) const {
    auto it = counts_.find(key(entry, message));
    return it == counts_.end() ? 0 : it->second;
}

}  // namespace qv
