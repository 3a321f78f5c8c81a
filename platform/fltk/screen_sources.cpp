#include "platform/fltk/screen_sources.h"

#include <algorithm>

namespace qv::fltk {

bool powerSaveHidesScreen(int mode) {
    return mode >= 1 && mode <= 3;
}

bool ScreenSources::setOwner(ScreenService service, std::string_view owner) {
    Service& s = at(service);
    if (s.owner == owner) return false;
    s.owner = owner;
    s.hidden = false;
    return true;
}

bool ScreenSources::report(ScreenService service, std::string_view sender, bool hidden) {
    Service& s = at(service);
    if (s.owner.empty() || sender != s.owner) return false;
    s.hidden = hidden;
    return true;
}

bool ScreenSources::visible() const {
    return xVisible_ && std::none_of(services_.begin(), services_.end(),
                                     [](const Service& s) { return s.hidden; });
}

}  // namespace qv::fltk
