// The Linux program: the main window on X11 until the user closes it. Command-line arguments
// are ignored; the settings file is the only configuration.

#include <csignal>
#include <cstdio>
#include <exception>

#include "app/program.h"
#include "platform/fltk/fltk_platform.h"
#include "platform/handler_guard.h"
#include "platform/program_identity.h"

int main() {
    // NOTE: when the reader of the error stream has gone (a pipe into `head`, a session log that
    // closed), the first message would raise SIGPIPE and end the program before it saves. Every
    // write here, the X connection's included, handles its own failure; a message that cannot be
    // written is only lost.
    std::signal(SIGPIPE, SIG_IGN);
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
