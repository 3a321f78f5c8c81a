#pragma once
// The desktop session's own word on whether anyone sees the screen, heard on D-Bus: the login
// session's LockedHint (logind, system bus), the freedesktop and GNOME screen savers' Active
// state and mutter's PowerSaveMode (session bus). Each service's present state is read once
// its name has an owner, then only its signals are followed; calls go to the owner's unique
// name, and at most one is in flight per service, however much a peer sends.

#include <array>
#include <functional>
#include <memory>
#include <string>

#include "platform/fltk/bus_connection.h"
#include "platform/fltk/screen_sources.h"

namespace qv::fltk {

class SessionScreenWatch {
  public:
    // Connects to the buses that exist and starts listening. `changed` runs after each turn of
    // messages, when what `sources` holds may have changed; `warn` takes the one line said
    // about a bus that is there but broken.
    SessionScreenWatch(ScreenSources& sources, std::function<void()> changed,
                       BusConnection::Warn warn);
    ~SessionScreenWatch();
    SessionScreenWatch(const SessionScreenWatch&) = delete;
    SessionScreenWatch& operator=(const SessionScreenWatch&) = delete;

    struct ServiceInfo;
    struct Watched {
        SessionScreenWatch* watch = nullptr;
        const ServiceInfo* service = nullptr;
        BusConnection* connection = nullptr;
        BusSlot ownerMatch;   // NameOwnerChanged for the service's name
        BusSlot signalMatch;  // the service's news, from its name
        BusSlot call;         // the one call in flight
        std::string path;     // where the followed property lives
        bool readAgain = false;
        bool triedSessionId = false;
    };

  private:
    void start(Watched& w);
    void adopt(Watched& w, const char* owner);
    void readState(Watched& w);
    void findLoginSession(Watched& w, bool byProcess);
    void follow(Watched& w, const char* path);
    void connectionEnded(BusConnection& connection);

    static int onOwnerChanged(sd_bus_message* m, void* w, sd_bus_error*) noexcept;
    static int onNameOwner(sd_bus_message* m, void* w, sd_bus_error*) noexcept;
    static int onLoginSession(sd_bus_message* m, void* w, sd_bus_error*) noexcept;
    static int onActiveChanged(sd_bus_message* m, void* w, sd_bus_error*) noexcept;
    static int onPropertiesChanged(sd_bus_message* m, void* w, sd_bus_error*) noexcept;
    static int onState(sd_bus_message* m, void* w, sd_bus_error*) noexcept;

    ScreenSources& sources_;
    std::function<void()> changed_;
    std::unique_ptr<BusConnection> session_;
    std::unique_ptr<BusConnection> system_;
    std::array<Watched, kScreenServiceCount> watched_;
};

}  // namespace qv::fltk
