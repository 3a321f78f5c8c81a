// The Linux program: the main window on X11 until the user closes it. Command-line arguments
// are ignored; the settings file is the only configuration.

#include <cstdio>
#include <exception>

#include "app/program.h"
#include "platform/fltk/fltk_platform.h"

int main() {
    try {
        qv::FltkPlatform platform;
        qv::Program program(platform);
        return program.run();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "qv-tickspan: %s\n", e.what());
        return 1;
    }
}
