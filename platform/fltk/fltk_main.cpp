// The Linux program: the main window on X11 until the user closes it. Command-line arguments
// are ignored; the settings file is the only configuration.

#include <cstdio>
#include <exception>

#include "app/program.h"
#include "platform/fltk/fltk_platform.h"
#include "platform/handler_guard.h"
#include "platform/program_identity.h"

int main() {
    qv::HandlerGuard guard;
    try {
        qv::fltk::FltkPlatform platform(guard);
        qv::Program program(platform, guard);
        return program.run();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%.*s: %s\n", static_cast<int>(qv::kProgramName.size()),
                     qv::kProgramName.data(), e.what());
        return 1;
    }
}
