#pragma once
// Everything that can tell whether anyone sees the screen: the X server (screen saver, monitor
// power) and the desktop session's services on D-Bus (the login session's lock, the screen
// savers or shields, the compositor's monitor power). Nobody sees the screen while any of them
// says so. A service is heard only through the current owner of its bus name: what another
// sender claims is ignored, and when the owner goes away or is replaced, what it said goes too.

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

namespace qv::fltk {

enum class ScreenService : std::size_t {
    LoginSession,      // org.freedesktop.login1: the session's LockedHint (system bus)
    FreedesktopSaver,  // org.freedesktop.ScreenSaver: ActiveChanged
    GnomeSaver,        // org.gnome.ScreenSaver: ActiveChanged
    MutterPower,       // org.gnome.Mutter.DisplayConfig: PowerSaveMode
};
inline constexpr std::size_t kScreenServiceCount = 4;

// Whether a PowerSaveMode value means the monitors are dark: 1 standby, 2 suspend, 3 off. On
// (0), unknown (-1) and any value this program does not know leave the screen visible, so a
// compositor's new mode never makes the program rest wrongly.
bool powerSaveHidesScreen(int mode);

class ScreenSources {
  public:
    // What the X server's screen saver and monitor power say.
    void setXVisible(bool visible) { xVisible_ = visible; }

    // The service's bus name has a new owner (its unique name; empty when nobody owns it). What
    // the former owner said is forgotten. True when the owner changed, so its state is to be
    // read from the new one.
    bool setOwner(ScreenService service, std::string_view owner);
    const std::string& owner(ScreenService service) const { return at(service).owner; }

    // `sender` (a unique name) says whether the service hides the screen; taken only from the
    // current owner. True when taken.
    bool report(ScreenService service, std::string_view sender, bool hidden);
    bool hides(ScreenService service) const { return at(service).hidden; }

    bool visible() const;

  private:
    struct Service {
        std::string owner;
        bool hidden = false;
    };
    Service& at(ScreenService s) { return services_[static_cast<std::size_t>(s)]; }
    const Service& at(ScreenService s) const { return services_[static_cast<std::size_t>(s)]; }

    bool xVisible_ = true;
    std::array<Service, kScreenServiceCount> services_;
};

}  // namespace qv::fltk
