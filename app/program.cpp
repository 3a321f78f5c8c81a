#include "app/program.h"

namespace qv {

Program::Program(Backend& backend, HandlerGuard& guard)
    : runtime(backend, guard),
      settings(backend.settingsBackend(), backend.executableSection(), guard),
      main(runtime, settings),
      about(runtime, settings, main) {
    main.setAboutWindow(&about);
}

int Program::run() {
    return runProgram(main);
}

void Program::start() {
    startProgram(main);
}

}  // namespace qv
