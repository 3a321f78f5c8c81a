#pragma once
// Whether anyone can see the X screen: the screen saver (MIT-SCREEN-SAVER, whose notify events
// say at once when it starts and ends) and the monitors' power state (DPMS, which sends no
// events and so is read when asked). A missing extension counts as a visible screen.

#include <X11/Xlib.h>

namespace qv::fltk::x11 {

class ScreenWatch {
  public:
    // Asks for the screen saver's events on the default screen and reads the present state.
    explicit ScreenWatch(Display* display);
    ScreenWatch(const ScreenWatch&) = delete;
    ScreenWatch& operator=(const ScreenWatch&) = delete;

    bool visible() const { return !saverOn_ && !powerDown_; }
    // Takes any X event; true when it was the screen saver's news. The end of the saver also
    // reads the power state anew, as the monitors usually wake with it.
    bool handle(const XEvent& event);
    // True when the server can report the monitors' power state.
    bool readsPower() const { return dpms_; }
    // Reads the monitors' power state anew; skipped while the saver runs, since the screen is
    // hidden either way and the saver's end reads it.
    void readPower();

  private:
    Display* display_;
    int saverEventBase_ = -1;
    bool dpms_ = false;
    bool saverOn_ = false;
    bool powerDown_ = false;
};

}  // namespace qv::fltk::x11
