#pragma once
// One connection to a D-Bus message bus (sd-bus from libsystemd), driven by FLTK's event loop:
// its socket is watched with Fl::add_fd and its timeouts are armed with Fl::add_timeout, so no
// thread runs and nothing polls. An idle connection costs no wake-up.

#include <systemd/sd-bus.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string_view>

namespace qv::fltk {

enum class BusKind { Session, System };

// Owns a reference to a match, a call in flight or another sd-bus slot; letting go of it
// cancels what it stands for.
struct SlotRelease {
    void operator()(sd_bus_slot* slot) const { sd_bus_slot_unref(slot); }
};
using BusSlot = std::unique_ptr<sd_bus_slot, SlotRelease>;

class BusConnection {
  public:
    using Warn = std::function<void(std::string_view line)>;

    // Connects to the user's session bus or the system bus. Nothing when there is no such bus
    // (no socket where the address points); one warning through `warn` when the bus is there
    // but cannot be used.
    static std::unique_ptr<BusConnection> open(BusKind kind, Warn warn);
    ~BusConnection();
    BusConnection(const BusConnection&) = delete;
    BusConnection& operator=(const BusConnection&) = delete;

    // Null once the connection has ended.
    sd_bus* bus() const { return bus_; }
    // Runs after each turn of messages. `ended` runs once when the connection ends: nothing more
    // comes from it, and every slot on it must be let go.
    void setHandlers(std::function<void()> afterTurn, std::function<void()> ended);
    // Watches the socket for writing and arms the next timeout as the bus needs them; called
    // after messages are queued outside a turn.
    void rearm();

  private:
    BusConnection(sd_bus* bus, BusKind kind, Warn warn);
    static void onSocket(int fd, void* self) noexcept;
    static void onTimeout(void* self) noexcept;
    static void onMore(void* self) noexcept;
    void turn();
    void end(int error);

    sd_bus* bus_;
    BusKind kind_;
    Warn warn_;
    int fd_ = -1;
    bool watchingWrite_ = false;
    bool timeoutArmed_ = false;
    std::uint64_t timeoutUsec_ = 0;  // when the armed timeout falls due, CLOCK_MONOTONIC
    bool wasReady_ = false;          // the bus has answered the connection's greeting
    std::function<void()> afterTurn_;
    std::function<void()> ended_;
};

}  // namespace qv::fltk
