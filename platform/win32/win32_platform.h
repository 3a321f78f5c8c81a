#pragma once
// The Windows backend: plain windows and the standard STATIC and BUTTON controls, window timers,
// the message loop with IsDialogMessage for keyboard use, monitors, the window-order calls of the
// always-on-top keeper, and the registry store.

#include <windows.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "platform/backend.h"
#include "platform/handler_guard.h"
#include "platform/settings_backend.h"
#include "platform/win32/win32_window.h"

namespace qv::win32 {

// Its windows reach it only as their host.
class Win32Platform final : public Backend, private Win32WindowHost {
  public:
    // Registers the window classes and makes the window that receives the timer; throws with
    // the system's message when Windows refuses. Failures it goes on after are reported through
    // `guard`.
    Win32Platform(HINSTANCE instance, HandlerGuard& guard);
    ~Win32Platform() override;
    Win32Platform(const Win32Platform&) = delete;
    Win32Platform& operator=(const Win32Platform&) = delete;

    // Start-up and the event loop: GetMessage, with IsDialogMessage for windows with controls.
    // The end of the session arrives as WM_QUERYENDSESSION at the windows.
    void connect(Runtime& runtime) override { runtime_ = &runtime; }
    void disconnect() override { runtime_ = nullptr; }
    void runLoop() override;
    void runModalLoop(Window& modal) override;
    void quit() override;
    // Monitors, each with its own DPI where Windows tells it (8.1 and later).
    std::vector<Monitor> monitors() const override;
    // NOTE: Windows keeps a window within the largest size it can track (WM_GETMINMAXINFO).
    bool limitsWindowSize() const override { return true; }
    int systemDpi() const override;
    // Windows
    std::unique_ptr<WindowPeer> createPeer(Window& window, Window* owner) override;
    // The design's width shows the caption: the title bar has a close button only, and its
    // font scales with the DPI as the design's twips do.
    int captionFitWidth(std::string_view) override { return 0; }
    // Timers: the performance counter, and one window timer.
    std::int64_t monotonicMs() const override;
    void wakeAfter(std::optional<std::int64_t> ms) override;
    // Window order: GetForegroundWindow and SetWindowPos.
    WindowHandle foregroundWindow() override;
    void setTopmost(WindowHandle window, bool topmost) override;
    // Tick source: GetTickCount64.
    std::uint64_t ticksSinceStart() const override;
    // Settings: HKEY_CURRENT_USER\Software\QV_TKS\<section>, the section from the module's
    // file name.
    SettingsBackend& settingsBackend() override { return *settings_; }
    const SectionSource& executableSection() const override { return *section_; }

  private:
    // The windows' host.
    HINSTANCE instance() const override { return instance_; }
    HandlerGuard& guard() const override { return guard_; }
    const DpiApi& dpiApi() const override { return dpi_; }
    const wchar_t* windowClass() const override;
    void windowCreated(Win32Window* window) override { windows_.push_back(window); }
    void windowDestroyed(Win32Window* window) override;
    HWND enabledOwnedWindow(HWND owner) const override;

    static LRESULT CALLBACK messageWindowProc(HWND hwnd, UINT message, WPARAM wParam,
                                              LPARAM lParam) noexcept;
    // One message through IsDialogMessage (for windows with controls), or translated and
    // dispatched.
    void dispatch(MSG& msg);
    // Waits for the next message and dispatches it. False when none is to come: WM_QUIT, left
    // in `msg`, or a failure, reported.
    bool pumpOne(MSG& msg);

    HINSTANCE instance_;
    HandlerGuard& guard_;
    DpiApi dpi_;
    HMODULE shcore_ = nullptr;
    ATOM windowClass_ = 0;
    HWND messageWindow_ = nullptr;
    Runtime* runtime_ = nullptr;
    std::unique_ptr<SettingsBackend> settings_;
    std::unique_ptr<SectionSource> section_;
    std::vector<Win32Window*> windows_;
    LARGE_INTEGER counterFrequency_{};
};

}  // namespace qv::win32
