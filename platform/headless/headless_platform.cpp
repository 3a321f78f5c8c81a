#include "platform/headless/headless_platform.h"

#include <algorithm>

#include "platform/headless/headless_loop.h"

namespace qv {

// ---- HeadlessPeer ----

HeadlessPeer::HeadlessPeer(HeadlessPlatform& platform, Window& window, Window* owner,
                           WindowHandle handle)
    : platform_(platform), window_(window), owner_(owner), handle_(handle) {}

HeadlessPeer::~HeadlessPeer() {
    std::erase(platform_.peers_, this);
    if (platform_.foreground_ == handle_) {
        HeadlessPeer* ownerPeer = owner_ ? platform_.peerOf(*owner_) : nullptr;
        platform_.foreground_ = ownerPeer ? ownerPeer->handle() : 0;
    }
}

void HeadlessPeer::setCaption(std::string_view caption) {
    caption_.assign(caption);
    ++captionPushes_;
}

FrameExtents HeadlessPeer::frameExtents() const {
    const int dpi = platform_.windowDpi(window_);
    const FrameExtents f = platform_.frameAt96_;
    return {scaleFrom96(f.left, dpi), scaleFrom96(f.right, dpi), scaleFrom96(f.top, dpi),
            scaleFrom96(f.bottom, dpi)};
}

void HeadlessPeer::show() {
    visible_ = true;
    platform_.foreground_ = handle_;  // a newly shown window is activated
}

PixelRect HeadlessPeer::client() const {
    const FrameExtents f = frameExtents();
    return {outer_.x + f.left, outer_.y + f.top, std::max(0, outer_.width - f.left - f.right),
            std::max(0, outer_.height - f.top - f.bottom)};
}

// ---- HeadlessPlatform ----

HeadlessPlatform::HeadlessPlatform(std::uint64_t uptimeAtStartMs) : clock_(uptimeAtStartMs) {
    Monitor primary;
    primary.full = {0, 0, 1920, 1080};
    primary.work = {0, 0, 1920, 1040};
    primary.primary = true;
    monitors_.push_back(primary);
}

HeadlessPlatform::~HeadlessPlatform() = default;

std::unique_ptr<WindowPeer> HeadlessPlatform::createPeer(Window& window, Window* owner) {
    auto peer = std::make_unique<HeadlessPeer>(*this, window, owner, nextHandle_);
    nextHandle_ += 0x10;
    peers_.push_back(peer.get());
    return peer;
}

WindowHandle HeadlessPlatform::foregroundWindow() {
    orderCalls_.push_back({OrderCall::Foreground, 0, InsertAfter::Topmost, 0});
    return foreground_;
}

void HeadlessPlatform::setWindowPos(WindowHandle window, InsertAfter after, unsigned flags) {
    orderCalls_.push_back({OrderCall::SetWindowPos, window, after, flags});
    if (window != 0) topmost_[window] = after == InsertAfter::Topmost;
}

WindowHandle HeadlessPlatform::createForeignWindow(bool topmost) {
    const WindowHandle h = nextHandle_;
    nextHandle_ += 0x10;
    topmost_[h] = topmost;
    return h;
}

bool HeadlessPlatform::isTopmost(WindowHandle window) const {
    auto it = topmost_.find(window);
    return it != topmost_.end() && it->second;
}

HeadlessPeer* HeadlessPlatform::peerOf(const Window& window) const {
    for (HeadlessPeer* p : peers_)
        if (&p->window() == &window) return p;
    return nullptr;
}

void HeadlessPlatform::advance(std::int64_t ms) {
    HeadlessLoop loop(clock_, runtime_->scheduler());
    loop.advance(ms);
}

int HeadlessPlatform::windowDpi(const Window& window) const {
    const HeadlessPeer* p = peerOf(window);
    const PixelRect r = p ? p->outer() : PixelRect{};
    const Monitor* m = nearestMonitor({r.x, r.y, 1, 1}, monitors_);
    return m ? m->dpi : systemDpi_;
}

std::optional<PixelRect> HeadlessPlatform::controlRect(const Window& window,
                                                       std::string_view name) const {
    const Control* c = window.control(name);
    if (!c) return std::nullopt;
    const int dpi = windowDpi(window);
    const ControlDesign& d = c->design();
    return PixelRect{sizeTwipsToPixels(d.left, dpi), sizeTwipsToPixels(d.top, dpi),
                     sizeTwipsToPixels(d.width, dpi), sizeTwipsToPixels(d.height, dpi)};
}

Control* HeadlessPlatform::hitTest(const Window& window, int clientX, int clientY) const {
    for (const auto& c : window.controls()) {
        // Hidden controls and lines take no mouse input.
        if (!c->visible() || c->kind() == ControlKind::Line) continue;
        const auto r = controlRect(window, c->name());
        if (clientX >= r->x && clientX < r->right() && clientY >= r->y && clientY < r->bottom())
            return c.get();
    }
    return nullptr;
}

namespace {
bool insideClient(const HeadlessPeer* p, int x, int y) {
    if (!p || !p->visible()) return false;
    const PixelRect c = p->client();
    return x >= 0 && y >= 0 && x < c.width && y < c.height;
}
}  // namespace

bool HeadlessPlatform::doubleClickAt(Window& window, int clientX, int clientY) {
    if (!insideClient(peerOf(window), clientX, clientY)) return false;
    if (Control* c = hitTest(window, clientX, clientY)) {
        if (c->kind() == ControlKind::Label && c->design().notifyDoubleClick) {
            window.platformLabelDoubleClicked(*c);
            return true;
        }
        return c->kind() != ControlKind::Label && clickAt(window, clientX, clientY);
    }
    window.platformDoubleClick();
    return true;
}

bool HeadlessPlatform::clickAt(Window& window, int clientX, int clientY) {
    if (!insideClient(peerOf(window), clientX, clientY)) return false;
    Control* c = hitTest(window, clientX, clientY);
    if (!c) return false;
    if (!window.acceptsInput()) return true;  // the click lands, and is refused
    switch (c->kind()) {
        case ControlKind::CheckBox:
            window.platformFocusChanged(c);
            window.platformCheckBoxToggled(*c, c->value() == 1 ? 0 : 1);
            return true;
        case ControlKind::PushButton:
            window.platformFocusChanged(c);
            window.platformButtonClicked(*c);
            return true;
        default:
            return false;
    }
}

bool HeadlessPlatform::clickControl(Window& window, std::string_view name) {
    const auto r = controlRect(window, name);
    return r && clickAt(window, r->x + r->width / 2, r->y + r->height / 2);
}

bool HeadlessPlatform::doubleClickControl(Window& window, std::string_view name) {
    const auto r = controlRect(window, name);
    return r && doubleClickAt(window, r->x + r->width / 2, r->y + r->height / 2);
}

void HeadlessPlatform::pressKey(Window& window, Key key) {
    const HeadlessPeer* p = peerOf(window);
    if (!p || !p->visible() || !window.acceptsInput()) return;
    Control* focus = window.focusedControl();
    switch (key) {
        case Key::Tab:
            window.focusNext(false);
            break;
        case Key::ShiftTab:
            window.focusNext(true);
            break;
        case Key::Space:
            if (focus && focus->kind() == ControlKind::CheckBox)
                window.platformCheckBoxToggled(*focus, focus->value() == 1 ? 0 : 1);
            else if (focus && focus->kind() == ControlKind::PushButton)
                window.platformButtonClicked(*focus);
            break;
        case Key::Enter:
        case Key::Escape:
            // Neither window has a default or a cancel button.
            break;
    }
}

void HeadlessPlatform::requestClose(Window& window) {
    if (peerOf(window)) window.platformCloseRequest();
}

void HeadlessPlatform::dragTo(Window& window, int outerX, int outerY) {
    HeadlessPeer* p = peerOf(window);
    if (!p || !window.acceptsInput()) return;
    PixelRect r = p->outer();
    r.x = outerX;
    r.y = outerY;
    p->setOuterRect(r);
    window.platformMoved(outerX, outerY);
}

}  // namespace qv
