// The two windows on the simulated desktop, driven as a person would drive them: clicks and
// double-clicks at points of a window, keys, the close command, and time passing. Also what the
// core hands a backend and how it takes the backend's reports.

#include <gtest/gtest.h>

#include <array>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "about_window/about_design.h"
#include "app/program.h"
#include "engine/uptime_steps.h"
#include "platform/handler_guard.h"
#include "platform/headless/headless_platform.h"
#include "platform/memory_settings.h"

using namespace qv;
using Op = MemorySettingsBackend::Op;

namespace {

constexpr std::uint64_t kUptimeAtStart = 123456789 - kTimerResolutionMs;
constexpr std::string_view kRunning = "QV-TICKSPAN: 1d, 10h, 17m, 36s";

struct Desktop {
    HeadlessPlatform platform{kUptimeAtStart};
    MemorySettingsBackend& store = platform.store();
    std::unique_ptr<Program> program;

    Desktop() { HandlerGuard::instance().clear(); }
    ~Desktop() { HandlerGuard::instance().clear(); }

    // Starts the program (the settings as the test left them).
    Program& start() {
        program = std::make_unique<Program>(platform);
        program->start();
        return *program;
    }
    MainWindow& main() { return program->main; }
    AboutWindow& about() { return program->about; }
    HeadlessWindow& mainPeer() { return *platform.peerOf(main()); }
    std::string screenCaption() { return mainPeer().screenCaption(); }
    std::optional<std::string> stored(std::string_view key) {
        return store.raw("qv-tickspan", key);
    }
    void put(std::string_view key, std::string_view value) {
        store.setRaw("qv-tickspan", key, value);
    }

    // A double-click in the strip below the main window's title bar.
    bool doubleClickStrip() {
        const PixelRect client = mainPeer().client();
        return platform.doubleClickAt(main(), client.width / 2, client.height / 2);
    }
    std::vector<std::string> savesOf(std::string_view key) {
        std::vector<std::string> saves;
        for (const auto& e : store.log())
            if (e.op == Op::Save && e.key == key) saves.push_back(*e.value);
        return saves;
    }
    std::vector<std::string> keysRead() {
        std::vector<std::string> keys;
        for (const auto& e : store.log())
            if (e.op == Op::Read) keys.push_back(e.key);
        return keys;
    }
};

bool allSixEnabled(MainWindow& main, bool enabled) {
    for (Timer* t : main.startupOrder())
        if (t->enabled() != enabled) return false;
    return true;
}

}  // namespace

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

TEST(MainWindowStartUp, UnusableStoredValuesFallBackToDefaults) {
    Desktop d;
    std::vector<std::string> reports;
    HandlerGuard::instance().setExtraSink([&](std::string_view l) { reports.emplace_back(l); });
    d.put("MAIN_Left", "1e9");     // far beyond any screen
    d.put("MAIN_Top", "abc");      // not a number
    d.put("MAIN_Width", "0");      // not a usable size
    d.put("MAIN_Height", "-350");  // nor this
    d.put("AlwaysOnTop_TICKBOX", "2");
    d.start();
    HandlerGuard::instance().setExtraSink(nullptr);
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
    std::vector<std::string> reports;
    HandlerGuard::instance().setExtraSink([&](std::string_view l) { reports.emplace_back(l); });
    d.put("MAIN_Width", "-0.1");
    d.start();
    HandlerGuard::instance().setExtraSink(nullptr);
    EXPECT_EQ(d.main().width(), 4410.0f);
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_NE(reports[0].find("MAIN_Width = -0.1 is not a usable window size; using 4410"),
              std::string::npos)
        << reports[0];
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

namespace {

// A design whose table is not in tab order, with a hidden control and a line that rises.
constexpr std::array<ControlDesign, 4> kShuffledControls{{
    designControl(ControlKind::Line, "line", "", 150, 300, 1500, -150, kNoTabIndex),
    designControl(ControlKind::CheckBox, "second", "B", 1500, 600, 600, 300, 1),
    designControl(ControlKind::Label, "hidden", "H", 0, 0, 600, 300, 0, false),
    designControl(ControlKind::PushButton, "first", "A", 300, 600, 600, 300, 0),
}};
constexpr WindowDesign kShuffledDesign{"SHUFFLED", "Shuffled",        3000, 1500,
                                       0,          kShuffledControls, {},   {}};

struct ShuffledWindow {
    HeadlessPlatform platform;
    Runtime runtime{platform};
    Window window{runtime, kShuffledDesign};

    ShuffledWindow() {
        HandlerGuard::instance().clear();
        runtime.start(window);
    }
    ~ShuffledWindow() { HandlerGuard::instance().clear(); }
};

}  // namespace

TEST(BackendContract, TheCoreHandsOverShownControlsInTabOrderAndALinesEndPoints) {
    ShuffledWindow s;
    std::vector<std::string_view> names;
    for (const Control* c : s.window.shownControls()) names.push_back(c->name());
    EXPECT_EQ(names, (std::vector<std::string_view>{"first", "second", "line"}))
        << "hidden controls are left out, and a control without a tab index comes last";
    const PixelLine line = s.window.control("line")->lineEnds(96);
    EXPECT_EQ(line.x1, 10);
    EXPECT_EQ(line.y1, 20);
    EXPECT_EQ(line.x2, 110);
    EXPECT_EQ(line.y2, 10);
    EXPECT_EQ(s.window.control("second")->pixelRect(144), (PixelRect{150, 60, 60, 30}));
}

TEST(BackendContract, AFaultBehindAnInputEntryIsReportedOnceAndStaysInTheCore) {
    ShuffledWindow s;
    std::vector<std::string> reports;
    HandlerGuard::instance().setExtraSink([&](std::string_view l) { reports.emplace_back(l); });
    s.window.control("first")->onClick = [] { throw std::runtime_error("broken"); };
    EXPECT_TRUE(s.platform.clickControl(s.window, "first"));
    EXPECT_TRUE(s.platform.clickControl(s.window, "first"));
    HandlerGuard::instance().setExtraSink(nullptr);
    EXPECT_EQ(HandlerGuard::instance().count("first", "broken"), 2u);
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_NE(reports[0].find("first: broken"), std::string::npos) << reports[0];
    EXPECT_TRUE(s.window.loaded());
}

TEST(BackendContract, TheRuntimeConnectsItselfAndLetsGo) {
    HeadlessPlatform platform;
    int ticks = 0;
    {
        Runtime runtime(platform);
        Timer& t = runtime.scheduler().create("t", [&] { ++ticks; });
        t.setPeriod(1);
        t.setEnabled(true);
        platform.advance(kTimerResolutionMs);
        EXPECT_EQ(ticks, 1) << "the backend reports to the runtime without being told to";
    }
    platform.advance(kTimerResolutionMs);  // reports to no runtime once it is gone
    EXPECT_EQ(ticks, 1);
}
