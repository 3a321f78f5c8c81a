#pragma once
// Small POSIX file helpers for the settings store: a descriptor that closes itself, a retry of
// calls that a signal interrupts, and whole reads and writes.

#include <cerrno>
#include <cstddef>
#include <string>
#include <string_view>

namespace qv::posix {

// Calls `call` again while it fails with EINTR (a signal arrived meanwhile) and returns its
// last result; errno stays as the call left it.
template <class Call>
auto retryOnEintr(Call&& call) {
    for (;;) {
        auto result = call();
        if (!(result < 0 && errno == EINTR)) return result;
    }
}

// Closes a descriptor when it goes out of scope.
class Fd {
  public:
    explicit Fd(int fd = -1) : fd_(fd) {}
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    ~Fd();
    int get() const { return fd_; }
    // Takes `fd`, closing the one held before.
    void reset(int fd);
    // Closes now, returning the errno of a failed close (a late write error) or 0.
    int close();

  private:
    int fd_;
};

// Reads the whole regular file at `path` into `out`, at most `maxBytes`. 0, or the errno of the
// failure: EISDIR for a folder, EINVAL for anything that is not a regular file (a FIFO planted
// under the name does not hang the caller), EFBIG beyond `maxBytes`.
int readWholeFile(const std::string& path, std::string& out, std::size_t maxBytes);
// The same for `path` relative to the open folder `folder`.
int readWholeFileAt(int folder, const std::string& path, std::string& out, std::size_t maxBytes);

// Writes all of `bytes`. 0, or the errno of the failure.
int writeAll(int fd, std::string_view bytes);

}  // namespace qv::posix
