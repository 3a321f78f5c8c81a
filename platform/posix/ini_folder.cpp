#include "platform/posix/ini_folder.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <optional>
#include <vector>

#include "platform/posix/ini_settings.h"
#include "platform/posix/posix_file.h"

namespace qv {

namespace posix {

namespace {
constexpr int kMaxLinkHops = 40;
}  // namespace

std::string folderOf(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == 0 ? "/" : path.substr(0, slash);
}

int resolveLinks(std::string path, std::string& out) {
    for (int hop = 0; hop < kMaxLinkHops; ++hop) {
        struct stat st {};
        if (::lstat(path.c_str(), &st) != 0) {
            if (errno != ENOENT) return errno;
            out = path;
            return 0;
        }
        if (!S_ISLNK(st.st_mode)) {
            out = path;
            return 0;
        }
        std::vector<char> buf(256);
        for (;;) {
            const ssize_t n = ::readlink(path.c_str(), buf.data(), buf.size());
            if (n < 0) return errno;
            if (static_cast<std::size_t>(n) < buf.size()) {
                const std::string target(buf.data(), static_cast<std::size_t>(n));
                path = !target.empty() && target.front() == '/' ? target
                                                                : folderOf(path) + "/" + target;
                break;
            }
            buf.resize(buf.size() * 2);
        }
    }
    return ELOOP;
}

int makeFolders(const std::string& folder) {
    struct stat st {};
    if (::stat(folder.c_str(), &st) == 0) return S_ISDIR(st.st_mode) ? 0 : ENOTDIR;
    if (errno != ENOENT) return errno;
    const std::string parent = folderOf(folder);
    if (parent != folder) {
        if (const int err = makeFolders(parent)) return err;
    }
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) return errno;
    if (::stat(folder.c_str(), &st) != 0) return errno;
    return S_ISDIR(st.st_mode) ? 0 : ENOTDIR;
}

int syncFolder(const std::string& folder) {
    Fd fd(retryOnEintr([&] { return ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); }));
    if (fd.get() < 0) return errno;
    // NOTE: some file systems cannot sync a directory and say EINVAL; the rename stands anyway.
    if (::fsync(fd.get()) != 0 && errno != EINVAL) return errno;
    return 0;
}

std::string withoutTrailingSlashes(std::string path) {
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    return path;
}

}  // namespace posix

std::optional<std::string> userConfigHome() {
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && xdg[0] == '/')
        return posix::withoutTrailingSlashes(xdg);
    if (const char* home = std::getenv("HOME"); home && home[0] == '/')
        return posix::withoutTrailingSlashes(home) + "/.config";
    long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buf(size > 0 ? static_cast<std::size_t>(size) : 16384);
    for (;;) {
        struct passwd pw {};
        struct passwd* found = nullptr;
        const int err = ::getpwuid_r(::getuid(), &pw, buf.data(), buf.size(), &found);
        if (err == ERANGE && buf.size() < (1u << 20)) {
            buf.resize(buf.size() * 2);
            continue;
        }
        if (err != 0 || !found || !pw.pw_dir || pw.pw_dir[0] != '/') return std::nullopt;
        return posix::withoutTrailingSlashes(pw.pw_dir) + "/.config";
    }
}

}  // namespace qv
