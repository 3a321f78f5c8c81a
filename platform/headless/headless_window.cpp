#include "platform/headless/headless_window.h"

#include <algorithm>
#include <stdexcept>

namespace qv::headless {

HeadlessWindow::HeadlessWindow(HeadlessDesktop& desktop, Window& window, Window* owner,
                               WindowHandle handle)
    : desktop_(desktop), window_(window), owner_(owner), handle_(handle) {
    desktop_.windows.push_back(this);
}

HeadlessWindow::~HeadlessWindow() {
    std::erase(desktop_.windows, this);
    if (desktop_.foreground == handle_) {
        // Activation returns to the owner, as it does when a modal window closes.
        desktop_.foreground = 0;
        for (const HeadlessWindow* w : desktop_.windows)
            if (owner_ && &w->window() == owner_) desktop_.foreground = w->handle();
    }
}

void HeadlessWindow::setCaption(std::string_view caption) {
    caption_.assign(caption);
    ++captionPushes_;
}

FrameExtents HeadlessWindow::frameExtents() const {
    return desktop_.frameAt(desktop_.dpiAt(outer_));
}

void HeadlessWindow::show() {
    if (desktop_.refusesWindows) throw std::runtime_error("the desktop cannot create a window");
    visible_ = true;
    desktop_.foreground = handle_;  // a newly shown window is activated
}

PixelRect HeadlessWindow::client() const {
    const FrameExtents f = frameExtents();
    return {outer_.x + f.left, outer_.y + f.top, std::max(0, outer_.width - f.left - f.right),
            std::max(0, outer_.height - f.top - f.bottom)};
}

}  // namespace qv::headless
