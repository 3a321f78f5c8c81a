#pragma once
// The main window as the About window reaches it: the two option boxes, the timers they switch
// and the caption. The main window implements it, and the program hands it to the About window.

#include <array>
#include <string_view>

#include "platform/timer_scheduler.h"
#include "platform/window.h"

namespace qv {

class MainWindowOptions {
  public:
    // The boxes that hold the options' current values. They exist while the main window is
    // loaded, which it is whenever the About window is open.
    virtual Control& alwaysOnTopBox() = 0;
    virtual Control& autoStartBox() = 0;
    // The always-on-top keeper's timer.
    virtual Timer& keeperTimer() = 0;
    // The uptime group in the order the About window switches it: the day, hour, minute and
    // second steps, then sampling, then the title.
    virtual std::array<Timer*, 6> aboutOrder() = 0;
    virtual void showCaption(std::string_view caption) = 0;

  protected:
    ~MainWindowOptions() = default;
};

}  // namespace qv
