#include "platform/fltk/x11_errors.h"

#include <string>

namespace qv::fltk::x11 {

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

}  // namespace qv::fltk::x11
