// The timers while nobody can see the screen: at most one wake-up a second, shared by every
// timer, and a fresh caption as soon as the screen is back. First the scheduler alone in
// virtual time, then the whole program on the simulated desktop.

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "app/program.h"
#include "engine/uptime_steps.h"
#include "platform/handler_guard.h"
#include "platform/headless/headless_loop.h"
#include "platform/headless/headless_platform.h"
#include "platform/headless/virtual_clock.h"
#include "platform/timer_scheduler.h"
#include "timer_rig.h"

using namespace qv;
using namespace qv::headless;

using Rig = TimerRig;

TEST(RestingTimers, TickOnWholeSecondsAndShareOneWakeUp) {
    Rig rig;
    rig.timer('a', 1);
    rig.until(337);
    rig.timer('k', 1000);
    rig.until(505);
    rig.scheduler.setScreenVisible(false);
    rig.ticks.clear();
    rig.order.clear();
    const int wakeUps = rig.loop.advance(10'000 - 505);
    EXPECT_EQ(wakeUps, 9) << "one wake-up a second, at 2000 ... 10000";
    EXPECT_EQ(rig.order, "akakakakakakakakak");
    for (std::size_t i = 0; i < rig.ticks.size(); ++i)
        EXPECT_EQ(rig.ticks[i], 2000 + 1000 * static_cast<std::int64_t>(i / 2)) << i;
}

TEST(RestingTimers, ALateWakeUpKeepsTheNextTickOnTheNextSecond) {
    Rig rig;
    rig.scheduler.setScreenVisible(false);
    rig.timer('k', 1000);
    rig.until(1999);
    rig.clock.advance(31);  // the process wakes 30 ms late
    rig.scheduler.runDue();
    rig.until(4500);
    EXPECT_EQ(rig.ticks, (std::vector<std::int64_t>{1000, 2030, 3000, 4000}));
}

TEST(RestingTimers, BackOnScreenTheElapsedTimersRunAtOnceThenTheNormalResolution) {
    Rig rig;
    rig.timer('k', 1500);
    rig.timer('a', 1);
    Timer& held = rig.timer('h', 5000);
    rig.timer('c', 1);
    rig.until(5);
    rig.scheduler.setScreenVisible(false);
    rig.until(3600);
    EXPECT_EQ(rig.order, "ackacac") << "a and c at 1000, 2000 and 3000; k at 2000";
    rig.order.clear();
    rig.scheduler.setScreenVisible(true);
    EXPECT_EQ(rig.order, "kac") << "k's 1500 ms have passed since 2000, h's 5000 ms have not";
    rig.scheduler.setScreenVisible(true);
    EXPECT_EQ(rig.order, "kac") << "a report of the state it has changes nothing";
    rig.order.clear();
    rig.until(3700);
    EXPECT_EQ(rig.order, "acacacacacacacacacac");
    EXPECT_EQ(*rig.scheduler.msUntilNextDue(), kTimerResolutionMs);
    held.setEnabled(false);
    rig.order.clear();
    rig.until(5100);
    EXPECT_EQ(rig.order.find('h'), std::string::npos);
    EXPECT_EQ(std::count(rig.order.begin(), rig.order.end(), 'k'), 1) << "k at 5100";
}

TEST(RestingTimers, BackOnScreenJustAfterARestingTickTheStepsRunAgain) {
    // A resting tick falls on the whole second, where the uptime engine may still show the
    // second before; a title pushed as the screen comes back must not be that tick's.
    Rig rig;
    rig.timer('a', 1);
    rig.timer('k', 1000);
    rig.scheduler.setScreenVisible(false);
    rig.until(2003);
    ASSERT_EQ(rig.ticks.back(), 2000);
    rig.order.clear();
    rig.scheduler.setScreenVisible(true);
    EXPECT_EQ(rig.order, "a") << "a's own 1 ms has passed since 2000; k's second has not";
    rig.order.clear();
    rig.until(2013);
    EXPECT_EQ(rig.order, "a") << "then every 10 ms, from 2003";
}

namespace {

constexpr std::uint64_t kUptimeAtStart = 123456789 - kTimerResolutionMs;  // 1d 10h 17m 36.779s

struct Desktop {
    HandlerGuard guard;
    HeadlessPlatform platform{kUptimeAtStart};
    std::unique_ptr<Program> program;

    Desktop() {
        program = std::make_unique<Program>(platform, guard);
        program->start();
        platform.advance(kTimerResolutionMs);
    }
    std::string caption() { return platform.peerOf(program->main)->screenCaption(); }
    int wakeUpsOver(std::int64_t ms) {
        const int before = platform.wakeUps();
        platform.advance(ms);
        return platform.wakeUps() - before;
    }
    bool sixEnabled(bool enabled) {
        for (Timer* t : program->main.startupOrder())
            if (t->enabled() != enabled) return false;
        return true;
    }
};

}  // namespace

TEST(ScreenOff, TheProgramWakesOnceASecondAndShowsTheCurrentSecondWhenTheScreenIsBack) {
    Desktop d;
    ASSERT_EQ(d.caption(), "QV-TICKSPAN: 1d, 10h, 17m, 36s");
    HeadlessWindow& peer = *d.platform.peerOf(d.program->main);
    const int pushes = peer.captionPushes();
    d.platform.setScreenVisible(false);
    EXPECT_LE(d.wakeUpsOver(10'000), 10) << "steps and keeper share one wake-up a second";
    EXPECT_EQ(d.program->main.caption(), "QV-TICKSPAN: 1d, 10h, 17m, 46s") << "the steps ran";
    EXPECT_EQ(peer.captionPushes(), pushes) << "a title nobody can see is not pushed";
    // The uptime second turns at 221 ms past each whole second of the clock: at 10 500 ms the
    // steps rested at 46 s, while 47 s have begun.
    d.platform.advance(490);
    EXPECT_EQ(d.program->main.caption(), "QV-TICKSPAN: 1d, 10h, 17m, 46s");
    d.platform.setScreenVisible(true);
    EXPECT_EQ(d.caption(), "QV-TICKSPAN: 1d, 10h, 17m, 47s") << "at once, before any wake-up";
    EXPECT_EQ(peer.captionPushes(), pushes + 1) << "once, fresh";
    EXPECT_EQ(d.wakeUpsOver(100), 10) << "the normal resolution is back";
}

TEST(ScreenOff, TheAboutWindowStillStopsAndStartsTheUptimeGroup) {
    Desktop d;
    d.platform.setScreenVisible(false);
    const PixelRect client = d.platform.peerOf(d.program->main)->client();
    ASSERT_TRUE(d.platform.doubleClickAt(d.program->main, client.width / 2, client.height / 2));
    ASSERT_TRUE(d.platform.clickControl(d.program->about, "AUTOSTART_TICKBOX"));
    EXPECT_TRUE(d.sixEnabled(false));
    EXPECT_EQ(d.program->main.caption(), kDisabledTitle);
    EXPECT_EQ(d.caption(), "QV-TICKSPAN: 1d, 10h, 17m, 36s") << "held while nobody can see it";
    d.platform.setScreenVisible(true);
    EXPECT_EQ(d.caption(), kDisabledTitle) << "the held title, though no timer ran";
    d.platform.advance(3000);
    EXPECT_EQ(d.caption(), kDisabledTitle);

    d.platform.setScreenVisible(false);
    ASSERT_TRUE(d.platform.clickControl(d.program->about, "AUTOSTART_TICKBOX"));
    EXPECT_TRUE(d.sixEnabled(true));
    d.platform.advance(980);
    EXPECT_EQ(d.program->main.caption(), kDisabledTitle) << "enabled while resting: the first "
                                                            "tick waits for the next second";
    d.platform.setScreenVisible(true);
    EXPECT_EQ(d.caption(), "QV-TICKSPAN: 1d, 10h, 17m, 40s");
}
