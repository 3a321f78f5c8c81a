#include "platform/posix/ini_settings.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <system_error>
#include <vector>

#include "platform/posix/ini_document.h"
#include "platform/posix/posix_file.h"
#include "platform/program_identity.h"

namespace qv {

using posix::Fd;
using posix::retryOnEintr;

namespace {

constexpr std::string_view kFileName = "settings.ini";
// Far beyond any settings file the program writes; a bigger file is not read into memory on the
// user-interface thread.
constexpr std::size_t kMaxFileBytes = 16u << 20;
constexpr int kMaxLinkHops = 40;

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

std::string folderOf(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == 0 ? "/" : path.substr(0, slash);
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

// Interrupts a blocking flock() once a wait's time is up: SIGALRM with a handler that does not
// restart the call, so flock() returns EINTR. Everything is put back as it was when it goes.
volatile std::sig_atomic_t gLockWaitExpired = 0;

extern "C" void onLockWaitAlarm(int) {
    gLockWaitExpired = 1;
}

class LockWaitAlarm {
  public:
    explicit LockWaitAlarm(std::chrono::milliseconds after) {
        gLockWaitExpired = 0;
        struct sigaction action {};
        action.sa_handler = onLockWaitAlarm;
        sigemptyset(&action.sa_mask);
        ::sigaction(SIGALRM, &action, &oldAction_);
        itimerval timer{};
        timer.it_value.tv_sec = static_cast<time_t>(after.count() / 1000);
        timer.it_value.tv_usec = static_cast<suseconds_t>(after.count() % 1000 * 1000);
        if (timer.it_value.tv_sec == 0 && timer.it_value.tv_usec == 0) timer.it_value.tv_usec = 1;
        // NOTE: the alarm repeats after the first: one that strikes just before flock() blocks
        // would otherwise leave it blocked for good.
        timer.it_interval.tv_usec = 10000;
        ::setitimer(ITIMER_REAL, &timer, &oldTimer_);
    }
    ~LockWaitAlarm() {
        ::setitimer(ITIMER_REAL, &oldTimer_, nullptr);
        ::sigaction(SIGALRM, &oldAction_, nullptr);
    }
    LockWaitAlarm(const LockWaitAlarm&) = delete;
    LockWaitAlarm& operator=(const LockWaitAlarm&) = delete;

  private:
    struct sigaction oldAction_ {};
    itimerval oldTimer_{};
};

// Takes an exclusive flock(), waiting at most `bound`. 0 once held; EWOULDBLOCK when it is still
// held at the bound and the count of hand-overs stood still (one holder never let go), EBUSY
// when it moved (the lock went from copy to copy, never to us); else flock()'s errno.
//
// A holder that is merely slow (a sync on a busy disk) does not bump the count while it works,
// so nothing short of the bound tells it from a hung one: the wait never gives up earlier. The
// wait blocks in the kernel rather than polling: a waiter is woken the moment the lock is let go,
// so copies saving in quick succession take turns instead of the last holder taking it again.
int lockWithin(int fd, std::chrono::milliseconds bound, std::uint64_t& countAtStart) {
    countAtStart = handOvers(fd);
    auto taken = [&] {
        countHandOver(fd);
        return 0;
    };
    if (retryOnEintr([&] { return ::flock(fd, LOCK_EX | LOCK_NB); }) == 0) return taken();
    if (errno != EWOULDBLOCK) return errno;
    if (bound > std::chrono::milliseconds::zero()) {
        const LockWaitAlarm alarm(bound);
        while (!gLockWaitExpired) {
            if (::flock(fd, LOCK_EX) == 0) return taken();
            if (errno != EINTR) return errno;
        }
    }
    return handOvers(fd) == countAtStart ? EWOULDBLOCK : EBUSY;
}

std::string durationText(std::chrono::milliseconds d) {
    const auto ms = static_cast<std::size_t>(d.count());
    return ms % 1000 == 0 ? numberText(ms / 1000) + " s" : numberText(ms) + " ms";
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

std::optional<std::string> IniSettingsBackend::read(std::string_view application,
                                                    std::string_view section,
                                                    std::string_view key) {
    std::string why;
    const auto path = storePath(application, &why);
    if (!path) {
        warnAboutSettings("cannot read the settings: " + why + "; the defaults apply");
        return std::nullopt;
    }
    std::string bytes;
    if (const int err = posix::readWholeFile(*path, bytes, kMaxFileBytes)) {
        if (err != ENOENT)  // no file yet: every key is absent
            warnAboutSettings("cannot read " + *path + ": " + errorText(err) +
                              "; the defaults apply");
        return std::nullopt;
    }
    const ini::Document doc = ini::Document::parse(bytes);
    if (const std::size_t bad = doc.unreadableLines()) {
        warnAboutSettings(*path + ": ignoring " + linesText(bad) +
                          " that cannot be read (the first is line " +
                          numberText(doc.firstUnreadableLine()) + ")");
    }
    return doc.find(section, key);
}

namespace {

SaveResult failed(const std::string& what, int err) {
    return {false, what + ": " + errorText(err)};
}

}  // namespace

SaveResult IniSettingsBackend::lock(const std::string& lockPath, Fd& held) {
    // Nothing writes unless this lock is held, and the kernel frees it if we die.
    held.reset(retryOnEintr(
        [&] { return ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOCTTY, 0600); }));
    if (held.get() < 0) {
        const int err = errno;  // before building the message, which may allocate
        return failed("cannot open the lock file " + lockPath, err);
    }
    // A holder that never let go of the last save's lock and holds it still is not waited for
    // again: a shut-down's four saves would wait four times.
    std::chrono::milliseconds bound = options_.lockTimeout;
    const bool sameHungHolder = hungHolder_ && hungHolder_->lockPath == lockPath &&
                                handOvers(held.get()) == hungHolder_->count;
    if (sameHungHolder) bound = std::chrono::milliseconds::zero();
    std::uint64_t count = 0;
    int err = injected(IniStep::Lock);
    if (!err) err = lockWithin(held.get(), bound, count);
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
    return {};
}

SaveResult IniSettingsBackend::replace(const std::string& file, std::string_view bytes,
                                       const FileMode& mode, IniStep writeStep) {
    // Written through a temporary file in the same folder: the rename swaps whole files, so a
    // crash at any moment leaves the old file or the new one.
    const std::string temp = file + ".tmp";
    // A temporary left by a holder that died: ours to remove, since we hold the lock.
    ::unlink(temp.c_str());
    Fd fd(retryOnEintr([&] {
        return ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW,
                      mode.bits);
    }));
    if (fd.get() < 0) {
        const int e = errno;
        return failed("cannot create " + temp, e);
    }
    auto abandon = [&](const std::string& what, int e) {
        fd.close();
        ::unlink(temp.c_str());
        return failed(what, e);
    };
    // The umask must not narrow an existing file's mode.
    int e = mode.existing && ::fchmod(fd.get(), mode.bits) != 0 ? errno : 0;
    if (e) return abandon("cannot set the mode of " + temp, e);
    e = injected(writeStep);
    if (!e) e = posix::writeAll(fd.get(), bytes);
    if (e) return abandon("cannot write " + temp, e);
    e = injected(IniStep::SyncTemp);
    if (!e && retryOnEintr([&] { return ::fsync(fd.get()); }) != 0) e = errno;
    if (!e) e = fd.close();
    if (e) return abandon("cannot write " + temp, e);
    e = injected(IniStep::Rename);
    if (!e && ::rename(temp.c_str(), file.c_str()) != 0) e = errno;
    if (e) {
        ::unlink(temp.c_str());
        return failed("cannot replace " + file, e);
    }
    return {};
}

SaveResult IniSettingsBackend::write(const std::string& target, std::string_view section,
                                     std::string_view key, std::string_view value) {
    // Read under the lock: another copy's save that finished a moment ago is kept.
    std::string old;
    FileMode mode;
    int err = injected(IniStep::ReadStore);
    if (!err) err = posix::readWholeFile(target, old, kMaxFileBytes);
    if (err == ENOENT) {
        mode.existing = false;
        old.clear();
    } else if (err) {
        // What cannot be read must not be written over.
        return failed("cannot read " + target, err);
    }
    struct stat st {};
    if (mode.existing && ::stat(target.c_str(), &st) == 0) mode.bits = st.st_mode & 07777;

    ini::Document doc = ini::Document::parse(old);
    if (const std::size_t bad = doc.unreadableLines()) {
        // Keep the whole file beside it before leaving out what cannot be read.
        const std::string backup = target + ".bad";
        if (SaveResult r = replace(backup, old, mode, IniStep::WriteBackup); !r.ok) return r;
        warnAboutSettings(target + ": leaving out " + linesText(bad) +
                          " that cannot be read; the file as it was is kept in " + backup);
        doc.dropUnreadable();
    }
    doc.set(section, key, value);
    const std::string bytes = doc.serialize();
    if (mode.existing && bytes == old) return {};  // already stored: spare the disk
    return replace(target, bytes, mode, IniStep::WriteTemp);
}

SaveResult IniSettingsBackend::save(std::string_view application, std::string_view section,
                                    std::string_view key, std::string_view value) {
    if (key.empty()) return {false, "a settings key cannot be empty"};
    std::string why;
    const auto path = storePath(application, &why);
    if (!path) return {false, why};

    const std::string folder = folderOf(*path);
    int err = injected(IniStep::CreateFolder);
    if (!err) err = makeFolders(folder);
    if (err) return failed("cannot create the folder " + folder, err);

    std::string target;
    if ((err = resolveLinks(*path, target))) return failed("cannot follow the link " + *path, err);

    // The lock stays beside settings.ini even when that is a link, where every copy of the
    // program looks for it.
    Fd held;
    if (SaveResult r = lock(*path + ".lock", held); !r.ok) return r;
    if (SaveResult r = write(target, section, key, value); !r.ok) return r;
    // The next copy may read the file as soon as it is renamed; only this save's own return
    // waits for the folder to reach the disk.
    held.close();
    const std::string targetFolder = folderOf(target);
    if ((err = syncFolder(targetFolder)))
        return failed("cannot sync the folder " + targetFolder, err);
    return {};
}

std::unique_ptr<SettingsBackend> makeIniSettingsBackend() {
    return std::make_unique<IniSettingsBackend>();
}

}  // namespace qv
