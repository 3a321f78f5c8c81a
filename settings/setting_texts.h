#pragma once
// The text forms in which the settings store holds numbers, in both directions. Locale-free:
// std::to_chars / std::from_chars and plain digit arithmetic only.

#include <cstdint>
#include <string>
#include <string_view>

#include "engine/decimal_scanner.h"

namespace qv {

// Single-precision number text: at most 7 significant digits, "-" for negatives, no trailing
// zeros in a fraction and no point without one ("1000", "-120", "1.5"). From 1E+07 up, and where
// the fixed form would need more than 7 places after the point, the exponent form "1.5E+07". A
// value that 7 digits cannot give back gets the few more digits it needs (up to 9), so a reading
// always returns the very value. The value must be finite.
std::string singleText(float value);

// 16-bit integer text: plain decimal ("0", "1", "-32768").
std::string integer16Text(std::int16_t value);

// The whole text, blanks and tabs around it aside, must be a decimal number: optional sign,
// digits with at most one point, optional exponent (E or D in either case, optional sign,
// digits).

// Single-precision reading: the number rounded to the nearest float; OutOfRange beyond the float
// range, while a number too small for a float reads as zero.
ReadStatus singleReading(std::string_view text, float& out);
// 16-bit integer reading: the exact number rounded to the nearest integer, ties to the even one
// (0.5 reads 0, 1.5 reads 2, -32768.5 reads -32768); OutOfRange outside -32768..32767.
ReadStatus integer16Reading(std::string_view text, std::int16_t& out);

inline bool readSingleText(std::string_view text, float& out) {
    return singleReading(text, out) == ReadStatus::Ok;
}
inline bool readInteger16Text(std::string_view text, std::int16_t& out) {
    return integer16Reading(text, out) == ReadStatus::Ok;
}

}  // namespace qv
