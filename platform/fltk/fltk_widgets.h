#pragma once
// The FLTK side of one window: the top-level FLTK window and a widget for each shown control.
// Each reports the user's actions to the core; the FltkWindow that owns them places and shows
// the window.

#include <FL/Fl_Double_Window.H>

#include <span>
#include <string>
#include <utility>
#include <vector>

#include "platform/window.h"

class Fl_Widget;

namespace qv::fltk {

// What the FLTK window reports to the FltkWindow that owns it.
class NativeWindowOwner {
  public:
    // The core's window, for the input entries.
    virtual Window& window() const = 0;
    // FLTK learnt of a new position of the client area (a configure event).
    virtual void clientMoved(int clientX, int clientY) = 0;

  protected:
    ~NativeWindowOwner() = default;
};

// The FLTK window behind a FltkWindow. Its widgets ask it for the FltkWindow, which is gone
// (nullptr) once the core has closed the window and FLTK has yet to delete it.
class NativeWindow : public Fl_Double_Window {
  public:
    NativeWindow(NativeWindowOwner& owner, int w, int h) : Fl_Double_Window(w, h), owner_(&owner) {}

    NativeWindowOwner* owner() const { return owner_; }
    void detach() { owner_ = nullptr; }

    int handle(int event) override;
    void resize(int x, int y, int w, int h) override;

  private:
    NativeWindowOwner* owner_;
};

// Makes `family` FLTK's own face, which controls without a face of their design and tooltips
// use; nothing changes when it is empty. Called before anything is drawn.
void setToolkitFace(const std::string& family);

using ControlWidgets = std::vector<std::pair<const Control*, Fl_Widget*>>;

// A widget inside `window` for each control, made in the order given (FLTK moves the focus in
// child order), with the design's font, colours and alignment at `dpi`.
ControlWidgets buildWidgets(NativeWindow& window, std::span<Control* const> controls, int dpi);

// Shows a control's current caption or value on its widget.
void mirrorControl(Fl_Widget& widget, const Control& control);

}  // namespace qv::fltk
