#include "platform/window.h"

#include <algorithm>
#include <limits>

#include "platform/program_identity.h"
#include "platform/runtime.h"

namespace qv {

namespace {

// The tab order's key: controls without a tab index come after all others.
int tabKey(const Control* c) {
    const int tab = c->design().tabIndex;
    return tab == kNoTabIndex ? std::numeric_limits<int>::max() : tab;
}

}  // namespace

// ---- Control ----

Control::Control(Window& window, const ControlDesign& design)
    : window_(window),
      design_(design),
      ownText_(design.text),
      text_(&ownText_),
      value_(design.value) {}

bool Control::focusable() const {
    return design_.visible && design_.tabIndex != kNoTabIndex &&
           (design_.kind == ControlKind::CheckBox || design_.kind == ControlKind::PushButton);
}

PixelRect Control::pixelRect(int dpi) const {
    return {sizeTwipsToPixels(design_.left, dpi), sizeTwipsToPixels(design_.top, dpi),
            sizeTwipsToPixels(design_.width, dpi), sizeTwipsToPixels(design_.height, dpi)};
}

PixelLine Control::lineEnds(int dpi) const {
    return {sizeTwipsToPixels(design_.left, dpi), sizeTwipsToPixels(design_.top, dpi),
            sizeTwipsToPixels(design_.left + design_.width, dpi),
            sizeTwipsToPixels(design_.top + design_.height, dpi)};
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
    if (peer_) runtime_.windowClosed(*this);
    peer_.reset();
    controls_.clear();
}

WindowHandle Window::handle() const {
    return peer_ ? peer_->handle() : 0;
}

void Window::setCaption(std::string_view caption) {
    if (caption_ == caption) return;
    caption_.assign(caption);
    pushCaption();
}

void Window::showHeldCaption() {
    if (captionHeld_) pushCaption();
}

void Window::pushCaption() {
    if (!peer_) return;
    // A title nobody can see waits: each push also wakes the window manager, and the program
    // itself with the property's echo.
    captionHeld_ = !runtime_.scheduler().screenVisible();
    if (!captionHeld_) peer_->setCaption(caption_);
}

DesktopFacts Window::desktopFacts() const {
    Backend& backend = runtime_.backend();
    DesktopFacts facts;
    facts.systemDpi = backend.systemDpi();
    facts.monitors = backend.monitors();
    facts.limitsWindowSize = backend.limitsWindowSize();
    if (!design_.widestCaption.empty())
        facts.captionFitWidthPx = backend.captionFitWidth(design_.widestCaption);
    return facts;
}

PixelRect Window::outerPixels() const {
    const Backend& backend = runtime_.backend();
    const int systemDpi = backend.systemDpi();
    PixelRect r;
    r.x = positionTwipsToPixels(geometry_.left, systemDpi);
    r.y = positionTwipsToPixels(geometry_.top, systemDpi);
    const auto monitors = backend.monitors();
    const Monitor* m = nearestMonitor({r.x, r.y, 1, 1}, monitors);
    const int dpi = m ? m->dpi : systemDpi;
    r.width = std::max(1, sizeTwipsToPixels(geometry_.width, dpi));
    r.height = std::max(1, sizeTwipsToPixels(geometry_.height, dpi));
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

void Window::setGeometry() {
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
    for (Control* c : shownControls_)
        if (c->focusable()) order.push_back(c);
    if (order.empty()) return;
    auto it = std::find(order.begin(), order.end(), focus_);
    std::size_t i = 0;
    if (it != order.end()) {
        const auto at = static_cast<std::size_t>(it - order.begin());
        i = reverse ? (at + order.size() - 1) % order.size() : (at + 1) % order.size();
    }
    focus_ = order[i];
    if (peer_) peer_->focusControl(*focus_);
}

void Window::build() {
    controls_.clear();
    shownControls_.clear();
    for (const ControlDesign& d : design_.controls) {
        controls_.push_back(std::make_unique<Control>(*this, d));
        if (d.visible) shownControls_.push_back(controls_.back().get());
    }
    std::stable_sort(shownControls_.begin(), shownControls_.end(),
                     [](const Control* a, const Control* b) { return tabKey(a) < tabKey(b); });
    caption_.assign(design_.caption);
    // The platform window starts at the designed client size; the load handler then places it.
    geometry_.width = static_cast<float>(design_.clientWidth);
    geometry_.height = static_cast<float>(design_.clientHeight);
    focus_ = nullptr;
    controlsCreated();
    peer_ = runtime_.backend().createPeer(*this, owner_);
    runtime_.windowOpened(*this);
    captionHeld_ = false;
    peer_->setCaption(caption_);
    setGeometry();
    load();
}

void Window::show() {
    if (!peer_) build();
    if (!peer_) return;  // the load handler closed it
    // A window saved on a monitor that is gone comes back where the user can reach it.
    const PixelRect r = outerPixels();
    const auto monitors = runtime_.backend().monitors();
    const int titleBar = peer_->frameExtents().top;
    const PixelRect reachable = keepReachable(r, titleBar, monitors);
    if (reachable.x != r.x || reachable.y != r.y) {
        const int systemDpi = runtime_.backend().systemDpi();
        geometry_.left = static_cast<float>(positionPixelsToTwips(reachable.x, systemDpi));
        geometry_.top = static_cast<float>(positionPixelsToTwips(reachable.y, systemDpi));
        setGeometry();
    }
    try {
        peer_->show();
        shown_ = true;
    } catch (...) {
        // A window the platform cannot make is closed again, so that its owner takes input
        // again; the start-up window's failure ends the program.
        if (owner_) close();
        throw;
    }
    if (!focus_) focusNext();
}

void Window::showModal(Window& owner) {
    owner_ = &owner;
    if (owner.inputBlockers_++ == 0 && owner.peer_) owner.peer_->setInputEnabled(false);
    show();
    if (peer_) runtime_.backend().runModalLoop(*this);
}

void Window::takeFramePosition() {
    // Whatever the platform reported before, what is saved is where the frame is now.
    if (!peer_) return;
    if (const auto at = peer_->framePosition()) frameMovedTo(at->x, at->y);
}

void Window::saveForSession() {
    if (!peer_) return;
    takeFramePosition();
    runtime_.guard().run(design_.name, [&] { save(); });
}

void Window::close() {
    if (!peer_ || closing_) return;
    closing_ = true;
    takeFramePosition();
    // A failing unload is reported, and the window closes all the same: else it could never
    // close again.
    runtime_.guard().run(design_.name, [&] { unload(); });
    // The owner takes input again before this window goes, so activation returns to it.
    if (owner_) {
        if (--owner_->inputBlockers_ == 0 && owner_->peer_) owner_->peer_->setInputEnabled(true);
        owner_ = nullptr;
    }
    peer_.reset();
    shown_ = false;
    runtime_.windowClosed(*this);
    shownControls_.clear();
    controls_.clear();
    focus_ = nullptr;
    lastRequested_.reset();
    closing_ = false;
    if (runtime_.startupWindow() == this) runtime_.end();
}

void Window::frameMovedTo(int outerX, int outerY) {
    // Only a real move changes the position in twips.
    if (lastRequested_ && lastRequested_->x == outerX && lastRequested_->y == outerY) return;
    const int systemDpi = runtime_.backend().systemDpi();
    geometry_.left = static_cast<float>(positionPixelsToTwips(outerX, systemDpi));
    geometry_.top = static_cast<float>(positionPixelsToTwips(outerY, systemDpi));
    if (lastRequested_) {
        lastRequested_->x = outerX;
        lastRequested_->y = outerY;
    }
}

// ---- The start-up window ----

void startProgram(Window& startup) {
    Runtime& runtime = startup.runtime();
    runtime.setStartupWindow(startup);
    runtime.guard().run(startup.design().name, [&] { startup.show(); });
}

int runProgram(Window& startup) {
    Runtime& runtime = startup.runtime();
    startProgram(startup);
    if (!runtime.ended() && !startup.shown()) {
        // Never run on without a window: nothing could end the program then.
        runtime.guard().say(std::string(kProgramName) + ": the window " +
                            std::string(startup.design().name) + " cannot be shown; ending");
        return 1;
    }
    if (!runtime.ended()) runtime.backend().runLoop();
    runtime.guard().flushRepeats();
    return 0;
}

// ---- The entries a backend reports to ----

namespace input {

namespace {

template <class F>
void guarded(const Window& window, std::string_view entry, F&& f) noexcept {
    window.runtime().guard().run(entry, std::forward<F>(f));
}

// Runs a control's handler from a copy: the handler may close the window, and the control with
// it.
void runHandler(Control& control, std::function<void()> Control::*handler) noexcept {
    guarded(control.window(), control.name(), [&] {
        if (const auto copy = control.*handler) copy();
    });
}

void endSession(Runtime& runtime) {
    if (runtime.ended()) return;
    // Newest first: a modal window closes (and saves) before the window that owns it.
    while (!runtime.openWindows().empty()) {
        Window* w = runtime.openWindows().back();
        runtime.guard().run("end of session", [&] { w->close(); });
        // its unload failed
        if (!runtime.openWindows().empty() && runtime.openWindows().back() == w)
            runtime.windowClosed(*w);
    }
    if (!runtime.ended()) runtime.end();
}

}  // namespace

void sessionMayEnd(Runtime& runtime) noexcept {
    runtime.guard().run("end of session", [&] {
        for (Window* w : runtime.openWindows()) w->saveForSession();
    });
}

void endOfSession(Runtime& runtime) noexcept {
    runtime.guard().run("end of session", [&] { endSession(runtime); });
}

void screenVisibility(Runtime& runtime, bool visible) noexcept {
    runtime.guard().run("screen", [&] {
        // The timers' pass comes first, so that a title it refreshes is pushed once, fresh.
        runtime.scheduler().setScreenVisible(visible);
        if (!visible) return;
        for (Window* w : runtime.openWindows()) w->showHeldCaption();
    });
}

void closeCommand(Window& window) noexcept {
    if (!window.acceptsInput()) return;
    guarded(window, window.design().name, [&] { window.close(); });
}

void doubleClick(Window& window) noexcept {
    if (!window.acceptsInput()) return;
    guarded(window, window.design().name, [&] { window.clientAreaDoubleClicked(); });
}

void moved(Window& window, int outerX, int outerY) noexcept {
    window.frameMovedTo(outerX, outerY);
}

void frameChanged(Window& window) noexcept {
    guarded(window, window.design().name, [&] { window.frameExtentsChanged(); });
}

void focusMoved(Control& control) noexcept {
    control.window().focusMovedTo(control);
}

void buttonClicked(Control& button) noexcept {
    if (!button.window().acceptsInput()) return;
    runHandler(button, &Control::onClick);
}

void checkBoxToggled(Control& box, int newValue) noexcept {
    Window& window = box.window();
    if (!window.acceptsInput()) {
        // Put the box back as the program has it.
        if (WindowPeer* peer = window.peer())
            guarded(window, box.name(), [&] { peer->controlChanged(box); });
        return;
    }
    guarded(window, box.name(), [&] { box.setValue(newValue); });
}

void labelDoubleClicked(Control& label) noexcept {
    if (!label.window().acceptsInput()) return;
    runHandler(label, &Control::onDoubleClick);
}

}  // namespace input

}  // namespace qv
