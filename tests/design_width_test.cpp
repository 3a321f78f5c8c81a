// The main window's width when none is stored, on a simulated desktop whose title bar draws
// captions in a font of a given width: the design's 4410 twips, or wider where the title bar
// needs more room for the longest running caption; a stored width always wins.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "app/program.h"
#include "main_window/main_design.h"
#include "platform/handler_guard.h"
#include "platform/headless/headless_platform.h"

using namespace qv;
using namespace qv::headless;

namespace {

constexpr std::uint64_t kMsPerDay = 86'400'000;

struct Desktop {
    HandlerGuard guard;
    HeadlessPlatform platform;
    std::unique_ptr<Program> program;
    std::vector<std::string> reports;

    explicit Desktop(std::uint64_t uptimeMs = 0) : platform(uptimeMs) {
        guard.setExtraSink([this](std::string_view l) { reports.emplace_back(l); });
    }

    void put(std::string_view key, std::string_view value) {
        platform.store().setRaw("qv-tickspan", key, value);
    }
    MainWindow& start() {
        program = std::make_unique<Program>(platform, guard);
        program->start();
        return program->main;
    }
    int outerWidth() { return platform.peerOf(program->main)->outer().width; }
};

// The headless title bar at 96 DPI: a 3-pixel frame side, a 22-pixel title bar, and 9 pixels a
// character give 33 * 9 + 3 + 3 + 4 * 22 = 391 pixels for the longest caption.
constexpr int kCharWidth = 9;
constexpr int kFitPx = 391;

}  // namespace

TEST(DesignWidth, TheLongestCaptionIsWhatTheTitleShowsAtItsLongest) {
    // Half a second before the ten thousandth day: the title's steps show it as 59 s.
    const std::uint64_t longest = 10'000 * kMsPerDay - 500;
    Desktop d(longest - kTimerResolutionMs);
    d.start();
    d.platform.advance(kTimerResolutionMs);
    EXPECT_EQ(d.platform.peerOf(d.program->main)->screenCaption(), kMainWidestCaption);
}

TEST(DesignWidth, WidensForATitleBarThatNeedsMoreRoom) {
    for (const int dpi : {96, 120, 144}) {
        SCOPED_TRACE(dpi);
        Desktop d;
        d.platform.setSystemDpi(dpi);
        Monitor m = d.platform.monitors().front();
        m.dpi = dpi;
        d.platform.setMonitors({m});
        d.platform.setTitleCharWidth(kCharWidth);
        MainWindow& main = d.start();
        const int fit = d.platform.captionFitWidth(kMainWidestCaption);
        EXPECT_GE(d.outerWidth(), fit) << "the window converts back to at least the fit";
        EXPECT_LE(d.outerWidth(), fit + 1);
        EXPECT_EQ(main.height(), 350.0f) << "only the width follows the title bar";
        EXPECT_TRUE(d.reports.empty());
    }
    Desktop d;
    d.platform.setTitleCharWidth(kCharWidth);
    MainWindow& main = d.start();
    EXPECT_EQ(main.width(), static_cast<float>(kFitPx * 15));
    EXPECT_EQ(d.outerWidth(), kFitPx);
    // The About window shows no running caption: it keeps its design.
    const PixelRect client = d.platform.peerOf(main)->client();
    ASSERT_TRUE(d.platform.doubleClickAt(main, client.width / 2, client.height / 2));
    EXPECT_EQ(d.program->about.width(), 8730.0f);
}

TEST(DesignWidth, KeepsTheDesignWhereTheTitleFits) {
    for (const int charWidth : {0, 5}) {
        Desktop d;
        d.platform.setTitleCharWidth(charWidth);
        EXPECT_EQ(d.start().width(), 4410.0f) << charWidth;
        EXPECT_EQ(d.outerWidth(), 294);
    }
}

TEST(DesignWidth, AStoredWidthWinsAndAnUnusableOneGivesTheWidenedWidth) {
    for (const char* stored : {"4410", "3000", "9000"}) {
        Desktop d;
        d.platform.setTitleCharWidth(kCharWidth);
        d.put("MAIN_Width", stored);
        EXPECT_EQ(d.start().width(), std::stof(stored));
        EXPECT_TRUE(d.reports.empty());
    }
    const std::string widened = std::to_string(kFitPx * 15);
    for (const char* stored : {"abc", "-1", "1e30"}) {
        SCOPED_TRACE(stored);
        Desktop d;
        d.platform.setTitleCharWidth(kCharWidth);
        d.put("MAIN_Width", stored);
        EXPECT_EQ(d.start().width(), static_cast<float>(kFitPx * 15));
        ASSERT_EQ(d.reports.size(), 1u);
        EXPECT_NE(d.reports[0].find(widened), std::string::npos) << d.reports[0];
    }
}

TEST(DesignWidth, FollowsTheFrameTheWindowManagerTellsOnlyOnceTheWindowIsFramed) {
    // No sides and a 41-pixel title bar, where 3-pixel sides and a 22-pixel bar were assumed.
    constexpr FrameExtents kTold{0, 0, 41, 0};
    constexpr int kRefitPx = 33 * kCharWidth + 4 * 41;
    Desktop d;
    d.platform.setTitleCharWidth(kCharWidth);
    MainWindow& main = d.start();
    ASSERT_EQ(d.outerWidth(), kFitPx);
    d.platform.setFrame(kTold);
    EXPECT_EQ(d.outerWidth(), kRefitPx);
    EXPECT_EQ(main.left(), 1000.0f) << "the window stays where it was";
    d.platform.requestClose(main);
    EXPECT_EQ(d.platform.store().raw("qv-tickspan", "MAIN_Width"), std::nullopt)
        << "the width is never saved";

    Desktop stored;
    stored.platform.setTitleCharWidth(kCharWidth);
    stored.put("MAIN_Width", "5000");
    stored.start();
    stored.platform.setFrame(kTold);
    EXPECT_EQ(stored.program->main.width(), 5000.0f) << "a stored width wins";
}
