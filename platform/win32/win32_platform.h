#pragma once
// The Win32 backend: plain windows and the standard STATIC and BUTTON controls, window timers,
// the message loop with IsDialogMessage for keyboard use, monitors and the two window-order
// calls of the always-on-top keeper.

#include <windows.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "platform/runtime.h"

namespace qv::win32ui {

class Win32Peer;

// Functions that newer versions of Windows have, looked up at run time so that the program
// still starts on Windows 7 and 8.
struct DpiApi {
    UINT(WINAPI* getDpiForWindow)(HWND) = nullptr;
    UINT(WINAPI* getDpiForSystem)() = nullptr;
    BOOL(WINAPI* adjustWindowRectExForDpi)(LPRECT, DWORD, BOOL, DWORD, UINT) = nullptr;
    HRESULT(WINAPI* getDpiForMonitor)(HMONITOR, int, UINT*, UINT*) = nullptr;
};

class Win32Platform final : public Platform,
                            public WindowOrder,
                            public MonotonicClock,
                            public TickSource {
  public:
    explicit Win32Platform(HINSTANCE instance);
    ~Win32Platform() override;
    Win32Platform(const Win32Platform&) = delete;
    Win32Platform& operator=(const Win32Platform&) = delete;

    // Timer wake-ups go to this runtime.
    void attach(Runtime& runtime) { runtime_ = &runtime; }

    // Platform
    const MonotonicClock& clock() const override { return *this; }
    const TickSource& tickSource() const override { return *this; }
    std::unique_ptr<WindowPeer> createPeer(Window& window, Window* owner) override;
    void runModalLoop(Window& modal) override;
    void runLoop() override;
    void quit() override;
    void wakeAfter(std::optional<std::int64_t> ms) override;
    std::vector<Monitor> monitors() const override;
    int systemDpi() const override;
    WindowOrder& windowOrder() override { return *this; }

    // WindowOrder
    WindowHandle foregroundWindow() override;
    void setWindowPos(WindowHandle window, InsertAfter after, unsigned flags) override;

    // MonotonicClock and TickSource
    std::int64_t nowMs() const override;
    std::uint64_t millisecondsSinceStart() const override;

    // For the peers.
    HINSTANCE instance() const { return instance_; }
    const DpiApi& dpiApi() const { return dpi_; }
    const wchar_t* windowClass() const;
    void peerCreated(Win32Peer* peer) { peers_.push_back(peer); }
    void peerDestroyed(Win32Peer* peer);
    // A shown, enabled window of ours that `owner` owns (its modal window), or nullptr.
    HWND enabledOwnedWindow(HWND owner) const;

  private:
    static LRESULT CALLBACK messageWindowProc(HWND hwnd, UINT message, WPARAM wParam,
                                              LPARAM lParam);
    // One message through IsDialogMessage (for windows with controls), or translated and
    // dispatched. False when the message was WM_QUIT.
    void dispatch(MSG& msg);

    HINSTANCE instance_;
    DpiApi dpi_;
    HMODULE shcore_ = nullptr;
    ATOM windowClass_ = 0;
    HWND messageWindow_ = nullptr;
    Runtime* runtime_ = nullptr;
    std::vector<Win32Peer*> peers_;
    LARGE_INTEGER counterFrequency_{};
};

}  // namespace qv::win32ui
