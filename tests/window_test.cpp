// The main window on the simulated desktop, driven as a person would drive it: start-up,
// shut-down, the keeper, the strip, and the off-screen rule.

#include <gtest/gtest.h>

#include <array>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "tests/captured_warnings.h"
#include "tests/program_desktop.h"

using namespace qv;
using namespace qv::test;

TEST(MainWindowStartUp, FirstRunWithAnEmptyStore) {
    Desktop d;
    d.start();
    EXPECT_EQ(d.keysRead(),
              (std::vector<std::string>{"MAIN_Left", "MAIN_Top", "MAIN_Width", "MAIN_Height",
                                        "AlwaysOnTop_TICKBOX", "AUTOSTART_TICKBOX"}));
    EXPECT_EQ(d.main().left(), 1000.0f);
    EXPECT_EQ(d.main().top(), 1000.0f);
    EXPECT_EQ(d.main().width(), 4410.0f);
    EXPECT_EQ(d.main().height(), 350.0f);
    EXPECT_EQ(d.main().alwaysOnTopBox().value(), 1);
    EXPECT_EQ(d.main().autoStartBox().value(), 1);
    EXPECT_TRUE(d.main().keeperTimer().enabled());
    EXPECT_TRUE(allSixEnabled(d.main(), true));
    // The disabled title shows until the title composer's first run.
    EXPECT_EQ(d.screenCaption(), kDisabledTitle);
    d.platform.advance(kTimerResolutionMs);
    EXPECT_EQ(d.screenCaption(), kRunning);
    EXPECT_EQ(d.main().board().text(Field::SECONDS_DIFFERENCE_TB), "36.789");

    // 1000 twips is 66.7 pixels at 96 DPI; the outer frame is 4410 twips wide.
    const PixelRect outer = d.mainPeer().outer();
    EXPECT_EQ(outer.x, 67);
    EXPECT_EQ(outer.y, 67);
    EXPECT_EQ(outer.width, 294);
    // 350 twips do not cover the frame: the program keeps a 5-pixel client strip.
    EXPECT_EQ(d.mainPeer().client().height, 5);
    // Only the separator line is a visible control.
    for (const auto& c : d.main().controls())
        EXPECT_EQ(c->visible(), c->name() == "Line1") << c->name();
}

TEST(MainWindowStartUp, CaptionReachesTheScreenOnlyWhenItChanges) {
    Desktop d;
    d.start();
    d.platform.advance(kTimerResolutionMs);
    const int pushes = d.mainPeer().captionPushes();
    d.platform.advance(200);  // twenty passes within the same second (36.789 s to 36.989 s)
    EXPECT_EQ(d.mainPeer().captionPushes(), pushes);
    d.platform.advance(100);
    EXPECT_EQ(d.mainPeer().captionPushes(), pushes + 1);
    EXPECT_EQ(d.screenCaption(), "QV-TICKSPAN: 1d, 10h, 17m, 37s");
}

TEST(MainWindowStartUp, AutoStartOffLeavesTheStepsOff) {
    Desktop d;
    d.put("AUTOSTART_TICKBOX", "0");
    d.start();
    EXPECT_TRUE(allSixEnabled(d.main(), false));
    d.platform.advance(2000);
    EXPECT_EQ(d.screenCaption(), kDisabledTitle);
    for (const FieldInfo& f : kFields) EXPECT_EQ(d.main().board().text(f.field), f.initialText);

    // Opening the About window applies the stored "0" through its click behaviour, which saves
    // "0" again and changes nothing visible.
    ASSERT_TRUE(d.doubleClickStrip());
    ASSERT_TRUE(d.about().loaded());
    EXPECT_EQ(d.about().control("AUTOSTART_TICKBOX")->value(), 0);
    EXPECT_EQ(d.savesOf("AUTOSTART_TICKBOX"), std::vector<std::string>{"0"});
    EXPECT_EQ(d.screenCaption(), kDisabledTitle);
}

// What the README and the manual page promise of a hand-edited option: the value rounds to the
// nearest whole number, halves to the even one, and only 1 is on.
TEST(MainWindowStartUp, AnOptionIsOnWhenItsValueRoundsToOne) {
    for (const auto& [text, on] : std::vector<std::pair<std::string, bool>>{{"1", true},
                                                                            {"0.6", true},
                                                                            {"1.4", true},
                                                                            {"1e0", true},
                                                                            {"0.5", false},
                                                                            {"1.5", false},
                                                                            {"2", false},
                                                                            {"-1", false}}) {
        SCOPED_TRACE(text);
        Desktop d;
        d.put("AUTOSTART_TICKBOX", text);
        d.put("AlwaysOnTop_TICKBOX", text);
        d.start();
        EXPECT_TRUE(allSixEnabled(d.main(), on));
        EXPECT_EQ(d.main().keeperTimer().enabled(), on);
    }
}

TEST(MainWindowStartUp, UnusableStoredValuesFallBackToDefaults) {
    Desktop d;
    test::CapturedWarnings warnings(d.guard);
    const std::vector<std::string>& reports = warnings.lines;
    d.put("MAIN_Left", "1e9");     // far beyond any screen
    d.put("MAIN_Top", "abc");      // not a number
    d.put("MAIN_Width", "0");      // not a usable size
    d.put("MAIN_Height", "-350");  // nor this
    d.put("AlwaysOnTop_TICKBOX", "2");
    d.start();
    EXPECT_EQ(d.main().left(), 1000.0f);
    EXPECT_EQ(d.main().top(), 1000.0f);
    EXPECT_EQ(d.main().width(), 4410.0f);
    EXPECT_EQ(d.main().height(), 350.0f);
    // A stored 2 counts as off, and the box holds 0.
    EXPECT_EQ(d.main().alwaysOnTopBox().value(), 0);
    EXPECT_FALSE(d.main().keeperTimer().enabled());
    EXPECT_TRUE(allSixEnabled(d.main(), true));
    // The settings store reports the text that is no number; the window the three others.
    EXPECT_EQ(reports.size(), 4u) << "each unusable geometry value is reported";
    for (const auto& r : reports) EXPECT_NE(r.find("MAIN_"), std::string::npos) << r;
}

TEST(MainWindowStartUp, AnUnusableSizeIsReportedAsItWasRead) {
    Desktop d;
    test::CapturedWarnings warnings(d.guard);
    const std::vector<std::string>& reports = warnings.lines;
    d.put("MAIN_Width", "-0.1");
    d.start();
    EXPECT_EQ(d.main().width(), 4410.0f);
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_NE(reports[0].find("MAIN_Width = -0.1 is not a usable window size; using 4410"),
              std::string::npos)
        << reports[0];
}

TEST(MainWindowStartUp, AStoredSizeBeyondTheDesktopIsLimitedToItWhereTheSystemDoesNot) {
    Desktop d;
    test::CapturedWarnings warnings(d.guard);
    // Two monitors side by side, 1920 + 1280 pixels wide, 1080 high at most.
    std::vector<Monitor> monitors = d.platform.monitors();
    ASSERT_FALSE(monitors.empty());
    Monitor second = monitors[0];
    second.full = {monitors[0].full.x + monitors[0].full.width, 0, 1280, 1024};
    second.work = second.full;
    second.primary = false;
    monitors.push_back(second);
    d.platform.setMonitors(monitors);
    const int wide = monitors[0].full.width + 1280;
    const int high = std::max(monitors[0].full.height, 1024);
    d.put("MAIN_Width", "490000");
    d.put("MAIN_Height", "490000");
    d.put("ABOUT_Height", "490000");

    // Where the window system limits windows itself, the core leaves the size alone.
    d.start();
    EXPECT_EQ(d.main().width(), 490000.0f);
    EXPECT_TRUE(warnings.lines.empty()) << warnings.lines.front();
    d.program.reset();

    d.platform.setLimitsWindowSize(false);
    d.start();
    EXPECT_EQ(d.mainPeer().outer().width, wide);
    EXPECT_EQ(d.mainPeer().outer().height, high);
    ASSERT_EQ(warnings.lines.size(), 1u) << "one message for both keys";
    EXPECT_NE(warnings.lines[0].find("MAIN_Width, MAIN_Height = 490000, 490000 is larger than the "
                                     "desktop (" +
                                     std::to_string(wide) + " x " + std::to_string(high)),
              std::string::npos)
        << warnings.lines[0];
    // Only the height of the About window is too large; its width is the design's.
    ASSERT_TRUE(d.doubleClickStrip());
    EXPECT_EQ(d.about().width(), 8730.0f);
    EXPECT_EQ(d.platform.peerOf(d.about())->outer().height, high);
    EXPECT_EQ(warnings.lines.size(), 2u);
    // The store keeps what it holds: the program never writes sizes.
    EXPECT_EQ(d.stored("MAIN_Width"), "490000");
    EXPECT_TRUE(d.savesOf("MAIN_Height").empty());
}

TEST(MainWindowShutDown, CloseSavesPositionAndOptions) {
    Desktop d;
    d.start();
    d.platform.dragTo(d.main(), -300, 200);  // onto a monitor left of the primary one
    d.store.clearLog();
    d.platform.requestClose(d.main());
    EXPECT_FALSE(d.main().loaded());
    EXPECT_TRUE(d.platform.quitRequested());
    ASSERT_EQ(d.store.log().size(), 4u);
    EXPECT_EQ(d.store.log()[0].key, "MAIN_Left");
    EXPECT_EQ(d.store.log()[1].key, "MAIN_Top");
    EXPECT_EQ(d.store.log()[2].key, "AlwaysOnTop_TICKBOX");
    EXPECT_EQ(d.store.log()[3].key, "AUTOSTART_TICKBOX");
    EXPECT_EQ(d.stored("MAIN_Left"), "-4500");
    EXPECT_EQ(d.stored("MAIN_Top"), "3000");
    EXPECT_EQ(d.stored("AlwaysOnTop_TICKBOX"), "1");
    EXPECT_EQ(d.stored("AUTOSTART_TICKBOX"), "1");
    EXPECT_FALSE(d.stored("MAIN_Width")) << "the size is never saved";
    EXPECT_TRUE(allSixEnabled(d.main(), false)) << "the timers stop with the window";
}

TEST(MainWindowShutDown, EndOfSessionSavesAsACloseDoesWithTheAboutWindowOpen) {
    Desktop d;
    d.start();
    d.platform.dragTo(d.main(), 150, 90);
    ASSERT_TRUE(d.doubleClickStrip());
    d.platform.dragTo(d.about(), 400, 300);
    d.store.clearLog();
    d.platform.endSession();
    EXPECT_FALSE(d.about().loaded());
    EXPECT_FALSE(d.main().loaded());
    EXPECT_TRUE(d.program->runtime.ended());
    std::vector<std::string> keys;
    for (const auto& e : d.store.log()) keys.push_back(e.key);
    EXPECT_EQ(keys, (std::vector<std::string>{"ABOUT_Left", "ABOUT_Top", "MAIN_Left", "MAIN_Top",
                                              "AlwaysOnTop_TICKBOX", "AUTOSTART_TICKBOX"}));
    EXPECT_EQ(d.stored("MAIN_Left"), "2250");
    EXPECT_EQ(d.stored("ABOUT_Top"), "4500");
}

TEST(MainWindowShutDown, WhatIsSavedIsWhereTheFrameIsAsTheWindowCloses) {
    Desktop d;
    d.start();
    d.platform.placeUnreported(d.main(), 120, 80);
    d.program->main.close();
    EXPECT_EQ(d.stored("MAIN_Left"), "1800");
    EXPECT_EQ(d.stored("MAIN_Top"), "1200");
    // Where the frame is where the program put it, the twips stay exactly as they were read.
    d.put("MAIN_Left", "1001");
    d.start();
    d.program->main.close();
    EXPECT_EQ(d.stored("MAIN_Left"), "1001");
}

TEST(MainWindowShutDown, ASessionThatMayEndIsSavedForAndGoesOnRunning) {
    Desktop d;
    d.start();
    d.platform.dragTo(d.main(), 150, 90);
    ASSERT_TRUE(d.doubleClickStrip());
    d.store.clearLog();
    d.platform.querySessionEnd();
    EXPECT_TRUE(d.about().loaded());
    EXPECT_TRUE(d.main().loaded());
    EXPECT_FALSE(d.program->runtime.ended());
    EXPECT_TRUE(allSixEnabled(d.main(), true)) << "the uptime display goes on";
    EXPECT_EQ(d.stored("MAIN_Left"), "2250");
    EXPECT_EQ(d.savesOf("ABOUT_Left").size(), 1u);
    EXPECT_EQ(d.savesOf("AUTOSTART_TICKBOX").size(), 1u);
    // Refused elsewhere, the session goes on: a later move is saved at the next close.
    d.platform.dragTo(d.about(), 400, 300);
    d.platform.endSession();
    EXPECT_EQ(d.stored("ABOUT_Top"), "4500");
    EXPECT_TRUE(d.program->runtime.ended());
}

TEST(MainWindowShutDown, AFailingStoreIsReportedOnceAndTheProgramGoesOn) {
    Desktop d;
    d.start();
    d.store.failSaves("No space left on device");
    d.platform.requestClose(d.main());
    EXPECT_FALSE(d.main().loaded());
    EXPECT_EQ(d.savesOf("MAIN_Left").size(), 1u);
    EXPECT_EQ(d.savesOf("AUTOSTART_TICKBOX").size(), 1u) << "a failed save stops no later save";
}

TEST(AlwaysOnTopKeeper, OrdersItsCallsAsWindowTimersDid) {
    Desktop d;
    d.start();
    d.platform.clearOrderCalls();
    // The main window is in the foreground: one query and nothing else.
    d.platform.advance(1000);
    ASSERT_EQ(d.platform.orderCalls().size(), 1u);
    EXPECT_EQ(d.platform.orderCalls()[0].kind, OrderCall::Foreground);

    const WindowHandle other = d.platform.createForeignWindow(true);
    d.platform.setForeground(other);
    d.platform.clearOrderCalls();
    d.platform.advance(1000);
    const auto& calls = d.platform.orderCalls();
    ASSERT_EQ(calls.size(), 4u);
    EXPECT_EQ(calls[0].kind, OrderCall::Foreground);
    EXPECT_EQ(calls[1].kind, OrderCall::Foreground);
    EXPECT_EQ(calls[2].kind, OrderCall::SetTopmost);
    EXPECT_EQ(calls[2].window, other);
    EXPECT_FALSE(calls[2].topmost);
    EXPECT_EQ(calls[3].kind, OrderCall::SetTopmost);
    EXPECT_EQ(calls[3].window, d.main().handle());
    EXPECT_TRUE(calls[3].topmost);
    EXPECT_FALSE(d.platform.isTopmost(other));
    EXPECT_TRUE(d.platform.isTopmost(d.main().handle()));
}

TEST(AlwaysOnTopKeeper, StoredOffLeavesTheWindowAlone) {
    Desktop d;
    d.put("AlwaysOnTop_TICKBOX", "0");
    d.start();
    d.platform.setForeground(d.platform.createForeignWindow(false));
    d.platform.clearOrderCalls();
    d.platform.advance(3000);
    EXPECT_TRUE(d.platform.orderCalls().empty());
    EXPECT_FALSE(d.platform.isTopmost(d.main().handle()));
}

TEST(ClientStrip, ScalesWithTheDpiAndStaysTheDoubleClickTarget) {
    Desktop d;
    d.platform.setSystemDpi(144);
    std::vector<Monitor> monitors = d.platform.monitors();
    monitors[0].dpi = 144;
    d.platform.setMonitors(monitors);
    d.start();
    EXPECT_EQ(d.mainPeer().client().height, 8);  // 5 pixels at 96 DPI, scaled by 1.5
    EXPECT_EQ(d.mainPeer().outer().x, 100);      // 1000 twips at 144 DPI
    ASSERT_TRUE(d.doubleClickStrip());
    EXPECT_TRUE(d.about().loaded());
}

TEST(OffScreenRule, AWindowSavedOnAMissingMonitorComesBack) {
    Desktop d;
    d.put("MAIN_Left", "60000");  // 4000 pixels right: a monitor that is gone
    d.put("MAIN_Top", "-1500");
    d.start();
    const PixelRect r = d.mainPeer().outer();
    EXPECT_LE(r.right(), 1920);
    EXPECT_GE(r.y, 0);
    d.platform.requestClose(d.main());
    EXPECT_NE(d.stored("MAIN_Left"), "60000") << "the reachable place is what is saved";
}

TEST(OffScreenRule, PureFunctionOverMonitorLayouts) {
    const Monitor primary{{0, 0, 1920, 1080}, {0, 0, 1920, 1040}, 96, true};
    const Monitor left{{-1280, 0, 1280, 1024}, {-1280, 0, 1280, 1024}, 96, false};
    const Monitor above4k{{0, -2160, 3840, 2160}, {0, -2160, 3840, 2120}, 192, false};
    const Monitor laptop{{0, 0, 1366, 768}, {0, 0, 1366, 728}, 96, true};
    const int title = 22;
    const std::vector<Monitor> two{primary, left};
    // On a monitor left of the primary one: stays exactly.
    EXPECT_EQ(keepReachable({-900, 300, 294, 30}, title, two), (PixelRect{-900, 300, 294, 30}));
    // That monitor removed: pulled into the primary's work area.
    const PixelRect back = keepReachable({-900, 300, 294, 30}, title, std::vector{primary});
    EXPECT_EQ(back.x, 0);
    EXPECT_EQ(back.y, 300);
    // Above the primary on a high-DPI monitor: stays.
    const std::vector<Monitor> stacked{primary, above4k};
    EXPECT_EQ(keepReachable({100, -1000, 582, 161}, title, stacked).y, -1000);
    // Resolution shrunk: a window at 1800, 1000 on a 1366 × 768 screen comes into the work area.
    const PixelRect shrunk = keepReachable({1800, 1000, 294, 30}, title, std::vector{laptop});
    EXPECT_EQ(shrunk, (PixelRect{1366 - 294, 728 - 30, 294, 30}));
    // A title bar with at least 40 × 20 pixels showing is left alone, even parked on a task bar.
    EXPECT_EQ(keepReachable({1880, 1050, 294, 30}, title, std::vector{primary}).x, 1880);
    // Less than 40 pixels of it showing is not enough.
    EXPECT_EQ(keepReachable({1890, 500, 294, 30}, title, std::vector{primary}).x, 1920 - 294);
    // Only the frame's lower part on screen, the title bar above the top edge: pulled down.
    EXPECT_EQ(keepReachable({500, -25, 294, 30}, title, std::vector{primary}).y, 0);
}
