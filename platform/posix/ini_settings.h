#pragma once
// The Linux settings store: $XDG_CONFIG_HOME/<application>/settings.ini, one "[section]" group
// per executable name, one "key=value" line per key (see ini_document.h).
//
// Reads take no lock: a save never changes the file in place but renames a complete new file
// over it, so a reader sees the old file or the new one. Saves are read-modify-write of one key
// under an exclusive flock() on "settings.ini.lock" beside the file, so copies of the program
// saving at the same moment never lose each other's keys. The kernel drops the lock of a holder
// that dies.
//
// A save never follows a link planted at the lock's or the temporary file's name, and never
// writes into a folder that someone else could plant such links in; settings.ini itself may be
// a link, which the save keeps. Everything inside the folder is reached through its descriptor,
// so the folder checked is the folder written.
//
// A save waits for the lock at most lockTimeout, chosen so that a healthy holder on a slow,
// busy disk never outlasts it; saves run on the user-interface thread, so it is also how long a
// save can hold up the window. A save refused at the bound says whether one holder never let go
// or other copies kept the lock busy: every holder bumps a count in the lock file, which stands
// still under a hung holder. The next save meeting the same hung holder is refused at once.

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/posix/posix_file.h"
#include "platform/settings_backend.h"

namespace qv::posix {

// The steps of a save, for tests that make one of them fail.
enum class IniStep { CreateFolder, Lock, ReadStore, WriteBackup, WriteTemp, SyncTemp, Rename };

// Far beyond what healthy holders take: beside a disk writing gigabytes one copy's save took up
// to 0.6 s here and eight copies saving at once waited up to about 2 s (bench/settings-saves); a
// rotating disk or a USB stick syncs several times slower still.
inline constexpr std::chrono::milliseconds kIniLockTimeoutMs{10000};

struct IniSettingsOptions {
    // The folder that holds the application folders. Empty: userConfigHome(), looked up anew at
    // every read and save.
    std::string configHome;
    // How long a save waits for the lock at most.
    std::chrono::milliseconds lockTimeout{kIniLockTimeoutMs};
    // Called before each step of a save; a non-zero errno makes the step fail as if the OS had
    // refused it. For tests of failures that root cannot otherwise meet (a full disk).
    std::function<int(IniStep)> fault;
};

class IniSettingsBackend : public SettingsBackend {
  public:
    // What cannot be read, and a folder it will not save into, are reported through `guard`.
    explicit IniSettingsBackend(HandlerGuard& guard, IniSettingsOptions options = {});

    std::optional<std::string> read(std::string_view application, std::string_view section,
                                    std::string_view key) override;
    SaveResult save(std::string_view application, std::string_view section, std::string_view key,
                    std::string_view value) override;

    // The settings file of `application`; std::nullopt, with the reason in `why`, when there is
    // no home folder or the name cannot be a folder's.
    std::optional<std::string> storePath(std::string_view application,
                                         std::string* why = nullptr) const;

  private:
    // The mode a written file gets: an existing file's own, else what the umask leaves of 0666.
    struct FileMode {
        unsigned bits = 0666;
        bool existing = true;
    };

    // A file of the store, reached through its open folder, and its path as messages name it.
    struct StoreFile {
        int folder = -1;
        std::string name;
        std::string shown;
    };

    // The stages of a save: open the store's folder and check that no one else can plant links
    // in it, wait for the lock beside the file, read the file and change one key, and replace
    // the file (or its backup) whole.
    SaveResult openTrustedFolder(const std::string& folder, posix::Fd& out);
    SaveResult lock(int folder, const std::string& lockPath, posix::Fd& held);
    SaveResult lockOutcome(int err, const std::string& lockPath, std::uint64_t count,
                           bool sameHungHolder);
    SaveResult write(const StoreFile& target, std::string_view section, std::string_view key,
                     std::string_view value);
    SaveResult replace(const StoreFile& file, std::string_view bytes, const FileMode& mode,
                       IniStep writeStep);
    int injected(IniStep step) const { return options_.fault ? options_.fault(step) : 0; }

    HandlerGuard& guard_;
    IniSettingsOptions options_;
    // The lock that the last save gave up on, and its count of hand-overs then.
    struct HungHolder {
        std::string lockPath;
        std::uint64_t count = 0;
    };
    std::optional<HungHolder> hungHolder_;
};

// The section of the running program: the file name of /proc/self/exe without extension. The
// " (deleted)" that the kernel appends once the file has been replaced or removed is not part
// of it.
class ProcSelfExeSection : public SectionSource {
  public:
    std::string sectionName() const override;
};

// The section for an executable at `path`: its file name without directory and extension.
std::string sectionForExecutable(std::string_view path);

std::unique_ptr<SettingsBackend> makeIniSettingsBackend(HandlerGuard& guard);
std::unique_ptr<SectionSource> makeProcSelfExeSection();

}  // namespace qv::posix
