#include "platform/fltk/fltk_window.h"

#include <FL/Fl.H>
#include <FL/x.H>
#include <X11/Xutil.h>

#include <algorithm>
#include <stdexcept>
#include <string>

#include "platform/fltk/x11_desktop.h"
#include "platform/program_identity.h"

namespace qv::fltk {

namespace {

// How long configure reports may lag behind a move the program asked for.
constexpr auto kEchoWait = std::chrono::milliseconds(1000);
// A net for a window manager that announces _NET_FRAME_EXTENTS and never sets it; KWin sets it
// within milliseconds of the map.
constexpr int kFrameWaitMs = 500;

}  // namespace

FltkWindow::FltkWindow(FltkWindowHost& platform, Window& window, Window* owner)
    : platform_(platform), window_(window), owner_(owner), frame_(platform.estimatedFrame()) {
    const int dpi = platform_.systemDpi();
    const WindowDesign& d = window_.design();
    native_ = new NativeWindow(*this, std::max(1, sizeTwipsToPixels(d.clientWidth, dpi)),
                               std::max(1, sizeTwipsToPixels(d.clientHeight, dpi)));
    // NOTE: FLTK keeps the pointer, not a copy; the name is a string literal, so it outlives
    // every window and ends in a terminator.
    native_->xclass(kProgramName.data());
    // The client area's hint, shown by FLTK after its hover delay below the pointer; the
    // design's text is a literal too, so FLTK may keep the pointer.
    if (!d.tooltip.empty()) native_->tooltip(d.tooltip.data());
    const auto& icons = platform_.icons();
    if (!icons.empty())
        native_->icons(const_cast<const Fl_RGB_Image**>(icons.data()),
                       static_cast<int>(icons.size()));
    if (owner_) native_->set_modal();
    native_->callback(
        [](Fl_Widget*, void* self) {
            // Escape reaches here as an unused shortcut: it closes nothing.
            if (Fl::event() == FL_SHORTCUT && Fl::event_key() == FL_Escape) return;
            input::closeCommand(static_cast<FltkWindow*>(self)->window_);
        },
        this);
    widgets_ = buildWidgets(*native_, window_.shownControls(), dpi);
    platform_.windowCreated(this);
}

FltkWindow::~FltkWindow() {
    platform_.windowDestroyed(this);
    native_->detach();
    if (platform_.displayLost()) return;  // no X calls are possible any more
    native_->hide();
    // Deferred: the window may be closing from inside one of its own callbacks.
    Fl::delete_widget(native_);
}

Fl_Widget* FltkWindow::widgetOf(const Control& control) const {
    for (const auto& [c, w] : widgets_)
        if (c == &control) return w;
    return nullptr;
}

::Window FltkWindow::xid() const {
    return native_->shown() ? fl_xid(native_) : 0;
}

WindowHandle FltkWindow::handle() const {
    return static_cast<WindowHandle>(xid());
}

void FltkWindow::setCaption(std::string_view caption) {
    if (platform_.displayLost()) return;
    native_->copy_label(std::string(caption).c_str());
}

void FltkWindow::setOuterRect(const PixelRect& outer) {
    outer_ = outer;
    applyOuter();
}

void FltkWindow::applyOuter() {
    if (!outer_ || platform_.displayLost()) return;
    const PixelRect& o = *outer_;
    const int w = std::max(1, o.width - frame_.left - frame_.right);
    const int h = std::max(1, o.height - frame_.top - frame_.bottom);
    // NOTE: FLTK asks for static window gravity, so the position it requests is the client
    // area's; the window manager puts its frame around that.
    const int x = o.x + frame_.left;
    const int y = o.y + frame_.top;
    if (native_->shown() && (x != native_->x() || y != native_->y())) awaitEcho(x, y);
    askedClient_ = PixelPoint{x, y};
    applying_ = true;
    native_->resize(x, y, w, h);
    native_->size_range(w, h, w, h);
    applying_ = false;
    reassertHints();
}

void FltkWindow::awaitEcho(int clientX, int clientY) {
    awaited_ = Echo{clientX, clientY, std::chrono::steady_clock::now() + kEchoWait};
}

void FltkWindow::reassertHints() {
    // NOTE: FLTK rewrites _MOTIF_WM_HINTS in show(), size_range() and border(), leaving the
    // minimize button on; ours go on after each of those calls.
    if (!native_->shown() || platform_.displayLost()) return;
    x11::setFixedFrameHints(platform_.display(), xid());
    XFlush(platform_.display());
}

void FltkWindow::show() {
    if (platform_.displayLost()) return;
    Display* display = platform_.display();
    FltkWindow* ownerWindow = owner_ ? dynamic_cast<FltkWindow*>(owner_->peer()) : nullptr;
    // NOTE: FLTK 1.3 makes a modal window transient for whichever window last had an event;
    // naming the owner as first window makes that the owner.
    if (ownerWindow && ownerWindow->native_->shown()) Fl::first_window(ownerWindow->native_);
    awaitEcho(native_->x(), native_->y());
    const unsigned long firstRequest = NextRequest(display);
    native_->show();
    // NOTE: X reports a refused window only as an error event some time later; waiting for the
    // server here tells a window that exists from one that never will.
    XSync(display, False);
    if (platform_.lastFailedWindowCreation() >= firstRequest)
        throw std::runtime_error("the X server cannot create the window " +
                                 std::string(window_.design().name));
    const ::Window self = xid();
    if (ownerWindow && ownerWindow->xid()) XSetTransientForHint(display, self, ownerWindow->xid());
    reassertHints();
    // The frame extents arrive as a property change.
    XWindowAttributes attributes;
    if (XGetWindowAttributes(display, self, &attributes))
        XSelectInput(display, self, attributes.your_event_mask | PropertyChangeMask);
    XFlush(display);
    // The frame decides the width that shows the whole caption: with a window manager that
    // tells it only on the mapped window, the window is fitted before the first caption shows.
    if (!frameKnown_ && platform_.frameToldOnMap())
        x11::awaitFrameExtents(display, self, kFrameWaitMs);
    refreshFrame();
}

std::optional<PixelPoint> FltkWindow::framePosition() const {
    if (platform_.displayLost() || !native_->shown()) return std::nullopt;
    Display* display = platform_.display();
    int x = 0, y = 0;
    ::Window child = 0;
    if (!XTranslateCoordinates(display, xid(), DefaultRootWindow(display), 0, 0, &x, &y, &child))
        return std::nullopt;
    // NOTE: in a frame of a window manager that tells nothing of it, the client's place says
    // nothing of the frame's: weston's XWayland shifts the client by its frame whenever it maps
    // the window, without a configure event. What such a window manager reported with a
    // synthetic configure event (as ICCCM asks, and twm does) stands, or else the place asked.
    if (!frameKnown_ && reparented()) {
        const auto placed = wmPlaced_ ? wmPlaced_ : askedClient_;
        if (placed) return PixelPoint{placed->x - frame_.left, placed->y - frame_.top};
    }
    return PixelPoint{x - frame_.left, y - frame_.top};
}

bool FltkWindow::reparented() const {
    Display* display = platform_.display();
    ::Window root = 0, parent = 0, *children = nullptr;
    unsigned int count = 0;
    if (!XQueryTree(display, xid(), &root, &parent, &children, &count)) return false;
    if (children) XFree(children);
    return parent != root;
}

void FltkWindow::refreshFrame() {
    if (platform_.displayLost() || !native_->shown()) return;
    const auto extents = x11::frameExtents(platform_.display(), xid());
    if (!extents) return;
    const FrameExtents& f = *extents;
    const bool changed = f.left != frame_.left || f.right != frame_.right || f.top != frame_.top ||
                         f.bottom != frame_.bottom;
    frame_ = f;
    frameKnown_ = true;
    platform_.rememberFrame(f);
    // The core sizes the window with the real frame, and keeps its strip of client area.
    if (changed) input::frameChanged(window_);
}

void FltkWindow::clientMoved(int clientX, int clientY) {
    if (applying_ || !native_->shown()) return;
    if (awaited_) {
        const bool echo = clientX == awaited_->x && clientY == awaited_->y;
        if (echo || std::chrono::steady_clock::now() < awaited_->until) {
            if (echo) awaited_.reset();
            return;
        }
        awaited_.reset();  // the window manager placed it elsewhere
    }
    // Before the window manager has told us its frame, a position says nothing about where
    // the user put the window.
    if (!frameKnown_) return;
    input::moved(window_, clientX - frame_.left, clientY - frame_.top);
}

void FltkWindow::controlChanged(const Control& control) {
    Fl_Widget* w = widgetOf(control);
    if (w && !platform_.displayLost()) mirrorControl(*w, control);
}

void FltkWindow::focusControl(const Control& control) {
    if (Fl_Widget* w = widgetOf(control); w && !platform_.displayLost()) w->take_focus();
}

}  // namespace qv::fltk
