#pragma once
// Every entry from a backend into a window's handler passes this guard: an error that escapes a
// handler is reported once (then only counted) and the program goes on. No exception ever
// crosses a platform callback. The program's entry point makes the one guard first and hands it
// to the platform and the runtime, which hand it on; a test makes its own.

#include <cstddef>
#include <exception>
#include <functional>
#include <map>
#include <string>
#include <string_view>

namespace qv {

class HandlerGuard {
  public:
    using Sink = std::function<void(std::string_view line)>;

    HandlerGuard() = default;
    HandlerGuard(const HandlerGuard&) = delete;
    HandlerGuard& operator=(const HandlerGuard&) = delete;

    // Runs `handler`; an exception it throws is reported and swallowed.
    template <class F>
    void run(std::string_view entry, F&& handler) noexcept {
        try {
            handler();
        } catch (const std::exception& e) {
            report(entry, e.what());
        } catch (...) {
            report(entry, "unknown error");
        }
    }

    // Reports a problem that is not an error in a handler (a stored value that cannot be used,
    // a save that failed): once per distinct text, to the same places as errors.
    void warnOnce(std::string_view line) noexcept;

    // Writes one line to the error stream and the extra sink, as it stands.
    void say(std::string_view line) noexcept;

    // Where reports go besides the error stream (the Windows backend adds the debugger output,
    // since a GUI program has no console). Tests capture reports here too.
    void setExtraSink(Sink sink);
    // Writes "repeated N times" lines for errors seen more than once; called at exit.
    void flushRepeats();

    // How often this exact error has been seen.
    std::size_t count(std::string_view entry, std::string_view message) const;
    std::size_t distinctErrors() const { return counts_.size(); }

  private:
    void report(std::string_view entry, std::string_view message) noexcept;
    void emit(std::string_view line) noexcept;

    std::map<std::string, std::size_t, std::less<>> counts_;
    std::map<std::string, std::size_t, std::less<>> warnings_;
    Sink extra_;
};

}  // namespace qv
