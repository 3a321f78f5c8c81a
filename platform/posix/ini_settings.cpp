#include "platform/posix/ini_settings.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdint>
#include <system_error>

#include "platform/posix/ini_document.h"
#include "platform/posix/ini_folder.h"
#include "platform/posix/ini_lock.h"
#include "platform/posix/posix_file.h"
#include "platform/program_identity.h"

namespace qv::posix {

namespace {

constexpr std::string_view kFileName = "settings.ini";
// Far beyond any settings file the program writes; a bigger file is not read into memory on the
// user-interface thread.
constexpr std::size_t kMaxFileBytes = 16u << 20;

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

std::string durationText(std::chrono::milliseconds d) {
    const auto ms = static_cast<std::size_t>(d.count());
    return ms % 1000 == 0 ? numberText(ms / 1000) + " s" : numberText(ms) + " ms";
}

}  // namespace

IniSettingsBackend::IniSettingsBackend(HandlerGuard& guard, IniSettingsOptions options)
    : guard_(guard), options_(std::move(options)) {}

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
        warnAboutSettings(guard_, "cannot read the settings: " + why + "; the defaults apply");
        return std::nullopt;
    }
    std::string bytes;
    if (const int err = posix::readWholeFile(*path, bytes, kMaxFileBytes)) {
        if (err != ENOENT)  // no file yet: every key is absent
            warnAboutSettings(
                guard_, "cannot read " + *path + ": " + errorText(err) + "; the defaults apply");
        return std::nullopt;
    }
    const ini::Document doc = ini::Document::parse(bytes);
    if (const std::size_t bad = doc.unreadableLines()) {
        warnAboutSettings(guard_, *path + ": ignoring " + linesText(bad) +
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

SaveResult IniSettingsBackend::openTrustedFolder(const std::string& folder, Fd& out) {
    int err = injected(IniStep::CreateFolder);
    if (!err) err = makeFolders(folder);
    if (!err) err = posix::openFolder(AT_FDCWD, folder, out);
    if (err) return failed("cannot create the folder " + folder, err);
    struct stat st {};
    if (::fstat(out.get(), &st) != 0) {
        err = errno;
        return failed("cannot examine the folder " + folder, err);
    }
    const std::string why = posix::distrustOf(st);
    if (why.empty()) return {};
    const std::string line =
        "not saving into " + folder + ": " + why + " (the settings are still read from it)";
    warnAboutSettings(guard_, line);
    return {false, line, true};
}

SaveResult IniSettingsBackend::lock(int folder, const std::string& lockPath, Fd& held) {
    // Nothing writes unless this lock is held, and the kernel frees it if we die. A link planted
    // at its name is never followed: the count written into it would land in the link's target.
    const std::string name = posix::fileNameOf(lockPath);
    held.reset(retryOnEintr([&] {
        return ::openat(folder, name.c_str(),
                        O_RDWR | O_CREAT | O_CLOEXEC | O_NOCTTY | O_NOFOLLOW | O_NONBLOCK, 0600);
    }));
    struct stat st {};
    // A second name for the file (a hard link) would lead the count into another file too.
    if (held.get() >= 0 &&
        (::fstat(held.get(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_nlink != 1)) {
        held.close();
        errno = ELOOP;
    }
    if (held.get() < 0) {
        const int err = errno;  // before building the message, which may allocate
        if (err != ELOOP) return failed("cannot open the lock file " + lockPath, err);
        const std::string line = "not saving: the lock file " + lockPath +
                                 " is a link or not a plain file; remove it to save again";
        warnAboutSettings(guard_, line);
        return {false, line, true};
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
    return lockOutcome(err, lockPath, count, sameHungHolder);
}

SaveResult IniSettingsBackend::lockOutcome(int err, const std::string& lockPath,
                                           std::uint64_t count, bool sameHungHolder) {
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

SaveResult IniSettingsBackend::replace(const StoreFile& file, std::string_view bytes,
                                       const FileMode& mode, IniStep writeStep) {
    // Written through a temporary file in the same folder: the rename swaps whole files, so a
    // crash at any moment leaves the old file or the new one.
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
    e = injected(IniStep::Rename);
    if (!e && ::renameat(file.folder, temp.c_str(), file.folder, file.name.c_str()) != 0) e = errno;
    if (e) {
        ::unlinkat(file.folder, temp.c_str(), 0);
        return failed("cannot replace " + file.shown, e);
    }
    return {};
}

SaveResult IniSettingsBackend::write(const StoreFile& target, std::string_view section,
                                     std::string_view key, std::string_view value) {
    // Read under the lock: another copy's save that finished a moment ago is kept.
    std::string old;
    FileMode mode;
    int err = injected(IniStep::ReadStore);
    if (!err) err = posix::readWholeFileAt(target.folder, target.name, old, kMaxFileBytes);
    if (err == ENOENT) {
        mode.existing = false;
        old.clear();
    } else if (err) {
        // What cannot be read must not be written over.
        return failed("cannot read " + target.shown, err);
    }
    struct stat st {};
    if (mode.existing && ::fstatat(target.folder, target.name.c_str(), &st, 0) == 0)
        mode.bits = st.st_mode & 07777;

    ini::Document doc = ini::Document::parse(old);
    if (const std::size_t bad = doc.unreadableLines()) {
        // Keep the whole file beside it before leaving out what cannot be read.
        const StoreFile backup{target.folder, target.name + ".bad", target.shown + ".bad"};
        if (SaveResult r = replace(backup, old, mode, IniStep::WriteBackup); !r.ok) return r;
        warnAboutSettings(guard_, target.shown + ": leaving out " + linesText(bad) +
                                      " that cannot be read; the file as it was is kept in " +
                                      backup.shown);
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
    Fd folderFd;
    if (SaveResult r = openTrustedFolder(folder, folderFd); !r.ok) return r;

    // settings.ini may be a link, relative (to the folder) or absolute; the save replaces its
    // target, in the target's own folder.
    std::string target;
    if (const int err = resolveLinks(folderFd.get(), std::string(kFileName), target))
        return failed("cannot follow the link " + *path, err);
    const std::string targetFolder = folderOf(target);
    const std::string shownFolder = targetFolder == "."           ? folder
                                    : targetFolder.front() == '/' ? targetFolder
                                                                  : folder + "/" + targetFolder;
    Fd targetFd;
    if (const int err = posix::openFolder(folderFd.get(), targetFolder, targetFd))
        return failed("cannot open the folder " + shownFolder, err);
    const std::string name = posix::fileNameOf(target);
    const StoreFile file{targetFd.get(), name, shownFolder + "/" + name};

    // The lock stays beside settings.ini even when that is a link, where every copy of the
    // program looks for it.
    Fd held;
    if (SaveResult r = lock(folderFd.get(), *path + ".lock", held); !r.ok) return r;
    if (SaveResult r = write(file, section, key, value); !r.ok) return r;
    // The next copy may read the file as soon as it is renamed; only this save's own return
    // waits for the folder to reach the disk.
    held.close();
    if (const int err = syncFolder(targetFd.get()))
        return failed("cannot sync the folder " + shownFolder, err);
    return {};
}

std::unique_ptr<SettingsBackend> makeIniSettingsBackend(HandlerGuard& guard) {
    return std::make_unique<IniSettingsBackend>(guard);
}

}  // namespace qv::posix
