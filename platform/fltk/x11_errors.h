#pragma once
// What an X protocol error says, for the handler that reports it (FltkPlatform).

#include <X11/Xlib.h>

#include <string>

namespace qv::fltk::x11 {

// "BadWindow (invalid Window parameter) in request X_SetInputFocus (42)".
std::string errorText(Display* display, const XErrorEvent& error);

}  // namespace qv::fltk::x11
