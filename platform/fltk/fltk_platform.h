#pragma once
// The Linux backend: FLTK 1.3 windows and widgets on X11, with Xlib for what the window manager
// decides (frame, stacking, the active window).

#include <X11/Xlib.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "platform/runtime.h"

class Fl_RGB_Image;

namespace qv {

class FltkPeer;

// CLOCK_MONOTONIC: drives the timers.
class PosixMonotonicClock : public MonotonicClock {
  public:
    std::int64_t nowMs() const override;
};

// CLOCK_BOOTTIME: milliseconds since the system started, time spent suspended included.
class BootTimeTickSource : public TickSource {
  public:
    std::uint64_t millisecondsSinceStart() const override;
};

class FltkPlatform : public Platform, public WindowOrder {
  public:
    // Opens the display ($DISPLAY); throws std::runtime_error with the reason when it cannot.
    FltkPlatform();
    ~FltkPlatform() override;
    FltkPlatform(const FltkPlatform&) = delete;
    FltkPlatform& operator=(const FltkPlatform&) = delete;

    // Connects the timer wake-ups, termination signals and the loss of the X server to the
    // program's runtime. Needed before run.
    void attach(Runtime& runtime);

    // Platform
    const MonotonicClock& clock() const override { return clock_; }
    const TickSource& tickSource() const override { return ticks_; }
    std::unique_ptr<WindowPeer> createPeer(Window& window, Window* owner) override;
    void runModalLoop(Window& modal) override;
    void runLoop() override;
    void quit() override { quit_ = true; }
    void wakeAfter(std::optional<std::int64_t> ms) override;
    std::vector<Monitor> monitors() const override;
    int systemDpi() const override { return dpi_; }
    WindowOrder& windowOrder() override { return *this; }

    // WindowOrder, under EWMH: the foreground window is _NET_ACTIVE_WINDOW; topmost is
    // _NET_WM_STATE_ABOVE, and our own window is raised within that layer too.
    WindowHandle foregroundWindow() override;
    void setWindowPos(WindowHandle window, InsertAfter after, unsigned flags) override;

    Display* display() const { return display_; }
    // True once the connection to the X server is gone: peers then make no X calls.
    bool displayLost() const { return displayLost_; }
    // The frame the window manager gives our windows, before one of them is mapped.
    FrameExtents estimatedFrame();
    void rememberFrame(const FrameExtents& frame) { frame_ = frame; }
    // The application icon in its sizes, for every window.
    const std::vector<const Fl_RGB_Image*>& icons() const { return iconPointers_; }

  private:
    friend class FltkPeer;
    static void onTimeout(void* self);
    static void onSignalPipe(int fd, void* self);
    static int onSystemEvent(void* event, void* self);
    static int onIoError(Display* display);
    void peerCreated(FltkPeer* peer) { peers_.push_back(peer); }
    void peerDestroyed(FltkPeer* peer);

    Display* display_ = nullptr;
    PosixMonotonicClock clock_;
    BootTimeTickSource ticks_;
    Runtime* runtime_ = nullptr;
    int dpi_ = kDefaultDpi;
    std::optional<FrameExtents> frame_;
    bool frameProbed_ = false;
    std::vector<FltkPeer*> peers_;
    std::vector<std::unique_ptr<Fl_RGB_Image>> icons_;
    std::vector<const Fl_RGB_Image*> iconPointers_;
    bool quit_ = false;
    bool displayLost_ = false;
    int signalPipe_[2] = {-1, -1};
};

}  // namespace qv
