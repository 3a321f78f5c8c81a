#include "platform/win32/win32_controls.h"

#include <stdexcept>
#include <string>

#include "platform/handler_guard.h"
#include "platform/win32/win32_text.h"

namespace qv::win32 {

namespace {

COLORREF toColorRef(const Rgb& c) {
    return RGB(c.r, c.g, c.b);
}

// The default GUI font, at the size it has at the system DPI, scaled to `dpi`.
HFONT createGuiFont(UINT dpi, int systemDpi) {
    LOGFONTW lf{};
    if (!GetObjectW(GetStockObject(DEFAULT_GUI_FONT), sizeof lf, &lf)) return nullptr;
    lf.lfHeight = MulDiv(lf.lfHeight, static_cast<int>(dpi), systemDpi);
    return CreateFontIndirectW(&lf);
}

// Allocates nothing: it also runs from the window procedure, which nothing may throw out of.
HFONT createLabelFont(const FontSpec& design, UINT dpi) {
    LOGFONTW lf{};
    lf.lfHeight = -MulDiv(design.pointSize, static_cast<int>(dpi), 72);
    lf.lfWeight = design.weight;
    lf.lfCharSet = DEFAULT_CHARSET;
    lf.lfQuality = DEFAULT_QUALITY;
    lf.lfPitchAndFamily = DEFAULT_PITCH | FF_SWISS;
    // A face too long for the structure stays empty: Windows then picks the family's default.
    wideFromNarrowInto(design.face, lf.lfFaceName, LF_FACESIZE);
    return CreateFontIndirectW(&lf);
}

struct ChildClass {
    const wchar_t* name;
    DWORD style;
};

std::optional<ChildClass> childClassFor(const ControlDesign& d) {
    switch (d.kind) {
        case ControlKind::Label: {
            const DWORD align = d.align == Align::Center  ? SS_CENTER
                                : d.align == Align::Right ? SS_RIGHT
                                                          : SS_LEFT;
            return ChildClass{L"STATIC",
                              SS_NOPREFIX | align | (d.notifyDoubleClick ? SS_NOTIFY : 0)};
        }
        case ControlKind::CheckBox:
            return ChildClass{L"BUTTON", BS_AUTOCHECKBOX | WS_TABSTOP};
        case ControlKind::PushButton:
            return ChildClass{L"BUTTON", BS_PUSHBUTTON | WS_TABSTOP};
        case ControlKind::TextBox:  // always hidden: no design shows one
        case ControlKind::Line:     // painted by the window
            break;
    }
    return std::nullopt;
}

}  // namespace

void NativeControls::create(HWND parent, HINSTANCE instance, std::span<Control* const> controls,
                            UINT dpi, int systemDpi) {
    int id = kFirstControlId;
    for (Control* control : controls) {
        const ControlDesign& design = control->design();
        const auto childClass = childClassFor(design);
        if (!childClass) continue;
        if (childClass->style & WS_TABSTOP) hasTabStops_ = true;
        const std::wstring text = wideFromNarrow(control->text());
        const PixelRect r = control->pixelRect(static_cast<int>(dpi));
        HWND child = CreateWindowExW(
            0, childClass->name, text.c_str(), WS_CHILD | WS_VISIBLE | childClass->style, r.x, r.y,
            r.width, r.height, parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance,
            nullptr);
        if (!child)
            throw std::runtime_error(
                lastErrorLine("CreateWindowExW " + std::string(control->name())));
        Native native;
        native.control = control;
        native.hwnd = child;
        native.id = id++;
        if (design.background)
            native.background = GdiObject<HBRUSH>(CreateSolidBrush(toColorRef(*design.background)));
        if (design.kind == ControlKind::CheckBox)
            SendMessageW(child, BM_SETCHECK, control->value() == 1 ? BST_CHECKED : BST_UNCHECKED,
                         0);
        natives_.push_back(std::move(native));
    }
    applyFonts(dpi, systemDpi);
}

void NativeControls::applyFonts(UINT dpi, int systemDpi) {
    if (dpi == fontDpi_ && guiFont_) return;
    GdiObject<HFONT> gui(createGuiFont(dpi, systemDpi));
    for (Native& c : natives_) {
        GdiObject<HFONT> replaced;  // goes once the child has taken the new font
        HFONT font = gui.get();
        if (!c.control->design().font.face.empty()) {
            GdiObject<HFONT> own(createLabelFont(c.control->design().font, dpi));
            if (own) {
                replaced = std::move(c.ownFont);
                c.ownFont = std::move(own);
            }
            font = c.ownFont.get();
        }
        SendMessageW(c.hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
    }
    guiFont_ = std::move(gui);  // the old GUI font goes now that no child uses it
    fontDpi_ = dpi;
}

void NativeControls::layout(UINT dpi) {
    for (const Native& c : natives_) {
        const PixelRect r = c.control->pixelRect(static_cast<int>(dpi));
        SetWindowPos(c.hwnd, nullptr, r.x, r.y, r.width, r.height, SWP_NOZORDER | SWP_NOACTIVATE);
    }
}

void NativeControls::mirror(const Control& control, HandlerGuard& guard) {
    const Native* c = find(control);
    if (!c) return;
    if (control.kind() == ControlKind::CheckBox) {
        SendMessageW(c->hwnd, BM_SETCHECK, control.value() == 1 ? BST_CHECKED : BST_UNCHECKED, 0);
        return;
    }
    if (!SetWindowTextW(c->hwnd, wideFromNarrow(control.text()).c_str()))
        guard.warnOnce(lastErrorLine("SetWindowTextW"));
}

std::optional<LRESULT> NativeControls::colorStatic(HDC dc, HWND child) const {
    const Native* c = find(child);
    if (!c || !c->background) return std::nullopt;
    const ControlDesign& d = c->control->design();
    if (d.foreground) SetTextColor(dc, toColorRef(*d.foreground));
    SetBkColor(dc, toColorRef(*d.background));
    SetBkMode(dc, OPAQUE);
    return reinterpret_cast<LRESULT>(c->background.get());
}

const NativeControls::Native* NativeControls::find(const Control& control) const {
    for (const Native& c : natives_)
        if (c.control == &control) return &c;
    return nullptr;
}

const NativeControls::Native* NativeControls::find(HWND hwnd) const {
    if (!hwnd) return nullptr;
    for (const Native& c : natives_)
        if (c.hwnd == hwnd) return &c;
    return nullptr;
}

}  // namespace qv::win32
