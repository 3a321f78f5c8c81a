#include "platform/headless/headless_window.h"

#include <stdexcept>

#include <algorithm>

#include "platform/headless/headless_platform.h"

namespace qv::headless {

HeadlessWindow::HeadlessWindow(HeadlessPlatform& platform, Window& window, Window* owner,
                               WindowHandle handle)
    : platform_(platform), window_(window), owner_(owner), handle_(handle) {}

HeadlessWindow::~HeadlessWindow() {
    std::erase(platform_.windows_, this);
    if (platform_.foreground_ == handle_) {
        // Activation returns to the owner, as it does when a modal window closes.
        HeadlessWindow* owner = owner_ ? platform_.peerOf(*owner_) : nullptr;
        platform_.foreground_ = owner ? owner->handle() : 0;
    }
}

void HeadlessWindow::setCaption(std::string_view caption) {
    caption_.assign(caption);
    ++captionPushes_;
}

FrameExtents HeadlessWindow::frameExtents() const {
    const int dpi = platform_.windowDpi(window_);
    const FrameExtents f = platform_.frameAt96_;
    return {scaleFrom96(f.left, dpi), scaleFrom96(f.right, dpi), scaleFrom96(f.top, dpi),
            scaleFrom96(f.bottom, dpi)};
}

void HeadlessWindow::show() {
    if (platform_.refusesWindows_) throw std::runtime_error("the desktop cannot create a window");
    visible_ = true;
    platform_.foreground_ = handle_;  // a newly shown window is activated
}

PixelRect HeadlessWindow::client() const {
    const FrameExtents f = frameExtents();
    return {outer_.x + f.left, outer_.y + f.top, std::max(0, outer_.width - f.left - f.right),
            std::max(0, outer_.height - f.top - f.bottom)};
}

}  // namespace qv::headless
