#pragma once
// What both windows read from the settings as they load: where the window was and how big, and
// the two options as check box values.

#include "platform/window.h"
#include "settings/settings_store.h"

namespace qv {

// A window's four geometry keys, read in this order.
struct GeometryKeys {
    SettingKey left, top, width, height;
};

inline constexpr GeometryKeys kMainGeometryKeys{SettingKey::MAIN_Left, SettingKey::MAIN_Top,
                                                SettingKey::MAIN_Width, SettingKey::MAIN_Height};
inline constexpr GeometryKeys kAboutGeometryKeys{SettingKey::ABOUT_Left, SettingKey::ABOUT_Top,
                                                 SettingKey::ABOUT_Width, SettingKey::ABOUT_Height};

struct TwipsSize {
    float width = 0.0f;
    float height = 0.0f;
    // The width is the design's (no usable width was stored), so it follows the title bar.
    bool designedWidth = false;
};

// The design's size on this backend, in twips: the defaults of the size keys, the width widened
// where the backend's title bar needs more room to show the design's widest caption whole.
TwipsSize designSize(const Window& window, const GeometryKeys& keys);

// The size a window starts with: a stored size wins, limited to the desktop where the window
// system does not limit it itself; otherwise the design's size. A stored size the window cannot
// use (not positive, beyond 32767 pixels) counts as none and is reported once, as is a limited
// one.
TwipsSize startupSize(const Window& window, SettingsStore& settings, const GeometryKeys& keys);

// Places `window` from its stored geometry, one key after another: a position the window cannot
// use (beyond 32767 pixels) gives the key's default, reported once; the size as startupSize().
// True when the width is the design's, which the window fits again to a frame learnt later.
bool loadGeometry(Window& window, SettingsStore& settings, const GeometryKeys& keys);

// An option's check box value: 1 for a stored 1, otherwise 0 (off).
int optionValue(SettingsStore& settings, SettingKey key);

}  // namespace qv
