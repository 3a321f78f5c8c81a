// Whether anyone sees the screen, from the X server and the session's services together: hidden
// while any source says so, and a service heard only through the current owner of its name.

#include <gtest/gtest.h>

#include <climits>

#include "platform/fltk/screen_sources.h"

namespace qv::fltk {
namespace {

constexpr auto kLock = ScreenService::LoginSession;
constexpr auto kShield = ScreenService::GnomeSaver;
constexpr auto kSaver = ScreenService::FreedesktopSaver;
constexpr auto kPower = ScreenService::MutterPower;

TEST(ScreenSources, HiddenWhileAnySourceSaysSoAndVisibleOnlyWhenNoneDoes) {
    ScreenSources s;
    EXPECT_TRUE(s.visible()) << "nothing heard yet";
    s.setOwner(kLock, ":1.4");
    s.setOwner(kPower, ":1.9");
    s.setOwner(kSaver, ":1.12");

    // Locked, then the monitors go off; unlocking while they are off leaves the screen hidden.
    ASSERT_TRUE(s.report(kLock, ":1.4", true));
    EXPECT_FALSE(s.visible());
    s.report(kPower, ":1.9", powerSaveHidesScreen(3));
    s.report(kLock, ":1.4", false);
    EXPECT_FALSE(s.visible()) << "the monitors are still off";
    s.report(kPower, ":1.9", powerSaveHidesScreen(0));
    EXPECT_TRUE(s.visible());

    // The X screen saver and a session's saver: either rule counts.
    s.setXVisible(false);
    s.report(kSaver, ":1.12", true);
    s.setXVisible(true);
    EXPECT_FALSE(s.visible()) << "the session's saver is still up";
    s.setXVisible(false);
    s.report(kSaver, ":1.12", false);
    EXPECT_FALSE(s.visible()) << "the X screen saver is still up";
    s.setXVisible(true);
    EXPECT_TRUE(s.visible());

    // The same word twice changes nothing.
    s.report(kSaver, ":1.12", true);
    s.report(kSaver, ":1.12", true);
    s.report(kSaver, ":1.12", false);
    EXPECT_TRUE(s.visible());
}

TEST(ScreenSources, OnlyTheCurrentOwnerOfTheNameIsHeard) {
    ScreenSources s;
    EXPECT_FALSE(s.report(kShield, ":1.7", true)) << "nobody owns the name yet";
    EXPECT_FALSE(s.report(kShield, "", true));
    EXPECT_TRUE(s.visible());

    ASSERT_TRUE(s.setOwner(kShield, ":1.7"));
    EXPECT_FALSE(s.setOwner(kShield, ":1.7")) << "the same owner again: nothing to read anew";
    EXPECT_FALSE(s.report(kShield, ":1.8", true)) << "another connection";
    EXPECT_FALSE(s.report(kShield, "org.gnome.ScreenSaver", true)) << "a name is no sender";
    EXPECT_FALSE(s.report(kLock, ":1.7", true)) << "the owner of another service's name";
    EXPECT_TRUE(s.visible());

    // The shield is up when its owner is replaced: the former owner's word goes with it, and
    // what it says afterwards counts for nothing.
    ASSERT_TRUE(s.report(kShield, ":1.7", true));
    ASSERT_TRUE(s.setOwner(kShield, ":1.20"));
    EXPECT_TRUE(s.visible()) << "until the new owner is read";
    EXPECT_FALSE(s.report(kShield, ":1.7", true));
    EXPECT_TRUE(s.visible());
    EXPECT_TRUE(s.report(kShield, ":1.20", true));
    EXPECT_FALSE(s.visible());

    // The owner vanishes while the shield is up (the shell crashed): the screen is no longer
    // taken as hidden, and nobody speaks for the name until it has an owner again.
    ASSERT_TRUE(s.setOwner(kShield, ""));
    EXPECT_TRUE(s.visible());
    EXPECT_FALSE(s.report(kShield, ":1.20", true));
    EXPECT_FALSE(s.report(kShield, "", true));
    EXPECT_TRUE(s.visible());
    EXPECT_EQ(s.owner(kShield), "");
}

TEST(ScreenSources, OnlyTheMonitorsPowerSavingModesHideTheScreen) {
    EXPECT_FALSE(powerSaveHidesScreen(0)) << "on";
    EXPECT_TRUE(powerSaveHidesScreen(1)) << "standby";
    EXPECT_TRUE(powerSaveHidesScreen(2)) << "suspend";
    EXPECT_TRUE(powerSaveHidesScreen(3)) << "off";
    // Unknown, and modes this program does not know: never a reason to rest.
    for (const int mode : {-1, 4, 100, INT_MIN, INT_MAX}) EXPECT_FALSE(powerSaveHidesScreen(mode));
}

}  // namespace
}  // namespace qv::fltk
