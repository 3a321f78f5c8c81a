#pragma once
// QV_TKS_ABOUT: the product's titles, and the two options. A change of an option acts on the
// main window at once (its check box and its timers) and is saved at once.

#include "settings/settings_store.h"
#include "platform/window.h"

namespace qv {

class QV_TKS_ABOUT : public Window {
  public:
    QV_TKS_ABOUT(Runtime& runtime, SettingsStore& settings);
    ~QV_TKS_ABOUT() override;

    static QV_TKS_ABOUT* instance() { return instance_; }

    // The controls, while the window is open.
    Control* OK_BUTTON = nullptr;
    Control* QV_TITLE_1 = nullptr;
    Control* QV_TITLE_2 = nullptr;
    Control* QV_TITLE_3 = nullptr;
    Control* CREATOR_TEXTBOX = nullptr;
    Control* VERSION_TEXTBOX = nullptr;
    Control* FREEWARE_TEXTBOX = nullptr;
    Control* AUTOSTART_TICKBOX = nullptr;
    Control* AlwaysOnTop_TICKBOX = nullptr;

  protected:
    void controlsCreated() override;
    void Form_Load() override;
    void Form_Unload() override;

  private:
    void AlwaysOnTop_TICKBOX_Click();
    void AUTOSTART_TICKBOX_Click();
    void OK_BUTTON_Click();
    void CREATOR_TEXTBOX_DblClick();
    void savePosition();

    static QV_TKS_ABOUT* instance_;
    SettingsStore& settings_;
};

}  // namespace qv
