// The files a save writes whole: the settings file itself, and the copies of a file that a save
// leaves lines out of.

#include "platform/posix/ini_settings.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <system_error>

#include "platform/posix/posix_file.h"

namespace qv::posix {

namespace {

// settings.ini.bad, then settings.ini.bad.1 to .bad.4, newest first.
constexpr int kBadCopies = 5;

std::string badSuffix(int slot) {
    return slot == 0 ? ".bad" : ".bad." + std::to_string(slot);
}

SaveResult failed(const std::string& what, int err) {
    return {false, what + ": " + std::generic_category().message(err)};
}

bool taken(int folder, const std::string& name) {
    struct stat st {};
    return ::fstatat(folder, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 || errno != ENOENT;
}

// Whether the plain file `name` holds exactly `bytes`; a link is never followed.
bool holds(int folder, const std::string& name, std::string_view bytes) {
    const Fd fd(retryOnEintr([&] {
        return ::openat(folder, name.c_str(),
                        O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY);
    }));
    struct stat st {};
    if (fd.get() < 0 || ::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode) ||
        static_cast<std::size_t>(st.st_size) != bytes.size())
        return false;
    std::string found(bytes.size(), '\0');
    std::size_t size = 0;
    while (size < found.size()) {
        const ssize_t n = retryOnEintr(
            [&] { return ::read(fd.get(), found.data() + size, found.size() - size); });
        if (n <= 0) return false;
        size += static_cast<std::size_t>(n);
    }
    return found == bytes;
}

}  // namespace

SaveResult IniSettingsBackend::keepCopy(const StoreFile& file, std::string_view bytes,
                                        const FileMode& mode, std::string& dropped) {
    const StoreFile newest{file.folder, file.name + badSuffix(0), file.shown + badSuffix(0)};
    if (holds(file.folder, newest.name, bytes)) return {};  // kept already
    // The new copy is on the disk before any earlier one moves or goes.
    if (SaveResult r = writeTemp(newest, bytes, mode, IniStep::WriteBackup); !r.ok) return r;
    const std::string newestTemp = newest.name + ".tmp";
    // Earlier copies move one place on, as far as the first free place; when there is none,
    // the oldest goes.
    int free = 0;
    while (free < kBadCopies && taken(file.folder, file.name + badSuffix(free))) ++free;
    if (free == kBadCopies) {
        free = kBadCopies - 1;
        const std::string oldest = file.name + badSuffix(free);
        if (::unlinkat(file.folder, oldest.c_str(), 0) != 0 && errno != ENOENT) {
            const int err = errno;
            ::unlinkat(file.folder, newestTemp.c_str(), 0);
            return failed("cannot remove " + file.shown + badSuffix(free), err);
        }
        dropped = file.shown + badSuffix(free);
    }
    for (int slot = free; slot > 0; --slot) {
        const std::string from = file.name + badSuffix(slot - 1);
        const std::string to = file.name + badSuffix(slot);
        if (::renameat(file.folder, from.c_str(), file.folder, to.c_str()) != 0) {
            const int err = errno;
            ::unlinkat(file.folder, newestTemp.c_str(), 0);
            return failed("cannot move " + file.shown + badSuffix(slot - 1) + " to " + file.shown +
                              badSuffix(slot),
                          err);
        }
    }
    return commitTemp(newest);
}

SaveResult IniSettingsBackend::replace(const StoreFile& file, std::string_view bytes,
                                       const FileMode& mode, IniStep writeStep) {
    if (SaveResult r = writeTemp(file, bytes, mode, writeStep); !r.ok) return r;
    return commitTemp(file);
}

SaveResult IniSettingsBackend::writeTemp(const StoreFile& file, std::string_view bytes,
                                         const FileMode& mode, IniStep writeStep) {
    const std::string temp = file.name + ".tmp";
    const std::string shownTemp = file.shown + ".tmp";
    // A temporary left by a holder that died: ours to remove, since we hold the lock. Made
    // afresh, never through a link planted at its name.
    ::unlinkat(file.folder, temp.c_str(), 0);
    Fd fd(retryOnEintr([&] {
        return ::openat(file.folder, temp.c_str(),
                        O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, mode.bits);
    }));
    if (fd.get() < 0) {
        const int e = errno;
        return failed("cannot create " + shownTemp, e);
    }
    auto abandon = [&](const std::string& what, int e) {
        fd.close();
        ::unlinkat(file.folder, temp.c_str(), 0);
        return failed(what, e);
    };
    // The umask must not narrow an existing file's mode.
    int e = mode.existing && ::fchmod(fd.get(), mode.bits) != 0 ? errno : 0;
    if (e) return abandon("cannot set the mode of " + shownTemp, e);
    e = injected(writeStep);
    if (!e) e = posix::writeAll(fd.get(), bytes);
    if (e) return abandon("cannot write " + shownTemp, e);
    e = injected(IniStep::SyncTemp);
    if (!e && retryOnEintr([&] { return ::fsync(fd.get()); }) != 0) e = errno;
    if (!e) e = fd.close();
    if (e) return abandon("cannot write " + shownTemp, e);
    return {};
}

SaveResult IniSettingsBackend::commitTemp(const StoreFile& file) {
    const std::string temp = file.name + ".tmp";
    int e = injected(IniStep::Rename);
    if (!e && ::renameat(file.folder, temp.c_str(), file.folder, file.name.c_str()) != 0) e = errno;
    if (e) {
        ::unlinkat(file.folder, temp.c_str(), 0);
        return failed("cannot replace " + file.shown, e);
    }
    return {};
}

}  // namespace qv::posix
