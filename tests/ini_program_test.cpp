// The program on the simulated desktop over the real settings file, when the file refuses its
// saves: a settings.ini.lock planted as a link stops every save until it is removed.

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "app/program.h"
#include "engine/uptime_steps.h"
#include "platform/headless/headless_platform.h"
#include "platform/posix/ini_scan.h"
#include "tests/ini_test_support.h"

using namespace qv;
using namespace qv::test;
using namespace qv::headless;
namespace fs = std::filesystem;

namespace {

class RefusedSaveTest : public IniStoreTest {
  protected:
    RefusedSaveTest() {
        spill(file(), "[qv-tickspan]\nAUTOSTART_TICKBOX=1\n");
        platform.useSettings(backend);
        program = std::make_unique<Program>(platform, guard);
        program->start();
        platform.advance(kTimerResolutionMs);
    }

    void plantLockLink() { fs::create_symlink(dir.path() + "/elsewhere", file() + ".lock"); }
    void removeLockLink() { fs::remove(file() + ".lock"); }
    std::optional<std::string> inFile(std::string_view key) {
        return ini::KeyScan(slurp(file()), "qv-tickspan", key).value();
    }

    MainWindow& main() { return program->main; }
    AboutWindow& about() { return program->about; }
    std::string caption() { return platform.peerOf(main())->screenCaption(); }
    bool openAbout() {
        const PixelRect client = platform.peerOf(main())->client();
        return platform.doubleClickAt(main(), client.width / 2, client.height / 2) &&
               about().loaded();
    }
    bool running() { return caption().starts_with("QV-TICKSPAN: ") && caption() != kDisabledTitle; }
    std::size_t reportsWith(std::string_view text) {
        return static_cast<std::size_t>(
            std::count_if(reports.begin(), reports.end(),
                          [&](const std::string& r) { return r.find(text) != std::string::npos; }));
    }

    HeadlessPlatform platform{123456789};
    IniSettingsBackend backend{guard, options()};
    std::unique_ptr<Program> program;
};

TEST_F(RefusedSaveTest, TheAboutWindowShowsWhatIsInEffectAndOneClickRestartsTheTimers) {
    ASSERT_TRUE(running());
    plantLockLink();
    ASSERT_TRUE(openAbout());
    ASSERT_TRUE(platform.clickControl(about(), "AUTOSTART_TICKBOX"));
    EXPECT_EQ(caption(), kDisabledTitle);
    EXPECT_EQ(inFile("AUTOSTART_TICKBOX"), "1") << "the save was refused";
    EXPECT_EQ(reportsWith("is a link"), 1u);
    ASSERT_TRUE(platform.clickControl(about(), "OK_BUTTON"));

    ASSERT_TRUE(openAbout());
    EXPECT_EQ(about().control("AUTOSTART_TICKBOX")->value(), 0) << "cleared, as it is in effect";
    platform.advance(1000);
    EXPECT_EQ(caption(), kDisabledTitle);
    ASSERT_TRUE(platform.clickControl(about(), "AUTOSTART_TICKBOX"));
    platform.advance(kTimerResolutionMs);
    EXPECT_TRUE(running()) << "one click starts the timers again";
    platform.requestClose(about());

    // Giving up at shut-down: the keys refused to the end, named once.
    platform.requestClose(main());
    EXPECT_EQ(reportsWith("not saved, since the store refused it to the end: ABOUT_Left, "
                          "ABOUT_Top, MAIN_Left, MAIN_Top, AlwaysOnTop_TICKBOX"),
              1u);
    EXPECT_EQ(reportsWith("is a link"), 1u) << "one message for the cause";
    EXPECT_EQ(slurp(file()), "[qv-tickspan]\nAUTOSTART_TICKBOX=1\n");
}

TEST_F(RefusedSaveTest, ARefusedSaveIsMadeOnceTheCauseIsGone) {
    plantLockLink();
    ASSERT_TRUE(openAbout());
    ASSERT_TRUE(platform.clickControl(about(), "AUTOSTART_TICKBOX"));
    removeLockLink();
    ASSERT_TRUE(platform.clickControl(about(), "OK_BUTTON"));  // saves its position
    EXPECT_EQ(inFile("AUTOSTART_TICKBOX"), "0");
    EXPECT_EQ(reportsWith("AUTOSTART_TICKBOX saved now"), 1u);
    platform.requestClose(main());
    EXPECT_EQ(reportsWith("not saved"), 0u);
    EXPECT_EQ(inFile("MAIN_Left"), "1000");
}

TEST_F(RefusedSaveTest, AnotherCopysLaterSaveIsNeverWrittenOver) {
    plantLockLink();
    ASSERT_TRUE(openAbout());
    platform.dragTo(about(), 200, 100);
    ASSERT_TRUE(platform.clickControl(about(), "OK_BUTTON"));  // ABOUT_Left 3000, refused
    removeLockLink();
    // Another copy of the program saves the key meanwhile.
    IniSettingsBackend other(guard, options());
    ASSERT_TRUE(other.save("QV_TKS", "qv-tickspan", "ABOUT_Left", "2000").ok);
    platform.requestClose(main());  // its saves go through, and the retry finds 2000
    EXPECT_EQ(inFile("ABOUT_Left"), "2000");
    EXPECT_EQ(inFile("ABOUT_Top"), "1500") << "this run's own refused save is made";
    EXPECT_EQ(reportsWith("ABOUT_Top saved now"), 1u);
    EXPECT_EQ(reportsWith("not saved"), 0u);
}

}  // namespace
