#pragma once
// The About window: the product's titles, and the two options. A change of an option acts on the
// main window at once (its check box and its timers) and is saved at once.

#include "main_window/main_window_options.h"
#include "platform/window.h"
#include "settings/settings_store.h"

namespace qv {

class AboutWindow : public Window {
  public:
    AboutWindow(Runtime& runtime, SettingsStore& settings, MainWindowOptions& main);

  protected:
    void controlsCreated() override;
    void load() override;
    void unload() override;
    void save() override;

  private:
    void alwaysOnTopClicked();
    void autoStartClicked();
    void okClicked();
    void creatorDoubleClicked();

    SettingsStore& settings_;
    MainWindowOptions& main_;
    // The controls its handlers use, while the window is open.
    Control* creatorLabel_ = nullptr;
    Control* alwaysOnTopBox_ = nullptr;
    Control* autoStartBox_ = nullptr;
};

}  // namespace qv
