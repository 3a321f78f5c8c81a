// Links planted in the settings folder, and folders that others could plant them in: a save
// never writes through such a link, and never into such a folder; reading goes on.

#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/headless/memory_settings.h"
#include "settings/settings_store.h"
#include "tests/ini_test_support.h"

using namespace qv;
using namespace qv::test;
using namespace qv::headless;
namespace fs = std::filesystem;

namespace {

class PlantedTest : public IniStoreTest {
  protected:
    std::string folder() const { return dir.path() + "/config/QV_TKS"; }
    std::string victim() const { return dir.path() + "/victim"; }
    void SetUp() override {
        spill(file(), "[qv-tickspan]\nMAIN_Left=1\n");
        spill(victim(), "the user's own file\n");
    }
    // What the store's own four keys do at a close, through the settings store.
    // A guard of its own at each call, as a program of its own has: what it says is news.
    std::size_t refusedCloseReports() {
        HandlerGuard fresh;
        test::CapturedWarnings said(fresh);
        IniSettingsBackend backend(fresh, options());
        FixedSection section;
        SettingsStore store(backend, section, fresh);
        EXPECT_FALSE(store.saveSingle(SettingKey::MAIN_Left, 2.0f));
        EXPECT_FALSE(store.saveSingle(SettingKey::MAIN_Top, 3.0f));
        EXPECT_FALSE(store.saveInteger16(SettingKey::AUTOSTART_TICKBOX, 0));
        // Reading still works.
        EXPECT_EQ(store.readSingle(SettingKey::MAIN_Left), 1.0f);
        reports = said.lines;
        return reports.size();
    }
};

TEST_F(PlantedTest, ALockFileThatIsALinkIsRefusedAndItsTargetIsLeftAlone) {
    for (const bool dangling : {false, true}) {
        SCOPED_TRACE(dangling ? "a link to nothing" : "a link to a file");
        const std::string target = dangling ? dir.path() + "/created" : victim();
        fs::remove(file() + ".lock");
        fs::create_symlink(target, file() + ".lock");
        EXPECT_EQ(refusedCloseReports(), 1u) << "one message, however many keys";
        EXPECT_NE(reports.at(0).find(file() + ".lock is a link"), std::string::npos) << reports[0];
        EXPECT_EQ(slurp(victim()), "the user's own file\n");
        EXPECT_FALSE(fs::exists(dir.path() + "/created"));
        EXPECT_EQ(slurp(file()), "[qv-tickspan]\nMAIN_Left=1\n");
    }
}

TEST_F(PlantedTest, ALockFileThatIsAHardLinkIsRefusedToo) {
    ASSERT_EQ(::link(victim().c_str(), (file() + ".lock").c_str()), 0);
    EXPECT_EQ(refusedCloseReports(), 1u);
    EXPECT_EQ(slurp(victim()), "the user's own file\n");
}

TEST_F(PlantedTest, ATemporaryFileThatIsALinkIsReplacedNotFollowed) {
    for (const bool dangling : {false, true}) {
        SCOPED_TRACE(dangling ? "a link to nothing" : "a link to a file");
        const std::string target = dangling ? dir.path() + "/created" : victim();
        fs::remove(file() + ".tmp");
        fs::create_symlink(target, file() + ".tmp");
        IniSettingsBackend backend(guard, options());
        ASSERT_TRUE(backend.save("QV_TKS", "qv-tickspan", "MAIN_Left", dangling ? "3" : "2").ok);
        EXPECT_EQ(slurp(victim()), "the user's own file\n");
        EXPECT_FALSE(fs::exists(dir.path() + "/created"));
        EXPECT_FALSE(fs::is_symlink(file()));
        EXPECT_FALSE(fs::exists(fs::symlink_status(file() + ".tmp")));
        EXPECT_EQ(backend.read("QV_TKS", "qv-tickspan", "MAIN_Left"), dangling ? "3" : "2");
    }
    EXPECT_TRUE(reports.empty()) << reports.front();
}

TEST_F(PlantedTest, AFolderEveryoneMayWriteToIsNotSavedInto) {
    fs::permissions(folder(), fs::perms(0777));
    EXPECT_EQ(refusedCloseReports(), 1u);
    EXPECT_NE(reports.at(0).find("not saving into " + folder() + ": every user may write to it"),
              std::string::npos)
        << reports[0];
    EXPECT_EQ(slurp(file()), "[qv-tickspan]\nMAIN_Left=1\n");
    // Sticky or not, the folder is the user's to mend: once it is, saves work again.
    fs::permissions(folder(), fs::perms(0700));
    IniSettingsBackend backend(guard, options());
    EXPECT_TRUE(backend.save("QV_TKS", "qv-tickspan", "MAIN_Left", "2").ok);
}

// Root can give the folder away; anyone else cannot, and skips these cases.
TEST_F(PlantedTest, AFolderOfAnotherUserOrOfAGroupWithOthersIsNotSavedInto) {
    if (::geteuid() != 0) GTEST_SKIP() << "only root can give a folder to another user";
    ASSERT_EQ(::chown(folder().c_str(), 65534, static_cast<gid_t>(-1)), 0);
    EXPECT_EQ(refusedCloseReports(), 1u);
    EXPECT_NE(reports.at(0).find("belongs to another user (uid 65534)"), std::string::npos)
        << reports[0];

    // A group that someone else has as primary group.
    const struct passwd* other = ::getpwnam("daemon");
    if (!other) GTEST_SKIP() << "no user daemon to share a group with";
    ASSERT_EQ(::chown(folder().c_str(), 0, other->pw_gid), 0);
    fs::permissions(folder(), fs::perms(0770));
    EXPECT_EQ(refusedCloseReports(), 1u);
    EXPECT_NE(reports.at(0).find("may write to it and has members other than you"),
              std::string::npos)
        << reports[0];

    // The user's own group, with the user alone in it (as Debian's user-private groups are):
    // a group-writable folder is normal there.
    ASSERT_EQ(::chown(folder().c_str(), 0, 0), 0);
    IniSettingsBackend backend(guard, options());
    EXPECT_TRUE(backend.save("QV_TKS", "qv-tickspan", "MAIN_Left", "2").ok);
}

}  // namespace
