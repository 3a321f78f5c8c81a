#pragma once
// A window's design as data: the table from which the runtime builds the window at every load.

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace qv {

enum class ControlKind : std::uint8_t { TextBox, Label, CheckBox, PushButton, Line };
enum class Align : std::uint8_t { Left, Center, Right };

struct Rgb {
    std::uint8_t r = 0, g = 0, b = 0;
    friend bool operator==(const Rgb&, const Rgb&) = default;
};

// An empty face means the window's default font.
struct FontSpec {
    std::string_view face;
    int pointSize = 0;
    int weight = 400;  // 700 is bold
};

inline constexpr int kNoTabIndex = -1;

struct ControlDesign {
    ControlKind kind = ControlKind::Label;
    std::string_view name;
    std::string_view text;  // initial text or caption
    // Twips, relative to the client area. A line runs from (left, top) to (left + width,
    // top + height); its width or height may be negative.
    int left = 0, top = 0, width = 0, height = 0;
    int tabIndex = kNoTabIndex;
    bool visible = true;
    int value = 0;  // a check box's initial value
    FontSpec font;
    std::optional<Rgb> foreground;  // none: the platform's standard colours
    std::optional<Rgb> background;
    Align align = Align::Left;
    // A label that takes double-clicks.
    bool notifyDoubleClick = false;
};

// One row of a design table.
constexpr ControlDesign designControl(ControlKind kind, std::string_view name,
                                      std::string_view text, int left, int top, int width,
                                      int height, int tabIndex, bool visible = true,
                                      int value = 0) {
    ControlDesign d;
    d.kind = kind;
    d.name = name;
    d.text = text;
    d.left = left;
    d.top = top;
    d.width = width;
    d.height = height;
    d.tabIndex = tabIndex;
    d.visible = visible;
    d.value = value;
    return d;
}

// Text boxes hold the board's fields out of sight: no design shows one, so no backend draws one.
constexpr bool showsNoTextBox(std::span<const ControlDesign> controls) {
    for (const ControlDesign& d : controls)
        if (d.kind == ControlKind::TextBox && d.visible) return false;
    return true;
}

struct WindowDesign {
    std::string_view name;
    std::string_view caption;
    int clientWidth = 0;  // twips
    int clientHeight = 0;
    // The least client area height the program keeps below the title bar, in pixels at 96 DPI.
    int minClientStripPx = 0;
    std::span<const ControlDesign> controls;
    // The longest caption the window shows while it runs; the title bar should have room for it.
    // Empty: the design's width is enough.
    std::string_view widestCaption;
    // Shown when the pointer rests on the client area where no control lies; empty for none.
    std::string_view tooltip;
};

}  // namespace qv
