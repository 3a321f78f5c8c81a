#include "platform/win32/win32_window.h"

#include <algorithm>
#include <climits>
#include <stdexcept>

#include "platform/handler_guard.h"
#include "platform/runtime.h"
#include "platform/win32/win32_platform.h"
#include "platform/win32/win32_text.h"

namespace qv::win32ui {

namespace {

COLORREF toColorRef(const Rgb& c) {
    return RGB(c.r, c.g, c.b);
}

int twipsToPixels(int twips, UINT dpi) {
    return sizeTwipsToPixels(twips, static_cast<int>(dpi));
}

// The default GUI font, at the size it has at the system DPI, scaled to `dpi`.
HFONT createGuiFont(UINT dpi, int systemDpi) {
    LOGFONTW lf{};
    if (!GetObjectW(GetStockObject(DEFAULT_GUI_FONT), sizeof lf, &lf)) return nullptr;
    lf.lfHeight = MulDiv(lf.lfHeight, static_cast<int>(dpi), systemDpi);
    return CreateFontIndirectW(&lf);
}

HFONT createLabelFont(const FontSpec& design, UINT dpi) {
    LOGFONTW lf{};
    lf.lfHeight = -MulDiv(design.pointSize, static_cast<int>(dpi), 72);
    lf.lfWeight = design.weight;
    lf.lfCharSet = DEFAULT_CHARSET;
    lf.lfQuality = DEFAULT_QUALITY;
    lf.lfPitchAndFamily = DEFAULT_PITCH | FF_SWISS;
    const std::wstring face = widen(design.face);
    face.copy(lf.lfFaceName, LF_FACESIZE - 1);
    return CreateFontIndirectW(&lf);
}

}  // namespace

Win32Peer::Win32Peer(Win32Platform& platform, Window& window, Window* owner)
    : platform_(platform), window_(window) {
    HWND ownerHwnd = nullptr;
    if (owner && owner->handle()) ownerHwnd = reinterpret_cast<HWND>(owner->handle());
    caption_ = widen(window.caption());
    // The core places the window right after this; until then it is hidden and out of the way.
    hwnd_ = CreateWindowExW(kExStyle, platform.windowClass(), caption_.c_str(), kStyle,
                            CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, ownerHwnd,
                            nullptr, platform.instance(), this);
    if (!hwnd_) throw std::runtime_error(lastErrorLine("CreateWindowExW"));
    platform_.peerCreated(this);
    createFonts();
    createControls();
}

Win32Peer::~Win32Peer() {
    platform_.peerDestroyed(this);
    if (hwnd_) {
        // Messages sent while the window goes (WM_DESTROY and the like) no longer reach this
        // object.
        SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
        DestroyWindow(hwnd_);
    }
    for (NativeControl& c : controls_) {
        if (c.ownFont) DeleteObject(c.ownFont);
        if (c.background) DeleteObject(c.background);
    }
    releaseFonts();
}

LRESULT CALLBACK Win32Peer::windowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        auto* peer = static_cast<Win32Peer*>(create->lpCreateParams);
        peer->hwnd_ = hwnd;
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(peer));
    }
    auto* peer = reinterpret_cast<Win32Peer*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (!peer) return DefWindowProcW(hwnd, message, wParam, lParam);
    LRESULT result = 0;
    bool handled = false;
    // No exception crosses back into Windows.
    HandlerGuard::instance().run("window message", [&] {
        result = peer->onMessage(message, wParam, lParam);
        handled = true;
    });
    return handled ? result : DefWindowProcW(hwnd, message, wParam, lParam);
}

// NOTE: a handler reached from here may close the window, which destroys this object while
// its window procedure is still on the stack; every case returns at once after calling into
// the core.
LRESULT Win32Peer::onMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    HWND hwnd = hwnd_;
    switch (message) {
        case WM_CLOSE:
            window_.platformCloseRequest();
            return 0;
        case WM_QUERYENDSESSION:
            // Logging off or shutting down saves as a normal close does: a Win32 program is
            // otherwise ended without WM_CLOSE.
            window_.runtime().requestEnd();
            return TRUE;
        case WM_ENDSESSION:
            if (wParam) window_.runtime().requestEnd();
            return 0;
        case WM_LBUTTONDBLCLK:
            window_.platformDoubleClick();
            return 0;
        case WM_COMMAND:
            onCommand(wParam, lParam);
            return 0;
        case WM_CTLCOLORSTATIC: {
            NativeControl* c = nativeOf(reinterpret_cast<HWND>(lParam));
            if (!c || !c->background) break;
            auto dc = reinterpret_cast<HDC>(wParam);
            const ControlDesign& d = c->control->design();
            if (d.foreground) SetTextColor(dc, toColorRef(*d.foreground));
            SetBkColor(dc, toColorRef(*d.background));
            SetBkMode(dc, OPAQUE);
            return reinterpret_cast<LRESULT>(c->background);
        }
        case WM_PAINT:
            onPaint();
            return 0;
        case WM_GETMINMAXINFO: {
            // The program keeps a strip of client area below the title bar, whatever minimum
            // the platform would leave (under Wine it can leave none).
            auto* info = reinterpret_cast<MINMAXINFO*>(lParam);
            const FrameExtents f = frameExtents();
            const int strip =
                scaleFrom96(window_.design().minClientStripPx, static_cast<int>(dpi()));
            info->ptMinTrackSize.y =
                std::max<LONG>(info->ptMinTrackSize.y, f.top + f.bottom + strip);
            return 0;
        }
        case WM_WINDOWPOSCHANGED: {
            const auto* pos = reinterpret_cast<const WINDOWPOS*>(lParam);
            if (shown_ && !(pos->flags & SWP_NOMOVE) && IsWindowVisible(hwnd) && !IsIconic(hwnd)) {
                RECT r;
                if (GetWindowRect(hwnd, &r)) window_.platformMoved(r.left, r.top);
            }
            break;  // DefWindowProc sends WM_MOVE and WM_SIZE
        }
        case WM_ACTIVATE:
            if (LOWORD(wParam) == WA_INACTIVE) {
                rememberFocus();
                break;
            }
            if (!IsWindowEnabled(hwnd)) {
                // NOTE: the keeper's SetWindowPos activates the main window even while it is
                // disabled under its modal About window (Wine does so every second), which
                // would leave the keyboard with a window that takes no input. As Windows does
                // for a disabled owner clicked in the task bar, the modal window takes over,
                // once this activation has run its course.
                PostMessageW(hwnd, kActivateModalMessage, 0, 0);
                return 0;
            }
            // Plain windows do not give the focus back to the control that had it.
            if (Control* focus = window_.focusedControl()) {
                if (NativeControl* c = nativeOf(*focus)) {
                    SetFocus(c->hwnd);
                    return 0;
                }
            }
            break;
        case kActivateModalMessage: {
            // NOTE: not GetLastActivePopup, which under Wine answers with the owner itself.
            HWND popup = platform_.enabledOwnedWindow(hwnd);
            if (popup && GetForegroundWindow() == hwnd) SetForegroundWindow(popup);
            return 0;
        }
        case 0x02E0: {  // WM_DPICHANGED, defined only for Windows 8.1 and later
            const auto* suggested = reinterpret_cast<const RECT*>(lParam);
            onDpiChanged(HIWORD(wParam), *suggested);
            return 0;
        }
        default:
            break;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

void Win32Peer::onCommand(WPARAM wParam, LPARAM lParam) {
    const int id = LOWORD(wParam);
    const int code = HIWORD(wParam);
    // IDOK and IDCANCEL from IsDialogMessage (Enter, Escape) match no control: nothing happens.
    NativeControl* c = nativeOf(reinterpret_cast<HWND>(lParam));
    if (!c || c->id != id) return;
    Control& control = *c->control;
    switch (control.kind()) {
        case ControlKind::CheckBox:
            if (code == BN_CLICKED) {
                window_.platformFocusChanged(&control);
                const bool checked = SendMessageW(c->hwnd, BM_GETCHECK, 0, 0) == BST_CHECKED;
                window_.platformCheckBoxToggled(control, checked ? 1 : 0);
            }
            break;
        case ControlKind::PushButton:
            if (code == BN_CLICKED) {
                window_.platformFocusChanged(&control);
                window_.platformButtonClicked(control);
            }
            break;
        case ControlKind::Label:
            if (code == STN_DBLCLK) window_.platformLabelDoubleClicked(control);
            break;
        default:
            break;
    }
}

void Win32Peer::onPaint() {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hwnd_, &ps);
    if (!dc) return;
    const UINT windowDpi = dpi();
    HPEN pen = CreatePen(PS_SOLID, 1, GetSysColor(COLOR_WINDOWTEXT));
    HGDIOBJ old = SelectObject(dc, pen);
    for (const auto& c : window_.controls()) {
        if (c->kind() != ControlKind::Line || !c->visible()) continue;
        const ControlDesign& d = c->design();
        const int x1 = twipsToPixels(d.left, windowDpi), y1 = twipsToPixels(d.top, windowDpi);
        const int x2 = twipsToPixels(d.width, windowDpi), y2 = twipsToPixels(d.height, windowDpi);
        MoveToEx(dc, x1, y1, nullptr);
        LineTo(dc, x2, y2);
        SetPixel(dc, x2, y2, GetSysColor(COLOR_WINDOWTEXT));  // LineTo leaves out the end point
    }
    SelectObject(dc, old);
    DeleteObject(pen);
    EndPaint(hwnd_, &ps);
}

void Win32Peer::onDpiChanged(UINT newDpi, const RECT& suggested) {
    (void)newDpi;
    createFonts();
    layoutControls();
    SetWindowPos(hwnd_, nullptr, suggested.left, suggested.top, suggested.right - suggested.left,
                 suggested.bottom - suggested.top, SWP_NOZORDER | SWP_NOACTIVATE);
    InvalidateRect(hwnd_, nullptr, TRUE);
}

UINT Win32Peer::dpi() const {
    const DpiApi& api = platform_.dpiApi();
    if (api.getDpiForWindow && hwnd_) {
        const UINT d = api.getDpiForWindow(hwnd_);
        if (d) return d;
    }
    return static_cast<UINT>(platform_.systemDpi());
}

void Win32Peer::releaseFonts() {
    if (guiFont_) DeleteObject(guiFont_);
    guiFont_ = nullptr;
}

void Win32Peer::createFonts() {
    const UINT d = dpi();
    if (d == fontDpi_ && guiFont_) return;
    fontDpi_ = d;
    HFONT gui = createGuiFont(d, platform_.systemDpi());
    for (NativeControl& c : controls_) {
        const FontSpec& designed = c.control->design().font;
        HFONT font = gui;
        if (!designed.face.empty()) {
            HFONT own = createLabelFont(designed, d);
            if (own) {
                if (c.ownFont) DeleteObject(c.ownFont);
                c.ownFont = own;
            }
            font = c.ownFont;
        }
        SendMessageW(c.hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
    }
    releaseFonts();
    guiFont_ = gui;
}

void Win32Peer::createControls() {
    std::vector<Control*> order;
    for (const auto& c : window_.controls())
        if (c->visible() && c->kind() != ControlKind::Line) order.push_back(c.get());
    // Children in tab order: IsDialogMessage moves the focus in the order they were made.
    std::stable_sort(order.begin(), order.end(), [](Control* a, Control* b) {
        const auto key = [](Control* c) {
            return c->design().tabIndex == kNoTabIndex ? INT_MAX : c->design().tabIndex;
        };
        return key(a) < key(b);
    });
    const UINT d = dpi();
    int id = kFirstControlId;
    for (Control* control : order) {
        const ControlDesign& design = control->design();
        const wchar_t* className = L"BUTTON";
        DWORD style = WS_CHILD | WS_VISIBLE;
        switch (design.kind) {
            case ControlKind::Label:
                className = L"STATIC";
                style |= SS_NOPREFIX | (design.notifyDoubleClick ? SS_NOTIFY : 0);
                style |= design.align == Align::Center  ? SS_CENTER
                         : design.align == Align::Right ? SS_RIGHT
                                                        : SS_LEFT;
                break;
            case ControlKind::CheckBox:
                style |= BS_AUTOCHECKBOX | WS_TABSTOP;
                break;
            case ControlKind::PushButton:
                style |= BS_PUSHBUTTON | WS_TABSTOP;
                break;
            case ControlKind::TextBox:
                className = L"EDIT";
                style |= WS_BORDER | ES_AUTOHSCROLL | WS_TABSTOP;
                break;
            case ControlKind::Line:
                continue;
        }
        if (style & WS_TABSTOP) hasTabStops_ = true;
        const std::wstring text = widen(control->text());
        HWND child = CreateWindowExW(
            0, className, text.c_str(), style, twipsToPixels(design.left, d),
            twipsToPixels(design.top, d), twipsToPixels(design.width, d),
            twipsToPixels(design.height, d), hwnd_,
            reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), platform_.instance(), nullptr);
        if (!child)
            throw std::runtime_error(
                lastErrorLine("CreateWindowExW " + std::string(control->name())));
        NativeControl native;
        native.control = control;
        native.hwnd = child;
        native.id = id++;
        if (design.background) native.background = CreateSolidBrush(toColorRef(*design.background));
        controls_.push_back(native);
        if (design.kind == ControlKind::CheckBox)
            SendMessageW(child, BM_SETCHECK, control->value() == 1 ? BST_CHECKED : BST_UNCHECKED,
                         0);
    }
    fontDpi_ = 0;  // give the new controls their fonts
    createFonts();
}

void Win32Peer::layoutControls() {
    const UINT d = dpi();
    for (const NativeControl& c : controls_) {
        const ControlDesign& design = c.control->design();
        SetWindowPos(c.hwnd, nullptr, twipsToPixels(design.left, d), twipsToPixels(design.top, d),
                     twipsToPixels(design.width, d), twipsToPixels(design.height, d),
                     SWP_NOZORDER | SWP_NOACTIVATE);
    }
}

Win32Peer::NativeControl* Win32Peer::nativeOf(const Control& control) {
    for (NativeControl& c : controls_)
        if (c.control == &control) return &c;
    return nullptr;
}

Win32Peer::NativeControl* Win32Peer::nativeOf(HWND hwnd) {
    if (!hwnd) return nullptr;
    for (NativeControl& c : controls_)
        if (c.hwnd == hwnd) return &c;
    return nullptr;
}

void Win32Peer::rememberFocus() {
    if (NativeControl* c = nativeOf(GetFocus())) window_.platformFocusChanged(c->control);
}

void Win32Peer::setCaption(std::string_view caption) {
    std::wstring text = widen(caption);
    if (text == caption_) return;
    caption_ = std::move(text);
    if (!SetWindowTextW(hwnd_, caption_.c_str()))
        HandlerGuard::instance().warnOnce(lastErrorLine("SetWindowTextW"));
}

void Win32Peer::setOuterRect(const PixelRect& outer) {
    if (!SetWindowPos(hwnd_, nullptr, outer.x, outer.y, outer.width, outer.height,
                      SWP_NOZORDER | SWP_NOACTIVATE))
        HandlerGuard::instance().warnOnce(lastErrorLine("SetWindowPos"));
}

FrameExtents Win32Peer::frameExtents() const {
    RECT r{0, 0, 0, 0};
    const DpiApi& api = platform_.dpiApi();
    const BOOL ok = api.adjustWindowRectExForDpi
                        ? api.adjustWindowRectExForDpi(&r, kStyle, FALSE, kExStyle, dpi())
                        : AdjustWindowRectEx(&r, kStyle, FALSE, kExStyle);
    if (!ok) return {};
    return {static_cast<int>(-r.left), static_cast<int>(r.right), static_cast<int>(-r.top),
            static_cast<int>(r.bottom)};
}

void Win32Peer::show() {
    ShowWindow(hwnd_, SW_SHOW);
    UpdateWindow(hwnd_);
    shown_ = true;
}

void Win32Peer::setInputEnabled(bool enabled) {
    EnableWindow(hwnd_, enabled ? TRUE : FALSE);
}

void Win32Peer::controlChanged(const Control& control) {
    NativeControl* c = nativeOf(control);
    if (!c) return;
    if (control.kind() == ControlKind::CheckBox) {
        SendMessageW(c->hwnd, BM_SETCHECK, control.value() == 1 ? BST_CHECKED : BST_UNCHECKED, 0);
        return;
    }
    if (!SetWindowTextW(c->hwnd, widen(control.text()).c_str()))
        HandlerGuard::instance().warnOnce(lastErrorLine("SetWindowTextW"));
}

void Win32Peer::focusControl(const Control& control) {
    if (NativeControl* c = nativeOf(control)) SetFocus(c->hwnd);
}

}  // namespace qv::win32ui
