#pragma once
// The field board: every piece of uptime state, held as text in named fields plus four whole
// counts. Steps read their operands from the fields' texts and write their results back as text.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace qv {

// The board's fields, named as the main window's hidden text boxes are named.
enum class Field : std::uint8_t {
    START_TB,
    TOTAL_MIL_YEAR,
    TOTAL_MIL_MONTH,
    TOTAL_MIL_WEEK,
    TOTAL_MIL_DAY,
    TOTAL_MIL_HOUR,
    TOTAL_MIL_MIN,
    TOTAL_MIL_SEC,
    YEARS_TB,
    MONTHS_TB,
    WEEKS_TB,
    DAYS_TB,
    HOURS_TB,
    MINS_TB,
    SECS_TB,
    DAYS_MIRROR_TB,
    DAYS_ROUNDED_TB,
    HOURS_24_TB,
    HOURS_FULL,
    HOURS_LEFT_TB,
    HOURS_ROUNDED_TB,
    MINS_60_TB,
    MINUTES_LEFT_X_60_TB,
    MINUTES_ROUNDED_X_60_TB,
    MINUTES_DIFFERENCE_LEFT_TB,
    MINUTES_DIFFERENCE_ROUNDED_TB,
    SECS_60_TB,
    SECONDS_LEFT_TB,
    SECONDS_ROUNDED_TB,
    SECONDS_DIFFERENCE_TB,
    SECONDS_DIFFERENCE_ROUNDED_TB,
};

inline constexpr std::size_t kFieldCount = 31;

struct FieldInfo {
    Field field;
    std::string_view name;
    std::string_view initialText;
    bool constant;  // never written by any step
};

// The one place that holds each field's name and initial text. A field that is not a constant
// starts out holding its own name, which every lenient read takes as 0.
inline constexpr std::array<FieldInfo, kFieldCount> kFields{{
    {Field::START_TB, "START_TB", "START_TB", false},
    {Field::TOTAL_MIL_YEAR, "TOTAL_MIL_YEAR", "31536000000", true},
    {Field::TOTAL_MIL_MONTH, "TOTAL_MIL_MONTH", "2419200000", true},
    {Field::TOTAL_MIL_WEEK, "TOTAL_MIL_WEEK", "604800000", true},
    {Field::TOTAL_MIL_DAY, "TOTAL_MIL_DAY", "86400000", true},
    {Field::TOTAL_MIL_HOUR, "TOTAL_MIL_HOUR", "3600000", true},
    {Field::TOTAL_MIL_MIN, "TOTAL_MIL_MIN", "60000", true},
    {Field::TOTAL_MIL_SEC, "TOTAL_MIL_SEC", "1000", true},
    {Field::YEARS_TB, "YEARS_TB", "YEARS_TB", false},
    {Field::MONTHS_TB, "MONTHS_TB", "MONTHS_TB", false},
    {Field::WEEKS_TB, "WEEKS_TB", "WEEKS_TB", false},
    {Field::DAYS_TB, "DAYS_TB", "DAYS_TB", false},
    {Field::HOURS_TB, "HOURS_TB", "HOURS_TB", false},
    {Field::MINS_TB, "MINS_TB", "MINS_TB", false},
    {Field::SECS_TB, "SECS_TB", "SECS_TB", false},
    {Field::DAYS_MIRROR_TB, "DAYS_MIRROR_TB", "DAYS_MIRROR_TB", false},
    {Field::DAYS_ROUNDED_TB, "DAYS_ROUNDED_TB", "DAYS_ROUNDED_TB", false},
    {Field::HOURS_24_TB, "HOURS_24_TB", "24", true},
    {Field::HOURS_FULL, "HOURS_FULL", "HOURS_FULL", false},
    {Field::HOURS_LEFT_TB, "HOURS_LEFT_TB", "HOURS_LEFT_TB", false},
    {Field::HOURS_ROUNDED_TB, "HOURS_ROUNDED_TB", "HOURS_ROUNDED_TB", false},
    {Field::MINS_60_TB, "MINS_60_TB", "60", true},
    {Field::MINUTES_LEFT_X_60_TB, "MINUTES_LEFT_X_60_TB", "MINUTES_LEFT_X_60_TB", false},
    {Field::MINUTES_ROUNDED_X_60_TB, "MINUTES_ROUNDED_X_60_TB", "MINUTES_ROUNDED_X_60_TB", false},
    {Field::MINUTES_DIFFERENCE_LEFT_TB, "MINUTES_DIFFERENCE_LEFT_TB", "MINUTES_DIFFERENCE_LEFT_TB",
     false},
    {Field::MINUTES_DIFFERENCE_ROUNDED_TB, "MINUTES_DIFFERENCE_ROUNDED_TB",
     "MINUTES_DIFFERENCE_ROUNDED_TB", false},
    {Field::SECS_60_TB, "SECS_60_TB", "60", true},
    {Field::SECONDS_LEFT_TB, "SECONDS_LEFT_TB", "SECONDS_LEFT_TB", false},
    {Field::SECONDS_ROUNDED_TB, "SECONDS_ROUNDED_TB", "SECONDS_ROUNDED_TB", false},
    {Field::SECONDS_DIFFERENCE_TB, "SECONDS_DIFFERENCE_TB", "SECONDS_DIFFERENCE_TB", false},
    {Field::SECONDS_DIFFERENCE_ROUNDED_TB, "SECONDS_DIFFERENCE_ROUNDED_TB",
     "SECONDS_DIFFERENCE_ROUNDED_TB", false},
}};

constexpr std::string_view fieldName(Field f) {
    return kFields[static_cast<std::size_t>(f)].name;
}

// Looks a field up by its exact name; false when no field has that name.
bool findField(std::string_view name, Field& out);

class FieldBoard {
  public:
    FieldBoard();

    // Puts every field back to its initial text and every count to 0.
    void reset();

    const std::string& text(Field f) const { return texts_[index(f)]; }
    // Replaces the whole text. Reuses the field's storage, so a warm board does not allocate.
    void setText(Field f, std::string_view text) { texts_[index(f)].assign(text); }
    // The field's storage itself, for a text box that shows the field.
    std::string* storage(Field f) { return &texts_[index(f)]; }

    // The four whole counts.
    std::int32_t DaysWhole = 0;
    std::int32_t HoursWhole = 0;
    std::int32_t MinutesWhole = 0;
    std::int32_t SecondsWhole = 0;

  private:
    static constexpr std::size_t index(Field f) { return static_cast<std::size_t>(f); }
    std::array<std::string, kFieldCount> texts_;
};

}  // namespace qv
