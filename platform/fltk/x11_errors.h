#pragma once
// X protocol errors: a window that vanished between two requests (a dying window manager's, a
// stale id on the root window) or a server that runs out of memory must not end the program, as
// Xlib's own handler would. Each kind is reported once, naming the request and the error, and the
// program goes on.

#include <X11/Xlib.h>

#include <string>

namespace qv::fltk::x11 {

// Replaces Xlib's handler, which ends the process, with the reporting one.
void catchProtocolErrors();

// What an error says: "BadWindow (invalid Window parameter) in request X_SetInputFocus (42)".
std::string errorText(Display* display, const XErrorEvent& error);

// The serial number of the last request that failed to create a window, or 0. A caller compares
// it with NextRequest() taken before its own requests, after an XSync().
unsigned long lastFailedWindowCreation();

}  // namespace qv::fltk::x11
