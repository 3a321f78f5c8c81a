#include "platform/posix/ini_folder.h"

#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <optional>
#include <vector>

#include "platform/posix/posix_file.h"

namespace qv::posix {

namespace {
constexpr int kMaxLinkHops = 40;
}  // namespace

std::string folderOf(const std::string& path) {
    const auto slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string fileNameOf(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

int resolveLinks(int folder, std::string path, std::string& out) {
    for (int hop = 0; hop < kMaxLinkHops; ++hop) {
        struct stat st {};
        if (::fstatat(folder, path.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
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
            const ssize_t n = ::readlinkat(folder, path.c_str(), buf.data(), buf.size());
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

int openFolder(int at, const std::string& path, Fd& out) {
    out.reset(retryOnEintr(
        [&] { return ::openat(at, path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); }));
    return out.get() < 0 ? errno : 0;
}

int syncFolder(int folder) {
    // NOTE: some file systems cannot sync a directory and say EINVAL; the rename stands anyway.
    if (::fsync(folder) != 0 && errno != EINVAL) return errno;
    return 0;
}

namespace {

// The user's own name, for telling the user from the other members of a group.
std::string userName(uid_t uid) {
    std::vector<char> buf(16384);
    struct passwd pw {};
    struct passwd* found = nullptr;
    if (::getpwuid_r(uid, &pw, buf.data(), buf.size(), &found) != 0 || !found) return {};
    return pw.pw_name;
}

// Whether anyone but `uid` belongs to group `gid`: as a listed member, or by having it as the
// primary group. Debian's user-private groups have the user alone.
bool groupHasOthers(gid_t gid, uid_t uid, std::string& groupName) {
    const std::string self = userName(uid);
    std::vector<char> buf(65536);
    struct group gr {};
    struct group* found = nullptr;
    groupName = std::to_string(gid);
    if (::getgrgid_r(gid, &gr, buf.data(), buf.size(), &found) == 0 && found) {
        groupName = gr.gr_name;
        for (char** m = gr.gr_mem; m && *m; ++m)
            if (self != *m) return true;
    }
    bool others = false;
    ::setpwent();
    while (const struct passwd* pw = ::getpwent())
        if (pw->pw_gid == gid && pw->pw_uid != uid) others = true;
    ::endpwent();
    return others;
}

}  // namespace

std::string distrustOf(const struct stat& folder) {
    const uid_t uid = ::geteuid();
    if (folder.st_uid != uid)
        return "it belongs to another user (uid " + std::to_string(folder.st_uid) + ")";
    if (folder.st_mode & S_IWOTH) return "every user may write to it";
    std::string group;
    if ((folder.st_mode & S_IWGRP) && groupHasOthers(folder.st_gid, uid, group))
        return "its group " + group + " may write to it and has members other than you";
    return {};
}

std::string withoutTrailingSlashes(std::string path) {
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    return path;
}

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

}  // namespace qv::posix
