#include "settings/window_settings.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "platform/handler_guard.h"
#include "platform/runtime.h"

namespace qv {

namespace {

// The largest coordinate a window system takes.
constexpr int kMaxPixels = 32767;

bool usable(float v, bool isSize, int systemDpi) {
    const double pixels = std::fabs(static_cast<double>(v)) * systemDpi / kTwipsPerInch;
    return std::isfinite(v) && !(isSize && v <= 0.0f) && pixels <= kMaxPixels;
}

float usableGeometry(SettingsStore& settings, SettingKey key, float fallback, bool isSize,
                     int systemDpi) {
    const float v = settings.readSingle(key, fallback);
    if (usable(v, isSize, systemDpi)) return v;
    std::string line;
    line.append("setting ").append(keyName(key)).append(" = ").append(singleText(v));
    line.append(isSize ? " is not a usable window size" : " is not a usable window position");
    line.append("; using ").append(singleText(fallback));
    HandlerGuard::instance().warnOnce(line);
    return fallback;
}

}  // namespace

TwipsSize designSize(const Window& window, const GeometryKeys& keys) {
    TwipsSize size{static_cast<float>(keyDefault(keys.width)),
                   static_cast<float>(keyDefault(keys.height))};
    const std::string_view widest = window.design().widestCaption;
    if (widest.empty()) return size;
    Backend& backend = window.runtime().backend();
    const int fitPx = backend.captionFitWidth(widest);
    const int dpi = backend.systemDpi();
    // Whole twips, rounded up, so that the width converts back to at least fitPx pixels.
    const float fit = static_cast<float>(std::ceil(sizePixelsToTwips(fitPx, dpi)));
    if (fitPx > 0 && usable(fit, true, dpi)) size.width = std::max(size.width, fit);
    return size;
}

void loadGeometry(Window& window, SettingsStore& settings, const GeometryKeys& keys) {
    const int dpi = window.runtime().backend().systemDpi();
    const TwipsSize design = designSize(window, keys);
    const auto fallback = [](SettingKey key) { return static_cast<float>(keyDefault(key)); };
    window.setLeft(usableGeometry(settings, keys.left, fallback(keys.left), false, dpi));
    window.setTop(usableGeometry(settings, keys.top, fallback(keys.top), false, dpi));
    window.setWidth(usableGeometry(settings, keys.width, design.width, true, dpi));
    window.setHeight(usableGeometry(settings, keys.height, design.height, true, dpi));
}

int optionValue(SettingsStore& settings, SettingKey key) {
    return settings.readInteger16(key) == 1 ? 1 : 0;
}

}  // namespace qv
