// The Linux settings file when something fails: a store that cannot be read, no home folder, a
// disk that refuses a step of a save, a lock holder that hangs or is slow.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <pwd.h>
#include <sched.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/headless/memory_settings.h"
#include "platform/posix/ini_folder.h"
#include "platform/posix/ini_settings.h"
#include "settings/settings_store.h"
#include "tests/ini_document.h"
#include "tests/ini_test_support.h"

using namespace qv;
using namespace qv::test;
using namespace qv::headless;
using namespace std::string_literals;
namespace fs = std::filesystem;

namespace {

TEST_F(IniStoreTest, AStoreThatCannotBeReadIsNeverWrittenOver) {
    IniSettingsBackend backend(guard, options());
    fs::create_directories(file());  // a folder where the file should be
    EXPECT_EQ(backend.read("QV_TKS", "qv-tickspan", "MAIN_Left"), std::nullopt);
    EXPECT_EQ(backend.read("QV_TKS", "qv-tickspan", "MAIN_Top"), std::nullopt);
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_NE(reports[0].find("Is a directory; the defaults apply"), std::string::npos);
    const SaveResult r = backend.save("QV_TKS", "qv-tickspan", "MAIN_Left", "1");
    EXPECT_FALSE(r.ok);
    EXPECT_NE(r.error.find("Is a directory"), std::string::npos) << r.error;
    EXPECT_TRUE(fs::is_directory(file()));
}

// A start-up's reads and a close's saves against a file that cannot be read: one message, which
// names the file and why.
TEST_F(IniStoreTest, AFileThatCannotBeReadIsToldOnce) {
    const std::vector<std::pair<std::string, std::function<void()>>> cases = {
        {"Is a directory", [&] { fs::create_directories(file()); }},
        {"it is not a plain file", [&] { ASSERT_EQ(::mkfifo(file().c_str(), 0600), 0); }},
        {"it is not a plain file", [&] { fs::create_symlink("/dev/zero", file()); }},
        {"it is larger than the 16 MiB a settings file may have",
         [&] { spill(file(), std::string((16u << 20) + 1, '\n')); }},
    };
    for (const auto& [why, plant] : cases) {
        SCOPED_TRACE(why);
        fs::remove_all(dir.path() + "/config");
        fs::create_directories(dir.path() + "/config/QV_TKS");
        plant();
        // A guard of its own for each case, as a program of its own has.
        HandlerGuard fresh;
        test::CapturedWarnings said(fresh);
        std::vector<std::string>& reports = said.lines;
        IniSettingsBackend backend(fresh, options());
        FixedSection section;
        SettingsStore store(backend, section, fresh);
        for (SettingKey key : {SettingKey::MAIN_Left, SettingKey::MAIN_Top, SettingKey::MAIN_Width,
                               SettingKey::MAIN_Height})
            EXPECT_EQ(store.readSingle(key), static_cast<float>(keyDefault(key)));
        EXPECT_FALSE(store.saveSingle(SettingKey::MAIN_Left, 2.0f));
        EXPECT_FALSE(store.saveSingle(SettingKey::MAIN_Top, 3.0f));
        EXPECT_FALSE(store.saveInteger16(SettingKey::AUTOSTART_TICKBOX, 0));
        ASSERT_EQ(reports.size(), 1u) << reports.back();
        EXPECT_EQ(reports[0], "qv-tickspan: settings: cannot read " + file() + ": " + why +
                                  "; the defaults apply");
    }
}

// A user the password database does not know (in a user namespace of its own), with a HOME that
// is no absolute path: the start-up's reads and the close's saves say why once, in those words.
TEST_F(IniStoreTest, WithoutAHomeFolderOneMessageSaysWhy) {
    int out[2];
    ASSERT_EQ(::pipe(out), 0);
    const uid_t outer = ::geteuid();
    const pid_t child = spawn([&] {
        ::close(out[0]);
        uid_t unknown = 54321;
        while (::getpwuid(unknown)) ++unknown;
        if (::unshare(CLONE_NEWUSER) != 0) return 77;
        const std::string map = std::to_string(unknown) + " " + std::to_string(outer) + " 1";
        std::ofstream("/proc/self/uid_map") << map;
        if (::getuid() != unknown) return 78;
        ::setenv("HOME", "relative/home", 1);
        ::unsetenv("XDG_CONFIG_HOME");
        IniSettingsBackend backend(guard);  // the user's own folder, found anew
        FixedSection section;
        SettingsStore store(backend, section, guard);
        store.readSingle(SettingKey::MAIN_Left);
        store.readInteger16(SettingKey::AUTOSTART_TICKBOX);
        store.saveSingle(SettingKey::MAIN_Left, 2.0f);
        store.saveInteger16(SettingKey::AUTOSTART_TICKBOX, 0);
        for (const std::string& line : reports) {
            const std::string text = line + "\n";
            if (::write(out[1], text.data(), text.size()) < 0) return 3;
        }
        return 0;
    });
    ::close(out[1]);
    std::string told;
    char buf[512];
    for (ssize_t n; (n = ::read(out[0], buf, sizeof buf)) > 0;)
        told.append(buf, static_cast<std::size_t>(n));
    ::close(out[0]);
    const int code = exitCode(child);
    if (code == 77) GTEST_SKIP() << "this system gives no user namespaces";
    ASSERT_EQ(code, 0);
    EXPECT_EQ(told,
              "qv-tickspan: settings: cannot read the settings: no home folder is known: HOME is "
              "not an absolute path, and the password database has no absolute home folder for "
              "the user; the defaults apply\n");
}

// Root writes through permission bits, so the failures are made real another way.
TEST_F(IniStoreTest, SavesThatFailSayWhyAndChangeNothing) {
    // A file where the application's folder should be.
    spill(dir.path() + "/config/QV_TKS", "not a folder");
    IniSettingsBackend backend(guard, options());
    SaveResult r = backend.save("QV_TKS", "qv-tickspan", "MAIN_Left", "1");
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.error,
              "cannot create the folder " + dir.path() + "/config/QV_TKS: Not a directory");
    EXPECT_EQ(slurp(dir.path() + "/config/QV_TKS"), "not a folder");
    fs::remove(dir.path() + "/config/QV_TKS");

    // A full disk, a failing sync and a failing rename, each on top of a good file.
    ASSERT_TRUE(backend.save("QV_TKS", "qv-tickspan", "MAIN_Left", "1").ok);
    const std::string before = slurp(file());
    for (auto [step, err] : {std::pair{IniStep::WriteTemp, ENOSPC},
                             {IniStep::SyncTemp, EIO},
                             {IniStep::Rename, EXDEV},
                             {IniStep::Lock, ENOLCK}}) {
        IniSettingsOptions o = options();
        o.fault = [step = step, err = err](IniStep s) { return s == step ? err : 0; };
        IniSettingsBackend failing(guard, o);
        reports.clear();
        std::vector<std::string>& storeReports = reports;
        FixedSection section;
        SettingsStore store(failing, section, guard);
        // One message for the cause, however many keys it refuses.
        EXPECT_FALSE(store.saveSingle(SettingKey::MAIN_Left, 2.0f));
        EXPECT_FALSE(store.saveSingle(SettingKey::MAIN_Top, 3.0f));
        EXPECT_FALSE(store.saveInteger16(SettingKey::AUTOSTART_TICKBOX, 0));
        ASSERT_EQ(storeReports.size(), 1u);
        EXPECT_NE(storeReports[0].find(std::generic_category().message(err)), std::string::npos)
            << storeReports[0];
        EXPECT_EQ(slurp(file()), before);
        EXPECT_FALSE(fs::exists(file() + ".tmp"));
    }
}

// A holder that never lets go: the save gives up at the bound and says so; the saves after it
// do not wait for the same holder again; once it lets go, saves go through.
TEST_F(IniStoreTest, AHungLockHolderMakesTheSaveGiveUpAtTheBound) {
    IniSettingsOptions o = options();
    o.lockTimeout = std::chrono::milliseconds(300);  // the default is seconds
    IniSettingsBackend backend(guard, o);
    ASSERT_TRUE(backend.save("QV_TKS", "qv-tickspan", "MAIN_Left", "1").ok);
    const int holder = ::open((file() + ".lock").c_str(), O_RDWR | O_CLOEXEC);
    ASSERT_GE(holder, 0);
    ASSERT_EQ(::flock(holder, LOCK_EX), 0);
    SaveResult r = backend.save("QV_TKS", "qv-tickspan", "MAIN_Left", "2");
    EXPECT_FALSE(r.ok);
    const std::string hung =
        "another program has held " + file() + ".lock for more than 300 ms without letting go";
    EXPECT_EQ(r.error, hung);
    // The saves after it do not wait for the same holder again, and say the same: one cause.
    r = backend.save("QV_TKS", "qv-tickspan", "MAIN_Top", "3");
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.error, hung);
    EXPECT_EQ(backend.read("QV_TKS", "qv-tickspan", "MAIN_Left"), "1");  // reads need no lock
    ::close(holder);
    EXPECT_TRUE(backend.save("QV_TKS", "qv-tickspan", "MAIN_Left", "2").ok);
    EXPECT_EQ(backend.read("QV_TKS", "qv-tickspan", "MAIN_Left"), "2");
}

// A holder that is merely slow (here its sync takes 400 ms, as on a busy disk) is waited for,
// however long it takes within the bound: the other save goes through after it, keeping its key.
TEST_F(IniStoreTest, ASaveWaitsForASlowHolder) {
    std::promise<void> holding;
    std::atomic<bool> slowSyncDone{false};
    IniSettingsOptions slowOptions = options();
    slowOptions.fault = [&](IniStep step) {
        if (step == IniStep::SyncTemp) {
            holding.set_value();
            std::this_thread::sleep_for(std::chrono::milliseconds(400));
            slowSyncDone = true;
        }
        return 0;
    };
    IniSettingsBackend slow(guard, slowOptions);
    std::future<SaveResult> slowSave = std::async(
        std::launch::async, [&] { return slow.save("QV_TKS", "qv-tickspan", "MAIN_Left", "1"); });
    // The slow save holds the lock and is in its sync. (Should it fail before, it says why.)
    ASSERT_EQ(holding.get_future().wait_for(std::chrono::minutes(1)), std::future_status::ready)
        << slowSave.get().error;

    bool waited = false;
    IniSettingsOptions otherOptions = options();
    otherOptions.fault = [&](IniStep step) {
        if (step == IniStep::ReadStore) waited = slowSyncDone;  // under the lock
        return 0;
    };
    IniSettingsBackend other(guard, otherOptions);
    const SaveResult r = other.save("QV_TKS", "qv-tickspan", "MAIN_Top", "2");
    EXPECT_TRUE(r.ok) << r.error;
    EXPECT_TRUE(waited);
    EXPECT_TRUE(slowSave.get().ok);
    EXPECT_EQ(slurp(file()), "[qv-tickspan]\nMAIN_Left=1\nMAIN_Top=2\n");
    EXPECT_TRUE(reports.empty());
}

// Saved under a German locale, read under C: the same bytes, the same values.

}  // namespace
