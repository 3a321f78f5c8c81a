// The About window on the simulated desktop: opened from the strip, its options, its keys and
// its position.

#include <gtest/gtest.h>

#include <array>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "about_window/about_design.h"
#include "tests/program_desktop.h"

using namespace qv;
using namespace qv::test;

TEST(AboutWindow, OpensModalFromTheStripWithItsDesign) {
    Desktop d;
    d.start();
    d.put("ABOUT_Width", "9000");  // stored from outside the program: used as it stands
    d.store.clearLog();
    ASSERT_TRUE(d.doubleClickStrip());
    AboutWindow& about = d.about();
    ASSERT_TRUE(about.loaded());
    EXPECT_EQ(about.caption(), "QV-TICKSPAN - ABOUT");
    EXPECT_EQ(d.keysRead(),
              (std::vector<std::string>{"ABOUT_Left", "ABOUT_Top", "ABOUT_Width", "ABOUT_Height",
                                        "AlwaysOnTop_TICKBOX", "AUTOSTART_TICKBOX"}));
    EXPECT_EQ(about.left(), 1000.0f);
    EXPECT_EQ(about.width(), 9000.0f);
    EXPECT_EQ(about.height(), 2415.0f);
    EXPECT_EQ(about.modalOwner(), &d.main());
    EXPECT_FALSE(d.main().acceptsInput());
    EXPECT_FALSE(d.mainPeer().inputEnabled());
    EXPECT_EQ(about.focusedControl(), about.control("OK_BUTTON"))
        << "OK has the focus when it opens";
    EXPECT_TRUE(d.savesOf("AlwaysOnTop_TICKBOX").empty()) << "no click behaviour ran at load";
    EXPECT_EQ(d.platform.foreground(), about.handle());
}

TEST(AboutWindow, LoadPlacesTheWindowInOneStepBeforeItsOptionsRunTheirClicks) {
    Desktop d;
    d.put("ABOUT_Left", "3000");
    d.put("ABOUT_Top", "1500");
    d.start();
    EXPECT_EQ(d.mainPeer().outerPushes(), 2) << "as the window is made, and once as it loads";
    // Another copy cleared AutoStart meanwhile: the About window's load clears its box, whose
    // click behaviour stops the main window's timers.
    d.put("AUTOSTART_TICKBOX", "0");
    std::optional<PixelRect> placed;
    int pushes = 0;
    d.program->runtime.scheduler().setOnEnabledChanged([&](const Timer&) {
        if (placed) return;
        const HeadlessWindow* about = d.platform.peerOf(d.about());
        placed = about->outer();
        pushes = about->outerPushes();
    });
    ASSERT_TRUE(d.doubleClickStrip());
    d.program->runtime.scheduler().setOnEnabledChanged(nullptr);
    ASSERT_TRUE(placed) << "the stored 0 ran the click behaviour";
    EXPECT_EQ(placed->x, 200);
    EXPECT_EQ(placed->y, 100);
    EXPECT_EQ(*placed, d.platform.peerOf(d.about())->outer());
    EXPECT_EQ(pushes, 2);
    EXPECT_EQ(d.platform.peerOf(d.about())->outerPushes(), 2);
}

TEST(AboutWindow, MainWindowKeepsRunningButTakesNoInputWhileItIsOpen) {
    Desktop d;
    d.start();
    d.platform.advance(kTimerResolutionMs);
    ASSERT_TRUE(d.doubleClickStrip());
    const auto readsBefore = d.keysRead().size();
    d.platform.clearOrderCalls();
    d.platform.advance(2000);
    EXPECT_EQ(d.screenCaption(), "QV-TICKSPAN: 1d, 10h, 17m, 38s") << "the steps keep running";
    // The keeper runs too: the About window is in the foreground, so the main window is put
    // on top (the About window, owned by it, stays above it).
    EXPECT_FALSE(d.platform.orderCalls().empty());
    EXPECT_TRUE(d.platform.isTopmost(d.main().handle()));
    EXPECT_FALSE(d.doubleClickStrip() && d.keysRead().size() != readsBefore);
    EXPECT_EQ(d.keysRead().size(), readsBefore) << "a second double-click opens nothing";
    d.platform.requestClose(d.main());
    EXPECT_TRUE(d.main().loaded()) << "the main window's close command waits for the About window";
    d.platform.requestClose(d.about());
    EXPECT_TRUE(d.main().acceptsInput());
    EXPECT_TRUE(d.mainPeer().inputEnabled());
}

TEST(AboutWindow, ClearingAndTickingAutoStart) {
    Desktop d;
    d.start();
    d.platform.advance(kTimerResolutionMs);
    ASSERT_TRUE(d.doubleClickStrip());
    std::vector<std::string> disabled;
    d.program->runtime.scheduler().setOnEnabledChanged([&](const Timer& t) {
        if (!t.enabled()) disabled.push_back(t.name());
    });
    ASSERT_TRUE(d.platform.clickControl(d.about(), "AUTOSTART_TICKBOX"));
    EXPECT_EQ(disabled, (std::vector<std::string>{"DAY_UPTIME_TIMER", "HOUR_UPTIME_TIMER",
                                                  "MINUTE_UPTIME_TIMER", "SECOND_UPTIME_TIMER",
                                                  "UPTIME_TIMER", "QV_DISPLAY_UPDATE_TIMER"}));
    EXPECT_EQ(d.main().autoStartBox().value(), 0);
    EXPECT_EQ(d.screenCaption(), kDisabledTitle);
    EXPECT_EQ(d.stored("AUTOSTART_TICKBOX"), "0");
    d.platform.advance(3000);
    EXPECT_EQ(d.screenCaption(), kDisabledTitle);

    ASSERT_TRUE(d.platform.clickControl(d.about(), "AUTOSTART_TICKBOX"));
    EXPECT_EQ(d.stored("AUTOSTART_TICKBOX"), "1");
    EXPECT_EQ(d.screenCaption(), kDisabledTitle) << "left alone until the composer runs";
    d.platform.advance(kTimerResolutionMs);
    EXPECT_EQ(d.screenCaption(), "QV-TICKSPAN: 1d, 10h, 17m, 39s");
    d.program->runtime.scheduler().setOnEnabledChanged(nullptr);
}

TEST(AboutWindow, ClearingAlwaysOnTopStopsOnlyTheKeeper) {
    Desktop d;
    d.start();
    d.platform.setForeground(d.platform.createForeignWindow(false));
    d.platform.advance(1000);
    ASSERT_TRUE(d.platform.isTopmost(d.main().handle()));
    ASSERT_TRUE(d.doubleClickStrip());
    ASSERT_TRUE(d.platform.clickControl(d.about(), "AlwaysOnTop_TICKBOX"));
    EXPECT_FALSE(d.main().keeperTimer().enabled());
    EXPECT_EQ(d.main().alwaysOnTopBox().value(), 0);
    EXPECT_EQ(d.stored("AlwaysOnTop_TICKBOX"), "0");
    d.platform.clearOrderCalls();
    d.platform.advance(3000);
    EXPECT_TRUE(d.platform.orderCalls().empty());
    EXPECT_TRUE(d.platform.isTopmost(d.main().handle())) << "nothing clears the topmost state";
}

TEST(AboutWindow, OkAndTheCloseCommandSaveItsPosition) {
    Desktop d;
    d.start();
    ASSERT_TRUE(d.doubleClickStrip());
    d.platform.dragTo(d.about(), 200, 100);
    d.store.clearLog();
    ASSERT_TRUE(d.platform.clickControl(d.about(), "OK_BUTTON"));
    EXPECT_FALSE(d.about().loaded());
    EXPECT_EQ(d.savesOf("ABOUT_Left"), (std::vector<std::string>{"3000", "3000"}));
    EXPECT_EQ(d.savesOf("ABOUT_Top"), (std::vector<std::string>{"1500", "1500"}));

    ASSERT_TRUE(d.doubleClickStrip());
    EXPECT_EQ(d.about().left(), 3000.0f) << "the next opening uses the saved place";
    d.platform.dragTo(d.about(), 240, 120);
    d.store.clearLog();
    d.platform.requestClose(d.about());
    EXPECT_EQ(d.savesOf("ABOUT_Left"), std::vector<std::string>{"3600"});
    EXPECT_EQ(d.savesOf("ABOUT_Top"), std::vector<std::string>{"1800"});
}

TEST(AboutWindow, KeysFollowTheTabOrderAndEnterOrEscapeDoNothing) {
    Desktop d;
    d.start();
    ASSERT_TRUE(d.doubleClickStrip());
    AboutWindow& about = d.about();
    d.platform.pressKey(about, Key::Tab);
    EXPECT_EQ(about.focusedControl(), about.control("AUTOSTART_TICKBOX"));
    d.platform.pressKey(about, Key::Tab);
    EXPECT_EQ(about.focusedControl(), about.control("AlwaysOnTop_TICKBOX"));
    d.store.clearLog();
    d.platform.pressKey(about, Key::Enter);
    d.platform.pressKey(about, Key::Escape);
    d.platform.pressKey(d.main(), Key::Escape);
    EXPECT_TRUE(about.loaded());
    EXPECT_EQ(about.control("AlwaysOnTop_TICKBOX")->value(), 1);
    EXPECT_TRUE(d.store.log().empty());
    d.platform.pressKey(about, Key::Space);
    EXPECT_EQ(about.control("AlwaysOnTop_TICKBOX")->value(), 0);
    d.platform.pressKey(about, Key::Tab);
    EXPECT_EQ(about.focusedControl(), about.control("OK_BUTTON"));
    d.platform.pressKey(about, Key::Space);
    EXPECT_FALSE(about.loaded());
}

TEST(AboutWindow, CreatorLabelShowsTheContactUntilTheWindowCloses) {
    Desktop d;
    d.start();
    ASSERT_TRUE(d.doubleClickStrip());
    d.store.clearLog();
    ASSERT_TRUE(d.platform.doubleClickControl(d.about(), "CREATOR_TEXTBOX"));
    EXPECT_EQ(d.about().control("CREATOR_TEXTBOX")->text(), kCreatorContact);
    EXPECT_TRUE(d.store.log().empty()) << "nothing is saved";
    d.platform.requestClose(d.about());
    ASSERT_TRUE(d.doubleClickStrip());
    EXPECT_EQ(d.about().control("CREATOR_TEXTBOX")->text(), "Created By Marrowfen");
}

TEST(AboutWindow, OptionValuesOtherThanOneClearBothBoxes) {
    Desktop d;
    d.put("AlwaysOnTop_TICKBOX", "-3");
    d.start();
    EXPECT_EQ(d.main().alwaysOnTopBox().value(), 0);
    ASSERT_TRUE(d.doubleClickStrip());
    EXPECT_EQ(d.about().control("AlwaysOnTop_TICKBOX")->value(), 0);
    // Loading ran the click behaviour for the cleared box: "0" is saved in place of "-3".
    EXPECT_EQ(d.stored("AlwaysOnTop_TICKBOX"), "0");
}
