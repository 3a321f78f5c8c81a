#include "app/program.h"

#include "platform/handler_guard.h"

namespace qv {

Program::Program(Platform& platform, SettingsBackend& store, const SectionSource& section)
    : runtime(platform),
      settings(store, section),
      main(runtime, settings),
      about(runtime, settings) {
    main.setAboutWindow(&about);
}

int Program::run() {
    return runtime.run(main);
}

void Program::start() {
    runtime.setStartupWindow(main);
    HandlerGuard::instance().run(main.design().name, [&] { main.show(); });
}

}  // namespace qv
