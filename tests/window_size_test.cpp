// The windows' sizes as stored from outside the program, on the simulated desktop: a size the
// window cannot use, one beyond the desktop, one too narrow to reach the About window from. The
// store keeps what it holds: the program never writes a size.

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "tests/captured_warnings.h"
#include "tests/program_desktop.h"

using namespace qv;
using namespace qv::test;

TEST(WindowSize, AnUnusableSizeIsReportedAsItWasRead) {
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

TEST(WindowSize, AStoredSizeBeyondTheDesktopIsLimitedToItWhereTheSystemDoesNot) {
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

// However far beyond the desktop a finite size lies, it goes the way of any size beyond it.
TEST(WindowSize, EveryFiniteSizeBeyondTheDesktopIsTreatedAlike) {
    // What is stored, and the value as the message names it.
    for (const auto& [stored, named] : std::vector<std::pair<std::string, std::string>>{
             {"100000", "100000"}, {"999999", "999999"}, {"3.0e38", "3E+38"}}) {
        SCOPED_TRACE(stored);
        Desktop d;
        test::CapturedWarnings warnings(d.guard);
        d.platform.setLimitsWindowSize(false);
        const int screenWidth = d.platform.monitors().at(0).full.width;
        d.put("MAIN_Width", stored);
        d.put("ABOUT_Width", stored);
        d.start();
        EXPECT_EQ(d.mainPeer().outer().width, screenWidth);
        ASSERT_TRUE(d.doubleClickStrip());
        EXPECT_EQ(d.platform.peerOf(d.about())->outer().width, screenWidth);
        ASSERT_EQ(warnings.lines.size(), 2u) << "one message for each window";
        EXPECT_NE(warnings.lines[0].find("MAIN_Width, MAIN_Height = " + named +
                                         ", 350 is larger than the desktop"),
                  std::string::npos)
            << warnings.lines[0];
        EXPECT_NE(warnings.lines[1].find("ABOUT_Width, ABOUT_Height = " + named +
                                         ", 2415 is larger than the desktop"),
                  std::string::npos)
            << warnings.lines[1];
        d.platform.requestClose(d.about());
        d.platform.requestClose(d.main());
        EXPECT_EQ(d.stored("MAIN_Width"), stored);
        EXPECT_EQ(d.stored("ABOUT_Width"), stored);
    }
    // Where the window system keeps a window within the desktop itself, it is handed such a size
    // too, never the design's instead.
    for (const std::string stored : {"999999", "3.0e38"}) {
        SCOPED_TRACE(stored);
        Desktop d;
        test::CapturedWarnings warnings(d.guard);
        d.put("MAIN_Width", stored);
        d.start();
        EXPECT_GE(d.mainPeer().outer().width, d.platform.monitors().at(0).full.width);
        EXPECT_TRUE(warnings.lines.empty()) << warnings.lines.front();
    }
}

// A width too narrow for the strip to take a double-click is raised to one that leaves 32
// pixels of it at 96 DPI, and said once; a width that leaves that much is used as it stands.
TEST(WindowSize, AWidthTooNarrowToUseIsRaisedToAUsableStrip) {
    for (const int dpi : {96, 144}) {
        for (const std::string stored : {"1", "0.5", "555"}) {
            SCOPED_TRACE(stored + " twips at " + std::to_string(dpi) + " DPI");
            Desktop d;
            test::CapturedWarnings warnings(d.guard);
            std::vector<Monitor> monitors = d.platform.monitors();
            monitors.at(0).dpi = dpi;
            d.platform.setMonitors(monitors);
            d.platform.setSystemDpi(dpi);
            d.put("MAIN_Width", stored);
            d.put("ABOUT_Width", stored);
            d.start();
            const int strip = scaleFrom96(32, dpi);
            EXPECT_EQ(d.mainPeer().client().width, strip);
            ASSERT_TRUE(d.doubleClickStrip()) << "the strip takes the double-click";
            EXPECT_EQ(d.platform.peerOf(d.about())->client().width, strip);
            ASSERT_EQ(warnings.lines.size(), 2u);
            EXPECT_NE(warnings.lines[0].find("MAIN_Width = " + stored + " is too narrow"),
                      std::string::npos)
                << warnings.lines[0];
            EXPECT_NE(warnings.lines[1].find("ABOUT_Width = " + stored + " is too narrow"),
                      std::string::npos)
                << warnings.lines[1];
            d.platform.requestClose(d.about());
            d.platform.requestClose(d.main());
            EXPECT_EQ(d.stored("MAIN_Width"), stored);
        }
    }
    Desktop d;
    test::CapturedWarnings warnings(d.guard);
    d.put("MAIN_Width", "570");  // 38 pixels: the frame's 6 and a strip of 32
    d.start();
    EXPECT_EQ(d.main().width(), 570.0f);
    EXPECT_EQ(d.mainPeer().client().width, 32);
    EXPECT_TRUE(warnings.lines.empty()) << warnings.lines.front();
}
