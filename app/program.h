#pragma once
// The whole program on a given backend: the runtime, the settings store and the two windows.
// Each backend's entry point makes one and runs it; tests make one on the headless backend.

#include "about_window/about_window.h"
#include "main_window/main_window.h"
#include "platform/backend.h"
#include "platform/runtime.h"
#include "settings/settings_store.h"

namespace qv {

class Program {
  public:
    // Every handler of the program, and every report, passes `guard`.
    Program(Backend& backend, HandlerGuard& guard);

    // Shows the main window and runs the event loop until it closes. Returns the exit status.
    int run();
    // Shows the main window without running a loop (the headless backend's tests drive time).
    void start();

    Runtime runtime;
    SettingsStore settings;
    MainWindow main;
    AboutWindow about;
};

}  // namespace qv
