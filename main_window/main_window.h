#pragma once
// The program's main window. It owns the field board with its four whole counts, the seven step
// timers and the two option check boxes; its caption carries the uptime. At the stored size it
// shows only its title bar and a thin strip below it, where a double-click opens the About
// window.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "engine/field_board.h"
#include "main_window/main_window_options.h"
#include "platform/runtime.h"
#include "platform/timer_scheduler.h"
#include "platform/window.h"
#include "settings/settings_store.h"

namespace qv {

inline constexpr std::int64_t kKeeperPeriodMs = 1000;
inline constexpr std::int64_t kUptimeStepPeriodMs = 1;

class MainWindow : public Window, public MainWindowOptions {
  public:
    MainWindow(Runtime& runtime, SettingsStore& settings);
    ~MainWindow() override;

    // The window a double-click opens, modal and owned by this one.
    void setAboutWindow(Window* about) { about_ = about; }

    const FieldBoard& board() const { return board_; }
    // The uptime group in the order start-up switches it: sampling, day, hour, minute, second,
    // title.
    std::array<Timer*, 6> startupOrder() const;

    // What the About window acts on.
    Control& alwaysOnTopBox() override { return *alwaysOnTopBox_; }
    Control& autoStartBox() override { return *autoStartBox_; }
    Timer& keeperTimer() override { return keeperTimer_; }
    std::array<Timer*, 6> aboutOrder() override;
    void showCaption(std::string_view caption) override { setCaption(caption); }

  protected:
    void controlsCreated() override;
    void load() override;
    void unload() override;
    void save() override;
    void doubleClick() override;
    void frameChanged() override;

  private:
    void keeperTick();
    void samplingTick();
    void dayTick();
    void hourTick();
    void minuteTick();
    void secondTick();
    void titleTick();

    SettingsStore& settings_;
    FieldBoard board_;
    // Created in the order keeper, sampling, day, hour, minute, second, title: due timers run in
    // creation order, so one pass settles the board.
    Timer& keeperTimer_;
    Timer& samplingTimer_;
    Timer& dayTimer_;
    Timer& hourTimer_;
    Timer& minuteTimer_;
    Timer& secondTimer_;
    Timer& titleTimer_;
    // Hidden controls that hold the options' current values, while the window is loaded.
    Control* alwaysOnTopBox_ = nullptr;
    Control* autoStartBox_ = nullptr;
    Window* about_ = nullptr;
    bool designedWidth_ = false;  // no width stored: it fits the title bar's caption
    std::string titleScratch_;
};

}  // namespace qv
