#include "platform/posix/posix_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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
    out.clear();
    out.reserve(static_cast<std::size_t>(st.st_size));
    char buf[65536];
    for (;;) {
        const ssize_t n = retryOnEintr([&] { return ::read(fd.get(), buf, sizeof buf); });
        if (n < 0) return errno;
        if (n == 0) return 0;
        out.append(buf, static_cast<std::size_t>(n));
        if (out.size() > maxBytes) return EFBIG;
    }
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
