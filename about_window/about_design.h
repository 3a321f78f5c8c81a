#pragma once
// The About window's design: three rows, the titles, the author and the options with OK.

#include <array>

#include "platform/window_design.h"

namespace qv {

inline constexpr std::string_view kAboutCaption = "QV-TICKSPAN - ABOUT";
inline constexpr int kAboutClientWidthTwips = 8640;
inline constexpr int kAboutClientHeightTwips = 2040;
inline constexpr std::string_view kCreatorCaption = "Created By Marrowfen";
// What the creator label shows when it is double-clicked.
inline constexpr std::string_view kCreatorContact = "marrowfen@example.com";

namespace about_design {

inline constexpr Rgb kGreen{0, 255, 0};
inline constexpr Rgb kBlack{0, 0, 0};
inline constexpr FontSpec kTitleFont{"Arial", 12, 700};

constexpr ControlDesign titleLabel(std::string_view name, std::string_view text, int left, int top,
                                   int width, int height, int tab, bool doubleClick = false) {
    ControlDesign d = designControl(ControlKind::Label, name, text, left, top, width, height, tab);
    d.font = kTitleFont;
    d.foreground = kGreen;
    d.background = kBlack;
    d.align = Align::Center;
    d.notifyDoubleClick = doubleClick;
    return d;
}

constexpr ControlDesign control(ControlKind kind, std::string_view name, std::string_view text,
                                int left, int top, int width, int height, int tab, int value = 0) {
    return designControl(kind, name, text, left, top, width, height, tab, true, value);
}

// In tab order: the focus goes OK, AutoStart, Always On Top; labels take none.
inline constexpr std::array<ControlDesign, 9> kControls{{
    control(ControlKind::PushButton, "OK_BUTTON", "OK", 6000, 1200, 2055, 615, 0),
    titleLabel("QV_TITLE_1", "QUILLVANE", 120, 120, 2295, 375, 1),
    titleLabel("CREATOR_TEXTBOX", kCreatorCaption, 120, 600, 5175, 375, 2, true),
    titleLabel("VERSION_TEXTBOX", "Version 1.1", 6840, 120, 1695, 375, 3),
    titleLabel("FREEWARE_TEXTBOX", "!!! FREEWARE !!!", 5400, 600, 3135, 375, 4),
    titleLabel("QV_TITLE_3", "QV-TKS", 5400, 120, 1335, 375, 5),
    titleLabel("QV_TITLE_2", "QV-TICKSPAN", 2520, 120, 2775, 375, 6),
    control(ControlKind::CheckBox, "AUTOSTART_TICKBOX", "AutoStart", 3720, 1200, 975, 495, 7, 1),
    control(ControlKind::CheckBox, "AlwaysOnTop_TICKBOX", "Always On Top", 840, 1200, 1575, 495, 8,
            1),
}};

static_assert(showsNoTextBox(kControls));

}  // namespace about_design

inline constexpr WindowDesign kAboutDesign{"QV_TKS_ABOUT",
                                           kAboutCaption,
                                           kAboutClientWidthTwips,
                                           kAboutClientHeightTwips,
                                           0,
                                           about_design::kControls,
                                           {},
                                           {}};

}  // namespace qv
