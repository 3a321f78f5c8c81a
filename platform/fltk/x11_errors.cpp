#include "platform/fltk/x11_errors.h"

#include <X11/Xproto.h>

#include <string>

#include "platform/handler_guard.h"

namespace qv::fltk::x11 {

namespace {

unsigned long gFailedCreation = 0;

int onProtocolError(Display* display, XErrorEvent* error) {
    // The resource id is left out so that one kind of error is reported once, however many
    // windows it strikes.
    std::string line = "X error " + errorText(display, *error);
    if (error->request_code == X_CreateWindow)
        gFailedCreation = error->serial;  // what follows is said by whoever asked for the window
    else
        line += " (reported once; the program goes on)";
    HandlerGuard::instance().warnOnce(line);
    return 0;
}

}  // namespace

void catchProtocolErrors() {
    XSetErrorHandler(onProtocolError);
}

std::string errorText(Display* display, const XErrorEvent& error) {
    char what[160] = {};
    XGetErrorText(display, error.error_code, what, sizeof what);
    const std::string major = std::to_string(error.request_code);
    std::string text(what);
    if (error.request_code < 128) {
        // NOTE: Xlib keeps the core requests' names in its error database under "XRequest".
        char request[80] = {};
        XGetErrorDatabaseText(display, "XRequest", major.c_str(), "", request, sizeof request);
        text.append(" in request ").append(request[0] ? request : "?");
        text.append(" (").append(major).append(")");
    } else {
        text.append(" in extension request ").append(major).append(".");
        text.append(std::to_string(error.minor_code));
    }
    return text;
}

unsigned long lastFailedWindowCreation() {
    return gFailedCreation;
}

}  // namespace qv::fltk::x11
