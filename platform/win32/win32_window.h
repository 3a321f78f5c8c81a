#pragma once
// One native window: a top-level window with a caption and the close command only, its visible
// controls as STATIC and BUTTON children, and its lines painted in the window-text colour. The
// core Window owns every value; this class mirrors them and reports the user's actions back.

#include <windows.h>

#include <string>
#include <vector>

#include "platform/window.h"

namespace qv::win32ui {

class Win32Platform;

class Win32Peer final : public WindowPeer {
  public:
    // Creates the window hidden, with its controls; throws with the system's message when
    // Windows refuses.
    Win32Peer(Win32Platform& platform, Window& window, Window* owner);
    ~Win32Peer() override;
    Win32Peer(const Win32Peer&) = delete;
    Win32Peer& operator=(const Win32Peer&) = delete;

    WindowHandle handle() const override { return reinterpret_cast<WindowHandle>(hwnd_); }
    void setCaption(std::string_view caption) override;
    void setOuterRect(const PixelRect& outer) override;
    FrameExtents frameExtents() const override;
    void show() override;
    void setInputEnabled(bool enabled) override;
    void controlChanged(const Control& control) override;
    void focusControl(const Control& control) override;

    HWND hwnd() const { return hwnd_; }
    // Windows with controls that take the focus get IsDialogMessage's keyboard handling.
    bool usesDialogKeys() const { return hasTabStops_; }

    static constexpr DWORD kStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
    static constexpr DWORD kExStyle = 0;
    // Control ids start above IDOK and IDCANCEL, which IsDialogMessage sends for Enter and
    // Escape; the windows have neither a default nor a cancel button.
    static constexpr int kFirstControlId = 100;
    static constexpr UINT kActivateModalMessage = WM_APP + 1;

    static LRESULT CALLBACK windowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

  private:
    struct NativeControl {
        Control* control = nullptr;
        HWND hwnd = nullptr;
        int id = 0;
        HFONT ownFont = nullptr;      // a label's own font; the others use the GUI font
        HBRUSH background = nullptr;  // a label's own background colour
    };

    LRESULT onMessage(UINT message, WPARAM wParam, LPARAM lParam);
    void onCommand(WPARAM wParam, LPARAM lParam);
    void onPaint();
    void onDpiChanged(UINT dpi, const RECT& suggested);
    void createControls();
    void layoutControls();
    void createFonts();
    void releaseFonts();
    UINT dpi() const;
    NativeControl* nativeOf(const Control& control);
    NativeControl* nativeOf(HWND hwnd);
    void rememberFocus();

    Win32Platform& platform_;
    Window& window_;
    HWND hwnd_ = nullptr;
    std::vector<NativeControl> controls_;
    HFONT guiFont_ = nullptr;
    std::wstring caption_;
    UINT fontDpi_ = 0;
    bool hasTabStops_ = false;
    bool shown_ = false;
};

}  // namespace qv::win32ui
