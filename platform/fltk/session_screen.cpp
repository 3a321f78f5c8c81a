#include "platform/fltk/session_screen.h"

#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <optional>

namespace qv::fltk {

struct SessionScreenWatch::ServiceInfo {
    ScreenService id;
    BusKind bus;
    const char* name;
    const char* path;       // null: the login session's own, found at run time
    const char* interface;  // of the signal, or of the followed property
    const char* property;   // null: the Active state, through ActiveChanged and GetActive
    char type;              // the state's D-Bus type
};

namespace {

using ServiceInfo = SessionScreenWatch::ServiceInfo;
using Watched = SessionScreenWatch::Watched;

constexpr const char* kDaemon = "org.freedesktop.DBus";
constexpr const char* kDaemonPath = "/org/freedesktop/DBus";
constexpr const char* kProperties = "org.freedesktop.DBus.Properties";

constexpr ServiceInfo kServices[kScreenServiceCount] = {
    {ScreenService::LoginSession, BusKind::System, "org.freedesktop.login1", nullptr,
     "org.freedesktop.login1.Session", "LockedHint", 'b'},
    {ScreenService::FreedesktopSaver, BusKind::Session, "org.freedesktop.ScreenSaver",
     "/org/freedesktop/ScreenSaver", "org.freedesktop.ScreenSaver", nullptr, 'b'},
    {ScreenService::GnomeSaver, BusKind::Session, "org.gnome.ScreenSaver", "/org/gnome/ScreenSaver",
     "org.gnome.ScreenSaver", nullptr, 'b'},
    {ScreenService::MutterPower, BusKind::Session, "org.gnome.Mutter.DisplayConfig",
     "/org/gnome/Mutter/DisplayConfig", "org.gnome.Mutter.DisplayConfig", "PowerSaveMode", 'i'},
};

// A match the bus refuses leaves that news unheard; the connection goes on (without this
// callback sd-bus would close it).
int onMatchInstalled(sd_bus_message*, void*, sd_bus_error*) {
    return 0;
}

BusSlot addMatch(sd_bus* bus, const std::string& rule, sd_bus_message_handler_t handler,
                 Watched& w) {
    sd_bus_slot* slot = nullptr;
    if (sd_bus_add_match_async(bus, &slot, rule.c_str(), handler, onMatchInstalled, &w) < 0)
        return nullptr;
    return BusSlot(slot);
}

template <class... Args>
BusSlot call(Watched& w, const char* destination, const char* path, const char* interface,
             const char* member, sd_bus_message_handler_t handler, const char* types,
             Args... args) {
    sd_bus_slot* slot = nullptr;
    if (sd_bus_call_method_async(w.connection->bus(), &slot, destination, path, interface, member,
                                 handler, &w, types, args...) < 0)
        return nullptr;
    return BusSlot(slot);
}

// The state a service reports, read from `m` at a value of the service's type; nothing when the
// value has another type.
std::optional<bool> readHidden(sd_bus_message* m, const ServiceInfo& service) {
    if (service.type == 'i') {
        std::int32_t mode = 0;
        if (sd_bus_message_read_basic(m, 'i', &mode) <= 0) return std::nullopt;
        return powerSaveHidesScreen(mode);
    }
    int flag = 0;
    if (sd_bus_message_read_basic(m, 'b', &flag) <= 0) return std::nullopt;
    return flag != 0;
}

// A variant holding the service's type: its value; any other variant is skipped.
std::optional<bool> readHiddenVariant(sd_bus_message* m, const ServiceInfo& service) {
    char type = 0;
    const char* contents = nullptr;
    if (sd_bus_message_peek_type(m, &type, &contents) <= 0 || type != 'v' || !contents ||
        contents[0] != service.type || contents[1] != '\0') {
        sd_bus_message_skip(m, "v");
        return std::nullopt;
    }
    const char inner[2] = {service.type, '\0'};
    if (sd_bus_message_enter_container(m, 'v', inner) <= 0) return std::nullopt;
    const std::optional<bool> hidden = readHidden(m, service);
    sd_bus_message_exit_container(m);
    return hidden;
}

// The followed property in a PropertiesChanged signal (interface, changed values, invalidated
// names): its new value, or that it changed without one. False when the message is not of
// that form; then none of it counts.
bool readChanged(sd_bus_message* m, const ServiceInfo& service, std::optional<bool>& hidden,
                 bool& invalidated) {
    const char* interface = nullptr;
    if (!sd_bus_message_has_signature(m, "sa{sv}as") ||
        sd_bus_message_read_basic(m, 's', &interface) <= 0 ||
        std::strcmp(interface, service.interface) != 0)
        return false;
    if (sd_bus_message_enter_container(m, 'a', "{sv}") <= 0) return false;
    int r = 0;
    while ((r = sd_bus_message_enter_container(m, 'e', "sv")) > 0) {
        const char* name = nullptr;
        if (sd_bus_message_read_basic(m, 's', &name) <= 0) return false;
        if (std::strcmp(name, service.property) == 0)
            hidden = readHiddenVariant(m, service);
        else if (sd_bus_message_skip(m, "v") < 0)
            return false;
        if (sd_bus_message_exit_container(m) < 0) return false;
    }
    if (r < 0 || sd_bus_message_exit_container(m) < 0) return false;
    if (sd_bus_message_enter_container(m, 'a', "s") <= 0) return false;
    const char* name = nullptr;
    while ((r = sd_bus_message_read_basic(m, 's', &name)) > 0)
        if (std::strcmp(name, service.property) == 0) invalidated = true;
    return r == 0 && sd_bus_message_exit_container(m) >= 0;
}

bool fromDaemon(sd_bus_message* m) {
    const char* sender = sd_bus_message_get_sender(m);
    return sender && std::strcmp(sender, kDaemon) == 0;
}

// Runs a handler's body for sd-bus, which is C: nothing may be thrown back into it.
template <class F>
int guarded(F&& body) noexcept {
    try {
        body();
        return 0;
    } catch (...) {
        return -ENOMEM;
    }
}

}  // namespace

SessionScreenWatch::SessionScreenWatch(ScreenSources& sources, std::function<void()> changed,
                                       BusConnection::Warn warn)
    : sources_(sources), changed_(std::move(changed)) {
    session_ = BusConnection::open(BusKind::Session, warn);
    system_ = BusConnection::open(BusKind::System, warn);
    for (BusConnection* c : {session_.get(), system_.get()}) {
        if (c) c->setHandlers([this] { changed_(); }, [this, c] { connectionEnded(*c); });
    }
    for (std::size_t i = 0; i < kScreenServiceCount; ++i) {
        Watched& w = watched_[i];
        w.watch = this;
        w.service = &kServices[i];
        w.connection = kServices[i].bus == BusKind::Session ? session_.get() : system_.get();
        if (w.connection && w.connection->bus()) start(w);
    }
    for (BusConnection* c : {session_.get(), system_.get()})
        if (c) c->rearm();
}

SessionScreenWatch::~SessionScreenWatch() {
    // Slots first: each holds the bus it lives on.
    for (Watched& w : watched_) {
        w.call.reset();
        w.signalMatch.reset();
        w.ownerMatch.reset();
    }
}

void SessionScreenWatch::start(Watched& w) {
    sd_bus* bus = w.connection->bus();
    const ServiceInfo& service = *w.service;
    w.ownerMatch = addMatch(bus,
                            std::string("type='signal',sender='") + kDaemon + "',path='" +
                                kDaemonPath + "',interface='" + kDaemon +
                                "',member='NameOwnerChanged',arg0='" + service.name + "'",
                            onOwnerChanged, w);
    if (!service.property) {
        // Any path: a saver may announce itself on more than one.
        w.signalMatch =
            addMatch(bus,
                     std::string("type='signal',sender='") + service.name + "',interface='" +
                         service.interface + "',member='ActiveChanged'",
                     onActiveChanged, w);
    } else if (service.path) {
        follow(w, service.path);
    }
    // After the matches, so that no change between the answer and them goes unheard.
    w.call = call(w, kDaemon, kDaemonPath, kDaemon, "GetNameOwner", onNameOwner, "s", service.name);
}

void SessionScreenWatch::follow(Watched& w, const char* path) {
    if (w.signalMatch && w.path == path) return;
    w.path = path;
    w.signalMatch = addMatch(w.connection->bus(),
                             std::string("type='signal',sender='") + w.service->name + "',path='" +
                                 path + "',interface='" + kProperties +
                                 "',member='PropertiesChanged',arg0='" + w.service->interface + "'",
                             onPropertiesChanged, w);
}

void SessionScreenWatch::adopt(Watched& w, const char* owner) {
    if (!sources_.setOwner(w.service->id, owner)) return;
    w.call.reset();  // an answer from the former owner no longer counts
    w.readAgain = false;
    if (!*owner) return;
    if (w.service->path)
        readState(w);
    else
        findLoginSession(w, false);
}

void SessionScreenWatch::findLoginSession(Watched& w, bool byProcess) {
    const std::string& owner = sources_.owner(w.service->id);
    const char* id = std::getenv("XDG_SESSION_ID");
    constexpr const char* kManager = "org.freedesktop.login1.Manager";
    constexpr const char* kManagerPath = "/org/freedesktop/login1";
    if (!byProcess && id && *id) {
        w.call =
            call(w, owner.c_str(), kManagerPath, kManager, "GetSession", onLoginSession, "s", id);
        w.triedSessionId = true;
    } else {
        w.call = call(w, owner.c_str(), kManagerPath, kManager, "GetSessionByPID", onLoginSession,
                      "u", static_cast<std::uint32_t>(getpid()));
        w.triedSessionId = false;
    }
}

void SessionScreenWatch::readState(Watched& w) {
    const std::string& owner = sources_.owner(w.service->id);
    if (owner.empty() || (w.service->property && w.path.empty())) return;
    if (w.call) {
        w.readAgain = true;
        return;
    }
    if (w.service->property)
        w.call = call(w, owner.c_str(), w.path.c_str(), kProperties, "Get", onState, "ss",
                      w.service->interface, w.service->property);
    else
        w.call =
            call(w, owner.c_str(), w.service->path, w.service->interface, "GetActive", onState, "");
}

void SessionScreenWatch::connectionEnded(BusConnection& connection) {
    for (Watched& w : watched_) {
        if (w.connection != &connection) continue;
        w.call.reset();
        w.signalMatch.reset();
        w.ownerMatch.reset();
        w.connection = nullptr;
        sources_.setOwner(w.service->id, "");
    }
}

int SessionScreenWatch::onOwnerChanged(sd_bus_message* m, void* data, sd_bus_error*) noexcept {
    auto& w = *static_cast<Watched*>(data);
    return guarded([&] {
        const char* name = nullptr;
        const char* former = nullptr;
        const char* owner = nullptr;
        // Only the bus itself speaks for names: anyone may send a signal of this form.
        if (!fromDaemon(m) || !sd_bus_message_has_signature(m, "sss") ||
            sd_bus_message_read(m, "sss", &name, &former, &owner) < 0)
            return;
        if (std::strcmp(name, w.service->name) == 0) w.watch->adopt(w, owner);
    });
}

int SessionScreenWatch::onNameOwner(sd_bus_message* m, void* data, sd_bus_error*) noexcept {
    auto& w = *static_cast<Watched*>(data);
    return guarded([&] {
        w.call.reset();
        const char* owner = nullptr;
        // An error is a name nobody owns yet: its owner is announced when it comes.
        if (sd_bus_message_is_method_error(m, nullptr) || !fromDaemon(m) ||
            !sd_bus_message_has_signature(m, "s") || sd_bus_message_read(m, "s", &owner) < 0 ||
            owner[0] != ':')
            return;
        w.watch->adopt(w, owner);
    });
}

int SessionScreenWatch::onLoginSession(sd_bus_message* m, void* data, sd_bus_error*) noexcept {
    auto& w = *static_cast<Watched*>(data);
    return guarded([&] {
        w.call.reset();
        SessionScreenWatch& self = *w.watch;
        const char* sender = sd_bus_message_get_sender(m);
        if (!sender || self.sources_.owner(w.service->id) != sender) return;
        const char* path = nullptr;
        if (sd_bus_message_is_method_error(m, nullptr) || !sd_bus_message_has_signature(m, "o") ||
            sd_bus_message_read(m, "o", &path) < 0) {
            // XDG_SESSION_ID may name a session that has ended: ask by process instead. A
            // process in no session has no lock to follow.
            if (w.triedSessionId) self.findLoginSession(w, true);
            return;
        }
        self.follow(w, path);
        self.readState(w);
    });
}

int SessionScreenWatch::onState(sd_bus_message* m, void* data, sd_bus_error*) noexcept {
    auto& w = *static_cast<Watched*>(data);
    return guarded([&] {
        w.call.reset();
        SessionScreenWatch& self = *w.watch;
        const char* sender = sd_bus_message_get_sender(m);
        const char signature[2] = {w.service->property ? 'v' : w.service->type, '\0'};
        if (sender && !sd_bus_message_is_method_error(m, nullptr) &&
            sd_bus_message_has_signature(m, signature)) {
            const std::optional<bool> hidden =
                w.service->property ? readHiddenVariant(m, *w.service) : readHidden(m, *w.service);
            if (hidden) self.sources_.report(w.service->id, sender, *hidden);
        }
        if (w.readAgain) {
            w.readAgain = false;
            self.readState(w);
        }
    });
}

int SessionScreenWatch::onActiveChanged(sd_bus_message* m, void* data, sd_bus_error*) noexcept {
    auto& w = *static_cast<Watched*>(data);
    return guarded([&] {
        const char* sender = sd_bus_message_get_sender(m);
        if (!sender || !sd_bus_message_has_signature(m, "b")) return;
        if (const std::optional<bool> hidden = readHidden(m, *w.service))
            w.watch->sources_.report(w.service->id, sender, *hidden);
    });
}

int SessionScreenWatch::onPropertiesChanged(sd_bus_message* m, void* data, sd_bus_error*) noexcept {
    auto& w = *static_cast<Watched*>(data);
    return guarded([&] {
        SessionScreenWatch& self = *w.watch;
        const char* sender = sd_bus_message_get_sender(m);
        if (!sender || self.sources_.owner(w.service->id) != sender) return;
        std::optional<bool> hidden;
        bool invalidated = false;
        if (!readChanged(m, *w.service, hidden, invalidated)) return;
        if (hidden)
            self.sources_.report(w.service->id, sender, *hidden);
        else if (invalidated)
            self.readState(w);
    });
}

}  // namespace qv::fltk
