#include "settings/window_settings.h"

#include <algorithm>
#include <cmath>
#include <optional>
#include <string>
#include <vector>

namespace qv {

namespace {

// The largest coordinate a window system takes.
constexpr int kMaxPixels = 32767;

bool withinPixels(float twips, int systemDpi) {
    return std::fabs(static_cast<double>(twips)) * systemDpi / kTwipsPerInch <= kMaxPixels;
}

void reportUnusable(SettingsStore& settings, SettingKey key, float value, bool isSize,
                    float instead) {
    std::string line;
    line.append("setting ").append(keyName(key)).append(" = ").append(singleText(value));
    line.append(isSize ? " is not a usable window size" : " is not a usable window position");
    line.append("; using ").append(singleText(instead));
    settings.guard().warnOnce(line);
}

float usablePosition(SettingsStore& settings, SettingKey key, int systemDpi) {
    const float v = settings.readSingle(key);
    if (std::isfinite(v) && withinPixels(v, systemDpi)) return v;
    const auto fallback = static_cast<float>(keyDefault(key));
    reportUnusable(settings, key, v, false, fallback);
    return fallback;
}

// A stored size the window can use; std::nullopt when there is none.
std::optional<float> storedSize(SettingsStore& settings, SettingKey key, int systemDpi,
                                float designed) {
    const auto v = settings.readStoredSingle(key, designed);
    if (!v || (std::isfinite(*v) && *v > 0.0f && withinPixels(*v, systemDpi))) return v;
    reportUnusable(settings, key, *v, true, designed);
    return std::nullopt;
}

// The bounding box of all monitors, in pixels; std::nullopt when the desktop cannot tell.
std::optional<PixelRect> desktopBounds(const std::vector<Monitor>& monitors) {
    if (monitors.empty()) return std::nullopt;
    int left = monitors[0].full.x, top = monitors[0].full.y;
    int right = left + monitors[0].full.width, bottom = top + monitors[0].full.height;
    for (const Monitor& m : monitors) {
        left = std::min(left, m.full.x);
        top = std::min(top, m.full.y);
        right = std::max(right, m.full.x + m.full.width);
        bottom = std::max(bottom, m.full.y + m.full.height);
    }
    return PixelRect{left, top, right - left, bottom - top};
}

// Where the window system takes any size, a stored size beyond the whole desktop would only make
// it allocate for pixels no one can see: such a size is limited to the desktop, as Windows does
// by itself. The store keeps what it holds.
void limitToDesktop(const DesktopFacts& desktop, SettingsStore& settings, const GeometryKeys& keys,
                    TwipsGeometry& geometry) {
    if (desktop.limitsWindowSize) return;
    const auto bounds = desktopBounds(desktop.monitors);
    if (!bounds) return;
    const int dpi = desktop.systemDpi;
    const bool wide = sizeTwipsToPixels(geometry.width, dpi) > bounds->width;
    const bool tall = sizeTwipsToPixels(geometry.height, dpi) > bounds->height;
    if (!wide && !tall) return;
    const TwipsGeometry stored = geometry;
    if (wide) geometry.width = static_cast<float>(sizePixelsToTwips(bounds->width, dpi));
    if (tall) geometry.height = static_cast<float>(sizePixelsToTwips(bounds->height, dpi));
    std::string line;
    line.append("setting ").append(keyName(keys.width)).append(", ").append(keyName(keys.height));
    line.append(" = ")
        .append(singleText(stored.width))
        .append(", ")
        .append(singleText(stored.height));
    line.append(" is larger than the desktop (").append(std::to_string(bounds->width));
    line.append(" x ").append(std::to_string(bounds->height)).append(" pixels); using ");
    line.append(singleText(geometry.width)).append(", ").append(singleText(geometry.height));
    settings.guard().warnOnce(line);
}

}  // namespace

TwipsSize designSize(const GeometryKeys& keys, const DesktopFacts& desktop) {
    TwipsSize size{static_cast<float>(keyDefault(keys.width)),
                   static_cast<float>(keyDefault(keys.height))};
    const int fitPx = desktop.captionFitWidthPx;
    const int dpi = desktop.systemDpi;
    // Whole twips, rounded up, so that the width converts back to at least fitPx pixels.
    const float fit = static_cast<float>(std::ceil(sizePixelsToTwips(fitPx, dpi)));
    if (fitPx > 0 && withinPixels(fit, dpi)) size.width = std::max(size.width, fit);
    return size;
}

bool loadGeometry(SettingsStore& settings, const GeometryKeys& keys, const DesktopFacts& desktop,
                  TwipsGeometry& geometry) {
    const int dpi = desktop.systemDpi;
    geometry.left = usablePosition(settings, keys.left, dpi);
    geometry.top = usablePosition(settings, keys.top, dpi);
    const TwipsSize designed = designSize(keys, desktop);
    const auto width = storedSize(settings, keys.width, dpi, designed.width);
    geometry.width = width.value_or(designed.width);
    const auto height = storedSize(settings, keys.height, dpi, designed.height);
    geometry.height = height.value_or(designed.height);
    if (width || height) limitToDesktop(desktop, settings, keys, geometry);
    return !width;
}

int optionValue(SettingsStore& settings, SettingKey key) {
    return settings.readInteger16(key) == 1 ? 1 : 0;
}

}  // namespace qv
