#pragma once
// The whole program on a given platform: the runtime, the settings store and the two windows.
// Each backend's entry point makes one and runs it; tests make one on the headless platform.

#include <memory>

#include "about_window/qv_tks_about.h"
#include "main_window/qv_tks_main.h"
#include "platform/runtime.h"
#include "platform/settings_backend.h"
#include "settings/settings_store.h"

namespace qv {

class Program {
  public:
    Program(Platform& platform, SettingsBackend& store, const SectionSource& section);

    // Shows the main window and runs the event loop until it closes. Returns the exit status.
    int run();
    // Shows the main window without running a loop (the headless platform's tests drive time).
    void start();

    Runtime runtime;
    SettingsStore settings;
    QV_TKS_MAIN main;
    QV_TKS_ABOUT about;
};

}  // namespace qv
