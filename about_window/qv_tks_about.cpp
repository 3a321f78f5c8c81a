#include "about_window/qv_tks_about.h"

#include "about_window/about_design.h"
#include "main_window/qv_tks_main.h"
#include "engine/uptime_steps.h"

namespace qv {

QV_TKS_ABOUT* QV_TKS_ABOUT::instance_ = nullptr;

QV_TKS_ABOUT::QV_TKS_ABOUT(Runtime& runtime, SettingsStore& settings)
    : Window(runtime, kAboutDesign), settings_(settings) {
    instance_ = this;
}

QV_TKS_ABOUT::~QV_TKS_ABOUT() {
    if (instance_ == this) instance_ = nullptr;
}

void QV_TKS_ABOUT::controlsCreated() {
    OK_BUTTON = control("OK_BUTTON");
    QV_TITLE_1 = control("QV_TITLE_1");
    QV_TITLE_2 = control("QV_TITLE_2");
    QV_TITLE_3 = control("QV_TITLE_3");
    CREATOR_TEXTBOX = control("CREATOR_TEXTBOX");
    VERSION_TEXTBOX = control("VERSION_TEXTBOX");
    FREEWARE_TEXTBOX = control("FREEWARE_TEXTBOX");
    AUTOSTART_TICKBOX = control("AUTOSTART_TICKBOX");
    AlwaysOnTop_TICKBOX = control("AlwaysOnTop_TICKBOX");
    OK_BUTTON->onClick = [this] { OK_BUTTON_Click(); };
    CREATOR_TEXTBOX->onDoubleClick = [this] { CREATOR_TEXTBOX_DblClick(); };
    AlwaysOnTop_TICKBOX->onClick = [this] { AlwaysOnTop_TICKBOX_Click(); };
    AUTOSTART_TICKBOX->onClick = [this] { AUTOSTART_TICKBOX_Click(); };
}

void QV_TKS_ABOUT::Form_Load() {
    loadGeometry(*this, settings_, SettingKey::ABOUT_Left, SettingKey::ABOUT_Top,
                 SettingKey::ABOUT_Width, SettingKey::ABOUT_Height);
    // The boxes are created ticked: a stored value that is not 1 clears them, and that change
    // runs their click behaviour as a user's click would.
    AlwaysOnTop_TICKBOX->setValue(optionValue(settings_, SettingKey::AlwaysOnTop_TICKBOX));
    AUTOSTART_TICKBOX->setValue(optionValue(settings_, SettingKey::AUTOSTART_TICKBOX));
}

void QV_TKS_ABOUT::Form_Unload() {
    savePosition();
}

void QV_TKS_ABOUT::savePosition() {
    settings_.saveSingle(SettingKey::ABOUT_Left, Left());
    settings_.saveSingle(SettingKey::ABOUT_Top, Top());
}

void QV_TKS_ABOUT::AlwaysOnTop_TICKBOX_Click() {
    QV_TKS_MAIN& main = *QV_TKS_MAIN::instance();
    if (AlwaysOnTop_TICKBOX->value() == 1) {
        main.AlwaysOnTopTimer.setEnabled(true);
        main.AlwaysOnTop_TICKBOX->setValue(1);
    } else {
        // Only the keeper stops: the main window keeps any topmost state it already has.
        main.AlwaysOnTopTimer.setEnabled(false);
        main.AlwaysOnTop_TICKBOX->setValue(0);
    }
    settings_.saveInteger16(SettingKey::AlwaysOnTop_TICKBOX,
                            static_cast<std::int16_t>(AlwaysOnTop_TICKBOX->value()));
}

void QV_TKS_ABOUT::AUTOSTART_TICKBOX_Click() {
    QV_TKS_MAIN& main = *QV_TKS_MAIN::instance();
    if (AUTOSTART_TICKBOX->value() == 1) {
        main.AUTOSTART_TICKBOX->setValue(1);
        TimerScheduler::setGroupEnabled(main.aboutOrder(), true);
        settings_.saveInteger16(SettingKey::AUTOSTART_TICKBOX,
                                static_cast<std::int16_t>(AUTOSTART_TICKBOX->value()));
        // The caption keeps the disabled title until the title composer's next run.
    } else {
        main.AUTOSTART_TICKBOX->setValue(0);
        TimerScheduler::setGroupEnabled(main.aboutOrder(), false);
        settings_.saveInteger16(SettingKey::AUTOSTART_TICKBOX,
                                static_cast<std::int16_t>(AUTOSTART_TICKBOX->value()));
        main.setCaption(kDisabledTitle);
    }
}

void QV_TKS_ABOUT::OK_BUTTON_Click() {
    savePosition();
    close();  // unload saves the position once more
}

void QV_TKS_ABOUT::CREATOR_TEXTBOX_DblClick() {
    CREATOR_TEXTBOX->setText(kCreatorContact);
}

}  // namespace qv
