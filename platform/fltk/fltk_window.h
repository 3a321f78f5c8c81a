#pragma once
// One window of the Linux backend: an FLTK window with a widget for each shown control, placed
// where the core asks, with the frame the window manager gives it. It tells a move by the user
// from the window manager echoing the program's own placement.

#include <X11/Xlib.h>

#include <chrono>
#include <optional>
#include <string_view>
#include <vector>

#include "platform/fltk/fltk_widgets.h"
#include "platform/window.h"

namespace qv::fltk {

class FltkWindow;

// What a window needs of the backend that made it (FltkPlatform).
class FltkWindowHost {
  public:
    virtual Display* display() const = 0;
    // True once the connection to the X server is gone: windows then make no X calls.
    virtual bool displayLost() const = 0;
    virtual int systemDpi() const = 0;
    // The frame the window manager gives our windows, before one of them is mapped.
    virtual FrameExtents estimatedFrame() = 0;
    // The frame it gave one of them.
    virtual void rememberFrame(const FrameExtents& frame) = 0;
    // True when the window manager gave no frame in advance but sets _NET_FRAME_EXTENTS on each
    // window it maps.
    virtual bool frameToldOnMap() const = 0;
    // The application icon in its sizes, for every window.
    virtual const std::vector<const Fl_RGB_Image*>& icons() const = 0;
    // The serial number of the last request that failed to create a window, or 0. A caller
    // compares it with NextRequest() taken before its own requests, after an XSync().
    virtual unsigned long lastFailedWindowCreation() const = 0;
    // The window exists, and hears from the host of its frame; then it is gone.
    virtual void windowCreated(FltkWindow* window) = 0;
    virtual void windowDestroyed(FltkWindow* window) = 0;

  protected:
    ~FltkWindowHost() = default;
};

class FltkWindow : public WindowPeer, public NativeWindowOwner {
  public:
    FltkWindow(FltkWindowHost& platform, Window& window, Window* owner);
    ~FltkWindow() override;
    FltkWindow(const FltkWindow&) = delete;
    FltkWindow& operator=(const FltkWindow&) = delete;

    WindowHandle handle() const override;
    void setCaption(std::string_view caption) override;
    void setOuterRect(const PixelRect& outer) override;
    FrameExtents frameExtents() const override { return frame_; }
    // The client area's place on the screen, less the frame: the window manager may have placed
    // it elsewhere than asked, and its reports of moves are not all taken.
    std::optional<PixelPoint> framePosition() const override;
    void show() override;
    void setInputEnabled(bool) override {}  // FLTK's modal window takes the owner's input
    void controlChanged(const Control& control) override;
    void focusControl(const Control& control) override;

    Window& window() const override { return window_; }
    ::Window xid() const;
    // The window manager's frame may have become known or changed: re-reads _NET_FRAME_EXTENTS.
    void refreshFrame();
    // FLTK learnt of a new position of the client area (a configure event).
    void clientMoved(int clientX, int clientY) override;
    // The window manager reported the client area's place on the screen (a synthetic configure
    // event).
    void wmPlaced(int clientX, int clientY) { wmPlaced_ = PixelPoint{clientX, clientY}; }

  private:
    Fl_Widget* widgetOf(const Control& control) const;
    void applyOuter();
    void awaitEcho(int clientX, int clientY);
    void reassertHints();
    // True when a window manager has put the window into a frame of its own.
    bool reparented() const;

    FltkWindowHost& platform_;
    Window& window_;
    Window* owner_;
    NativeWindow* native_ = nullptr;
    ControlWidgets widgets_;
    FrameExtents frame_;
    bool frameKnown_ = false;
    std::optional<PixelRect> outer_;
    std::optional<PixelPoint> askedClient_;  // where the client area was last asked to go
    std::optional<PixelPoint> wmPlaced_;
    bool applying_ = false;
    // The client position last asked of the window manager: configure reports until it arrives
    // may describe older places, and are no move by the user.
    struct Echo {
        int x, y;
        std::chrono::steady_clock::time_point until;
    };
    std::optional<Echo> awaited_;
};

}  // namespace qv::fltk
