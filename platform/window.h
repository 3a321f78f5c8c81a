#pragma once
// The window runtime's core: windows and controls whose state lives here, in the program, while
// a platform backend only mirrors it to the screen and reports the user's actions back.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/geometry.h"
#include "platform/window_design.h"
#include "platform/window_order.h"

namespace qv {

class Runtime;
class Window;

class Control {
  public:
    Control(Window& window, const ControlDesign& design);
    Control(const Control&) = delete;
    Control& operator=(const Control&) = delete;

    const ControlDesign& design() const { return design_; }
    std::string_view name() const { return design_.name; }
    ControlKind kind() const { return design_.kind; }
    bool visible() const { return design_.visible; }
    // Visible controls with a tab index take the focus; labels and lines never do.
    bool focusable() const;
    Window& window() const { return window_; }

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

// The native side of one window, made by the platform at each load and destroyed at unload.
class WindowPeer {
  public:
    virtual ~WindowPeer() = default;
    virtual WindowHandle handle() const = 0;
    virtual void setCaption(std::string_view caption) = 0;
    // Position and size of the outer frame, title bar included.
    virtual void setOuterRect(const PixelRect& outer) = 0;
    virtual FrameExtents frameExtents() const = 0;
    virtual void show() = 0;
    // False while a modal window owned by this one is open.
    virtual void setInputEnabled(bool enabled) = 0;
    // A visible control's text or value changed.
    virtual void controlChanged(const Control& control) = 0;
    virtual void focusControl(const Control& control) = 0;
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
    bool shown() const { return shown_; }
    WindowPeer* peer() const { return peer_.get(); }
    // The platform's handle, 0 while the window is not loaded.
    WindowHandle handle() const;

    // Set on every call; the screen hears of it only when the text changed.
    const std::string& caption() const { return caption_; }
    void setCaption(std::string_view caption);

    // Outer geometry in twips: position on the screen, size with frame and title bar.
    float Left() const { return left_; }
    float Top() const { return top_; }
    float Width() const { return width_; }
    float Height() const { return height_; }
    void setLeft(float twips);
    void setTop(float twips);
    void setWidth(float twips);
    void setHeight(float twips);
    // The outer rectangle in pixels that the current geometry maps to.
    PixelRect outerPixels() const;

    Control* control(std::string_view name) const;
    const std::vector<std::unique_ptr<Control>>& controls() const { return controls_; }
    Control* focusedControl() const { return focus_; }
    // Moves the focus to the next focusable control in tab order (backwards with `reverse`).
    void focusNext(bool reverse = false);

    // Builds the window afresh from its design (controls, then the platform window) and runs its
    // load handler. Does nothing when it is loaded already.
    void load();
    // Loads if need be, keeps the title bar reachable, and shows the window.
    void show();
    // As show(), owned by `owner`, whose input is blocked until this window closes; returns
    // when it has closed (a headless platform returns at once and the test drives the loop).
    void showModal(Window& owner);
    // The close command: runs unload, gives input back to the owner, destroys the platform
    // window and its controls. Closing the start-up window ends the program.
    void close();

    // False while a modal window it owns is open.
    bool acceptsInput() const { return inputBlockers_ == 0; }
    Window* modalOwner() const { return owner_; }

    // Entries from the platform. Each passes the handler guard, and user input to a window
    // that does not accept input is dropped.
    void platformDoubleClick();
    void platformCloseRequest();
    void platformMoved(int outerX, int outerY);
    void platformFrameChanged();
    void platformButtonClicked(Control& control);
    void platformCheckBoxToggled(Control& control, int newValue);
    void platformLabelDoubleClicked(Control& control);
    void platformFocusChanged(Control* control) { focus_ = control; }

  protected:
    virtual void Form_Load() {}
    virtual void Form_Unload() {}
    virtual void Form_DblClick() {}
    // Runs after the controls exist and before the platform window is made; a window binds
    // controls to its own storage here.
    virtual void controlsCreated() {}

  private:
    void applyGeometry();
    template <class F>
    void guarded(std::string_view what, F&& f);

    Runtime& runtime_;
    const WindowDesign& design_;
    std::vector<std::unique_ptr<Control>> controls_;
    std::unique_ptr<WindowPeer> peer_;
    std::string caption_;
    float left_ = 0, top_ = 0, width_ = 0, height_ = 0;
    std::optional<PixelRect> lastRequested_;
    Control* focus_ = nullptr;
    Window* owner_ = nullptr;
    int inputBlockers_ = 0;
    bool shown_ = false;
    bool closing_ = false;
};

}  // namespace qv
