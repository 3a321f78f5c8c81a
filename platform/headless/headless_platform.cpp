#include "platform/headless/headless_platform.h"

#include <algorithm>

#include "platform/headless/headless_loop.h"
#include "platform/runtime.h"

namespace qv::headless {

HeadlessPlatform::HeadlessPlatform(std::uint64_t uptimeAtStartMs) : clock_(uptimeAtStartMs) {
    Monitor primary;
    primary.full = {0, 0, 1920, 1080};
    primary.work = {0, 0, 1920, 1040};
    primary.primary = true;
    desktop_.monitors.push_back(primary);
}

HeadlessPlatform::~HeadlessPlatform() = default;

std::unique_ptr<WindowPeer> HeadlessPlatform::createPeer(Window& window, Window* owner) {
    auto peer = std::make_unique<HeadlessWindow>(desktop_, window, owner, nextHandle_);
    nextHandle_ += 0x10;
    return peer;
}

int HeadlessPlatform::captionFitWidth(std::string_view caption) {
    if (titleCharWidthAt96_ == 0) return 0;
    const int dpi = desktop_.systemDpi;
    const FrameExtents f = desktop_.frameAt(dpi);
    const int text = static_cast<int>(caption.size()) * scaleFrom96(titleCharWidthAt96_, dpi);
    return text + f.left + f.right + 4 * f.top;
}

void HeadlessPlatform::setFrame(const FrameExtents& at96) {
    desktop_.frameAt96 = at96;
    // A copy: a window may close as it is placed anew.
    for (HeadlessWindow* w : std::vector<HeadlessWindow*>(desktop_.windows))
        input::frameChanged(w->window());
}

WindowHandle HeadlessPlatform::foregroundWindow() {
    orderCalls_.push_back({OrderCall::Foreground, 0, false});
    return desktop_.foreground;
}

void HeadlessPlatform::setTopmost(WindowHandle window, bool topmost) {
    orderCalls_.push_back({OrderCall::SetTopmost, window, topmost});
    if (window != 0) topmost_[window] = topmost;
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

HeadlessWindow* HeadlessPlatform::peerOf(const Window& window) const {
    for (HeadlessWindow* w : desktop_.windows)
        if (&w->window() == &window) return w;
    return nullptr;
}

void HeadlessPlatform::advance(std::int64_t ms) {
    if (!runtime_) return;
    HeadlessLoop loop(clock_, runtime_->scheduler());
    wakeUps_ += loop.advance(ms);
}

void HeadlessPlatform::endSession() {
    if (runtime_) input::endOfSession(*runtime_);
}

void HeadlessPlatform::querySessionEnd() {
    if (runtime_) input::sessionMayEnd(*runtime_);
}

void HeadlessPlatform::setScreenVisible(bool visible) {
    if (runtime_) input::screenVisibility(*runtime_, visible);
}

int HeadlessPlatform::windowDpi(const Window& window) const {
    const HeadlessWindow* w = peerOf(window);
    return desktop_.dpiAt(w ? w->outer() : PixelRect{});
}

std::optional<PixelRect> HeadlessPlatform::controlRect(const Window& window,
                                                       std::string_view name) const {
    const Control* c = window.control(name);
    if (!c) return std::nullopt;
    return c->pixelRect(windowDpi(window));
}

Control* HeadlessPlatform::hitTest(const Window& window, int clientX, int clientY) const {
    const int dpi = windowDpi(window);
    // Hidden controls have no place on the screen, and lines take no mouse input.
    for (Control* c : window.shownControls()) {
        if (c->kind() == ControlKind::Line) continue;
        const PixelRect r = c->pixelRect(dpi);
        if (clientX >= r.x && clientX < r.right() && clientY >= r.y && clientY < r.bottom())
            return c;
    }
    return nullptr;
}

namespace {
bool insideClient(const HeadlessWindow* w, int x, int y) {
    if (!w || !w->visible()) return false;
    const PixelRect c = w->client();
    return x >= 0 && y >= 0 && x < c.width && y < c.height;
}
}  // namespace

bool HeadlessPlatform::doubleClickAt(Window& window, int clientX, int clientY) {
    if (!insideClient(peerOf(window), clientX, clientY)) return false;
    if (Control* c = hitTest(window, clientX, clientY)) {
        if (c->kind() == ControlKind::Label && c->design().notifyDoubleClick) {
            input::labelDoubleClicked(*c);
            return true;
        }
        return c->kind() != ControlKind::Label && clickAt(window, clientX, clientY);
    }
    input::doubleClick(window);
    return true;
}

bool HeadlessPlatform::clickAt(Window& window, int clientX, int clientY) {
    if (!insideClient(peerOf(window), clientX, clientY)) return false;
    Control* c = hitTest(window, clientX, clientY);
    if (!c) return false;
    if (!window.acceptsInput()) return true;  // the click lands, and is refused
    switch (c->kind()) {
        case ControlKind::CheckBox:
            input::focusMoved(*c);
            input::checkBoxToggled(*c, c->value() == 1 ? 0 : 1);
            return true;
        case ControlKind::PushButton:
            input::focusMoved(*c);
            input::buttonClicked(*c);
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
    const HeadlessWindow* w = peerOf(window);
    if (!w || !w->visible() || !window.acceptsInput()) return;
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
                input::checkBoxToggled(*focus, focus->value() == 1 ? 0 : 1);
            else if (focus && focus->kind() == ControlKind::PushButton)
                input::buttonClicked(*focus);
            break;
        case Key::Enter:
        case Key::Escape:
            // Neither window has a default or a cancel button.
            break;
    }
}

void HeadlessPlatform::requestClose(Window& window) {
    if (peerOf(window)) input::closeCommand(window);
}

void HeadlessPlatform::dragTo(Window& window, int outerX, int outerY) {
    HeadlessWindow* w = peerOf(window);
    if (!w || !window.acceptsInput()) return;
    w->moveFrame(outerX, outerY);
    input::moved(window, outerX, outerY);
}

void HeadlessPlatform::placeUnreported(Window& window, int outerX, int outerY) {
    HeadlessWindow* w = peerOf(window);
    if (w) w->moveFrame(outerX, outerY);
}

}  // namespace qv::headless
