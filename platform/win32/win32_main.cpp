// The Windows program's entry point: the Win32 backend, the registry store and the two windows.

#include <windows.h>
// After windows.h, which it needs.
#include <commctrl.h>

#include "platform/handler_guard.h"
#include "app/program.h"
#include "platform/win32/win32_platform.h"
#include "platform/win32/win32_settings.h"
#include "platform/win32/win32_text.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    // A GUI program has no console: reports go to the debugger output as well.
    qv::HandlerGuard::instance().setExtraSink([](std::string_view line) {
        std::wstring text = qv::win32ui::widen(line);
        text += L"\n";
        OutputDebugStringW(text.c_str());
    });
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);

    int status = 1;
    qv::HandlerGuard::instance().run("start-up", [&] {
        qv::win32ui::Win32Platform platform(instance);
        const auto store = qv::makeRegistrySettingsBackend();
        const auto section = qv::makeModuleFileSection();
        qv::Program program(platform, *store, *section);
        platform.attach(program.runtime);
        status = program.run();
    });
    qv::HandlerGuard::instance().flushRepeats();
    return status;
}
