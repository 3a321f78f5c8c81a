#pragma once
// The Linux backend: FLTK 1.3 windows and widgets on X11, with Xlib for what the window manager
// decides (frame, stacking, the active window), and the settings file of platform/posix.

#include <X11/Xlib.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "platform/backend.h"
#include "platform/fltk/fltk_window.h"
#include "platform/handler_guard.h"
#include "platform/settings_backend.h"

class Fl_RGB_Image;

namespace qv::fltk {

namespace x11 {
class ScreenWatch;
}
class ScreenSources;
class SessionScreenWatch;

// Its windows reach it only as their host.
class FltkPlatform : public Backend, private FltkWindowHost {
  public:
    // Opens the display ($DISPLAY); throws std::runtime_error with the reason when it cannot.
    // What goes wrong on the way (X errors, a resource or a system call it cannot use) is
    // reported through `guard`.
    explicit FltkPlatform(HandlerGuard& guard);
    ~FltkPlatform() override;
    FltkPlatform(const FltkPlatform&) = delete;
    FltkPlatform& operator=(const FltkPlatform&) = delete;

    // Start-up and the event loop. Connecting also turns termination signals (SIGTERM, SIGHUP,
    // SIGINT) and the loss of the X server into the end of the session, and starts reporting
    // whether the screen is visible (screen saver, monitors' power, and the session's lock,
    // screen savers and monitor power on D-Bus).
    void connect(Runtime& runtime) override;
    void disconnect() override { runtime_ = nullptr; }
    void runLoop() override;
    void runModalLoop(Window& modal) override;
    void quit() override { quit_ = true; }
    // Monitors, from XRandR; the DPI is Xft.dpi (96 when unset).
    std::vector<Monitor> monitors() const override;
    // NOTE: an X server takes any window size up to 32767 pixels and allocates for it.
    bool limitsWindowSize() const override { return false; }
    int systemDpi() const override { return dpi_; }
    // Windows
    std::unique_ptr<WindowPeer> createPeer(Window& window, Window* owner) override;
    // Window managers draw titles in fonts of their own, with up to three buttons and an icon:
    // the caption in the desktop's bold UI font, the frame's sides, and four squares as wide
    // as the title bar is high.
    int captionFitWidth(std::string_view caption) override;
    // Timers: CLOCK_MONOTONIC and a timerfd on it (FLTK timeouts when there is none).
    std::int64_t monotonicMs() const override;
    void wakeAfter(std::optional<std::int64_t> ms) override;
    // Window order under EWMH: the foreground window is _NET_ACTIVE_WINDOW; topmost is
    // _NET_WM_STATE_ABOVE, and a window put on top is raised within that layer too.
    WindowHandle foregroundWindow() override;
    void setTopmost(WindowHandle window, bool topmost) override;
    // Tick source: CLOCK_BOOTTIME, time spent suspended included.
    std::uint64_t ticksSinceStart() const override;
    // Settings: $XDG_CONFIG_HOME/QV_TKS/settings.ini, section from /proc/self/exe.
    SettingsBackend& settingsBackend() override { return *settings_; }
    const SectionSource& executableSection() const override { return *section_; }

    Display* display() const override { return display_; }
    bool displayLost() const override { return displayLost_; }

  private:
    // The windows' host.
    unsigned long lastFailedWindowCreation() const override { return failedCreation_; }
    FrameExtents estimatedFrame() override;
    void rememberFrame(const FrameExtents& frame) override { frame_ = frame; }
    bool frameToldOnMap() const override { return frameToldOnMap_; }
    const std::vector<const Fl_RGB_Image*>& icons() const override { return iconPointers_; }
    void windowCreated(FltkWindow* window) override { windows_.push_back(window); }
    void windowDestroyed(FltkWindow* window) override;

    static void onTimeout(void* self) noexcept;
    static void onWakeFd(int fd, void* self) noexcept;
    static void onSignalPipe(int fd, void* self) noexcept;
    static int onSystemEvent(void* event, void* self);
    static void onTerminationSignal(int signal) noexcept;
    static int onIoError(Display* display) noexcept;
    // X protocol errors: a window that vanished between two requests (a dying window manager's,
    // a stale id on the root window) or a server out of memory must not end the program, as
    // Xlib's own handler would. Each kind is reported once, naming the request and the error.
    static int onProtocolError(Display* display, XErrorEvent* error);
    void watchTerminationSignals();
    void readPowerIfDue();
    void reportScreen();
    void loadIcons();

    HandlerGuard& guard_;
    Display* display_ = nullptr;
    Runtime* runtime_ = nullptr;
    std::unique_ptr<SettingsBackend> settings_;
    std::unique_ptr<SectionSource> section_;
    int dpi_ = kDefaultDpi;
    std::optional<FrameExtents> frame_;
    bool frameProbed_ = false;
    bool frameToldOnMap_ = false;
    std::vector<FltkWindow*> windows_;
    std::vector<std::unique_ptr<Fl_RGB_Image>> icons_;
    std::vector<const Fl_RGB_Image*> iconPointers_;
    bool quit_ = false;
    bool displayLost_ = false;
    unsigned long failedCreation_ = 0;
    int signalPipe_[2] = {-1, -1};
    int wakeFd_ = -1;  // timerfd
    std::unique_ptr<x11::ScreenWatch> screen_;
    std::unique_ptr<ScreenSources> sources_;
    std::unique_ptr<SessionScreenWatch> session_;
    bool screenVisible_ = true;  // as last reported
    std::optional<std::int64_t> powerReadMs_;
};

}  // namespace qv::fltk
