#include "platform/fltk/fltk_platform.h"

#include <FL/Fl.H>
#include <FL/Fl_PNG_Image.H>
#include <FL/x.H>
#include <X11/Xproto.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/timerfd.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <stdexcept>
#include <string>

#include "platform/fltk/embedded_icons.h"
#include "platform/fltk/fltk_widgets.h"
#include "platform/fltk/fltk_window.h"
#include "platform/fltk/screen_sources.h"
#include "platform/fltk/session_screen.h"
#include "platform/fltk/x11_desktop.h"
#include "platform/fltk/x11_errors.h"
#include "platform/fltk/x11_screen.h"
#include "platform/posix/ini_settings.h"
#include "platform/program_identity.h"
#include "platform/timer_scheduler.h"

namespace qv::fltk {

namespace {

// Used only when the window manager does not answer a frame request; the real extents replace
// it as soon as a window is mapped.
constexpr FrameExtents kGuessedFrame{1, 1, 22, 1};
// The window icon and three buttons (minimize, maximize, close, or a menu): window managers
// draw each about as wide as the title bar is high.
constexpr int kTitleBarSquares = 4;

// How often the monitors' power state is read, at a timer wake-up: about the resting resolution,
// less a margin so that a wake-up a little early still reads it.
constexpr std::int64_t kPowerReadMs = kRestingResolutionMs - 100;

// NOTE: Xlib's two error handlers and the termination signals' handler are C callbacks that
// take no user data: they reach the platform, and through it the handler guard, through this
// one pointer, set as the platform starts. Atomic, so a signal arriving as it is cleared sees
// either the platform whole or nothing.
std::atomic<FltkPlatform*> gPlatform = nullptr;

std::int64_t clockMs(clockid_t id) {
    timespec ts{};
    clock_gettime(id, &ts);
    return static_cast<std::int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

std::string errnoText(const char* what) {
    return std::string(what) + ": " + std::strerror(errno);
}

}  // namespace

FltkPlatform::FltkPlatform(HandlerGuard& guard)
    : guard_(guard),
      settings_(posix::makeIniSettingsBackend(guard)),
      section_(posix::makeProcSelfExeSection()) {
    display_ = XOpenDisplay(nullptr);
    if (!display_) {
        const char* name = std::getenv("DISPLAY");
        throw std::runtime_error(std::string("cannot open the X display \"") + (name ? name : "") +
                                 "\"" + (name ? "" : " (DISPLAY is not set)"));
    }
    fl_open_display(display_);
    gPlatform = this;
    // After FLTK's own handlers: its I/O error handler would end the program without saving,
    // and Xlib's protocol error handler ends it on any error.
    XSetIOErrorHandler(onIoError);
    XSetErrorHandler(onProtocolError);

    if (const char* resource = x11::xftDpiResource(display_)) {
        if (auto dpi = x11::dpiValue(resource))
            dpi_ = *dpi;
        else
            guard_.warnOnce(x11::unusableDpiWarning(resource));
    }
    setToolkitFace(x11::proportionalUiFamily(display_));
    loadIcons();
    screen_ = std::make_unique<x11::ScreenWatch>(display_);
    sources_ = std::make_unique<ScreenSources>();
    session_ = std::make_unique<SessionScreenWatch>(
        *sources_, [this] { reportScreen(); },
        [this](std::string_view line) { guard_.warnOnce(line); });
    Fl::add_system_handler(onSystemEvent, this);
    // NOTE: a timeout that FLTK arms from inside a timeout callback starts early by however
    // late that callback ran (FLTK catches up), which would wake the program before anything is
    // due. A timerfd on the scheduler's own clock wakes it when the tick is due.
    wakeFd_ = timerfd_create(CLOCK_MONOTONIC, TFD_CLOEXEC | TFD_NONBLOCK);
    if (wakeFd_ >= 0)
        Fl::add_fd(wakeFd_, FL_READ, onWakeFd, this);
    else
        guard_.warnOnce(errnoText("timerfd_create; using FLTK's timeouts"));
}

void FltkPlatform::loadIcons() {
    for (const EmbeddedPng& png : kEmbeddedIcons) {
        auto image = std::make_unique<Fl_PNG_Image>(nullptr, png.data, static_cast<int>(png.size));
        if (image->w() <= 0 || image->fail()) {
            guard_.warnOnce("the embedded " + std::to_string(png.pixels) +
                            " px icon cannot be decoded");
            continue;
        }
        iconPointers_.push_back(image.get());
        icons_.push_back(std::move(image));
    }
}

FltkPlatform::~FltkPlatform() {
    Fl::remove_system_handler(onSystemEvent);
    Fl::remove_timeout(onTimeout, this);
    if (wakeFd_ >= 0) {
        Fl::remove_fd(wakeFd_);
        close(wakeFd_);
    }
    FltkPlatform* self = this;
    gPlatform.compare_exchange_strong(self, nullptr);
    if (signalPipe_[0] >= 0) {
        Fl::remove_fd(signalPipe_[0]);
        close(signalPipe_[0]);
        close(signalPipe_[1]);
    }
}

void FltkPlatform::connect(Runtime& runtime) {
    runtime_ = &runtime;
    if (signalPipe_[0] < 0) watchTerminationSignals();
    screenVisible_ = true;  // what the core assumes until told
    reportScreen();
}

void FltkPlatform::reportScreen() {
    sources_->setXVisible(screen_->visible());
    const bool visible = sources_->visible();
    if (visible == screenVisible_) return;
    screenVisible_ = visible;
    if (runtime_) input::screenVisibility(*runtime_, visible);
}

void FltkPlatform::readPowerIfDue() {
    // NOTE: DPMS sends no events, so its state is read at the timers' own wake-ups (at least
    // one a second while any timer runs), which costs no wake-up of its own.
    if (!screen_->readsPower() || displayLost_) return;
    const std::int64_t now = monotonicMs();
    if (powerReadMs_ && now - *powerReadMs_ < kPowerReadMs) return;
    powerReadMs_ = now;
    screen_->readPower();
    reportScreen();
}

void FltkPlatform::watchTerminationSignals() {
    // NOTE: a signal handler may do next to nothing; it writes the signal to a pipe that the
    // event loop watches, and the loop runs the close command.
    if (pipe2(signalPipe_, O_CLOEXEC | O_NONBLOCK) != 0) {
        guard_.warnOnce(errnoText("cannot watch for termination signals: pipe2"));
        return;
    }
    struct sigaction action {};
    action.sa_handler = onTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int s : {SIGTERM, SIGHUP, SIGINT}) {
        if (sigaction(s, &action, nullptr) != 0) guard_.warnOnce(errnoText("sigaction"));
    }
    Fl::add_fd(signalPipe_[0], FL_READ, onSignalPipe, this);
}

std::unique_ptr<WindowPeer> FltkPlatform::createPeer(Window& window, Window* owner) {
    FltkWindowHost& host = *this;
    return std::make_unique<FltkWindow>(host, window, owner);
}

int FltkPlatform::captionFitWidth(std::string_view caption) {
    if (displayLost_) return 0;
    const int text = x11::boldUiTextWidth(display_, caption, dpi_);
    if (text <= 0) return 0;
    const FrameExtents f = estimatedFrame();
    return text + f.left + f.right + kTitleBarSquares * f.top;
}

void FltkPlatform::windowDestroyed(FltkWindow* window) {
    std::erase(windows_, window);
}

void FltkPlatform::runModalLoop(Window& modal) {
    while (modal.loaded() && !quit_ && !displayLost_) Fl::wait();
}

void FltkPlatform::runLoop() {
    while (!quit_ && !displayLost_) Fl::wait();
}

std::int64_t FltkPlatform::monotonicMs() const {
    return clockMs(CLOCK_MONOTONIC);
}

std::uint64_t FltkPlatform::ticksSinceStart() const {
    return static_cast<std::uint64_t>(clockMs(CLOCK_BOOTTIME));
}

void FltkPlatform::wakeAfter(std::optional<std::int64_t> ms) {
    const std::int64_t delay = ms ? std::max<std::int64_t>(0, *ms) : 0;
    if (wakeFd_ >= 0) {
        itimerspec when{};  // all zero disarms
        if (ms) {
            const std::int64_t at = monotonicMs() + delay;
            when.it_value.tv_sec = at / 1000;
            when.it_value.tv_nsec = (at % 1000) * 1000000 + 1;  // never zero
        }
        if (timerfd_settime(wakeFd_, TFD_TIMER_ABSTIME, &when, nullptr) == 0) return;
        guard_.warnOnce(errnoText("timerfd_settime; using FLTK's timeouts"));
        Fl::remove_fd(wakeFd_);
        close(wakeFd_);
        wakeFd_ = -1;
    }
    // Re-armed from now at every wake-up, never caught up (as Fl::repeat_timeout would).
    Fl::remove_timeout(onTimeout, this);
    if (ms) Fl::add_timeout(static_cast<double>(delay) / 1000.0, onTimeout, this);
}

void FltkPlatform::onWakeFd(int fd, void* self) noexcept {
    std::uint64_t expirations = 0;
    if (read(fd, &expirations, sizeof expirations) < 0) return;  // spurious: nothing expired
    onTimeout(self);
}

void FltkPlatform::onTimeout(void* self) noexcept {
    auto* platform = static_cast<FltkPlatform*>(self);
    platform->readPowerIfDue();
    if (platform->runtime_) input::timerDue(*platform->runtime_);
}

void FltkPlatform::onSignalPipe(int fd, void* self) noexcept {
    unsigned char buffer[16];
    while (read(fd, buffer, sizeof buffer) > 0) {
    }
    auto* platform = static_cast<FltkPlatform*>(self);
    if (platform->runtime_) input::endOfSession(*platform->runtime_);
}

int FltkPlatform::onSystemEvent(void* event, void* self) {
    auto* platform = static_cast<FltkPlatform*>(self);
    const XEvent& e = *static_cast<XEvent*>(event);
    if (platform->screen_->handle(e)) {
        platform->reportScreen();
        return 1;  // nothing of FLTK's own
    }
    if (e.type == ConfigureNotify && e.xconfigure.send_event) {
        for (FltkWindow* window : platform->windows_)
            if (window->xid() == e.xconfigure.window)
                window->wmPlaced(e.xconfigure.x, e.xconfigure.y);
    }
    const bool frameNews =
        e.type == MapNotify || e.type == ReparentNotify ||
        (e.type == PropertyNotify &&
         e.xproperty.atom == x11::atom(platform->display_, "_NET_FRAME_EXTENTS"));
    if (!frameNews) return 0;
    for (FltkWindow* window : platform->windows_) {
        if (window->xid() == e.xany.window) {
            window->refreshFrame();
            break;
        }
    }
    return 0;  // FLTK handles the event as usual
}

void FltkPlatform::onTerminationSignal(int signal) noexcept {
    const int saved = errno;
    const unsigned char byte = static_cast<unsigned char>(signal);
    if (const FltkPlatform* platform = gPlatform) {
        // A full pipe already holds a wake-up, so a failed write loses nothing.
        [[maybe_unused]] const ssize_t n = write(platform->signalPipe_[1], &byte, 1);
    }
    errno = saved;
}

int FltkPlatform::onIoError(Display*) noexcept {
    // NOTE: Xlib ends the process when this handler returns, and no X call may be made in it;
    // the windows close without touching the display, saving the last known geometry.
    std::fprintf(stderr, "%.*s: the connection to the X server is lost; saving and ending\n",
                 static_cast<int>(kProgramName.size()), kProgramName.data());
    if (FltkPlatform* platform = gPlatform) {
        platform->displayLost_ = true;
        if (platform->runtime_) input::endOfSession(*platform->runtime_);
        platform->guard_.flushRepeats();
    }
    std::fflush(stderr);
    std::_Exit(1);
}

int FltkPlatform::onProtocolError(Display* display, XErrorEvent* error) {
    FltkPlatform* platform = gPlatform;
    if (!platform) return 0;
    // The resource id is left out so that one kind of error is reported once, however many
    // windows it strikes.
    std::string line = "X error " + x11::errorText(display, *error);
    if (error->request_code == X_CreateWindow)
        platform->failedCreation_ = error->serial;  // the one who asked for the window says more
    else
        line += " (reported once; the program goes on)";
    platform->guard_.warnOnce(line);
    return 0;
}

std::vector<Monitor> FltkPlatform::monitors() const {
    if (displayLost_) return {};
    return x11::monitors(display_, dpi_);
}

FrameExtents FltkPlatform::estimatedFrame() {
    if (frame_) return *frame_;
    if (!frameProbed_ && !displayLost_) {
        frameProbed_ = true;
        if (!x11::windowManagerRunning(display_)) {
            frame_ = FrameExtents{};  // nobody draws a frame
        } else {
            frame_ = x11::probeFrameExtents(display_);
            frameToldOnMap_ = !frame_ && x11::windowManagerSupports(display_, "_NET_FRAME_EXTENTS");
        }
    }
    return frame_.value_or(kGuessedFrame);
}

WindowHandle FltkPlatform::foregroundWindow() {
    if (displayLost_) return 0;
    return static_cast<WindowHandle>(x11::activeWindow(display_));
}

void FltkPlatform::setTopmost(WindowHandle window, bool topmost) {
    if (window == 0 || displayLost_) return;
    const auto w = static_cast<::Window>(window);
    x11::setAbove(display_, w, topmost);
    if (topmost) x11::raise(display_, w);
}

}  // namespace qv::fltk
