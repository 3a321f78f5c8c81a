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

// A window's outer size in twips.
struct TwipsSize {
    float width = 0;
    float height = 0;
};

// The size the window takes on this backend when none is stored: the defaults of its width and
// height keys, the width widened where the backend's title bar needs more room to show the
// design's widest caption whole.
TwipsSize designSize(const Window& window, const GeometryKeys& keys);

// Places `window` from its stored geometry, one key after another. A missing size, or a value
// the window cannot use (a size that is not positive, a position or size beyond 32767 pixels),
// gives the design's (designSize() for the size keys, else the key's default); an unusable value
// is reported once.
void loadGeometry(Window& window, SettingsStore& settings, const GeometryKeys& keys);

// An option's check box value: 1 for a stored 1, otherwise 0 (off).
int optionValue(SettingsStore& settings, SettingKey key);

}  // namespace qv
