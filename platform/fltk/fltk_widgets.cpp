#include "platform/fltk/fltk_widgets.h"

#include <FL/Enumerations.H>
#include <FL/Fl.H>
#include <FL/Fl_Box.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Check_Button.H>
#include <FL/fl_draw.H>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>
#include <string>

namespace qv::fltk {

int NativeWindow::handle(int event) {
    // Neither window has a cancel button: Escape closes nothing (FLTK would close the window).
    if ((event == FL_KEYBOARD || event == FL_SHORTCUT) && Fl::event_key() == FL_Escape) return 1;
    const int used = Fl_Double_Window::handle(event);
    if (event == FL_PUSH && !used && owner_ && Fl::event_button() == FL_LEFT_MOUSE &&
        Fl::event_clicks() > 0) {
        // A double-click on the client area that no control took: hidden controls and lines
        // have no widget that takes input, so it reaches the window.
        Fl::event_clicks(0);
        input::doubleClick(owner_->window());
        return 1;
    }
    return used;
}

void NativeWindow::resize(int x, int y, int w, int h) {
    Fl_Double_Window::resize(x, y, w, h);
    if (owner_) owner_->clientMoved(x, y);
}

namespace {

Control* controlOf(const Fl_Widget* w, Control& control) {
    const auto* win = static_cast<const NativeWindow*>(w->window());
    return win && win->owner() ? &control : nullptr;
}

// A widget that reports when it takes the focus; the control lives as long as the window.
template <class Base>
class ControlWidget : public Base {
  public:
    ControlWidget(Control& control, const PixelRect& r)
        : Base(r.x, r.y, r.width, r.height), control_(control) {}

  protected:
    int handle(int event) override {
        const int used = Base::handle(event);
        if (event == FL_FOCUS && used) {
            if (Control* c = controlOf(this, control_)) input::focusMoved(*c);
        }
        return used;
    }
    // The control, or nullptr once the core has closed the window.
    Control* live() const { return controlOf(this, control_); }

  private:
    Control& control_;
};

class CheckWidget : public ControlWidget<Fl_Check_Button> {
  public:
    CheckWidget(Control& control, const PixelRect& r) : ControlWidget(control, r) {
        value(control.value() != 0);
        callback([](Fl_Widget* w, void*) {
            auto* self = static_cast<CheckWidget*>(w);
            if (Control* c = self->live()) input::checkBoxToggled(*c, self->value() ? 1 : 0);
        });
    }
};

class ButtonWidget : public ControlWidget<Fl_Button> {
  public:
    ButtonWidget(Control& control, const PixelRect& r) : ControlWidget(control, r) {
        callback([](Fl_Widget* w, void*) {
            if (Control* c = static_cast<ButtonWidget*>(w)->live()) input::buttonClicked(*c);
        });
    }
};

// A label takes no focus; it takes a double-click only when its design asks for one, and lets
// every other click through to the window.
class LabelWidget : public Fl_Box {
  public:
    LabelWidget(Control& control, const PixelRect& r)
        : Fl_Box(r.x, r.y, r.width, r.height), control_(control) {}

    int handle(int event) override {
        if (event != FL_PUSH || Fl::event_button() != FL_LEFT_MOUSE || Fl::event_clicks() == 0)
            return 0;
        Control* c = controlOf(this, control_);
        if (!c || !c->design().notifyDoubleClick) return 0;
        Fl::event_clicks(0);
        input::labelDoubleClicked(*c);
        return 1;
    }

  private:
    Control& control_;
};

// A one-pixel line in the window-text colour between two points of the client area; it takes
// no input.
class LineWidget : public Fl_Widget {
  public:
    explicit LineWidget(const PixelLine& l)
        : Fl_Widget(std::min(l.x1, l.x2), std::min(l.y1, l.y2), std::abs(l.x2 - l.x1) + 1,
                    std::abs(l.y2 - l.y1) + 1),
          line_(l) {}

    void draw() override {
        fl_color(FL_FOREGROUND_COLOR);
        fl_line_style(FL_SOLID, 1);
        fl_line(line_.x1, line_.y1, line_.x2, line_.y2);
        fl_line_style(0);
    }
    int handle(int) override { return 0; }

  private:
    PixelLine line_;
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

// The font size of check boxes and buttons at 96 DPI, in pixels.
constexpr int kDefaultFontPxAt96 = 12;

Fl_Widget* makeWidget(Control& c, int dpi) {
    const ControlDesign& d = c.design();
    switch (d.kind) {
        case ControlKind::Line:
            return new LineWidget(c.lineEnds(dpi));
        case ControlKind::Label: {
            auto* label = new LabelWidget(c, c.pixelRect(dpi));
            label->box(d.background ? FL_FLAT_BOX : FL_NO_BOX);
            Fl_Align align = FL_ALIGN_TOP | FL_ALIGN_INSIDE | FL_ALIGN_CLIP;
            if (d.align == Align::Left) align |= FL_ALIGN_LEFT;
            if (d.align == Align::Right) align |= FL_ALIGN_RIGHT;
            label->align(align);
            return label;
        }
        case ControlKind::CheckBox:
            return new CheckWidget(c, c.pixelRect(dpi));
        case ControlKind::PushButton:
            return new ButtonWidget(c, c.pixelRect(dpi));
        case ControlKind::TextBox:
            break;  // always hidden: no design shows one
    }
    return nullptr;
}

void styleWidget(Fl_Widget& w, const Control& c, int dpi) {
    const ControlDesign& d = c.design();
    if (d.kind != ControlKind::Line) w.copy_label(labelText(c.text()).c_str());
    w.labelfont(fontFor(d.font));
    w.labelsize(d.font.pointSize > 0 ? pointsToPixels(d.font.pointSize, dpi)
                                     : scaleFrom96(kDefaultFontPxAt96, dpi));
    if (d.foreground) w.labelcolor(toFl(*d.foreground));
    if (d.background) w.color(toFl(*d.background));
}

}  // namespace

void setToolkitFace(const std::string& family) {
    if (family.empty()) return;
    // FLTK's Xft names carry the style in their first character; FLTK keeps the pointers.
    const std::pair<Fl_Font, char> faces[] = {{FL_HELVETICA, ' '},
                                              {FL_HELVETICA_BOLD, 'B'},
                                              {FL_HELVETICA_ITALIC, 'I'},
                                              {FL_HELVETICA_BOLD_ITALIC, 'P'}};
    for (const auto& [font, style] : faces) Fl::set_font(font, strdup((style + family).c_str()));
}

ControlWidgets buildWidgets(NativeWindow& window, std::span<Control* const> controls, int dpi) {
    ControlWidgets widgets;
    window.begin();
    for (Control* c : controls) {
        Fl_Widget* w = makeWidget(*c, dpi);
        if (!w) continue;
        styleWidget(*w, *c, dpi);
        widgets.emplace_back(c, w);
    }
    window.end();
    return widgets;
}

void mirrorControl(Fl_Widget& widget, const Control& control) {
    switch (control.kind()) {
        case ControlKind::CheckBox:
            static_cast<Fl_Check_Button&>(widget).value(control.value() != 0);
            break;
        case ControlKind::Label:
        case ControlKind::PushButton:
            widget.copy_label(labelText(control.text()).c_str());
            break;
        case ControlKind::TextBox:
        case ControlKind::Line:
            break;
    }
    widget.redraw();
}

}  // namespace qv::fltk
