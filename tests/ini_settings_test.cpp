// The Linux settings file on disk: where it lives, links to it, broken files and the copies
// kept of them, the locale; the section name.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <clocale>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <locale>
#include <optional>
#include <random>
#include <string>
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

TEST_F(IniStoreTest, FirstSaveCreatesAPlainFile) {
    IniSettingsBackend backend(guard, options());
    EXPECT_EQ(backend.read("QV_TKS", "qv-tickspan", "MAIN_Left"), std::nullopt);
    ASSERT_TRUE(backend.save("QV_TKS", "qv-tickspan", "MAIN_Left", "1000").ok);
    ASSERT_TRUE(backend.save("QV_TKS", "qv-tickspan", "AUTOSTART_TICKBOX", "0").ok);
    ASSERT_TRUE(backend.save("QV_TKS", "qv-tickspan", "MAIN_Left", "-15").ok);
    EXPECT_EQ(slurp(file()), "[qv-tickspan]\nMAIN_Left=-15\nAUTOSTART_TICKBOX=0\n");
    EXPECT_EQ(backend.read("QV_TKS", "qv-tickspan", "MAIN_Left"), "-15");
    EXPECT_EQ(backend.read("QV_TKS", "other-name", "MAIN_Left"), std::nullopt);
    // The folder is private; the lock file stays, no temporary does.
    EXPECT_EQ(fs::status(dir.path() + "/config/QV_TKS").permissions() & fs::perms::all,
              fs::perms::owner_all);
    EXPECT_TRUE(fs::exists(file() + ".lock"));
    EXPECT_FALSE(fs::exists(file() + ".tmp"));
    EXPECT_TRUE(reports.empty());
}

TEST_F(IniStoreTest, OddSectionNamesRoundTripThroughTheFile) {
    IniSettingsBackend backend(guard, options());
    for (std::size_t i = 0; i < oddNames().size(); ++i)
        ASSERT_TRUE(backend.save("QV_TKS", oddNames()[i], "MAIN_Top", std::to_string(i)).ok);
    IniSettingsBackend fresh(guard, options());
    for (std::size_t i = 0; i < oddNames().size(); ++i)
        EXPECT_EQ(fresh.read("QV_TKS", oddNames()[i], "MAIN_Top"), std::to_string(i)) << i;
    EXPECT_TRUE(ini::isValidUtf8(slurp(file())));
    EXPECT_TRUE(reports.empty());
}

TEST_F(IniStoreTest, WhereTheFileLives) {
    struct Env {
        const char* name;
        std::optional<std::string> old;
    } env[] = {{"XDG_CONFIG_HOME", {}}, {"HOME", {}}};
    for (auto& e : env)
        if (const char* v = std::getenv(e.name)) e.old = v;

    ::setenv("XDG_CONFIG_HOME", "/somewhere/conf/", 1);
    EXPECT_EQ(userConfigHome(), "/somewhere/conf");
    ::setenv("HOME", "/home/someone", 1);
    for (const char* notUsable : {"", "relative/conf"}) {
        ::setenv("XDG_CONFIG_HOME", notUsable, 1);
        EXPECT_EQ(userConfigHome(), "/home/someone/.config");
    }
    ::unsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(userConfigHome(), "/home/someone/.config");
    EXPECT_EQ(IniSettingsBackend(guard).storePath("QV_TKS"),
              "/home/someone/.config/QV_TKS/settings.ini");
    ::unsetenv("HOME");
    const auto fromPasswd = userConfigHome();
    ASSERT_TRUE(fromPasswd.has_value());
    EXPECT_EQ(fromPasswd->rfind("/.config"), fromPasswd->size() - 8);
    EXPECT_EQ(fromPasswd->front(), '/');

    for (auto& e : env) {
        if (e.old)
            ::setenv(e.name, e.old->c_str(), 1);
        else
            ::unsetenv(e.name);
    }
}

TEST_F(IniStoreTest, ALinkedFileIsReplacedAtItsTarget) {
    IniSettingsBackend backend(guard, options());
    const std::string real = dir.path() + "/dotfiles/qv.ini";
    spill(real, "# mine\n[qv-tickspan]\nMAIN_Left=1\n");
    fs::create_directories(fs::path(file()).parent_path());
    fs::create_symlink("../../dotfiles/qv.ini", file());
    ASSERT_TRUE(backend.save("QV_TKS", "qv-tickspan", "MAIN_Left", "2").ok);
    EXPECT_TRUE(fs::is_symlink(file()));
    EXPECT_EQ(slurp(real), "# mine\n[qv-tickspan]\nMAIN_Left=2\n");
    EXPECT_EQ(backend.read("QV_TKS", "qv-tickspan", "MAIN_Left"), "2");

    // A link to a file not there yet: the file is made where the link points.
    fs::remove(real);
    ASSERT_TRUE(backend.save("QV_TKS", "qv-tickspan", "MAIN_Top", "3").ok);
    EXPECT_TRUE(fs::is_symlink(file()));
    EXPECT_EQ(slurp(real), "[qv-tickspan]\nMAIN_Top=3\n");
}

TEST_F(IniStoreTest, ABrokenFileGivesWhatCanBeReadAndIsKeptBeforeItIsRewritten) {
    const std::string broken =
        "[qv-tickspan]\nMAIN_Left=1234\n\x7F\x45LF\x02\0\0\x01\n[other]\nkeep=me\nMAIN_Top="s;
    spill(file(), broken);
    IniSettingsBackend backend(guard, options());
    EXPECT_EQ(backend.read("QV_TKS", "qv-tickspan", "MAIN_Left"), "1234");
    EXPECT_EQ(backend.read("QV_TKS", "qv-tickspan", "MAIN_Top"), std::nullopt);
    ASSERT_EQ(reports.size(), 1u);  // once, however often it is read
    EXPECT_NE(reports[0].find("ignoring 1 line that cannot be read (the first is line 3)"),
              std::string::npos)
        << reports[0];

    ASSERT_TRUE(backend.save("QV_TKS", "qv-tickspan", "MAIN_Top", "5").ok);
    EXPECT_EQ(slurp(file() + ".bad"), broken);
    EXPECT_EQ(slurp(file()),
              "[qv-tickspan]\nMAIN_Left=1234\nMAIN_Top=5\n[other]\nkeep=me\nMAIN_Top=\n");
    ASSERT_EQ(reports.size(), 2u);
    EXPECT_NE(reports[1].find("kept in " + file() + ".bad"), std::string::npos);

    // Binary garbage from end to end: defaults, then a clean file.
    std::string noise(4096, '\0');
    std::mt19937 rng(7);
    for (auto& c : noise) c = static_cast<char>(rng());
    spill(file(), noise);
    EXPECT_EQ(backend.read("QV_TKS", "qv-tickspan", "MAIN_Top"), std::nullopt);
    ASSERT_TRUE(backend.save("QV_TKS", "qv-tickspan", "MAIN_Top", "6").ok);
    EXPECT_EQ(slurp(file() + ".bad"), noise);
    const std::string rewritten = slurp(file());
    const ini::Document doc = ini::Document::parse(rewritten);
    EXPECT_TRUE(ini::isValidUtf8(rewritten));
    EXPECT_EQ(doc.unreadableLines(), 0u);
    EXPECT_EQ(doc.find("qv-tickspan", "MAIN_Top"), "6");
}

// Each broken file a save leaves lines out of is kept: the newest in settings.ini.bad, earlier
// different ones moved on to .bad.1 ... .bad.4, the oldest gone (and named) when all are taken.
TEST_F(IniStoreTest, EveryBrokenFileIsKeptUntilFiveCopiesAreTaken) {
    IniSettingsBackend backend(guard, options());
    auto broken = [](int n) {
        return "[qv-tickspan]\nMAIN_Left=" + std::to_string(n) + "\n\x01\n";
    };
    auto saveOver = [&](const std::string& bytes) {
        spill(file(), bytes);
        return backend.save("QV_TKS", "qv-tickspan", "MAIN_Top", "1").ok;
    };
    auto copies = [&] {
        std::vector<std::string> kept;
        for (const std::string suffix : {".bad", ".bad.1", ".bad.2", ".bad.3", ".bad.4", ".bad.5"})
            kept.push_back(fs::exists(file() + suffix) ? slurp(file() + suffix) : "");
        return kept;
    };
    ASSERT_TRUE(saveOver(broken(1)));
    ASSERT_TRUE(saveOver(broken(2)));
    EXPECT_EQ(copies(), (std::vector<std::string>{broken(2), broken(1), "", "", "", ""}));
    ASSERT_TRUE(saveOver(broken(2)));  // the same file again: one copy of it is enough
    EXPECT_EQ(copies(), (std::vector<std::string>{broken(2), broken(1), "", "", "", ""}));
    for (int n = 3; n <= 5; ++n) ASSERT_TRUE(saveOver(broken(n)));
    EXPECT_EQ(copies(), (std::vector<std::string>{broken(5), broken(4), broken(3), broken(2),
                                                  broken(1), ""}));
    EXPECT_EQ(reports.back().find("gone"), std::string::npos);
    ASSERT_TRUE(saveOver(broken(6)));
    EXPECT_EQ(copies(), (std::vector<std::string>{broken(6), broken(5), broken(4), broken(3),
                                                  broken(2), ""}));
    EXPECT_NE(reports.back().find("the oldest of the copies kept, " + file() +
                                  ".bad.4, is gone to make room"),
              std::string::npos)
        << reports.back();

    // No line is left out without its copy.
    IniSettingsOptions o = options();
    o.fault = [](IniStep s) { return s == IniStep::WriteBackup ? ENOSPC : 0; };
    IniSettingsBackend failing(guard, o);
    spill(file(), broken(7));
    EXPECT_FALSE(failing.save("QV_TKS", "qv-tickspan", "MAIN_Top", "1").ok);
    EXPECT_EQ(slurp(file()), broken(7));
    EXPECT_EQ(copies(), (std::vector<std::string>{broken(6), broken(5), broken(4), broken(3),
                                                  broken(2), ""}));
}

// The save leaves out an unreadable first line, so the line below, which starts with two byte
// order marks, becomes the file's first: it must still open the same section.
TEST_F(IniStoreTest, ALineThatASaveMovesToTheTopReadsAsBefore) {
    const std::string bom = "\xEF\xBB\xBF";
    spill(file(), "\xFF\n" + bom + bom + "[s]\nk=v\n");
    IniSettingsBackend backend(guard, options());
    EXPECT_EQ(backend.read("QV_TKS", "s", "k"), "v");
    ASSERT_TRUE(backend.save("QV_TKS", "qv-tickspan", "MAIN_Left", "1").ok);
    EXPECT_EQ(slurp(file()), bom + bom + "[s]\nk=v\n\n[qv-tickspan]\nMAIN_Left=1\n");
    reports.clear();
    IniSettingsBackend fresh(guard, options());
    EXPECT_EQ(fresh.read("QV_TKS", "s", "k"), "v");
    EXPECT_EQ(fresh.read("QV_TKS", "qv-tickspan", "MAIN_Left"), "1");
    EXPECT_TRUE(reports.empty()) << reports.front();
}

TEST_F(IniStoreTest, TheLocaleChangesNoByte) {
    const float geometry[] = {1234.5f, -120.0f, 0.1f, 16777216.0f};
    auto saveAll = [&](const std::string& home) {
        IniSettingsOptions o = options();
        o.configHome = home;
        IniSettingsBackend backend(guard, o);
        FixedSection section;
        SettingsStore store(backend, section, guard);
        EXPECT_TRUE(store.saveSingle(SettingKey::MAIN_Left, geometry[0]));
        EXPECT_TRUE(store.saveSingle(SettingKey::MAIN_Top, geometry[1]));
        EXPECT_TRUE(store.saveSingle(SettingKey::ABOUT_Left, geometry[2]));
        EXPECT_TRUE(store.saveSingle(SettingKey::ABOUT_Top, geometry[3]));
        EXPECT_TRUE(store.saveInteger16(SettingKey::AUTOSTART_TICKBOX, 0));
    };
    ASSERT_NE(std::setlocale(LC_ALL, "de_DE.UTF-8"), nullptr)
        << "the de_DE.UTF-8 locale is missing (scripts/test enables it)";
    ASSERT_STREQ(std::localeconv()->decimal_point, ",");
    std::locale::global(std::locale("de_DE.UTF-8"));
    saveAll(dir.path() + "/german");
    std::locale::global(std::locale::classic());
    std::setlocale(LC_ALL, "C");
    saveAll(dir.path() + "/c");
    const std::string german = slurp(dir.path() + "/german/QV_TKS/settings.ini");
    EXPECT_EQ(german, slurp(dir.path() + "/c/QV_TKS/settings.ini"));
    EXPECT_NE(german.find("MAIN_Left=1234.5\n"), std::string::npos);

    IniSettingsOptions o = options();
    o.configHome = dir.path() + "/german";
    IniSettingsBackend backend(guard, o);
    FixedSection section;
    SettingsStore store(backend, section, guard);
    EXPECT_EQ(store.readSingle(SettingKey::MAIN_Left), geometry[0]);
    EXPECT_EQ(store.readSingle(SettingKey::MAIN_Top), geometry[1]);
    EXPECT_EQ(store.readSingle(SettingKey::ABOUT_Left), geometry[2]);
    EXPECT_EQ(store.readSingle(SettingKey::ABOUT_Top), geometry[3]);
    EXPECT_EQ(store.readInteger16(SettingKey::AUTOSTART_TICKBOX), 0);
}

// ------------------------------------------------------------------------ the section name

std::string runProbe(const std::string& exe, const std::function<void()>& whileWaiting = {}) {
    int in[2], out[2], started[2];
    if (::pipe(in) != 0 || ::pipe(out) != 0 || ::pipe2(started, O_CLOEXEC) != 0)
        return "<pipe failed>";
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(in[0], 0);
        ::dup2(out[1], 1);
        ::close(in[1]);
        ::close(out[0]);
        ::close(started[0]);
        ::execl(exe.c_str(), exe.c_str(), "--wait", static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(in[0]);
    ::close(out[1]);
    ::close(started[1]);
    // The exec closes the child's end: the program now runs from the file, which may change.
    char none;
    while (::read(started[0], &none, 1) < 0 && errno == EINTR) {
    }
    ::close(started[0]);
    if (whileWaiting) whileWaiting();
    const bool told = ::write(in[1], "go\n", 3) == 3;
    ::close(in[1]);
    std::string result;
    char buf[512];
    for (ssize_t n; (n = ::read(out[0], buf, sizeof buf)) > 0;)
        result.append(buf, static_cast<std::size_t>(n));
    ::close(out[0]);
    const int code = exitCode(pid);
    return told && code == 0 ? result : "<exit " + std::to_string(code) + ">";
}

TEST(SectionName, IsTheExecutablesFileNameWithoutExtension) {
    EXPECT_EQ(sectionForExecutable("/usr/bin/qv-tickspan"), "qv-tickspan");
    EXPECT_EQ(sectionForExecutable("/opt/qv/qv-tickspan.bin"), "qv-tickspan");
    EXPECT_EQ(sectionForExecutable("/opt/my.tools/.hidden"), ".hidden");
    EXPECT_EQ(sectionForExecutable("/x/back\\slash.exe"), "back\\slash");

    TempDir dir;
    const std::string odd = dir.path() + "/qv tick [2];#=\xFF.v2.bin";
    fs::copy_file(QV_SECTION_PROBE, odd);
    EXPECT_EQ(runProbe(odd), "qv tick [2];#=\xFF.v2");

    // Removed or replaced while it runs: the kernel's " (deleted)" is no part of the name.
    const std::string gone = dir.path() + "/qv-gone";
    fs::copy_file(QV_SECTION_PROBE, gone);
    EXPECT_EQ(runProbe(gone, [&] { fs::remove(gone); }), "qv-gone");
    fs::copy_file(QV_SECTION_PROBE, gone);
    EXPECT_EQ(runProbe(gone,
                       [&] {
                           fs::copy_file(QV_SECTION_PROBE, gone + ".new");
                           fs::rename(gone + ".new", gone);
                       }),
              "qv-gone");
    // A program really named so keeps its name.
    const std::string named = dir.path() + "/odd (deleted)";
    fs::copy_file(QV_SECTION_PROBE, named);
    EXPECT_EQ(runProbe(named), "odd (deleted)");
}

}  // namespace
