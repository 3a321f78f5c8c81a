#pragma once
// QV_TKS_MAIN: the program's main window. It owns the field board with its four whole counts,
// the seven step timers and the two option check boxes; its caption carries the uptime. At the
// stored size it shows only its title bar and a thin strip below it, where a double-click opens
// the About window.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "engine/field_board.h"
#include "platform/runtime.h"
#include "settings/settings_store.h"
#include "platform/timer_scheduler.h"
#include "engine/uptime_steps.h"
#include "platform/window.h"

namespace qv {

inline constexpr std::int64_t kKeeperPeriodMs = 1000;
inline constexpr std::int64_t kUptimeStepPeriodMs = 1;

class QV_TKS_MAIN : public Window, public CaptionTarget {
  public:
    QV_TKS_MAIN(Runtime& runtime, SettingsStore& settings);
    ~QV_TKS_MAIN() override;

    // The program-wide instance, or nullptr before it exists.
    static QV_TKS_MAIN* instance() { return instance_; }

    // The window a double-click opens, modal and owned by this one.
    void setAboutWindow(Window* about) { about_ = about; }

    // The uptime group in the order start-up enables it, and in the order the About window does.
    std::array<Timer*, 6> startupOrder() const;
    std::array<Timer*, 6> aboutOrder() const;

    // CaptionTarget: the title composer sets the caption here on every run.
    void setCaption(std::string_view caption) override { Window::setCaption(caption); }

    FieldBoard board;

    // Hidden controls that hold the options' current values; they exist while the window is
    // loaded.
    Control* AlwaysOnTop_TICKBOX = nullptr;
    Control* AUTOSTART_TICKBOX = nullptr;
    Control* Line1 = nullptr;

    Timer& AlwaysOnTopTimer;
    Timer& UPTIME_TIMER;
    Timer& DAY_UPTIME_TIMER;
    Timer& HOUR_UPTIME_TIMER;
    Timer& MINUTE_UPTIME_TIMER;
    Timer& SECOND_UPTIME_TIMER;
    Timer& QV_DISPLAY_UPDATE_TIMER;

  protected:
    void controlsCreated() override;
    void Form_Load() override;
    void Form_Unload() override;
    void Form_DblClick() override;

  private:
    void AlwaysOnTopTimer_Timer();
    void UPTIME_TIMER_Timer();
    void DAY_UPTIME_TIMER_Timer();
    void HOUR_UPTIME_TIMER_Timer();
    void MINUTE_UPTIME_TIMER_Timer();
    void SECOND_UPTIME_TIMER_Timer();
    void QV_DISPLAY_UPDATE_TIMER_Timer();

    static QV_TKS_MAIN* instance_;
    SettingsStore& settings_;
    Window* about_ = nullptr;
    std::string titleScratch_;
};

// A stored geometry value the window can use: a position or size the settings store read, or
// the key's default (reported) when it is not a positive size or lies beyond 32767 pixels.
float usableGeometry(SettingsStore& settings, SettingKey key, int systemDpi);
// Places `window` from four geometry keys, read one after another: left, top, width, height.
void loadGeometry(Window& window, SettingsStore& settings, SettingKey left, SettingKey top,
                  SettingKey width, SettingKey height);
// An option's check box value: 1 for a stored 1, otherwise 0 (off).
int optionValue(SettingsStore& settings, SettingKey key);

}  // namespace qv
