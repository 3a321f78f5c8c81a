// Step timers on the headless runtime: tick delivery as window timers deliver it, and the main
// window's uptime steps driven by them.

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "engine/field_board.h"
#include "platform/handler_guard.h"
#include "platform/timer_scheduler.h"
#include "timer_rig.h"

using namespace qv;

using Rig = TimerRig;

TEST(TimerScheduler, OneMillisecondPeriodFiresOncePerResolutionStep) {
    Rig rig;
    std::vector<std::int64_t> at;
    Timer& t = rig.scheduler.create("t", [&] { at.push_back(rig.clock.nowMs()); });
    t.setPeriod(1);
    t.setEnabled(true);
    rig.loop.advance(100);
    EXPECT_EQ(at.size(), static_cast<std::size_t>(100 / kTimerResolutionMs));
    EXPECT_EQ(at.front(), kTimerResolutionMs);
}

TEST(TimerScheduler, EnablingRestartsThePeriodAndDisabledOrZeroPeriodNeverFires) {
    Rig rig;
    int ticks = 0, never = 0;
    Timer& t = rig.scheduler.create("t", [&] { ++ticks; });
    Timer& zero = rig.scheduler.create("zero", [&] { ++never; });
    Timer& off = rig.scheduler.create("off", [&] { ++never; });
    t.setPeriod(1000);
    zero.setEnabled(true);
    off.setPeriod(1);
    t.setEnabled(true);
    rig.loop.advance(900);
    t.setEnabled(false);
    t.setEnabled(true);  // the period starts afresh at 900
    rig.loop.advance(999);
    EXPECT_EQ(ticks, 0);
    rig.loop.advance(1);
    EXPECT_EQ(ticks, 1);
    EXPECT_EQ(never, 0);
}

TEST(TimerScheduler, ALateHandlerYieldsOneTickNotABurst) {
    Rig rig;
    std::vector<std::int64_t> at;
    Timer& t = rig.scheduler.create("slow", [&] {
        at.push_back(rig.clock.nowMs());
        if (at.size() == 1) rig.clock.advance(55);  // the first run overruns by five periods
    });
    t.setPeriod(1);
    t.setEnabled(true);
    rig.loop.advance(100);
    EXPECT_EQ(at, (std::vector<std::int64_t>{10, 65, 75, 85, 95}));
}

TEST(TimerScheduler, DueTimersRunInCreationOrderAndAFaultStopsOnlyItsHandler) {
    Rig rig;
    std::string order;
    std::vector<std::string> reports;
    rig.guard.setExtraSink([&](std::string_view l) { reports.emplace_back(l); });
    Timer* timers[3] = {
        &rig.scheduler.create("a", [&] { order += 'a'; }),
        &rig.scheduler.create("b", [&] { throw std::runtime_error("bad"); }),
        &rig.scheduler.create("c", [&] { order += 'c'; }),
    };
    for (Timer* t : timers) t->setPeriod(1);
    TimerScheduler::setGroupEnabled(timers, true);
    rig.loop.advance(30);
    EXPECT_EQ(order, "acacac");
    EXPECT_EQ(rig.guard.count("b", "bad"), 3u);
    ASSERT_EQ(reports.size(), 1u) << "a repeated error is reported once";
    EXPECT_NE(reports[0].find("b: bad"), std::string::npos);
    rig.guard.flushRepeats();
    ASSERT_EQ(reports.size(), 2u);
    EXPECT_NE(reports[1].find("repeated 3 times"), std::string::npos);
}
