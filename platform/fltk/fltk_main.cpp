// The Linux program: the main window on X11 until the user closes it. Command-line arguments
// are ignored; the settings file is the only configuration.

#include <cstdio>
#include <exception>

#include "platform/fltk/fltk_platform.h"
#include "platform/handler_guard.h"
#include "platform/posix/ini_settings.h"
#include "app/program.h"

int main() {
    try {
        qv::FltkPlatform platform;
        auto store = qv::makeIniSettingsBackend();
        auto section = qv::makeProcSelfExeSection();
        qv::Program program(platform, *store, *section);
        platform.attach(program.runtime);
        return program.run();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "qv-tickspan: %s\n", e.what());
        return 1;
    }
}
