#pragma once
// The windows and controls of the window runtime, whose state lives here, in the program, while
// a backend (platform/backend.h) only mirrors it to the screen and reports the user's actions
// back through the input entries; and the start-up window that runs the program. They stand on
// the runtime's base (platform/runtime.h): the backend, the handler guard and the timers.

#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/backend.h"
#include "platform/geometry.h"
#include "platform/window_design.h"

namespace qv {

class Control {
  public:
    Control(Window& window, const ControlDesign& design);
    Control(const Control&) = delete;
    Control& operator=(const Control&) = delete;

    const ControlDesign& design() const { return design_; }
    std::string_view name() const { return design_.name; }
    ControlKind kind() const { return design_.kind; }
    bool visible() const { return design_.visible; }
    // Visible check boxes and buttons with a tab index take the focus; labels and lines never do.
    bool focusable() const;
    Window& window() const { return window_; }

    // Where the control lies in the client area, in pixels at `dpi`.
    PixelRect pixelRect(int dpi) const;
    // A line's two end points in the client area, in pixels at `dpi`.
    PixelLine lineEnds(int dpi) const;

    // A text box's text, or a label's, check box's or button's caption.
    const std::string& text() const { return *text_; }
    void setText(std::string_view text);
    // Keeps the text in storage outside the control (the main window's fields live on its board).
    void bindText(std::string* storage);

    // A check box's value, 0 (off) or 1 (on) in all of the program's own use. A change, by the
    // user or the program, reaches onClick after the box has the new value; setting the value it
    // already has runs nothing.
    int value() const { return value_; }
    void setValue(int value);

    std::function<void()> onClick;        // a check box's change, a button's press
    std::function<void()> onDoubleClick;  // a label's double-click

  private:
    Window& window_;
    const ControlDesign& design_;
    std::string ownText_;
    std::string* text_;
    int value_;
};

class Window {
  public:
    Window(Runtime& runtime, const WindowDesign& design);
    virtual ~Window();
    Window(const Window&) = delete;
    Window& operator=(const Window&) = delete;

    const WindowDesign& design() const { return design_; }
    Runtime& runtime() const { return runtime_; }
    bool loaded() const { return peer_ != nullptr; }
    // Loaded, and shown on the screen by the platform.
    bool shown() const { return shown_; }
    WindowPeer* peer() const { return peer_.get(); }
    // The platform's handle, 0 while the window is not loaded.
    WindowHandle handle() const;

    // Set on every call; the screen hears of it only when the text changed, and while nobody
    // can see the screen, only when it is visible again.
    const std::string& caption() const { return caption_; }
    void setCaption(std::string_view caption);
    // The screen is visible again: a caption held back meanwhile goes to the screen.
    void showHeldCaption();

    // Outer geometry in twips: position on the screen, size with frame and title bar.
    float left() const { return geometry_.left; }
    float top() const { return geometry_.top; }
    float width() const { return geometry_.width; }
    float height() const { return geometry_.height; }
    // What the desktop tells of itself that the window's geometry depends on.
    DesktopFacts desktopFacts() const;
    // The outer rectangle in pixels that the current geometry maps to.
    PixelRect outerPixels() const;
    // Hands the platform window the outer rectangle of the current geometry, in one call.
    void setGeometry();
    // The platform reports the outer frame's top left corner at (outerX, outerY) pixels. The
    // echo of the window's own placement leaves the position in twips exactly as it was set;
    // a move by the user changes it.
    void frameMovedTo(int outerX, int outerY);

    Control* control(std::string_view name) const;
    const std::vector<std::unique_ptr<Control>>& controls() const { return controls_; }
    // The visible controls in tab order, those without a tab index last in design order: what a
    // backend builds, in the order it builds them.
    std::span<Control* const> shownControls() const { return shownControls_; }
    Control* focusedControl() const { return focus_; }
    // Moves the focus to the next focusable control in tab order (backwards with `reverse`).
    void focusNext(bool reverse = false);
    // The platform gave the keyboard focus to one of the shown controls.
    void focusMovedTo(Control& control) { focus_ = &control; }

    // Unless it is loaded already, builds the window afresh from its design (controls, then the
    // platform window) and runs its load handler; then keeps the title bar reachable and shows
    // the window.
    void show();
    // As show(), owned by `owner`, whose input is blocked until this window closes; returns
    // when it has closed (a headless backend returns at once and the test drives the loop).
    void showModal(Window& owner);
    // The close command: runs unload (an error it throws is reported by the handler guard), gives
    // input back to the owner, destroys the platform window and its controls. Closing the
    // start-up window ends the program.
    void close();
    // As the session may end: saves what the window keeps from run to run, as its unload does,
    // and stays open.
    void saveForSession();
    // A double-click on the client area that no shown control took: runs the window's handler.
    void clientAreaDoubleClicked() { doubleClick(); }
    // The platform learnt the frame it puts around the window, or the frame changed.
    void frameExtentsChanged() { frameChanged(); }

    // False while a modal window it owns is open.
    bool acceptsInput() const { return inputBlockers_ == 0; }
    Window* modalOwner() const { return owner_; }

  protected:
    // The window's own handlers: load runs before it is first shown, unload as it closes, and a
    // double-click on the client area that no control took.
    virtual void load() {}
    virtual void unload() {}
    // Saves what the window keeps from run to run, as its unload does, and leaves it open: the
    // session may be about to end.
    virtual void save() {}
    virtual void doubleClick() {}
    // The frame the platform puts around the window is known or changed: the window is placed
    // anew with it.
    virtual void frameChanged() { setGeometry(); }
    // Runs after the controls exist and before the platform window is made; a window binds
    // controls to its own storage and wires their handlers here.
    virtual void controlsCreated() {}

    // The geometry for the load handler to assign; the platform window hears of it at
    // setGeometry().
    TwipsGeometry& mutableGeometry() { return geometry_; }

  private:
    void build();
    void pushCaption();
    // Takes the frame's place from the platform, so that what is saved is where it really is.
    void takeFramePosition();

    Runtime& runtime_;
    const WindowDesign& design_;
    std::vector<std::unique_ptr<Control>> controls_;
    std::vector<Control*> shownControls_;
    std::unique_ptr<WindowPeer> peer_;
    std::string caption_;
    TwipsGeometry geometry_;
    std::optional<PixelRect> lastRequested_;
    Control* focus_ = nullptr;
    Window* owner_ = nullptr;
    int inputBlockers_ = 0;
    bool closing_ = false;
    bool shown_ = false;
    bool captionHeld_ = false;  // changed while the screen was not visible
};

// Shows `startup` as the program's start-up window, whose closing ends the program, and runs
// the event loop until then. Returns the exit status: 1 when the start-up window could not be
// shown, and no loop runs then.
int runProgram(Window& startup);
// The same without running a loop (the headless backend's tests drive time).
void startProgram(Window& startup);

}  // namespace qv
