// Prints the settings section of the running executable, for tests that copy this program under
// odd names. With "--wait" it first waits for a line on standard input, so that a test can
// replace or remove the file while the program runs.

#include <cstdio>
#include <cstring>
#include <string>

#ifdef _WIN32
#include "platform/win32/win32_settings.h"
using ExecutableSection = qv::win32::ModuleFileSection;
#else
#include "platform/posix/ini_settings.h"
using ExecutableSection = qv::posix::ProcSelfExeSection;
#endif

int main(int argc, char** argv) {
    if (argc > 1 && std::strcmp(argv[1], "--wait") == 0) {
        char line[16];
        if (!std::fgets(line, sizeof line, stdin)) return 2;
    }
    const std::string section = ExecutableSection().sectionName();
    std::fwrite(section.data(), 1, section.size(), stdout);
    return std::fflush(stdout) == 0 ? 0 : 1;
}
