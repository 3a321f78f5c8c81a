#include "platform/window.h"

#include <algorithm>

#include "platform/handler_guard.h"
#include "platform/runtime.h"

namespace qv {

// ---- Control ----

Control::Control(Window& window, const ControlDesign& design)
    : window_(window),
      design_(design),
      ownText_(design.text),
      text_(&ownText_),
      value_(design.value) {}

bool Control::focusable() const {
    return design_.visible && design_.tabIndex != kNoTabIndex &&
           (design_.kind == ControlKind::TextBox || design_.kind == ControlKind::CheckBox ||
            design_.kind == ControlKind::PushButton);
}

void Control::setText(std::string_view text) {
    if (*text_ == text) return;
    text_->assign(text);
    if (design_.visible && window_.peer()) window_.peer()->controlChanged(*this);
}

void Control::bindText(std::string* storage) {
    text_ = storage ? storage : &ownText_;
}

void Control::setValue(int value) {
    if (value == value_) return;
    value_ = value;
    if (design_.visible && window_.peer()) window_.peer()->controlChanged(*this);
    // A copy: the handler may close the window, and the control with it.
    if (auto handler = onClick) handler();
}

// ---- Window ----

Window::Window(Runtime& runtime, const WindowDesign& design)
    : runtime_(runtime), design_(design), caption_(design.caption) {}

Window::~Window() {
    if (peer_) runtime_.windowClosed(this);
    peer_.reset();
    controls_.clear();
}

WindowHandle Window::handle() const {
    return peer_ ? peer_->handle() : 0;
}

template <class F>
void Window::guarded(std::string_view what, F&& f) {
    HandlerGuard::instance().run(what, std::forward<F>(f));
}

void Window::setCaption(std::string_view caption) {
    if (caption_ == caption) return;
    caption_.assign(caption);
    if (peer_) peer_->setCaption(caption_);
}

void Window::setLeft(float twips) {
    left_ = twips;
    applyGeometry();
}
void Window::setTop(float twips) {
    top_ = twips;
    applyGeometry();
}
void Window::setWidth(float twips) {
    width_ = twips;
    applyGeometry();
}
void Window::setHeight(float twips) {
    height_ = twips;
    applyGeometry();
}

PixelRect Window::outerPixels() const {
    const Platform& platform = runtime_.platform();
    const int systemDpi = platform.systemDpi();
    PixelRect r;
    r.x = positionTwipsToPixels(left_, systemDpi);
    r.y = positionTwipsToPixels(top_, systemDpi);
    const auto monitors = platform.monitors();
    const Monitor* m = nearestMonitor({r.x, r.y, 1, 1}, monitors);
    const int dpi = m ? m->dpi : systemDpi;
    r.width = std::max(1, sizeTwipsToPixels(width_, dpi));
    r.height = std::max(1, sizeTwipsToPixels(height_, dpi));
    if (peer_) {
        // The program keeps a strip of client area below the title bar, whatever the platform's
        // own minimum window size would leave.
        const FrameExtents f = peer_->frameExtents();
        r.height =
            std::max(r.height, f.top + f.bottom + scaleFrom96(design_.minClientStripPx, dpi));
        r.width = std::max(r.width, f.left + f.right + 1);
    }
    return r;
}

void Window::applyGeometry() {
    if (!peer_) return;
    const PixelRect r = outerPixels();
    lastRequested_ = r;
    peer_->setOuterRect(r);
}

Control* Window::control(std::string_view name) const {
    for (const auto& c : controls_)
        if (c->name() == name) return c.get();
    return nullptr;
}

void Window::focusNext(bool reverse) {
    std::vector<Control*> order;
    for (const auto& c : controls_)
        if (c->focusable()) order.push_back(c.get());
    if (order.empty()) return;
    std::stable_sort(order.begin(), order.end(), [](Control* a, Control* b) {
        return a->design().tabIndex < b->design().tabIndex;
    });
    auto it = std::find(order.begin(), order.end(), focus_);
    std::size_t i = 0;
    if (it != order.end()) {
        const auto at = static_cast<std::size_t>(it - order.begin());
        i = reverse ? (at + order.size() - 1) % order.size() : (at + 1) % order.size();
    }
    focus_ = order[i];
    if (peer_) peer_->focusControl(*focus_);
}

void Window::load() {
    if (peer_) return;
    controls_.clear();
    for (const ControlDesign& d : design_.controls)
        controls_.push_back(std::make_unique<Control>(*this, d));
    caption_.assign(design_.caption);
    // The platform window starts at the designed client size; the load handler then places it.
    width_ = static_cast<float>(design_.clientWidth);
    height_ = static_cast<float>(design_.clientHeight);
    focus_ = nullptr;
    controlsCreated();
    peer_ = runtime_.platform().createPeer(*this, owner_);
    runtime_.windowOpened(this);
    peer_->setCaption(caption_);
    applyGeometry();
    Form_Load();
}

void Window::show() {
    load();
    if (!peer_) return;  // the load handler closed it
    // A window saved on a monitor that is gone comes back where the user can reach it.
    const PixelRect r = outerPixels();
    const auto monitors = runtime_.platform().monitors();
    const int titleBar = peer_->frameExtents().top;
    const PixelRect reachable = keepReachable(r, titleBar, monitors);
    if (reachable.x != r.x || reachable.y != r.y) {
        const int systemDpi = runtime_.platform().systemDpi();
        left_ = static_cast<float>(positionPixelsToTwips(reachable.x, systemDpi));
        top_ = static_cast<float>(positionPixelsToTwips(reachable.y, systemDpi));
        applyGeometry();
    }
    shown_ = true;
    peer_->show();
    if (!focus_) focusNext();
}

void Window::showModal(Window& owner) {
    owner_ = &owner;
    if (owner.inputBlockers_++ == 0 && owner.peer_) owner.peer_->setInputEnabled(false);
    show();
    if (peer_) runtime_.platform().runModalLoop(*this);
}

void Window::close() {
    if (!peer_ || closing_) return;
    closing_ = true;
    Form_Unload();
    // The owner takes input again before this window goes, so activation returns to it.
    if (owner_) {
        if (--owner_->inputBlockers_ == 0 && owner_->peer_) owner_->peer_->setInputEnabled(true);
        owner_ = nullptr;
    }
    peer_.reset();
    runtime_.windowClosed(this);
    controls_.clear();
    focus_ = nullptr;
    shown_ = false;
    lastRequested_.reset();
    closing_ = false;
    if (runtime_.startupWindow() == this) runtime_.startupClosed();
}

void Window::platformDoubleClick() {
    if (!acceptsInput()) return;
    guarded(design_.name, [&] { Form_DblClick(); });
}

void Window::platformCloseRequest() {
    if (!acceptsInput()) return;
    guarded(design_.name, [&] { close(); });
}

void Window::platformMoved(int outerX, int outerY) {
    // Only a real move changes the position in twips: the platform echoing the place the
    // program asked for leaves the twips exactly as they were set.
    if (lastRequested_ && lastRequested_->x == outerX && lastRequested_->y == outerY) return;
    const int systemDpi = runtime_.platform().systemDpi();
    left_ = static_cast<float>(positionPixelsToTwips(outerX, systemDpi));
    top_ = static_cast<float>(positionPixelsToTwips(outerY, systemDpi));
    if (lastRequested_) {
        lastRequested_->x = outerX;
        lastRequested_->y = outerY;
    }
}

void Window::platformFrameChanged() {
    applyGeometry();
}

void Window::platformButtonClicked(Control& control) {
    if (!acceptsInput()) return;
    guarded(control.name(), [handler = control.onClick] {
        if (handler) handler();
    });
}

void Window::platformCheckBoxToggled(Control& control, int newValue) {
    if (!acceptsInput()) {
        // Put the box back as the program has it.
        if (peer_) peer_->controlChanged(control);
        return;
    }
    guarded(control.name(), [&] { control.setValue(newValue); });
}

void Window::platformLabelDoubleClicked(Control& control) {
    if (!acceptsInput()) return;
    guarded(control.name(), [handler = control.onDoubleClick] {
        if (handler) handler();
    });
}

}  // namespace qv
