#include "settings/window_settings.h"

#include <cmath>
#include <string>

#include "platform/handler_guard.h"
#include "platform/runtime.h"

namespace qv {

namespace {

// The largest coordinate a window system takes.
constexpr int kMaxPixels = 32767;

float usableGeometry(SettingsStore& settings, SettingKey key, bool isSize, int systemDpi) {
    const float v = settings.readSingle(key);
    const double pixels = std::fabs(static_cast<double>(v)) * systemDpi / kTwipsPerInch;
    if (std::isfinite(v) && !(isSize && v <= 0.0f) && pixels <= kMaxPixels) return v;
    const int fallback = keyDefault(key);
    std::string line;
    line.append("setting ").append(keyName(key)).append(" = ").append(singleText(v));
    line.append(isSize ? " is not a usable window size" : " is not a usable window position");
    line.append("; using ").append(integer16Text(static_cast<std::int16_t>(fallback)));
    HandlerGuard::instance().warnOnce(line);
    return static_cast<float>(fallback);
}

}  // namespace

void loadGeometry(Window& window, SettingsStore& settings, const GeometryKeys& keys) {
    const int dpi = window.runtime().backend().systemDpi();
    window.setLeft(usableGeometry(settings, keys.left, false, dpi));
    window.setTop(usableGeometry(settings, keys.top, false, dpi));
    window.setWidth(usableGeometry(settings, keys.width, true, dpi));
    window.setHeight(usableGeometry(settings, keys.height, true, dpi));
}

int optionValue(SettingsStore& settings, SettingKey key) {
    return settings.readInteger16(key) == 1 ? 1 : 0;
}

}  // namespace qv
