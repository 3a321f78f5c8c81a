#include "about_window/about_window.h"

#include "about_window/about_design.h"
#include "engine/uptime_steps.h"
#include "settings/window_settings.h"

namespace qv {

AboutWindow::AboutWindow(Runtime& runtime, SettingsStore& settings, MainWindowOptions& main)
    : Window(runtime, kAboutDesign), settings_(settings), main_(main) {}

void AboutWindow::controlsCreated() {
    creatorLabel_ = control("CREATOR_TEXTBOX");
    alwaysOnTopBox_ = control("AlwaysOnTop_TICKBOX");
    autoStartBox_ = control("AUTOSTART_TICKBOX");
    control("OK_BUTTON")->onClick = [this] { okClicked(); };
    creatorLabel_->onDoubleClick = [this] { creatorDoubleClicked(); };
    alwaysOnTopBox_->onClick = [this] { alwaysOnTopClicked(); };
    autoStartBox_->onClick = [this] { autoStartClicked(); };
}

void AboutWindow::load() {
    loadGeometry(settings_, kAboutGeometryKeys, desktopFacts(), mutableGeometry());
    setGeometry();
    // The boxes are created ticked: a stored value that is not 1 clears them, and that change
    // runs their click behaviour as a user's click would.
    alwaysOnTopBox_->setValue(optionValue(settings_, SettingKey::AlwaysOnTop_TICKBOX));
    autoStartBox_->setValue(optionValue(settings_, SettingKey::AUTOSTART_TICKBOX));
}

void AboutWindow::unload() {
    save();
}

void AboutWindow::save() {
    settings_.saveSingle(SettingKey::ABOUT_Left, left());
    settings_.saveSingle(SettingKey::ABOUT_Top, top());
}

void AboutWindow::alwaysOnTopClicked() {
    if (alwaysOnTopBox_->value() == 1) {
        main_.keeperTimer().setEnabled(true);
        main_.alwaysOnTopBox().setValue(1);
    } else {
        // Only the keeper stops: the main window keeps any topmost state it already has.
        main_.keeperTimer().setEnabled(false);
        main_.alwaysOnTopBox().setValue(0);
    }
    settings_.saveInteger16(SettingKey::AlwaysOnTop_TICKBOX,
                            static_cast<std::int16_t>(alwaysOnTopBox_->value()));
}

void AboutWindow::autoStartClicked() {
    const bool on = autoStartBox_->value() == 1;
    main_.autoStartBox().setValue(on ? 1 : 0);
    TimerScheduler::setGroupEnabled(main_.aboutOrder(), on);
    settings_.saveInteger16(SettingKey::AUTOSTART_TICKBOX,
                            static_cast<std::int16_t>(autoStartBox_->value()));
    // Turned on, the caption keeps the disabled title until the title composer's next run.
    if (!on) main_.showCaption(kDisabledTitle);
}

void AboutWindow::okClicked() {
    save();
    close();  // unload saves the position once more
}

void AboutWindow::creatorDoubleClicked() {
    creatorLabel_->setText(kCreatorContact);
}

}  // namespace qv
