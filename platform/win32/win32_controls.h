#pragma once
// The native child controls of one window: a STATIC for each label and a BUTTON for each check
// box and push button, made in tab order, with the default GUI font or a label's own font and
// background. Lines have no child of their own: the window paints them.

#include <windows.h>

#include <optional>
#include <span>
#include <vector>

#include "platform/handler_guard.h"
#include "platform/win32/gdi_object.h"
#include "platform/window.h"

namespace qv::win32 {

class NativeControls {
  public:
    struct Native {
        Control* control = nullptr;
        HWND hwnd = nullptr;
        int id = 0;
        GdiObject<HFONT> ownFont;      // a label's own font; the others use the GUI font
        GdiObject<HBRUSH> background;  // a label's own background colour
    };

    // Control ids start above IDOK and IDCANCEL, which IsDialogMessage sends for Enter and
    // Escape; the windows have neither a default nor a cancel button.
    static constexpr int kFirstControlId = 100;

    // Makes a child of `parent` for each control, in the order given (IsDialogMessage moves the
    // focus in the order of making), and gives them their fonts. Throws with the system's
    // message when Windows refuses.
    void create(HWND parent, HINSTANCE instance, std::span<Control* const> controls, UINT dpi,
                int systemDpi);
    // Gives every child its font at `dpi`, unless it has it already.
    void applyFonts(UINT dpi, int systemDpi);
    // Places every child as designed, at `dpi`.
    void layout(UINT dpi);
    // Shows a control's current caption or value on its child; a refusal is reported through
    // `guard`.
    void mirror(const Control& control, HandlerGuard& guard);
    // The brush for a label with a background of its own, its colours set on `dc`
    // (WM_CTLCOLORSTATIC); nothing for the other children.
    std::optional<LRESULT> colorStatic(HDC dc, HWND child) const;

    const Native* find(const Control& control) const;
    const Native* find(HWND hwnd) const;
    // True when a child takes the focus with Tab: the window then wants IsDialogMessage.
    bool hasTabStops() const { return hasTabStops_; }

  private:
    std::vector<Native> natives_;
    GdiObject<HFONT> guiFont_;
    UINT fontDpi_ = 0;
    bool hasTabStops_ = false;
};

}  // namespace qv::win32
