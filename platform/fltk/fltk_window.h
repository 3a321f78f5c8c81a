#pragma once
// One window of the Linux backend: an FLTK window with a widget for each shown control, placed
// where the core asks, with the frame the window manager gives it. It tells a move by the user
// from the window manager echoing the program's own placement.

#include <X11/Xlib.h>

#include <chrono>
#include <optional>
#include <string_view>

#include "platform/fltk/fltk_widgets.h"
#include "platform/window.h"

namespace qv {

class FltkPlatform;

class FltkWindow : public WindowPeer {
  public:
    FltkWindow(FltkPlatform& platform, Window& window, Window* owner);
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

    Window& window() const { return window_; }
    ::Window xid() const;
    // The window manager's frame may have become known or changed: re-reads _NET_FRAME_EXTENTS.
    void refreshFrame();
    // FLTK learnt of a new position of the client area (a configure event).
    void clientMoved(int clientX, int clientY);
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

    FltkPlatform& platform_;
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

}  // namespace qv
