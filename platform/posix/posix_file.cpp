#include "platform/posix/posix_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

namespace qv::posix {

Fd::~Fd() {
    if (fd_ >= 0) ::close(fd_);
}

void Fd::reset(int fd) {
    close();
    fd_ = fd;
}

int Fd::close() {
    const int fd = fd_;
    fd_ = -1;
    return fd >= 0 && ::close(fd) != 0 ? errno : 0;
}

int readWholeFile(const std::string& path, std::string& out, std::size_t maxBytes) {
    return readWholeFileAt(AT_FDCWD, path, out, maxBytes);
}

int readWholeFileAt(int folder, const std::string& path, std::string& out, std::size_t maxBytes) {
    Fd fd(retryOnEintr([&] {
        return ::openat(folder, path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    }));
    if (fd.get() < 0) return errno;
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0) return errno;
    if (S_ISDIR(st.st_mode)) return EISDIR;
    if (!S_ISREG(st.st_mode)) return EINVAL;
    if (static_cast<std::size_t>(st.st_size) > maxBytes) return EFBIG;
    // Read straight into `out`, a byte more than the size seen: a file that grows meanwhile shows.
    std::size_t size = 0;
    out.resize(static_cast<std::size_t>(st.st_size) + 1);
    for (;;) {
        if (size == out.size()) out.resize(std::min(out.size() * 2, maxBytes + 1));
        const ssize_t n =
            retryOnEintr([&] { return ::read(fd.get(), out.data() + size, out.size() - size); });
        if (n < 0) return errno;
        if (n == 0) break;
        size += static_cast<std::size_t>(n);
        if (size > maxBytes) return EFBIG;
    }
    out.resize(size);
    return 0;
}

int writeAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = retryOnEintr([&] { return ::write(fd, bytes.data(), bytes.size()); });
        if (n < 0) return errno;
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return 0;
}

}  // namespace qv::posix
