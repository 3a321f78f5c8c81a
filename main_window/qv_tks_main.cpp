#include "main_window/qv_tks_main.h"

#include <cmath>

#include "engine/conversions.h"
#include "platform/handler_guard.h"
#include "main_window/main_design.h"

namespace qv {

QV_TKS_MAIN* QV_TKS_MAIN::instance_ = nullptr;

namespace {
constexpr int kMaxPixels = 32767;
}

float usableGeometry(SettingsStore& settings, SettingKey key, int systemDpi) {
    const float v = settings.readSingle(key);
    const bool isSize = key == SettingKey::MAIN_Width || key == SettingKey::MAIN_Height ||
                        key == SettingKey::ABOUT_Width || key == SettingKey::ABOUT_Height;
    const double pixels = std::fabs(static_cast<double>(v)) * systemDpi / kTwipsPerInch;
    if (std::isfinite(v) && !(isSize && v <= 0.0f) && pixels <= kMaxPixels) return v;
    const int fallback = keyDefault(key);
    std::string line;
    line.append("setting ").append(keyName(key)).append(" = ").append(realText(v).view());
    line.append(isSize ? " is not a usable window size" : " is not a usable window position");
    line.append("; using ").append(integerText(fallback).view());
    HandlerGuard::instance().warnOnce(line);
    return static_cast<float>(fallback);
}

void loadGeometry(Window& window, SettingsStore& settings, SettingKey left, SettingKey top,
                  SettingKey width, SettingKey height) {
    const int dpi = window.runtime().platform().systemDpi();
    window.setLeft(usableGeometry(settings, left, dpi));
    window.setTop(usableGeometry(settings, top, dpi));
    window.setWidth(usableGeometry(settings, width, dpi));
    window.setHeight(usableGeometry(settings, height, dpi));
}

int optionValue(SettingsStore& settings, SettingKey key) {
    return settings.readInteger16(key) == 1 ? 1 : 0;
}

QV_TKS_MAIN::QV_TKS_MAIN(Runtime& runtime, SettingsStore& settings)
    : Window(runtime, kMainDesign),
      AlwaysOnTopTimer(
          runtime.scheduler().create("AlwaysOnTopTimer", [this] { AlwaysOnTopTimer_Timer(); })),
      // Created in the order sampling, day, hour, minute, second, title: due timers run in
      // creation order, so one pass settles the board.
      UPTIME_TIMER(runtime.scheduler().create("UPTIME_TIMER", [this] { UPTIME_TIMER_Timer(); })),
      DAY_UPTIME_TIMER(
          runtime.scheduler().create("DAY_UPTIME_TIMER", [this] { DAY_UPTIME_TIMER_Timer(); })),
      HOUR_UPTIME_TIMER(
          runtime.scheduler().create("HOUR_UPTIME_TIMER", [this] { HOUR_UPTIME_TIMER_Timer(); })),
      MINUTE_UPTIME_TIMER(runtime.scheduler().create("MINUTE_UPTIME_TIMER",
                                                     [this] { MINUTE_UPTIME_TIMER_Timer(); })),
      SECOND_UPTIME_TIMER(runtime.scheduler().create("SECOND_UPTIME_TIMER",
                                                     [this] { SECOND_UPTIME_TIMER_Timer(); })),
      QV_DISPLAY_UPDATE_TIMER(runtime.scheduler().create(
          "QV_DISPLAY_UPDATE_TIMER", [this] { QV_DISPLAY_UPDATE_TIMER_Timer(); })),
      settings_(settings) {
    titleScratch_.reserve(96);
    instance_ = this;
}

QV_TKS_MAIN::~QV_TKS_MAIN() {
    for (Timer* t : startupOrder()) t->setEnabled(false);
    AlwaysOnTopTimer.setEnabled(false);
    if (instance_ == this) instance_ = nullptr;
}

std::array<Timer*, 6> QV_TKS_MAIN::startupOrder() const {
    return {&UPTIME_TIMER,        &DAY_UPTIME_TIMER,    &HOUR_UPTIME_TIMER,
            &MINUTE_UPTIME_TIMER, &SECOND_UPTIME_TIMER, &QV_DISPLAY_UPDATE_TIMER};
}

std::array<Timer*, 6> QV_TKS_MAIN::aboutOrder() const {
    return {&DAY_UPTIME_TIMER,    &HOUR_UPTIME_TIMER, &MINUTE_UPTIME_TIMER,
            &SECOND_UPTIME_TIMER, &UPTIME_TIMER,      &QV_DISPLAY_UPDATE_TIMER};
}

void QV_TKS_MAIN::controlsCreated() {
    // The hidden text boxes are the board's fields: built afresh, they show the initial texts.
    board.reset();
    for (const auto& c : controls()) {
        Field f{};
        if (c->kind() == ControlKind::TextBox && findField(c->name(), f))
            c->bindText(board.storage(f));
    }
    AlwaysOnTop_TICKBOX = control("AlwaysOnTop_TICKBOX");
    AUTOSTART_TICKBOX = control("AUTOSTART_TICKBOX");
    Line1 = control("Line1");
}

void QV_TKS_MAIN::Form_Load() {
    loadGeometry(*this, settings_, SettingKey::MAIN_Left, SettingKey::MAIN_Top,
                 SettingKey::MAIN_Width, SettingKey::MAIN_Height);
    AlwaysOnTop_TICKBOX->setValue(optionValue(settings_, SettingKey::AlwaysOnTop_TICKBOX));
    AUTOSTART_TICKBOX->setValue(optionValue(settings_, SettingKey::AUTOSTART_TICKBOX));
    setCaption(kDisabledTitle);
    AlwaysOnTopTimer.setPeriod(kKeeperPeriodMs);
    for (Timer* t : startupOrder()) t->setPeriod(kUptimeStepPeriodMs);
    AlwaysOnTopTimer.setEnabled(AlwaysOnTop_TICKBOX->value() == 1);
    for (Timer* t : startupOrder()) t->setEnabled(AUTOSTART_TICKBOX->value() == 1);
}

void QV_TKS_MAIN::Form_Unload() {
    settings_.saveSingle(SettingKey::MAIN_Left, Left());
    settings_.saveSingle(SettingKey::MAIN_Top, Top());
    settings_.saveInteger16(SettingKey::AlwaysOnTop_TICKBOX,
                            static_cast<std::int16_t>(AlwaysOnTop_TICKBOX->value()));
    settings_.saveInteger16(SettingKey::AUTOSTART_TICKBOX,
                            static_cast<std::int16_t>(AUTOSTART_TICKBOX->value()));
    // The timers stop with the window.
    AlwaysOnTopTimer.setEnabled(false);
    for (Timer* t : startupOrder()) t->setEnabled(false);
}

void QV_TKS_MAIN::Form_DblClick() {
    if (about_) about_->showModal(*this);
}

void QV_TKS_MAIN::AlwaysOnTopTimer_Timer() {
    WindowOrder& order = runtime().platform().windowOrder();
    const WindowHandle self = handle();
    if (order.foregroundWindow() == self) return;
    const WindowHandle foreground = order.foregroundWindow();
    order.setWindowPos(foreground, InsertAfter::NotTopmost, kSwpNoSize | kSwpNoMove);
    order.setWindowPos(self, InsertAfter::Topmost, kSwpNoSize | kSwpNoMove);
}

void QV_TKS_MAIN::UPTIME_TIMER_Timer() {
    samplingStep(board, runtime().platform().tickSource());
}
void QV_TKS_MAIN::DAY_UPTIME_TIMER_Timer() {
    dayStep(board);
}
void QV_TKS_MAIN::HOUR_UPTIME_TIMER_Timer() {
    hourStep(board);
}
void QV_TKS_MAIN::MINUTE_UPTIME_TIMER_Timer() {
    minuteStep(board);
}
void QV_TKS_MAIN::SECOND_UPTIME_TIMER_Timer() {
    secondStep(board);
}
void QV_TKS_MAIN::QV_DISPLAY_UPDATE_TIMER_Timer() {
    composeTitle(board, titleScratch_, *this);
}

}  // namespace qv
