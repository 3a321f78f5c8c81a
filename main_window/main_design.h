#pragma once
// The main window's design: out of sight below the title bar, a worksheet of the computation.
// Every text box shows one field of the board and takes its name and initial text from the
// board's own table.

#include <array>

#include "engine/field_board.h"
#include "platform/window_design.h"

namespace qv {

inline constexpr std::string_view kMainDesignedCaption = "QV-TICKSPAN: 00000X, 00X, 00X, 000X,";
inline constexpr int kMainClientWidthTwips = 12060;
inline constexpr int kMainClientHeightTwips = 5730;
inline constexpr int kMainClientStripPx = 5;  // at 96 DPI: the double-click target
// The running caption at its longest: four digits of days, two of hours, minutes and seconds.
inline constexpr std::string_view kMainWidestCaption = "QV-TICKSPAN: 9999d, 23h, 59m, 59s";
// The one hint that the strip below the title bar opens the About window.
inline constexpr std::string_view kMainStripTooltip = "Double-click for options";

namespace main_design {

constexpr ControlDesign textBox(Field f, int left, int top, int width, int height, int tab) {
    const FieldInfo& info = kFields[static_cast<std::size_t>(f)];
    return designControl(ControlKind::TextBox, info.name, info.initialText, left, top, width,
                         height, tab, false);
}

constexpr ControlDesign hidden(ControlKind kind, std::string_view name, std::string_view text,
                               int left, int top, int width, int height, int tab, int value = 0) {
    return designControl(kind, name, text, left, top, width, height, tab, false, value);
}

// A line from (x1, y1) to (x2, y2); it takes no focus.
constexpr ControlDesign line(std::string_view name, int x1, int y1, int x2, int y2) {
    return designControl(ControlKind::Line, name, "", x1, y1, x2 - x1, y2 - y1, kNoTabIndex);
}

using K = ControlKind;
using F = Field;

// In tab order. Both check boxes are created ticked; start-up then sets them from the store.
inline constexpr std::array<ControlDesign, 43> kControls{{
    hidden(K::CheckBox, "AlwaysOnTop_TICKBOX", "Always On Top", 960, 1080, 1455, 255, 0, 1),
    textBox(F::YEARS_TB, 2640, 4920, 1935, 375, 1),
    textBox(F::MONTHS_TB, 2640, 4440, 1935, 375, 2),
    textBox(F::WEEKS_TB, 2640, 3960, 1935, 375, 3),
    textBox(F::MINS_TB, 2640, 2520, 1935, 375, 4),
    textBox(F::HOURS_TB, 2640, 3000, 1935, 375, 5),
    textBox(F::DAYS_TB, 2640, 3480, 1935, 375, 6),
    textBox(F::SECS_TB, 2640, 2040, 1935, 375, 7),
    textBox(F::START_TB, 1200, 1440, 2535, 405, 8),
    textBox(F::TOTAL_MIL_YEAR, 1200, 4920, 1215, 375, 9),
    textBox(F::TOTAL_MIL_MONTH, 1200, 4440, 1215, 375, 10),
    textBox(F::TOTAL_MIL_WEEK, 1200, 3960, 1215, 375, 11),
    textBox(F::TOTAL_MIL_DAY, 1200, 3480, 1215, 375, 12),
    textBox(F::TOTAL_MIL_HOUR, 1200, 3000, 1215, 375, 13),
    textBox(F::TOTAL_MIL_MIN, 1200, 2520, 1215, 375, 14),
    textBox(F::TOTAL_MIL_SEC, 1200, 2040, 1215, 375, 15),
    hidden(K::Label, "START_LABEL", "START", 240, 1560, 855, 255, 16),
    hidden(K::Label, "Label9", "SECONDS", 240, 2040, 855, 255, 17),
    hidden(K::Label, "Label8", "MINUTES", 240, 2520, 855, 255, 18),
    hidden(K::Label, "Label7", "HOURS", 240, 3000, 855, 255, 19),
    hidden(K::Label, "Label6", "DAYS", 240, 3480, 855, 255, 20),
    hidden(K::Label, "Label5", "WEEKS", 240, 3960, 855, 255, 21),
    hidden(K::Label, "Label4", "MONTHS", 240, 4440, 855, 255, 22),
    hidden(K::Label, "Label3", "YEARS", 240, 4920, 855, 255, 23),
    hidden(K::Label, "Label13", "RESULT", 3840, 1680, 855, 255, 24),
    textBox(F::SECONDS_DIFFERENCE_ROUNDED_TB, 8640, 4200, 2295, 375, 25),
    textBox(F::MINUTES_DIFFERENCE_ROUNDED_TB, 9240, 2880, 2295, 375, 26),
    textBox(F::MINUTES_DIFFERENCE_LEFT_TB, 9240, 2400, 2295, 375, 27),
    textBox(F::SECONDS_DIFFERENCE_TB, 8640, 3720, 2295, 375, 28),
    textBox(F::DAYS_MIRROR_TB, 5280, 1320, 1935, 375, 29),
    textBox(F::SECONDS_ROUNDED_TB, 6240, 3960, 2175, 375, 30),
    textBox(F::SECONDS_LEFT_TB, 6240, 3480, 2175, 375, 31),
    textBox(F::MINUTES_ROUNDED_X_60_TB, 6240, 2880, 2895, 375, 32),
    textBox(F::SECS_60_TB, 5760, 3720, 375, 375, 33),
    textBox(F::MINUTES_LEFT_X_60_TB, 6240, 2400, 2895, 375, 34),
    textBox(F::MINS_60_TB, 5760, 2640, 375, 375, 35),
    textBox(F::HOURS_ROUNDED_TB, 8640, 1800, 1935, 375, 36),
    textBox(F::HOURS_LEFT_TB, 8640, 1320, 1935, 375, 37),
    textBox(F::HOURS_FULL, 7320, 1800, 1215, 375, 38),
    textBox(F::HOURS_24_TB, 7680, 1320, 375, 375, 39),
    textBox(F::DAYS_ROUNDED_TB, 5280, 1800, 1935, 375, 40),
    hidden(K::CheckBox, "AUTOSTART_TICKBOX", "AutoStart", 2880, 1080, 1095, 255, 41, 1),
    // The one visible control: a vertical separator in the window-text colour.
    line("Line1", 5160, 1320, 5160, 5400),
}};

static_assert(showsNoTextBox(kControls));

}  // namespace main_design

inline constexpr WindowDesign kMainDesign{
    "QV_TKS_MAIN",      kMainDesignedCaption,   kMainClientWidthTwips, kMainClientHeightTwips,
    kMainClientStripPx, main_design::kControls, kMainWidestCaption,    kMainStripTooltip};

}  // namespace qv
