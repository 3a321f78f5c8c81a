// The Windows program's entry point: the Win32 backend, the registry store and the two windows.

#include <windows.h>
// After windows.h, which it needs.
#include <commctrl.h>

#include "app/program.h"
#include "platform/handler_guard.h"
#include "platform/win32/win32_platform.h"
#include "platform/win32/win32_text.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    qv::HandlerGuard guard;
    // A GUI program has no console: reports go to the debugger output as well.
    guard.setExtraSink([](std::string_view line) {
        std::wstring text = qv::win32::wideFromNarrow(line);
        text += L"\n";
        OutputDebugStringW(text.c_str());
    });
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);

    int status = 1;
    // A backend that cannot start is reported like an error in a handler.
    guard.run("start-up", [&] {
        qv::win32::Win32Platform platform(instance, guard);
        qv::Program program(platform, guard);
        status = program.run();
    });
    return status;
}
