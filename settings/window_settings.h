#pragma once
// What both windows read from the settings as they load: where the window was and how big, and
// the two options as check box values.

#include "platform/geometry.h"
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
};

// The design's size on this desktop, in twips: the defaults of the size keys, the width widened
// where the title bar needs more room to show the window's widest caption whole.
TwipsSize designSize(const GeometryKeys& keys, const DesktopFacts& desktop);

// Reads the four geometry keys in their order, and assigns each, converted, to `geometry`
// before the next is read. A position the window cannot use (beyond 32767 pixels) gives the
// key's default; a stored size it cannot use (not positive, beyond 32767 pixels) counts as none
// and gives the design's size; each is reported once. Then, where the window system does not
// limit a window's size itself, a stored size larger than the desktop is limited to it (reported
// once). Nothing reaches the screen: the caller hands the geometry on as a whole. True when the
// width is the design's, which the window fits again to a frame learnt later.
bool loadGeometry(SettingsStore& settings, const GeometryKeys& keys, const DesktopFacts& desktop,
                  TwipsGeometry& geometry);

// An option's check box value: 1 for a stored 1, otherwise 0 (off).
int optionValue(SettingsStore& settings, SettingKey key);

}  // namespace qv
