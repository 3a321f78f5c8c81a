#pragma once
// QV_TKS_MAIN: the program's main window. It owns the field board with its four whole counts,
// the seven step timers and the two option check boxes, and its caption carries the uptime.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "field_board.h"
#include "tick_source.h"
#include "timer_scheduler.h"
#include "uptime_steps.h"

namespace qv {

inline constexpr std::int64_t kKeeperPeriodMs = 1000;
inline constexpr std::int64_t kUptimeStepPeriodMs = 1;

class QV_TKS_MAIN : public CaptionTarget {
  public:
    QV_TKS_MAIN(TimerScheduler& scheduler, const TickSource& ticks);
    ~QV_TKS_MAIN() override;
    QV_TKS_MAIN(const QV_TKS_MAIN&) = delete;
    QV_TKS_MAIN& operator=(const QV_TKS_MAIN&) = delete;

    // The program-wide instance, or nullptr before it exists.
    static QV_TKS_MAIN* instance() { return instance_; }

    // Gives every timer its period, then enables the keeper and the uptime group as the two
    // option boxes say (exactly 1 means on).
    void armTimers();

    // The uptime group in the order start-up enables it, and in the order the About window does.
    std::array<Timer*, 6> startupOrder() const;
    std::array<Timer*, 6> aboutOrder() const;

    // CaptionTarget: the caption is set on every call; onCaptionSet sees every call.
    void setCaption(std::string_view caption) override;
    const std::string& caption() const { return caption_; }

    FieldBoard board;

    // The options' current values, 0 (off) or 1 (on).
    int AlwaysOnTop_TICKBOX = 1;
    int AUTOSTART_TICKBOX = 1;

    Timer& AlwaysOnTopTimer;
    Timer& UPTIME_TIMER;
    Timer& DAY_UPTIME_TIMER;
    Timer& HOUR_UPTIME_TIMER;
    Timer& MINUTE_UPTIME_TIMER;
    Timer& SECOND_UPTIME_TIMER;
    Timer& QV_DISPLAY_UPDATE_TIMER;

  private:
    void AlwaysOnTopTimer_Timer();
    void UPTIME_TIMER_Timer();
    void DAY_UPTIME_TIMER_Timer();
    void HOUR_UPTIME_TIMER_Timer();
    void MINUTE_UPTIME_TIMER_Timer();
    void SECOND_UPTIME_TIMER_Timer();
    void QV_DISPLAY_UPDATE_TIMER_Timer();

    static QV_TKS_MAIN* instance_;
    const TickSource& ticks_;
    std::string caption_;
    std::string titleScratch_;
};

}  // namespace qv
