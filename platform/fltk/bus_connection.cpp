#include "platform/fltk/bus_connection.h"

#include <FL/Fl.H>
#include <poll.h>
#include <time.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

namespace qv::fltk {

namespace {

// Messages handled in one turn before FLTK's own events get theirs: a peer that floods the bus
// slows the program down but never starves its windows and timers.
constexpr int kMessagesPerTurn = 64;

std::uint64_t monotonicUsec() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<std::uint64_t>(ts.tv_sec) * 1'000'000 +
           static_cast<std::uint64_t>(ts.tv_nsec) / 1000;
}

const char* busName(BusKind kind) {
    return kind == BusKind::Session ? "session" : "system";
}

// Where the bus is looked for, as sd-bus looks: the address from the environment, or the
// standard place.
std::string busAddress(BusKind kind) {
    const char* given = std::getenv(kind == BusKind::Session ? "DBUS_SESSION_BUS_ADDRESS"
                                                             : "DBUS_SYSTEM_BUS_ADDRESS");
    if (given && *given) return given;
    if (kind == BusKind::System) return "unix:path=/run/dbus/system_bus_socket";
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    return runtime && *runtime ? std::string("unix:path=") + runtime + "/bus" : std::string();
}

std::string brokenLine(BusKind kind, int error) {
    std::string line = std::string("the ") + busName(kind) + " D-Bus";
    if (const std::string address = busAddress(kind); !address.empty())
        line += " (" + address + ")";
    return line + " cannot be used: " + std::strerror(-error) +
           "; a locked or blank screen is noticed only through the X server";
}

}  // namespace

std::unique_ptr<BusConnection> BusConnection::open(BusKind kind, Warn warn) {
    sd_bus* bus = nullptr;
    const int r = kind == BusKind::Session ? sd_bus_open_user(&bus) : sd_bus_open_system(&bus);
    if (r < 0) {
        // No socket where the address points (or, for the session bus, no address and no
        // runtime folder): there is no such bus here, which is nothing to report.
        if (r != -ENOENT && r != -ENOMEDIUM && warn) warn(brokenLine(kind, r));
        return nullptr;
    }
    return std::unique_ptr<BusConnection>(new BusConnection(bus, kind, std::move(warn)));
}

BusConnection::BusConnection(sd_bus* bus, BusKind kind, Warn warn)
    : bus_(bus), kind_(kind), warn_(std::move(warn)) {
    fd_ = sd_bus_get_fd(bus_);
    if (fd_ < 0) {
        end(fd_);
        return;
    }
    Fl::add_fd(fd_, FL_READ, onSocket, this);
    rearm();
}

BusConnection::~BusConnection() {
    Fl::remove_timeout(onMore, this);
    Fl::remove_timeout(onTimeout, this);
    if (fd_ >= 0) Fl::remove_fd(fd_);
    if (bus_) sd_bus_close_unref(bus_);
}

void BusConnection::setHandlers(std::function<void()> afterTurn, std::function<void()> ended) {
    afterTurn_ = std::move(afterTurn);
    ended_ = std::move(ended);
}

void BusConnection::rearm() {
    if (!bus_) return;
    const int events = sd_bus_get_events(bus_);
    if (events < 0) {
        end(events);
        return;
    }
    const bool write = (events & POLLOUT) != 0;
    if (write != watchingWrite_) {
        if (write)
            Fl::add_fd(fd_, FL_WRITE, onSocket, this);
        else
            Fl::remove_fd(fd_, FL_WRITE);
        watchingWrite_ = write;
    }
    std::uint64_t due = UINT64_MAX;
    if (sd_bus_get_timeout(bus_, &due) < 0) due = UINT64_MAX;
    const bool arm = due != UINT64_MAX;
    if (arm == timeoutArmed_ && (!arm || due == timeoutUsec_)) return;
    Fl::remove_timeout(onTimeout, this);
    timeoutArmed_ = arm;
    timeoutUsec_ = due;
    if (!arm) return;
    const std::uint64_t now = monotonicUsec();
    Fl::add_timeout(due > now ? static_cast<double>(due - now) / 1e6 : 0.0, onTimeout, this);
}

void BusConnection::turn() {
    Fl::remove_timeout(onMore, this);
    int r = 0;
    for (int i = 0; i < kMessagesPerTurn && bus_; ++i) {
        r = sd_bus_process(bus_, nullptr);
        if (r <= 0) break;
    }
    if (!bus_) return;
    if (r < 0) {
        end(r);
        return;
    }
    if (!wasReady_ && sd_bus_is_ready(bus_) > 0) wasReady_ = true;
    // NOTE: the library may hold read messages that the socket no longer signals; the next
    // turn comes as soon as FLTK has handled what else is waiting.
    if (r > 0) Fl::add_timeout(0.0, onMore, this);
    rearm();
    if (afterTurn_) afterTurn_();
}

void BusConnection::end(int error) {
    // A bus that once worked and then went away is the session ending or its daemon stopping:
    // nothing to report. One that never worked was expected and is broken.
    if (!wasReady_ && warn_) warn_(brokenLine(kind_, error));
    Fl::remove_timeout(onMore, this);
    Fl::remove_timeout(onTimeout, this);
    timeoutArmed_ = false;
    if (fd_ >= 0) Fl::remove_fd(fd_);
    fd_ = -1;
    if (ended_) ended_();
    if (bus_) sd_bus_close_unref(bus_);
    bus_ = nullptr;
    if (afterTurn_) afterTurn_();
}

void BusConnection::onSocket(int, void* self) noexcept {
    static_cast<BusConnection*>(self)->turn();
}

void BusConnection::onTimeout(void* self) noexcept {
    auto* connection = static_cast<BusConnection*>(self);
    connection->timeoutArmed_ = false;
    connection->turn();
}

void BusConnection::onMore(void* self) noexcept {
    static_cast<BusConnection*>(self)->turn();
}

}  // namespace qv::fltk
