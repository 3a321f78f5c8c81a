#pragma once
// One native window: an FLTK window with a widget for every visible control. The core owns the
// state; this mirrors it and reports the user's actions back through the Window's platform*()
// entries.

#include <X11/Xlib.h>

#include <chrono>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/window.h"

class Fl_Widget;

namespace qv {

class FltkPlatform;
class PeerWindow;

class FltkPeer : public WindowPeer {
  public:
    FltkPeer(FltkPlatform& platform, Window& window, Window* owner);
    ~FltkPeer() override;
    FltkPeer(const FltkPeer&) = delete;
    FltkPeer& operator=(const FltkPeer&) = delete;

    WindowHandle handle() const override;
    void setCaption(std::string_view caption) override;
    void setOuterRect(const PixelRect& outer) override;
    FrameExtents frameExtents() const override { return frame_; }
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

  private:
    void buildWidgets();
    Fl_Widget* widgetOf(const Control& control) const;
    void applyOuter();
    void awaitEcho(int clientX, int clientY);
    void reassertHints();

    FltkPlatform& platform_;
    Window& window_;
    Window* owner_;
    PeerWindow* win_ = nullptr;
    std::vector<std::pair<const Control*, Fl_Widget*>> widgets_;
    FrameExtents frame_;
    bool frameKnown_ = false;
    std::optional<PixelRect> outer_;
    bool applying_ = false;
    // The client position last asked of the window manager: configure reports until it arrives
    // may describe older places, and are no move by the user.
    struct Echo {
        int x, y;
        std::chrono::steady_clock::time_point until;
    };
    std::optional<Echo> awaited_;
    friend class PeerWindow;
};

}  // namespace qv
