#pragma once
// One simulated window: its outer rectangle and frame, the caption the screen shows, whether it
// is visible and takes input, and which control has the focus.

#include <optional>
#include <string>
#include <string_view>

#include "platform/headless/headless_desktop.h"
#include "platform/window.h"

namespace qv::headless {

class HeadlessWindow : public WindowPeer {
  public:
    HeadlessWindow(HeadlessDesktop& desktop, Window& window, Window* owner, WindowHandle handle);
    ~HeadlessWindow() override;

    WindowHandle handle() const override { return handle_; }
    void setCaption(std::string_view caption) override;
    void setOuterRect(const PixelRect& outer) override {
        outer_ = outer;
        ++outerPushes_;
    }
    FrameExtents frameExtents() const override;
    // The simulated desktop's own record of the window.
    std::optional<PixelPoint> framePosition() const override {
        return PixelPoint{outer_.x, outer_.y};
    }
    void show() override;
    void setInputEnabled(bool enabled) override { inputEnabled_ = enabled; }
    void controlChanged(const Control&) override {}
    void focusControl(const Control& control) override { focused_ = control.name(); }

    Window& window() const { return window_; }
    // What the screen shows: the caption as last pushed, and how many pushes there were.
    const std::string& screenCaption() const { return caption_; }
    int captionPushes() const { return captionPushes_; }
    const PixelRect& outer() const { return outer_; }
    // How often the core handed the window a rectangle.
    int outerPushes() const { return outerPushes_; }
    // The desktop itself puts the frame's top left corner at (outerX, outerY).
    void moveFrame(int outerX, int outerY) {
        outer_.x = outerX;
        outer_.y = outerY;
    }
    PixelRect client() const;
    bool visible() const { return visible_; }
    bool inputEnabled() const { return inputEnabled_; }
    std::string_view focusedControl() const { return focused_; }

  private:
    HeadlessDesktop& desktop_;
    Window& window_;
    Window* owner_;
    WindowHandle handle_;
    std::string caption_;
    int captionPushes_ = 0;
    PixelRect outer_;
    int outerPushes_ = 0;
    bool visible_ = false;
    bool inputEnabled_ = true;
    std::string_view focused_;
};

}  // namespace qv::headless
