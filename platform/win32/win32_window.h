#pragma once
// One window of the Windows backend: a top-level window with a caption and the close command
// only, its shown controls as native children, and its lines painted in the window-text colour.
// The core's Window owns every value; this class mirrors them and reports the user's actions
// back.

#include <windows.h>

#include <optional>
#include <string>

#include "platform/win32/win32_controls.h"
#include "platform/window.h"

namespace qv::win32 {

// Functions that newer versions of Windows have, looked up at run time so that the program
// still starts on Windows 7 and 8.
struct DpiApi {
    UINT(WINAPI* getDpiForWindow)(HWND) = nullptr;
    UINT(WINAPI* getDpiForSystem)() = nullptr;
    BOOL(WINAPI* adjustWindowRectExForDpi)(LPRECT, DWORD, BOOL, DWORD, UINT) = nullptr;
    HRESULT(WINAPI* getDpiForMonitor)(HMONITOR, int, UINT*, UINT*) = nullptr;
};

class Win32Window;

// What a window needs of the backend that made it (Win32Platform).
class Win32WindowHost {
  public:
    virtual HINSTANCE instance() const = 0;
    // The class every window of the program is made of.
    virtual const wchar_t* windowClass() const = 0;
    virtual const DpiApi& dpiApi() const = 0;
    virtual int systemDpi() const = 0;
    // Where a failure the window goes on after is reported.
    virtual HandlerGuard& guard() const = 0;
    // The window exists, and takes part in the message loop's keyboard handling; then it is
    // gone.
    virtual void windowCreated(Win32Window* window) = 0;
    virtual void windowDestroyed(Win32Window* window) = 0;
    // A shown, enabled window of ours that `owner` owns (its modal window), or nullptr.
    virtual HWND enabledOwnedWindow(HWND owner) const = 0;

  protected:
    ~Win32WindowHost() = default;
};

class Win32Window final : public WindowPeer {
  public:
    // Creates the window hidden, with its controls; throws with the system's message when
    // Windows refuses.
    Win32Window(Win32WindowHost& platform, Window& window, Window* owner);
    ~Win32Window() override;
    Win32Window(const Win32Window&) = delete;
    Win32Window& operator=(const Win32Window&) = delete;

    WindowHandle handle() const override { return reinterpret_cast<WindowHandle>(hwnd_); }
    void setCaption(std::string_view caption) override;
    void setOuterRect(const PixelRect& outer) override;
    FrameExtents frameExtents() const override;
    // Windows reports every move with WM_MOVE.
    std::optional<PixelPoint> framePosition() const override { return std::nullopt; }
    void show() override;
    void setInputEnabled(bool enabled) override;
    void controlChanged(const Control& control) override;
    void focusControl(const Control& control) override;

    HWND hwnd() const { return hwnd_; }
    // Windows with controls that take the focus get IsDialogMessage's keyboard handling.
    bool usesDialogKeys() const { return controls_.hasTabStops(); }

    static constexpr DWORD kStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
    static constexpr DWORD kExStyle = 0;

    static LRESULT CALLBACK windowProc(HWND hwnd, UINT message, WPARAM wParam,
                                       LPARAM lParam) noexcept;

  private:
    LRESULT onMessage(UINT message, WPARAM wParam, LPARAM lParam) noexcept;
    void onCommand(WPARAM wParam, LPARAM lParam) noexcept;
    void onPaint() noexcept;
    void onMinMaxInfo(MINMAXINFO& info) const noexcept;
    void onPositionChanged(const WINDOWPOS& pos) noexcept;
    bool onActivate(WPARAM wParam) noexcept;
    void onActivateModal() noexcept;
    void onDpiChanged(const RECT& suggested) noexcept;
    UINT dpi() const noexcept;
    void rememberFocus() noexcept;
    void addTooltip();

    Win32WindowHost& platform_;
    Window& window_;
    HWND hwnd_ = nullptr;
    NativeControls controls_;
    // The client area's hint, destroyed with the window; the tooltip control keeps a pointer
    // to the text.
    HWND tooltip_ = nullptr;
    std::wstring tooltipText_;
    bool shown_ = false;
};

}  // namespace qv::win32
