#include "main_window/main_window.h"

#include "engine/uptime_steps.h"
#include "main_window/main_design.h"
#include "settings/window_settings.h"

namespace qv {

MainWindow::MainWindow(Runtime& runtime, SettingsStore& settings)
    : Window(runtime, kMainDesign),
      settings_(settings),
      keeperTimer_(runtime.scheduler().create("AlwaysOnTopTimer", [this] { keeperTick(); })),
      samplingTimer_(runtime.scheduler().create("UPTIME_TIMER", [this] { samplingTick(); })),
      dayTimer_(runtime.scheduler().create("DAY_UPTIME_TIMER", [this] { dayTick(); })),
      hourTimer_(runtime.scheduler().create("HOUR_UPTIME_TIMER", [this] { hourTick(); })),
      minuteTimer_(runtime.scheduler().create("MINUTE_UPTIME_TIMER", [this] { minuteTick(); })),
      secondTimer_(runtime.scheduler().create("SECOND_UPTIME_TIMER", [this] { secondTick(); })),
      titleTimer_(runtime.scheduler().create("QV_DISPLAY_UPDATE_TIMER", [this] { titleTick(); })) {
    titleScratch_.reserve(96);
}

MainWindow::~MainWindow() {
    for (Timer* t : startupOrder()) t->setEnabled(false);
    keeperTimer_.setEnabled(false);
}

std::array<Timer*, 6> MainWindow::startupOrder() const {
    return {&samplingTimer_, &dayTimer_, &hourTimer_, &minuteTimer_, &secondTimer_, &titleTimer_};
}

std::array<Timer*, 6> MainWindow::aboutOrder() {
    return {&dayTimer_, &hourTimer_, &minuteTimer_, &secondTimer_, &samplingTimer_, &titleTimer_};
}

void MainWindow::controlsCreated() {
    // The hidden text boxes are the board's fields: built afresh, they show the initial texts.
    board_.reset();
    for (const auto& c : controls()) {
        Field f{};
        if (c->kind() == ControlKind::TextBox && findField(c->name(), f))
            c->bindText(board_.storage(f));
    }
    alwaysOnTopBox_ = control("AlwaysOnTop_TICKBOX");
    autoStartBox_ = control("AUTOSTART_TICKBOX");
}

void MainWindow::load() {
    designedWidth_ = loadGeometry(settings_, kMainGeometryKeys, desktopFacts(), mutableGeometry());
    setGeometry();
    alwaysOnTopBox_->setValue(optionValue(settings_, SettingKey::AlwaysOnTop_TICKBOX));
    autoStartBox_->setValue(optionValue(settings_, SettingKey::AUTOSTART_TICKBOX));
    setCaption(kDisabledTitle);
    keeperTimer_.setPeriod(kKeeperPeriodMs);
    for (Timer* t : startupOrder()) t->setPeriod(kUptimeStepPeriodMs);
    keeperTimer_.setEnabled(alwaysOnTopBox_->value() == 1);
    for (Timer* t : startupOrder()) t->setEnabled(autoStartBox_->value() == 1);
}

void MainWindow::unload() {
    save();
    // The timers stop with the window.
    keeperTimer_.setEnabled(false);
    for (Timer* t : startupOrder()) t->setEnabled(false);
}

void MainWindow::save() {
    settings_.saveSingle(SettingKey::MAIN_Left, left());
    settings_.saveSingle(SettingKey::MAIN_Top, top());
    settings_.saveInteger16(SettingKey::AlwaysOnTop_TICKBOX,
                            static_cast<std::int16_t>(alwaysOnTopBox_->value()));
    settings_.saveInteger16(SettingKey::AUTOSTART_TICKBOX,
                            static_cast<std::int16_t>(autoStartBox_->value()));
}

void MainWindow::doubleClick() {
    if (about_) about_->showModal(*this);
}

void MainWindow::frameChanged() {
    // The caption's room depends on the frame's sides and title bar, known for sure only once
    // the window manager has framed the window.
    if (designedWidth_)
        mutableGeometry().width = designSize(kMainGeometryKeys, desktopFacts()).width;
    setGeometry();
}

void MainWindow::keeperTick() {
    Backend& backend = runtime().backend();
    const WindowHandle self = handle();
    if (backend.foregroundWindow() == self) return;
    // The foreground window is asked for a second time: it may have changed since.
    const WindowHandle foreground = backend.foregroundWindow();
    backend.setTopmost(foreground, false);
    backend.setTopmost(self, true);
}

void MainWindow::samplingTick() {
    samplingStep(board_, runtime().backend().ticksSinceStart());
}
void MainWindow::dayTick() {
    dayStep(board_);
}
void MainWindow::hourTick() {
    hourStep(board_);
}
void MainWindow::minuteTick() {
    minuteStep(board_);
}
void MainWindow::secondTick() {
    secondStep(board_);
}
void MainWindow::titleTick() {
    // Set on every run; the screen hears of it only when the text changed.
    setCaption(composeTitle(board_, titleScratch_));
}

}  // namespace qv
