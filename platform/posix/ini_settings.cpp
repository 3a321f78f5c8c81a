#include "platform/posix/ini_settings.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <system_error>
#include <thread>
#include <vector>

#include "platform/posix/ini_document.h"

namespace qv {

namespace {

constexpr std::string_view kFileName = "settings.ini";
constexpr std::string_view kReportPrefix = "qv-tickspan: settings: ";
// Far beyond any settings file the program writes; a bigger file is not read into memory on the
// user-interface thread.
constexpr std::size_t kMaxFileBytes = 16u << 20;
constexpr int kMaxLinkHops = 40;
// The longest pause between two tries of a held lock.
constexpr std::chrono::microseconds kLockPollMaxUs{500};

std::string errorText(int err) {
    return std::generic_category().message(err);
}

std::string numberText(std::size_t n) {
    char buf[24];
    return std::string(buf, std::to_chars(buf, buf + sizeof buf, n).ptr);
}

std::string linesText(std::size_t n) {
    return numberText(n) + (n == 1 ? " line" : " lines");
}

// Closes a descriptor when it goes out of scope.
class Fd {
  public:
    explicit Fd(int fd = -1) : fd_(fd) {}
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    ~Fd() {
        if (fd_ >= 0) ::close(fd_);
    }
    int get() const { return fd_; }
    // Closes now, returning the errno of a failed close (a late write error) or 0.
    int close() {
        const int fd = fd_;
        fd_ = -1;
        return fd >= 0 && ::close(fd) != 0 ? errno : 0;
    }

  private:
    int fd_;
};

std::string folderOf(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == 0 ? "/" : path.substr(0, slash);
}

// Reads a whole regular file. 0, or the errno of the failure.
int readFile(const std::string& path, std::string& out) {
    // O_NONBLOCK: a FIFO planted under the file's name must not hang the user interface.
    Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
    if (fd.get() < 0) return errno;
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0) return errno;
    if (S_ISDIR(st.st_mode)) return EISDIR;
    if (!S_ISREG(st.st_mode)) return EINVAL;
    if (static_cast<std::size_t>(st.st_size) > kMaxFileBytes) return EFBIG;
    out.clear();
    out.reserve(static_cast<std::size_t>(st.st_size));
    char buf[65536];
    for (;;) {
        const ssize_t n = ::read(fd.get(), buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return errno;
        if (n == 0) return 0;
        out.append(buf, static_cast<std::size_t>(n));
        if (out.size() > kMaxFileBytes) return EFBIG;
    }
}

int writeAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return errno;
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return 0;
}

// The file that a save replaces: `path` itself or, when it is a symbolic link, the end of its
// chain of links, which need not exist yet. Replacing the target keeps the link a link.
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

// mkdir -p for the store's folder; new folders are private to the user, as XDG asks.
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

// Every holder of the lock bumps a count kept in the lock file, so that a waiter that gives up
// can tell a lock busy with other copies (the count moved) from one holder that never let go
// (the count stood still).
std::uint64_t handOvers(int fd) {
    char buf[32];
    const ssize_t n = ::pread(fd, buf, sizeof buf, 0);
    std::uint64_t count = 0;
    if (n > 0) std::from_chars(buf, buf + n, count);
    return count;
}

void countHandOver(int fd) {
    char buf[24];
    auto r = std::to_chars(buf, buf + 20, handOvers(fd) + 1);
    const std::size_t digits = static_cast<std::size_t>(r.ptr - buf);
    // Fixed width: each count overwrites the whole previous one.
    std::memmove(buf + 20 - digits, buf, digits);
    std::memset(buf, '0', 20 - digits);
    buf[20] = '\n';
    if (::pwrite(fd, buf, 21, 0) != 21) {
        // A count not kept only words a later refusal less precisely; the save itself goes on.
    }
}

// Takes an exclusive flock(), waiting at most `bound`. 0 once held; EWOULDBLOCK when it is still
// held at the bound and the count of hand-overs stood still (one holder never let go), EBUSY
// when it moved (the lock went from copy to copy, never to us); else flock()'s errno.
//
// A holder that is merely slow (a sync on a busy disk) does not bump the count while it works,
// so nothing short of the bound tells it from a hung one: the wait never gives up earlier.
int lockWithin(int fd, std::chrono::milliseconds bound, std::uint64_t& countAtStart) {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + bound;
    countAtStart = handOvers(fd);
    std::chrono::microseconds pause{50};
    for (;;) {
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
            countHandOver(fd);
            return 0;
        }
        if (errno == EINTR) continue;
        if (errno != EWOULDBLOCK) return errno;
        const auto now = Clock::now();
        if (now >= deadline) return handOvers(fd) == countAtStart ? EWOULDBLOCK : EBUSY;
        std::this_thread::sleep_for(std::min<Clock::duration>(pause, deadline - now));
        pause = std::min(pause * 2, kLockPollMaxUs);
    }
}

std::string durationText(std::chrono::milliseconds d) {
    const auto ms = static_cast<std::size_t>(d.count());
    return ms % 1000 == 0 ? numberText(ms / 1000) + " s" : numberText(ms) + " ms";
}

int syncFolder(const std::string& folder) {
    Fd fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd.get() < 0) return errno;
    // NOTE: some file systems cannot sync a directory and say EINVAL; the rename stands anyway.
    if (::fsync(fd.get()) != 0 && errno != EINVAL) return errno;
    return 0;
}

std::string withoutTrailingSlashes(std::string path) {
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    return path;
}

}  // namespace

std::optional<std::string> userConfigHome() {
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && xdg[0] == '/')
        return withoutTrailingSlashes(xdg);
    if (const char* home = std::getenv("HOME"); home && home[0] == '/')
        return withoutTrailingSlashes(home) + "/.config";
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
        return withoutTrailingSlashes(pw.pw_dir) + "/.config";
    }
}

IniSettingsBackend::IniSettingsBackend(IniSettingsOptions options) : options_(std::move(options)) {}

std::optional<std::string> IniSettingsBackend::storePath(std::string_view application,
                                                         std::string* why) const {
    if (application.empty() || application == "." || application == ".." ||
        application.find_first_of(std::string_view("/\0", 2)) != std::string_view::npos) {
        if (why)
            *why = "the application name \"" + std::string(application) + "\" cannot name a folder";
        return std::nullopt;
    }
    std::optional<std::string> home;
    if (!options_.configHome.empty())
        home = withoutTrailingSlashes(options_.configHome);
    else
        home = userConfigHome();
    if (!home) {
        if (why)
            *why =
                "no home folder is known (HOME is not set and the user has no entry in "
                "the password database)";
        return std::nullopt;
    }
    std::string path = *home;
    if (path != "/") path += '/';
    path.append(application).append("/").append(kFileName);
    return path;
}

void IniSettingsBackend::reportOnce(std::string line) {
    if (reported_.count(line) != 0) return;
    if (options_.report) options_.report(line);
    reported_.insert(std::move(line));
}

std::optional<std::string> IniSettingsBackend::read(std::string_view application,
                                                    std::string_view section,
                                                    std::string_view key) {
    std::string why;
    const auto path = storePath(application, &why);
    if (!path) {
        reportOnce(std::string(kReportPrefix) + "cannot read the settings: " + why +
                   "; the defaults apply");
        return std::nullopt;
    }
    std::string bytes;
    if (const int err = readFile(*path, bytes)) {
        if (err != ENOENT)  // no file yet: every key is absent
            reportOnce(std::string(kReportPrefix) + "cannot read " + *path + ": " + errorText(err) +
                       "; the defaults apply");
        return std::nullopt;
    }
    const ini::Document doc = ini::Document::parse(bytes);
    if (const std::size_t bad = doc.unreadableLines()) {
        reportOnce(std::string(kReportPrefix) + *path + ": ignoring " + linesText(bad) +
                   " that cannot be read (the first is line " +
                   numberText(doc.firstUnreadableLine()) + ")");
    }
    return doc.find(section, key);
}

SaveResult IniSettingsBackend::save(std::string_view application, std::string_view section,
                                    std::string_view key, std::string_view value) {
    if (key.empty()) return {false, "a settings key cannot be empty"};
    std::string why;
    const auto path = storePath(application, &why);
    if (!path) return {false, why};
    auto failed = [](const std::string& what, int err) {
        return SaveResult{false, what + ": " + errorText(err)};
    };

    const std::string folder = folderOf(*path);
    int err = injected(IniStep::CreateFolder);
    if (!err) err = makeFolders(folder);
    if (err) return failed("cannot create the folder " + folder, err);

    std::string target;
    if ((err = resolveLinks(*path, target))) return failed("cannot follow the link " + *path, err);
    const std::string targetFolder = folderOf(target);

    // Nothing below writes unless this lock is held, and the kernel frees it if we die. It
    // stays beside settings.ini even when that is a link, where every copy of the program
    // looks for it.
    const std::string lockPath = *path + ".lock";
    Fd lock(::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOCTTY, 0600));
    if (lock.get() < 0) {
        err = errno;  // before building the message, which may allocate
        return failed("cannot open the lock file " + lockPath, err);
    }
    // A holder that never let go of the last save's lock and holds it still is not waited for
    // again: a shut-down's four saves would wait four times.
    std::chrono::milliseconds bound = options_.lockTimeout;
    const bool sameHungHolder = hungHolder_ && hungHolder_->lockPath == lockPath &&
                                handOvers(lock.get()) == hungHolder_->count;
    if (sameHungHolder) bound = std::chrono::milliseconds::zero();
    std::uint64_t count = 0;
    err = injected(IniStep::Lock);
    if (!err) err = lockWithin(lock.get(), bound, count);
    const std::string boundText = durationText(options_.lockTimeout);
    if (err == EWOULDBLOCK) {
        hungHolder_ = HungHolder{lockPath, count};
        return {false, sameHungHolder
                           ? "another program still holds " + lockPath + " after more than " +
                                 boundText + " without letting go; the setting was not saved"
                           : "another program has held " + lockPath + " for more than " +
                                 boundText + " without letting go; the setting was not saved"};
    }
    if (err == EBUSY)
        return {false, "other copies of the program kept " + lockPath + " busy for more than " +
                           boundText + "; the setting was not saved"};
    if (err) return failed("cannot lock " + lockPath, err);
    hungHolder_.reset();

    // Read under the lock: another copy's save that finished a moment ago is kept.
    std::string old;
    bool exists = true;
    err = injected(IniStep::ReadStore);
    if (!err) err = readFile(target, old);
    if (err == ENOENT) {
        exists = false;
        old.clear();
    } else if (err) {
        // What cannot be read must not be written over.
        return failed("cannot read " + target, err);
    }
    mode_t mode = 0666;  // a new file: as the umask allows
    struct stat st {};
    if (exists && ::stat(target.c_str(), &st) == 0) mode = st.st_mode & 07777;

    // Writes `bytes` to `file` through a temporary file in the same folder: the rename swaps
    // whole files, so a crash at any moment leaves the old file or the new one.
    auto replace = [&](const std::string& file, std::string_view bytes, IniStep writeStep,
                       bool keepMode) -> SaveResult {
        const std::string temp = file + ".tmp";
        // A temporary left by a holder that died: ours to remove, since we hold the lock.
        ::unlink(temp.c_str());
        Fd fd(::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, mode));
        if (fd.get() < 0) {
            const int e = errno;
            return failed("cannot create " + temp, e);
        }
        auto abandon = [&](const std::string& what, int e) {
            fd.close();
            ::unlink(temp.c_str());
            return failed(what, e);
        };
        int e = keepMode && ::fchmod(fd.get(), mode) != 0 ? errno : 0;
        if (e) return abandon("cannot set the mode of " + temp, e);
        e = injected(writeStep);
        if (!e) e = writeAll(fd.get(), bytes);
        if (e) return abandon("cannot write " + temp, e);
        e = injected(IniStep::SyncTemp);
        if (!e && ::fsync(fd.get()) != 0) e = errno;
        if (!e) e = fd.close();
        if (e) return abandon("cannot write " + temp, e);
        e = injected(IniStep::Rename);
        if (!e && ::rename(temp.c_str(), file.c_str()) != 0) e = errno;
        if (e) {
            ::unlink(temp.c_str());
            return failed("cannot replace " + file, e);
        }
        return {};
    };

    ini::Document doc = ini::Document::parse(old);
    if (const std::size_t bad = doc.unreadableLines()) {
        // Keep the whole file beside it before leaving out what cannot be read.
        const std::string backup = target + ".bad";
        if (SaveResult r = replace(backup, old, IniStep::WriteBackup, exists); !r.ok) return r;
        reportOnce(std::string(kReportPrefix) + target + ": leaving out " + linesText(bad) +
                   " that cannot be read; the file as it was is kept in " + backup);
        doc.dropUnreadable();
    }
    doc.set(section, key, value);
    const std::string bytes = doc.serialize();
    if (exists && bytes == old) return {};  // already stored: spare the disk
    if (SaveResult r = replace(target, bytes, IniStep::WriteTemp, exists); !r.ok) return r;
    // The next copy may read the file as soon as it is renamed; only this save's own return
    // waits for the folder to reach the disk.
    lock.close();
    if ((err = syncFolder(targetFolder)))
        return failed("cannot sync the folder " + targetFolder, err);
    return {};
}

std::unique_ptr<SettingsBackend> makeIniSettingsBackend() {
    return std::make_unique<IniSettingsBackend>();
}

}  // namespace qv
