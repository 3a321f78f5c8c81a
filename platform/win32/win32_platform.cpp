#include "platform/win32/win32_platform.h"

#include <algorithm>
#include <stdexcept>

#include "platform/win32/win32_settings.h"
#include "platform/win32/win32_text.h"
#include "platform/win32/win32_window.h"

namespace qv::win32 {

namespace {

constexpr wchar_t kWindowClass[] = L"QV_TKS_Window";
constexpr wchar_t kMessageClass[] = L"QV_TKS_Timers";
constexpr UINT_PTR kWakeTimerId = 1;
constexpr int kIconResource = 1;
constexpr int kEffectiveDpi = 0;  // MDT_EFFECTIVE_DPI

template <class F>
void lookUp(HMODULE module, const char* name, F& function) {
    function = module ? reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module, name)))
                      : nullptr;
}

BOOL CALLBACK addMonitor(HMONITOR monitor, HDC, LPRECT, LPARAM data) {
    auto* list = reinterpret_cast<std::vector<std::pair<HMONITOR, MONITORINFO>>*>(data);
    MONITORINFO info{};
    info.cbSize = sizeof info;
    if (GetMonitorInfoW(monitor, &info)) list->emplace_back(monitor, info);
    return TRUE;
}

PixelRect toPixelRect(const RECT& r) {
    return {static_cast<int>(r.left), static_cast<int>(r.top), static_cast<int>(r.right - r.left),
            static_cast<int>(r.bottom - r.top)};
}

}  // namespace

Win32Platform::Win32Platform(HINSTANCE instance, HandlerGuard& guard)
    : instance_(instance),
      guard_(guard),
      settings_(makeRegistrySettingsBackend(guard)),
      section_(makeModuleFileSection()) {
    HMODULE user32 = GetModuleHandleW(L"user32.dll");
    lookUp(user32, "GetDpiForWindow", dpi_.getDpiForWindow);
    lookUp(user32, "GetDpiForSystem", dpi_.getDpiForSystem);
    lookUp(user32, "AdjustWindowRectExForDpi", dpi_.adjustWindowRectExForDpi);
    shcore_ = LoadLibraryW(L"shcore.dll");  // Windows 8.1 and later
    lookUp(shcore_, "GetDpiForMonitor", dpi_.getDpiForMonitor);
    QueryPerformanceFrequency(&counterFrequency_);

    const int bigSize = GetSystemMetrics(SM_CXICON);
    const int smallSize = GetSystemMetrics(SM_CXSMICON);
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.style = CS_DBLCLKS;
    wc.lpfnWndProc = &Win32Window::windowProc;
    wc.hInstance = instance;
    wc.hIcon = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(kIconResource), IMAGE_ICON,
                                             bigSize, bigSize, LR_DEFAULTCOLOR));
    wc.hIconSm = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(kIconResource),
                                               IMAGE_ICON, smallSize, smallSize, LR_DEFAULTCOLOR));
    wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    wc.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_BTNFACE + 1));
    wc.lpszClassName = kWindowClass;
    windowClass_ = RegisterClassExW(&wc);
    if (!windowClass_) throw std::runtime_error(lastErrorLine("RegisterClassExW"));

    WNDCLASSEXW mc{};
    mc.cbSize = sizeof mc;
    mc.lpfnWndProc = &Win32Platform::messageWindowProc;
    mc.hInstance = instance;
    mc.lpszClassName = kMessageClass;
    if (!RegisterClassExW(&mc)) throw std::runtime_error(lastErrorLine("RegisterClassExW"));
    // NOTE: the timer lives on a message-only window of its own rather than on the main
    // window, so that it exists before the main window is made and after it is gone; WM_TIMER
    // reaches it through every message loop on the thread, the About window's and the ones
    // Windows runs while the user drags a window.
    messageWindow_ = CreateWindowExW(0, kMessageClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                     instance, this);
    if (!messageWindow_) throw std::runtime_error(lastErrorLine("CreateWindowExW"));
}

Win32Platform::~Win32Platform() {
    if (messageWindow_) {
        KillTimer(messageWindow_, kWakeTimerId);
        SetWindowLongPtrW(messageWindow_, GWLP_USERDATA, 0);
        DestroyWindow(messageWindow_);
    }
    if (shcore_) FreeLibrary(shcore_);
}

LRESULT CALLBACK Win32Platform::messageWindowProc(HWND hwnd, UINT message, WPARAM wParam,
                                                  LPARAM lParam) noexcept {
    if (message == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* self = reinterpret_cast<Win32Platform*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (self && message == WM_TIMER && wParam == kWakeTimerId) {
        if (self->runtime_) input::timerDue(*self->runtime_);
        return 0;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

const wchar_t* Win32Platform::windowClass() const {
    return kWindowClass;
}

void Win32Platform::windowDestroyed(Win32Window* window) {
    std::erase(windows_, window);
}

HWND Win32Platform::enabledOwnedWindow(HWND owner) const {
    for (const Win32Window* window : windows_) {
        HWND w = window->hwnd();
        if (GetWindow(w, GW_OWNER) == owner && IsWindowEnabled(w) && IsWindowVisible(w)) return w;
    }
    return nullptr;
}

std::unique_ptr<WindowPeer> Win32Platform::createPeer(Window& window, Window* owner) {
    Win32WindowHost& host = *this;
    return std::make_unique<Win32Window>(host, window, owner);
}

void Win32Platform::dispatch(MSG& msg) {
    HWND root = msg.hwnd ? GetAncestor(msg.hwnd, GA_ROOT) : nullptr;
    if (root) {
        for (const Win32Window* w : windows_) {
            // Tab, Shift+Tab and Space for the controls; the Enter and Escape it turns into
            // IDOK and IDCANCEL match no control.
            if (w->hwnd() == root && w->usesDialogKeys() && IsDialogMessageW(root, &msg)) return;
        }
    }
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
}

bool Win32Platform::pumpOne(MSG& msg) {
    const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
    if (got == -1) guard_.warnOnce(lastErrorLine("GetMessageW"));
    if (got == 0 || got == -1) return false;
    dispatch(msg);
    return true;
}

void Win32Platform::runLoop() {
    // The start-up window could not be made: the error has been reported, and there is nothing
    // the user could close.
    if (windows_.empty()) return;
    MSG msg{};
    while (pumpOne(msg)) {
    }
}

void Win32Platform::runModalLoop(Window& modal) {
    MSG msg{};
    while (modal.loaded()) {
        if (pumpOne(msg)) continue;
        // The outer loop ends too.
        if (msg.message == WM_QUIT) PostQuitMessage(static_cast<int>(msg.wParam));
        return;
    }
}

void Win32Platform::quit() {
    PostQuitMessage(0);
}

void Win32Platform::wakeAfter(std::optional<std::int64_t> ms) {
    if (!ms) {
        KillTimer(messageWindow_, kWakeTimerId);
        return;
    }
    // Windows raises shorter periods to USER_TIMER_MINIMUM (10 ms): that is the resolution.
    const auto period = static_cast<UINT>(std::clamp<std::int64_t>(
        *ms, USER_TIMER_MINIMUM, static_cast<std::int64_t>(USER_TIMER_MAXIMUM)));
    if (!SetTimer(messageWindow_, kWakeTimerId, period, nullptr))
        guard_.warnOnce(lastErrorLine("SetTimer"));
}

std::vector<Monitor> Win32Platform::monitors() const {
    std::vector<std::pair<HMONITOR, MONITORINFO>> found;
    if (!EnumDisplayMonitors(nullptr, nullptr, &addMonitor, reinterpret_cast<LPARAM>(&found)))
        guard_.warnOnce(lastErrorLine("EnumDisplayMonitors"));
    std::vector<Monitor> out;
    const int fallbackDpi = systemDpi();
    for (const auto& [handle, info] : found) {
        Monitor m;
        m.full = toPixelRect(info.rcMonitor);
        m.work = toPixelRect(info.rcWork);
        m.primary = (info.dwFlags & MONITORINFOF_PRIMARY) != 0;
        m.dpi = fallbackDpi;
        UINT x = 0, y = 0;
        if (dpi_.getDpiForMonitor &&
            SUCCEEDED(dpi_.getDpiForMonitor(handle, kEffectiveDpi, &x, &y)) && y)
            m.dpi = static_cast<int>(y);
        out.push_back(m);
    }
    return out;
}

int Win32Platform::systemDpi() const {
    if (dpi_.getDpiForSystem) {
        const UINT d = dpi_.getDpiForSystem();
        if (d) return static_cast<int>(d);
    }
    HDC screen = GetDC(nullptr);
    const int d = screen ? GetDeviceCaps(screen, LOGPIXELSY) : 0;
    if (screen) ReleaseDC(nullptr, screen);
    return d > 0 ? d : kDefaultDpi;
}

WindowHandle Win32Platform::foregroundWindow() {
    return reinterpret_cast<WindowHandle>(GetForegroundWindow());
}

void Win32Platform::setTopmost(WindowHandle window, bool topmost) {
    const HWND hwnd = reinterpret_cast<HWND>(window);
    // Without SWP_NOACTIVATE: whatever activation Windows applies with the move is accepted,
    // except on a window that takes no input. The main window, disabled under its modal About
    // window, would take the keyboard from About once a second, and a key pressed in About
    // then would be released in the main window and lost.
    UINT flags = SWP_NOSIZE | SWP_NOMOVE;
    if (!IsWindowEnabled(hwnd)) flags |= SWP_NOACTIVATE;
    SetWindowPos(hwnd, topmost ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0, flags);
}

std::int64_t Win32Platform::monotonicMs() const {
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    const LONGLONG f = counterFrequency_.QuadPart > 0 ? counterFrequency_.QuadPart : 1;
    return static_cast<std::int64_t>(now.QuadPart / f * 1000 + now.QuadPart % f * 1000 / f);
}

std::uint64_t Win32Platform::ticksSinceStart() const {
    return GetTickCount64();
}

}  // namespace qv::win32
