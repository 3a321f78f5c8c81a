#include "platform/fltk/x11_screen.h"

#include <X11/extensions/dpms.h>
#include <X11/extensions/scrnsaver.h>

namespace qv::fltk::x11 {

ScreenWatch::ScreenWatch(Display* display) : display_(display) {
    const ::Window root = DefaultRootWindow(display);
    int errorBase = 0;
    if (XScreenSaverQueryExtension(display, &saverEventBase_, &errorBase)) {
        XScreenSaverSelectInput(display, root, ScreenSaverNotifyMask);
        if (XScreenSaverInfo* info = XScreenSaverAllocInfo()) {
            if (XScreenSaverQueryInfo(display, root, info)) saverOn_ = info->state == ScreenSaverOn;
            XFree(info);
        }
    } else {
        saverEventBase_ = -1;
    }
    int eventBase = 0;
    dpms_ = DPMSQueryExtension(display, &eventBase, &errorBase) && DPMSCapable(display);
    readPower();
}

bool ScreenWatch::handle(const XEvent& event) {
    if (saverEventBase_ < 0 || event.type != saverEventBase_ + ScreenSaverNotify) return false;
    const auto& news = reinterpret_cast<const XScreenSaverNotifyEvent&>(event);
    // A cycling saver is still on.
    saverOn_ = news.state != ScreenSaverOff;
    readPower();
    return true;
}

void ScreenWatch::readPower() {
    if (!dpms_ || saverOn_) return;
    CARD16 level = DPMSModeOn;
    BOOL enabled = False;
    powerDown_ = DPMSInfo(display_, &level, &enabled) && enabled && level != DPMSModeOn;
}

}  // namespace qv::fltk::x11
