// What the core hands a backend, and how it takes the backend's reports.

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
    HandlerGuard guard;
    HeadlessPlatform platform;
    Runtime runtime{platform, guard};
    Window window{runtime, kShuffledDesign};

    ShuffledWindow() { startProgram(window); }
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
    test::CapturedWarnings warnings(s.guard);
    const std::vector<std::string>& reports = warnings.lines;
    s.window.control("first")->onClick = [] { throw std::runtime_error("broken"); };
    EXPECT_TRUE(s.platform.clickControl(s.window, "first"));
    EXPECT_TRUE(s.platform.clickControl(s.window, "first"));
    EXPECT_EQ(s.guard.count("first", "broken"), 2u);
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_NE(reports[0].find("first: broken"), std::string::npos) << reports[0];
    EXPECT_TRUE(s.window.loaded());
}

TEST(BackendContract, TheRuntimeConnectsItselfAndLetsGo) {
    HandlerGuard guard;
    HeadlessPlatform platform;
    int ticks = 0;
    {
        Runtime runtime(platform, guard);
        Timer& t = runtime.scheduler().create("t", [&] { ++ticks; });
        t.setPeriod(1);
        t.setEnabled(true);
        platform.advance(kTimerResolutionMs);
        EXPECT_EQ(ticks, 1) << "the backend reports to the runtime without being told to";
    }
    platform.advance(kTimerResolutionMs);  // reports to no runtime once it is gone
    EXPECT_EQ(ticks, 1);
}

namespace {

// A window whose unload handler fails every time, as one whose store throws would.
class FailingUnloadWindow : public Window {
  public:
    using Window::Window;
    int unloads = 0;

  protected:
    void unload() override {
        ++unloads;
        throw std::runtime_error("store gone");
    }
};

}  // namespace

TEST(BackendContract, AWindowWhoseUnloadFailsStillClosesAndCanCloseAgain) {
    HandlerGuard guard;
    test::CapturedWarnings warnings(guard);
    HeadlessPlatform platform;
    Runtime runtime(platform, guard);
    FailingUnloadWindow window(runtime, kShuffledDesign);
    startProgram(window);
    input::closeCommand(window);
    EXPECT_FALSE(window.loaded());
    EXPECT_EQ(platform.peerOf(window), nullptr);
    window.show();
    ASSERT_TRUE(window.loaded());
    input::closeCommand(window);
    EXPECT_FALSE(window.loaded()) << "a failed unload must not leave the window unclosable";
    EXPECT_EQ(window.unloads, 2);
    EXPECT_EQ(guard.count("SHUFFLED", "store gone"), 2u);
    ASSERT_EQ(warnings.lines.size(), 1u);
    EXPECT_NE(warnings.lines[0].find("SHUFFLED: store gone"), std::string::npos)
        << warnings.lines[0];
}

TEST(BackendContract, AWindowThePlatformCannotMakeIsClosedAgainAndItsOwnerTakesInputAgain) {
    Desktop d;
    test::CapturedWarnings warnings(d.guard);
    d.start();
    d.platform.setRefusesWindows(true);
    ASSERT_TRUE(d.doubleClickStrip());
    EXPECT_FALSE(d.about().loaded());
    EXPECT_TRUE(d.main().acceptsInput());
    ASSERT_EQ(warnings.lines.size(), 1u);
    EXPECT_NE(warnings.lines[0].find("cannot create a window"), std::string::npos)
        << warnings.lines[0];
    d.platform.setRefusesWindows(false);
    ASSERT_TRUE(d.doubleClickStrip());
    EXPECT_TRUE(d.about().loaded());
}

TEST(BackendContract, AStartUpWindowThePlatformCannotMakeEndsTheProgramWithTheReason) {
    Desktop d;
    test::CapturedWarnings warnings(d.guard);
    d.platform.setRefusesWindows(true);
    Program program(d.platform, d.guard);
    EXPECT_EQ(program.run(), 1);
    ASSERT_EQ(warnings.lines.size(), 2u);
    EXPECT_NE(warnings.lines[0].find("cannot create a window"), std::string::npos);
    EXPECT_EQ(warnings.lines[1], "qv-tickspan: the window QV_TKS_MAIN cannot be shown; ending");
}
