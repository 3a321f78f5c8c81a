#pragma once
// The Linux settings store: $XDG_CONFIG_HOME/<application>/settings.ini, one "[section]" group
// per executable name, one "key=value" line per key (see ini_document.h).
//
// Reads take no lock: a save never changes the file in place but renames a complete new file
// over it, so a reader sees the old file or the new one. Saves are read-modify-write of one key
// under an exclusive flock() on "settings.ini.lock" beside the file, so copies of the program
// saving at the same moment never lose each other's keys. The kernel drops the lock of a holder
// that dies. Every holder bumps a count in the lock file, so a waiter tells a lock passed from
// copy to copy from a hung holder: one that keeps it for the lock timeout without the count
// moving makes the save give up (saves run on the user-interface thread).

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>

#include "platform/settings_backend.h"

namespace qv {

// The steps of a save, for tests that make one of them fail.
enum class IniStep { CreateFolder, Lock, ReadStore, WriteBackup, WriteTemp, SyncTemp, Rename };

struct IniSettingsOptions {
    // The folder that holds the application folders. Empty: userConfigHome(), looked up anew at
    // every read and save.
    std::string configHome;
    std::chrono::milliseconds lockTimeout{200};
    SettingsReport report = reportToErrorStream;
    // Called before each step of a save; a non-zero errno makes the step fail as if the OS had
    // refused it. For tests of failures that root cannot otherwise meet (a full disk).
    std::function<int(IniStep)> fault;
};

class IniSettingsBackend : public SettingsBackend {
  public:
    explicit IniSettingsBackend(IniSettingsOptions options = {});

    std::optional<std::string> read(std::string_view application, std::string_view section,
                                    std::string_view key) override;
    SaveResult save(std::string_view application, std::string_view section, std::string_view key,
                    std::string_view value) override;

    // The settings file of `application`; std::nullopt, with the reason in `why`, when there is
    // no home folder or the name cannot be a folder's.
    std::optional<std::string> storePath(std::string_view application,
                                         std::string* why = nullptr) const;

  private:
    int injected(IniStep step) const { return options_.fault ? options_.fault(step) : 0; }
    void reportOnce(std::string line);

    IniSettingsOptions options_;
    std::set<std::string, std::less<>> reported_;
};

// $XDG_CONFIG_HOME when it is an absolute path; else $HOME/.config when HOME is absolute; else
// the home folder from the password database, plus /.config. std::nullopt when none is known.
std::optional<std::string> userConfigHome();

// The section of the running program: the file name of /proc/self/exe without extension. The
// " (deleted)" that the kernel appends once the file has been replaced or removed is not part
// of it.
class ProcSelfExeSection : public SectionSource {
  public:
    std::string sectionName() const override;
};

// The section for an executable at `path`: its file name without directory and extension.
std::string sectionForExecutable(std::string_view path);

std::unique_ptr<SettingsBackend> makeIniSettingsBackend();
std::unique_ptr<SectionSource> makeProcSelfExeSection();

}  // namespace qv
