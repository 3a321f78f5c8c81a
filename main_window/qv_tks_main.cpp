#include "qv_tks_main.h"

namespace qv {

QV_TKS_MAIN* QV_TKS_MAIN::instance_ = nullptr;

QV_TKS_MAIN::QV_TKS_MAIN(TimerScheduler& scheduler, const TickSource& ticks)
    : AlwaysOnTopTimer(scheduler.create("AlwaysOnTopTimer", [this] { AlwaysOnTopTimer_Timer(); })),
      // Created in the order sampling, day, hour, minute, second, title: due timers run in
      // creation order, so one pass settles the board.
      UPTIME_TIMER(scheduler.create("UPTIME_TIMER", [this] { UPTIME_TIMER_Timer(); })),
      DAY_UPTIME_TIMER(scheduler.create("DAY_UPTIME_TIMER", [this] { DAY_UPTIME_TIMER_Timer(); })),
      HOUR_UPTIME_TIMER(
          scheduler.create("HOUR_UPTIME_TIMER", [this] { HOUR_UPTIME_TIMER_Timer(); })),
      MINUTE_UPTIME_TIMER(
          scheduler.create("MINUTE_UPTIME_TIMER", [this] { MINUTE_UPTIME_TIMER_Timer(); })),
      SECOND_UPTIME_TIMER(
          scheduler.create("SECOND_UPTIME_TIMER", [this] { SECOND_UPTIME_TIMER_Timer(); })),
      QV_DISPLAY_UPDATE_TIMER(
          scheduler.create("QV_DISPLAY_UPDATE_TIMER", [this] { QV_DISPLAY_UPDATE_TIMER_Timer(); })),
      ticks_(ticks) {
    caption_.reserve(96);
    titleScratch_.reserve(96);
    instance_ = this;
}

QV_TKS_MAIN::~QV_TKS_MAIN() {
    // The timers stop with the window.
    for (Timer* t : startupOrder()) t->setEnabled(false);
    AlwaysOnTopTimer.setEnabled(false);
    if (instance_ == this) instance_ = nullptr;
}

std::array<Timer*, 6> QV_TKS_MAIN::startupOrder() const {
    return {&UPTIME_TIMER,        &DAY_UPTIME_TIMER,    &HOUR_UPTIME_TIMER,
            &MINUTE_UPTIME_TIMER, &SECOND_UPTIME_TIMER, &QV_DISPLAY_UPDATE_TIMER};
}

std::array<Timer*, 6> QV_TKS_MAIN::aboutOrder() const {
    return {&DAY_UPTIME_TIMER,    &HOUR_UPTIME_TIMER, &MINUTE_UPTIME_TIMER,
            &SECOND_UPTIME_TIMER, &UPTIME_TIMER,      &QV_DISPLAY_UPDATE_TIMER};
}

void QV_TKS_MAIN::armTimers() {
    AlwaysOnTopTimer.setPeriod(kKeeperPeriodMs);
    for (Timer* t : startupOrder()) t->setPeriod(kUptimeStepPeriodMs);
    AlwaysOnTopTimer.setEnabled(AlwaysOnTop_TICKBOX == 1);
    for (Timer* t : startupOrder()) t->setEnabled(AUTOSTART_TICKBOX == 1);
}

void QV_TKS_MAIN::setCaption(std::string_view caption) {
    caption_.assign(caption);
}

void QV_TKS_MAIN::AlwaysOnTopTimer_Timer() {
    // The keeper arrives with the window runtime.
}

void QV_TKS_MAIN::UPTIME_TIMER_Timer() {
    samplingStep(board, ticks_);
}
void QV_TKS_MAIN::DAY_UPTIME_TIMER_Timer() {
    dayStep(board);
}
void QV_TKS_MAIN::HOUR_UPTIME_TIMER_Timer() {
    hourStep(board);
}
void QV_TKS_MAIN::MINUTE_UPTIME_TIMER_Timer() {
    minuteStep(board);
}
void QV_TKS_MAIN::SECOND_UPTIME_TIMER_Timer() {
    secondStep(board);
}
void QV_TKS_MAIN::QV_DISPLAY_UPDATE_TIMER_Timer() {
    composeTitle(board, titleScratch_, *this);
}

}  // namespace qv
