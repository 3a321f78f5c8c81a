#include "platform/win32/win32_window.h"

#include <commctrl.h>

#include <algorithm>
#include <stdexcept>

#include "platform/runtime.h"
#include "platform/win32/win32_text.h"

namespace qv::win32 {

namespace {

// Sent to itself by a disabled window that the system activated (see onActivate).
constexpr UINT kActivateModalMessage = WM_APP + 1;
constexpr UINT kDpiChangedMessage = 0x02E0;  // WM_DPICHANGED, Windows 8.1 and later

}  // namespace

Win32Window::Win32Window(Win32WindowHost& platform, Window& window, Window* owner)
    : platform_(platform), window_(window) {
    HWND ownerHwnd = nullptr;
    if (owner && owner->handle()) ownerHwnd = reinterpret_cast<HWND>(owner->handle());
    // The core gives it its caption and its place right after this; until then it is hidden and
    // out of the way.
    hwnd_ = CreateWindowExW(kExStyle, platform.windowClass(), L"", kStyle, CW_USEDEFAULT,
                            CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, ownerHwnd, nullptr,
                            platform.instance(), this);
    if (!hwnd_) throw std::runtime_error(lastErrorLine("CreateWindowExW"));
    try {
        controls_.create(hwnd_, platform.instance(), window_.shownControls(), dpi(),
                         platform.systemDpi());
    } catch (...) {
        SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
        DestroyWindow(hwnd_);
        throw;
    }
    addTooltip();
    platform_.windowCreated(this);
}

void Win32Window::addTooltip() {
    const std::string_view text = window_.design().tooltip;
    if (text.empty()) return;
    tooltipText_ = wideFromNarrow(text);
    // It shows after the system's hover delay below the pointer, and hides on a click, so a
    // double-click reaches the window as before.
    // NOTE: neither owned by the window nor created topmost (the control makes itself topmost
    // as it shows): under Wine a window that owns a tooltip no longer takes the topmost state
    // from SetWindowPos, and a hidden topmost tooltip puts the About window below its topmost
    // owner. The window destroys it itself.
    tooltip_ = CreateWindowExW(0, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_NOPREFIX | TTS_ALWAYSTIP,
                               CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, nullptr,
                               nullptr, platform_.instance(), nullptr);
    if (!tooltip_) {
        platform_.guard().warnOnce(lastErrorLine("CreateWindowExW (tooltip)"));
        return;
    }
    // The whole client area is the tool: TTF_IDISHWND names it by the window's handle, and
    // TTF_SUBCLASS lets the tooltip see the window's mouse messages by itself.
    TOOLINFOW tool{};
    tool.cbSize = sizeof tool;
    tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    tool.hwnd = hwnd_;
    tool.uId = reinterpret_cast<UINT_PTR>(hwnd_);
    tool.lpszText = tooltipText_.data();
    if (!SendMessageW(tooltip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool)))
        platform_.guard().warnOnce("the tooltip of " + std::string(window_.design().name) +
                                   " could not be added (TTM_ADDTOOLW)");
}

Win32Window::~Win32Window() {
    platform_.windowDestroyed(this);
    // Messages sent while the window goes (WM_DESTROY and the like) no longer reach this object.
    SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
    if (tooltip_) DestroyWindow(tooltip_);
    DestroyWindow(hwnd_);
}

LRESULT CALLBACK Win32Window::windowProc(HWND hwnd, UINT message, WPARAM wParam,
                                         LPARAM lParam) noexcept {
    if (message == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        auto* self = static_cast<Win32Window*>(create->lpCreateParams);
        self->hwnd_ = hwnd;
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto* self = reinterpret_cast<Win32Window*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (!self) return DefWindowProcW(hwnd, message, wParam, lParam);
    return self->onMessage(message, wParam, lParam);
}

// NOTE: a handler reached from here may close the window, which destroys this object while
// its window procedure is still on the stack; every case returns at once after calling into
// the core.
LRESULT Win32Window::onMessage(UINT message, WPARAM wParam, LPARAM lParam) noexcept {
    HWND hwnd = hwnd_;
    switch (message) {
        case WM_CLOSE:
            input::closeCommand(window_);
            return 0;
        case WM_QUERYENDSESSION:
            // Saved now, so nothing is lost however the session ends; but another program may
            // still refuse the logoff, and the session goes on with this one running.
            input::sessionMayEnd(window_.runtime());
            return TRUE;
        case WM_ENDSESSION:
            // NOTE: Windows ends the process without WM_CLOSE once this returns.
            if (wParam) input::endOfSession(window_.runtime());
            return 0;
        case WM_LBUTTONDBLCLK:
            input::doubleClick(window_);
            return 0;
        case WM_COMMAND:
            onCommand(wParam, lParam);
            return 0;
        case WM_CTLCOLORSTATIC:
            if (auto brush = controls_.colorStatic(reinterpret_cast<HDC>(wParam),
                                                   reinterpret_cast<HWND>(lParam)))
                return *brush;
            break;
        case WM_PAINT:
            onPaint();
            return 0;
        case WM_GETMINMAXINFO:
            onMinMaxInfo(*reinterpret_cast<MINMAXINFO*>(lParam));
            return 0;
        case WM_WINDOWPOSCHANGED:
            onPositionChanged(*reinterpret_cast<const WINDOWPOS*>(lParam));
            break;  // DefWindowProc sends WM_MOVE and WM_SIZE
        case WM_ACTIVATE:
            if (onActivate(wParam)) return 0;
            break;
        case kActivateModalMessage:
            onActivateModal();
            return 0;
        case kDpiChangedMessage:
            onDpiChanged(*reinterpret_cast<const RECT*>(lParam));
            return 0;
        default:
            break;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

void Win32Window::onCommand(WPARAM wParam, LPARAM lParam) noexcept {
    const int id = LOWORD(wParam);
    const int code = HIWORD(wParam);
    // IDOK and IDCANCEL from IsDialogMessage (Enter, Escape) match no control: nothing happens.
    const NativeControls::Native* c = controls_.find(reinterpret_cast<HWND>(lParam));
    if (!c || c->id != id) return;
    Control& control = *c->control;
    switch (control.kind()) {
        case ControlKind::CheckBox:
            if (code == BN_CLICKED) {
                input::focusMoved(control);
                const bool checked = SendMessageW(c->hwnd, BM_GETCHECK, 0, 0) == BST_CHECKED;
                input::checkBoxToggled(control, checked ? 1 : 0);
            }
            break;
        case ControlKind::PushButton:
            if (code == BN_CLICKED) {
                input::focusMoved(control);
                input::buttonClicked(control);
            }
            break;
        case ControlKind::Label:
            if (code == STN_DBLCLK) input::labelDoubleClicked(control);
            break;
        default:
            break;
    }
}

void Win32Window::onPaint() noexcept {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hwnd_, &ps);
    if (!dc) return;
    const int windowDpi = static_cast<int>(dpi());
    const COLORREF colour = GetSysColor(COLOR_WINDOWTEXT);
    const GdiObject<HPEN> pen(CreatePen(PS_SOLID, 1, colour));
    HGDIOBJ old = SelectObject(dc, pen.get());
    for (const Control* c : window_.shownControls()) {
        if (c->kind() != ControlKind::Line) continue;
        const PixelLine line = c->lineEnds(windowDpi);
        MoveToEx(dc, line.x1, line.y1, nullptr);
        LineTo(dc, line.x2, line.y2);
        SetPixel(dc, line.x2, line.y2, colour);  // LineTo leaves out the end point
    }
    SelectObject(dc, old);
    EndPaint(hwnd_, &ps);
}

void Win32Window::onMinMaxInfo(MINMAXINFO& info) const noexcept {
    // The program keeps a strip of client area below the title bar, whatever minimum the
    // platform would leave (under Wine it can leave none).
    const FrameExtents f = frameExtents();
    const int strip = scaleFrom96(window_.design().minClientStripPx, static_cast<int>(dpi()));
    info.ptMinTrackSize.y = std::max<LONG>(info.ptMinTrackSize.y, f.top + f.bottom + strip);
}

void Win32Window::onPositionChanged(const WINDOWPOS& pos) noexcept {
    if (!shown_ || (pos.flags & SWP_NOMOVE) || !IsWindowVisible(hwnd_) || IsIconic(hwnd_)) return;
    RECT r;
    if (GetWindowRect(hwnd_, &r)) input::moved(window_, r.left, r.top);
}

bool Win32Window::onActivate(WPARAM wParam) noexcept {
    if (LOWORD(wParam) == WA_INACTIVE) {
        rememberFocus();
        return false;
    }
    if (!IsWindowEnabled(hwnd_)) {
        // NOTE: a window disabled under its modal About window can still be activated (the
        // task bar, the window manager under Wine), which would leave the keyboard with a
        // window that takes no input. As Windows does for a disabled owner clicked in the task
        // bar, the modal window takes over, once this activation has run its course. (The
        // keeper moves a disabled window without activating it.)
        PostMessageW(hwnd_, kActivateModalMessage, 0, 0);
        return true;
    }
    // Plain windows do not give the focus back to the control that had it.
    if (const Control* focus = window_.focusedControl()) {
        if (const NativeControls::Native* c = controls_.find(*focus)) {
            SetFocus(c->hwnd);
            return true;
        }
    }
    return false;
}

void Win32Window::onActivateModal() noexcept {
    // NOTE: not GetLastActivePopup, which under Wine answers with the owner itself.
    HWND popup = platform_.enabledOwnedWindow(hwnd_);
    if (popup && GetForegroundWindow() == hwnd_) SetForegroundWindow(popup);
}

void Win32Window::onDpiChanged(const RECT& suggested) noexcept {
    const UINT windowDpi = dpi();
    controls_.applyFonts(windowDpi, platform_.systemDpi());
    controls_.layout(windowDpi);
    SetWindowPos(hwnd_, nullptr, suggested.left, suggested.top, suggested.right - suggested.left,
                 suggested.bottom - suggested.top, SWP_NOZORDER | SWP_NOACTIVATE);
    InvalidateRect(hwnd_, nullptr, TRUE);
}

UINT Win32Window::dpi() const noexcept {
    const DpiApi& api = platform_.dpiApi();
    if (api.getDpiForWindow && hwnd_) {
        const UINT d = api.getDpiForWindow(hwnd_);
        if (d) return d;
    }
    return static_cast<UINT>(platform_.systemDpi());
}

void Win32Window::rememberFocus() noexcept {
    if (const NativeControls::Native* c = controls_.find(GetFocus()))
        input::focusMoved(*c->control);
}

void Win32Window::setCaption(std::string_view caption) {
    if (!SetWindowTextW(hwnd_, wideFromNarrow(caption).c_str()))
        platform_.guard().warnOnce(lastErrorLine("SetWindowTextW"));
}

void Win32Window::setOuterRect(const PixelRect& outer) {
    if (!SetWindowPos(hwnd_, nullptr, outer.x, outer.y, outer.width, outer.height,
                      SWP_NOZORDER | SWP_NOACTIVATE))
        platform_.guard().warnOnce(lastErrorLine("SetWindowPos"));
}

FrameExtents Win32Window::frameExtents() const {
    RECT r{0, 0, 0, 0};
    const DpiApi& api = platform_.dpiApi();
    const BOOL ok = api.adjustWindowRectExForDpi
                        ? api.adjustWindowRectExForDpi(&r, kStyle, FALSE, kExStyle, dpi())
                        : AdjustWindowRectEx(&r, kStyle, FALSE, kExStyle);
    if (!ok) return {};
    return {static_cast<int>(-r.left), static_cast<int>(r.right), static_cast<int>(-r.top),
            static_cast<int>(r.bottom)};
}

void Win32Window::show() {
    ShowWindow(hwnd_, SW_SHOW);
    UpdateWindow(hwnd_);
    shown_ = true;
}

void Win32Window::setInputEnabled(bool enabled) {
    // The hint to double-click means nothing while the window takes no input.
    if (tooltip_) SendMessageW(tooltip_, TTM_ACTIVATE, enabled ? TRUE : FALSE, 0);
    EnableWindow(hwnd_, enabled ? TRUE : FALSE);
}

void Win32Window::controlChanged(const Control& control) {
    controls_.mirror(control, platform_.guard());
}

void Win32Window::focusControl(const Control& control) {
    if (const NativeControls::Native* c = controls_.find(control)) SetFocus(c->hwnd);
}

}  // namespace qv::win32
