#include "platform/fltk/fltk_peer.h"

#include <FL/Enumerations.H>
#include <FL/Fl.H>
#include <FL/Fl_Box.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Check_Button.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_Output.H>
#include <FL/fl_draw.H>
#include <FL/x.H>
#include <X11/Xutil.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <map>
#include <string>

#include "platform/fltk/fltk_platform.h"
#include "platform/handler_guard.h"
#include "platform/fltk/x11_desktop.h"

namespace qv {

// The FLTK window behind a peer. Its widgets ask it for the peer, which is gone (nullptr) once
// the core has closed the window and FLTK has yet to delete it.
class PeerWindow : public Fl_Double_Window {
  public:
    PeerWindow(FltkPeer& peer, int w, int h) : Fl_Double_Window(w, h), peer_(&peer) {}

    FltkPeer* peer() const { return peer_; }
    void detach() { peer_ = nullptr; }

    int handle(int event) override {
        // Neither window has a cancel button: Escape closes nothing (FLTK would close the window).
        if ((event == FL_KEYBOARD || event == FL_SHORTCUT) && Fl::event_key() == FL_Escape)
            return 1;
        const int used = Fl_Double_Window::handle(event);
        if (event == FL_PUSH && !used && peer_ && Fl::event_button() == FL_LEFT_MOUSE &&
            Fl::event_clicks() > 0) {
            // A double-click on the client area that no control took: hidden controls and lines
            // have no widget, so it reaches the window.
            Fl::event_clicks(0);
            peer_->window().platformDoubleClick();
            return 1;
        }
        return used;
    }

    void resize(int x, int y, int w, int h) override {
        Fl_Double_Window::resize(x, y, w, h);
        if (FltkPeer* p = peer_)
            HandlerGuard::instance().run(p->window().design().name, [&] { p->clientMoved(x, y); });
    }

  private:
    FltkPeer* peer_;
};

namespace {

FltkPeer* peerOf(const Fl_Widget* w) {
    const auto* win = static_cast<const PeerWindow*>(w->window());
    return win ? win->peer() : nullptr;
}

// Each widget keeps the control it mirrors; the control lives as long as the peer.
template <class Base>
class ControlWidget : public Base {
  public:
    ControlWidget(Control& control, int x, int y, int w, int h)
        : Base(x, y, w, h), control_(control) {}

  protected:
    int handle(int event) override {
        const int used = Base::handle(event);
        if (event == FL_FOCUS && used) {
            if (FltkPeer* p = peerOf(this)) p->window().platformFocusChanged(&control_);
        }
        return used;
    }
    Control& control_;
};

class CheckWidget : public ControlWidget<Fl_Check_Button> {
  public:
    CheckWidget(Control& control, int x, int y, int w, int h) : ControlWidget(control, x, y, w, h) {
        callback([](Fl_Widget* w, void*) {
            auto* self = static_cast<CheckWidget*>(w);
            if (FltkPeer* p = peerOf(self))
                p->window().platformCheckBoxToggled(self->control_, self->value() ? 1 : 0);
        });
    }
};

class ButtonWidget : public ControlWidget<Fl_Button> {
  public:
    ButtonWidget(Control& control, int x, int y, int w, int h)
        : ControlWidget(control, x, y, w, h) {
        callback([](Fl_Widget* w, void*) {
            auto* self = static_cast<ButtonWidget*>(w);
            if (FltkPeer* p = peerOf(self)) p->window().platformButtonClicked(self->control_);
        });
    }
};

class TextWidget : public ControlWidget<Fl_Output> {
  public:
    using ControlWidget::ControlWidget;
};

// A label takes no focus; it takes a double-click only when its design asks for one, and lets
// every other click through to the window.
class LabelWidget : public Fl_Box {
  public:
    LabelWidget(Control& control, int x, int y, int w, int h)
        : Fl_Box(x, y, w, h), control_(control) {}

    int handle(int event) override {
        if (event == FL_PUSH && control_.design().notifyDoubleClick &&
            Fl::event_button() == FL_LEFT_MOUSE && Fl::event_clicks() > 0) {
            Fl::event_clicks(0);
            if (FltkPeer* p = peerOf(this)) p->window().platformLabelDoubleClicked(control_);
            return 1;
        }
        return 0;
    }

  private:
    Control& control_;
};

// A one-pixel line in the window-text colour between two points of the client area; it takes
// no input.
class LineWidget : public Fl_Widget {
  public:
    LineWidget(int x1, int y1, int x2, int y2)
        : Fl_Widget(std::min(x1, x2), std::min(y1, y2), std::abs(x2 - x1) + 1,
                    std::abs(y2 - y1) + 1),
          x1_(x1),
          y1_(y1),
          x2_(x2),
          y2_(y2) {}

    void draw() override {
        fl_color(FL_FOREGROUND_COLOR);
        fl_line_style(FL_SOLID, 1);
        fl_line(x1_, y1_, x2_, y2_);
        fl_line_style(0);
    }
    int handle(int) override { return 0; }

  private:
    int x1_, y1_, x2_, y2_;
};

Fl_Color toFl(const Rgb& c) {
    return fl_rgb_color(c.r, c.g, c.b);
}

// FLTK font numbers for the faces the designs name, registered on first use. FLTK's Xft
// names carry the style in their first character: ' ' regular, 'B' bold.
Fl_Font fontFor(const FontSpec& design) {
    static std::map<std::string, Fl_Font> registered;
    static Fl_Font next = FL_FREE_FONT;
    if (design.face.empty()) return design.weight >= 700 ? FL_HELVETICA_BOLD : FL_HELVETICA;
    std::string name;
    name.push_back(design.weight >= 700 ? 'B' : ' ');
    name.append(design.face);
    auto it = registered.find(name);
    if (it != registered.end()) return it->second;
    const Fl_Font font = next++;
    registered.emplace(name, font);
    Fl::set_font(font, strdup(name.c_str()));  // FLTK keeps the pointer
    return font;
}

// FLTK reads "@" as the start of a symbol; doubled, it stands for itself.
std::string labelText(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        if (c == '@') out.push_back(c);
        out.push_back(c);
    }
    return out;
}

int pointsToPixels(int points, int dpi) {
    return static_cast<int>(std::lround(points * dpi / 72.0));
}

// How long configure reports may lag behind a move the program asked for.
constexpr auto kEchoWait = std::chrono::milliseconds(1000);

// The font size of check boxes and buttons at 96 DPI, in pixels.
constexpr int kDefaultFontPxAt96 = 12;

}  // namespace

FltkPeer::FltkPeer(FltkPlatform& platform, Window& window, Window* owner)
    : platform_(platform), window_(window), owner_(owner), frame_(platform.estimatedFrame()) {
    const int dpi = platform_.systemDpi();
    const WindowDesign& d = window_.design();
    win_ = new PeerWindow(*this, std::max(1, sizeTwipsToPixels(d.clientWidth, dpi)),
                          std::max(1, sizeTwipsToPixels(d.clientHeight, dpi)));
    win_->xclass("qv-tickspan");
    const auto& icons = platform_.icons();
    if (!icons.empty())
        win_->icons(const_cast<const Fl_RGB_Image**>(icons.data()), static_cast<int>(icons.size()));
    if (owner_) win_->set_modal();
    win_->callback(
        [](Fl_Widget*, void* self) {
            // Escape reaches here as an unused shortcut: it closes nothing.
            if (Fl::event() == FL_SHORTCUT && Fl::event_key() == FL_Escape) return;
            static_cast<FltkPeer*>(self)->window_.platformCloseRequest();
        },
        this);
    buildWidgets();
    platform_.peerCreated(this);
}

FltkPeer::~FltkPeer() {
    platform_.peerDestroyed(this);
    win_->detach();
    if (platform_.displayLost()) return;  // no X calls are possible any more
    win_->hide();
    // Deferred: the window may be closing from inside one of its own callbacks.
    Fl::delete_widget(win_);
}

void FltkPeer::buildWidgets() {
    const int dpi = platform_.systemDpi();
    std::vector<Control*> order;
    for (const auto& c : window_.controls())
        if (c->visible()) order.push_back(c.get());
    // FLTK moves the focus in child order, so children follow the tab order; controls without
    // a tab index come last.
    std::stable_sort(order.begin(), order.end(), [](const Control* a, const Control* b) {
        const auto key = [](const Control* c) {
            return c->design().tabIndex == kNoTabIndex ? INT32_MAX : c->design().tabIndex;
        };
        return key(a) < key(b);
    });
    const auto px = [dpi](int twips) { return sizeTwipsToPixels(twips, dpi); };
    win_->begin();
    for (Control* c : order) {
        const ControlDesign& d = c->design();
        Fl_Widget* w = nullptr;
        switch (d.kind) {
            case ControlKind::Line:
                w = new LineWidget(px(d.left), px(d.top), px(d.width), px(d.height));
                break;
            case ControlKind::Label: {
                auto* label = new LabelWidget(*c, px(d.left), px(d.top), px(d.width), px(d.height));
                label->box(d.background ? FL_FLAT_BOX : FL_NO_BOX);
                Fl_Align align = FL_ALIGN_TOP | FL_ALIGN_INSIDE | FL_ALIGN_CLIP;
                if (d.align == Align::Left) align |= FL_ALIGN_LEFT;
                if (d.align == Align::Right) align |= FL_ALIGN_RIGHT;
                label->align(align);
                w = label;
                break;
            }
            case ControlKind::CheckBox: {
                auto* box = new CheckWidget(*c, px(d.left), px(d.top), px(d.width), px(d.height));
                box->value(c->value() != 0);
                w = box;
                break;
            }
            case ControlKind::PushButton:
                w = new ButtonWidget(*c, px(d.left), px(d.top), px(d.width), px(d.height));
                break;
            case ControlKind::TextBox: {
                auto* text = new TextWidget(*c, px(d.left), px(d.top), px(d.width), px(d.height));
                text->value(c->text().c_str());
                w = text;
                break;
            }
        }
        if (d.kind != ControlKind::Line && d.kind != ControlKind::TextBox)
            w->copy_label(labelText(c->text()).c_str());
        const Fl_Font font = fontFor(d.font);
        const int size = d.font.pointSize > 0 ? pointsToPixels(d.font.pointSize, dpi)
                                              : scaleFrom96(kDefaultFontPxAt96, dpi);
        w->labelfont(font);
        w->labelsize(size);
        if (auto* text = dynamic_cast<Fl_Output*>(w)) {
            text->textfont(font);
            text->textsize(size);
            if (d.foreground) text->textcolor(toFl(*d.foreground));
        }
        if (d.foreground) w->labelcolor(toFl(*d.foreground));
        if (d.background) w->color(toFl(*d.background));
        widgets_.emplace_back(c, w);
    }
    win_->end();
}

Fl_Widget* FltkPeer::widgetOf(const Control& control) const {
    for (const auto& [c, w] : widgets_)
        if (c == &control) return w;
    return nullptr;
}

::Window FltkPeer::xid() const {
    return win_->shown() ? fl_xid(win_) : 0;
}

WindowHandle FltkPeer::handle() const {
    return static_cast<WindowHandle>(xid());
}

void FltkPeer::setCaption(std::string_view caption) {
    if (platform_.displayLost()) return;
    win_->copy_label(std::string(caption).c_str());
}

void FltkPeer::setOuterRect(const PixelRect& outer) {
    outer_ = outer;
    applyOuter();
}

void FltkPeer::applyOuter() {
    if (!outer_ || platform_.displayLost()) return;
    const PixelRect& o = *outer_;
    const int w = std::max(1, o.width - frame_.left - frame_.right);
    const int h = std::max(1, o.height - frame_.top - frame_.bottom);
    // NOTE: FLTK asks for static window gravity, so the position it requests is the client
    // area's; the window manager puts its frame around that.
    const int x = o.x + frame_.left;
    const int y = o.y + frame_.top;
    if (win_->shown() && (x != win_->x() || y != win_->y())) awaitEcho(x, y);
    applying_ = true;
    win_->resize(x, y, w, h);
    win_->size_range(w, h, w, h);
    applying_ = false;
    reassertHints();
}

void FltkPeer::awaitEcho(int clientX, int clientY) {
    awaited_ = Echo{clientX, clientY, std::chrono::steady_clock::now() + kEchoWait};
}

void FltkPeer::reassertHints() {
    // NOTE: FLTK rewrites _MOTIF_WM_HINTS in show(), size_range() and border(), leaving the
    // minimize button on; ours go on after each of those calls.
    if (!win_->shown() || platform_.displayLost()) return;
    x11::setFixedFrameHints(platform_.display(), xid());
    XFlush(platform_.display());
}

void FltkPeer::show() {
    if (platform_.displayLost()) return;
    Display* display = platform_.display();
    FltkPeer* ownerPeer = owner_ ? dynamic_cast<FltkPeer*>(owner_->peer()) : nullptr;
    // NOTE: FLTK 1.3 makes a modal window transient for whichever window last had an event;
    // naming the owner as first window makes that the owner.
    if (ownerPeer && ownerPeer->win_->shown()) Fl::first_window(ownerPeer->win_);
    awaitEcho(win_->x(), win_->y());
    win_->show();
    const ::Window self = xid();
    if (ownerPeer && ownerPeer->xid()) XSetTransientForHint(display, self, ownerPeer->xid());
    reassertHints();
    // The frame extents arrive as a property change.
    XWindowAttributes attributes;
    if (XGetWindowAttributes(display, self, &attributes))
        XSelectInput(display, self, attributes.your_event_mask | PropertyChangeMask);
    XFlush(display);
    refreshFrame();
}

void FltkPeer::refreshFrame() {
    if (platform_.displayLost() || !win_->shown()) return;
    const auto extents = x11::frameExtents(platform_.display(), xid());
    if (!extents) return;
    const FrameExtents& f = *extents;
    const bool changed = f.left != frame_.left || f.right != frame_.right || f.top != frame_.top ||
                         f.bottom != frame_.bottom;
    frame_ = f;
    frameKnown_ = true;
    platform_.rememberFrame(f);
    // The core sizes the window with the real frame, and keeps its strip of client area.
    if (changed) window_.platformFrameChanged();
}

void FltkPeer::clientMoved(int clientX, int clientY) {
    if (applying_ || !win_->shown()) return;
    if (awaited_) {
        const bool echo = clientX == awaited_->x && clientY == awaited_->y;
        if (echo || std::chrono::steady_clock::now() < awaited_->until) {
            if (echo) awaited_.reset();
            return;
        }
        awaited_.reset();  // the window manager placed it elsewhere
    }
    // Before the window manager has told us its frame, a position says nothing about where
    // the user put the window.
    if (!frameKnown_) return;
    window_.platformMoved(clientX - frame_.left, clientY - frame_.top);
}

void FltkPeer::controlChanged(const Control& control) {
    Fl_Widget* w = widgetOf(control);
    if (!w || platform_.displayLost()) return;
    switch (control.kind()) {
        case ControlKind::CheckBox:
            static_cast<Fl_Check_Button*>(w)->value(control.value() != 0);
            break;
        case ControlKind::TextBox:
            static_cast<Fl_Output*>(w)->value(control.text().c_str());
            break;
        case ControlKind::Label:
        case ControlKind::PushButton:
            w->copy_label(labelText(control.text()).c_str());
            break;
        case ControlKind::Line:
            break;
    }
    w->redraw();
}

void FltkPeer::focusControl(const Control& control) {
    if (Fl_Widget* w = widgetOf(control); w && !platform_.displayLost()) w->take_focus();
}

}  // namespace qv
