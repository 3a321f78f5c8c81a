#pragma once
// The board's conversions between numbers and text. All are locale-free: they rely only on
// std::to_chars / std::from_chars, so a German or any other C locale changes nothing.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "engine/decimal_scanner.h"

namespace qv {

// A short number text in a fixed buffer, so that writing a number allocates nothing.
class NumberText {
  public:
    std::string_view view() const { return {buf_.data(), len_}; }
    operator std::string_view() const { return view(); }

  private:
    friend NumberText integerText(std::int64_t);
    friend NumberText unsignedText(std::uint64_t);
    friend NumberText realText(double);
    std::array<char, 32> buf_{};
    std::size_t len_ = 0;
};

// Decimal integer: "-" for negatives, no leading zeros, blanks or separators.
NumberText integerText(std::int64_t value);
NumberText unsignedText(std::uint64_t value);

// A double rounded to 15 significant digits (to nearest, ties to even) in its shortest form:
// "." as separator, no trailing zeros, "0." before fractions, exponent form
// ("1.15740740740741E-08") from 1E15 up and wherever the fixed form would need more than 15 digits
// after the point. The value must be finite.
NumberText realText(double value);

// The significant digits of |value| as std::to_chars writes it in scientific form, `precision`
// digits after the first (-1: the shortest text that reads back as the value), and the power of
// ten of the first. `digits` has room for 17; returns how many were written.
int scientificDigits(double value, int precision, char* digits, int& power);
int scientificDigits(float value, int precision, char* digits, int& power);

// Lays out a decimal number given as its significant digits (no trailing zeros, at least one)
// and the power of ten of the first: fixed form ("0.125", "3", "-1500") unless the power reaches
// `width` or the fixed form would need more than `width` digits after the point, then exponent
// form ("1.15740740740741E-08", at least two exponent digits). Writes to `out`, which has room
// for width + 10 characters, and returns the length.
std::size_t layoutDecimal(bool negative, const char* digits, int count, int power, int width,
                          char* out);

// Reads as much of a number as the text starts with, ignoring blanks, tabs and line feeds
// anywhere: optional sign, digits with at most one ".", optional exponent (E or D, either case).
// Text without a leading number reads 0. OutOfRange when the number overflows a double; a number
// too small for a double reads 0.
ReadStatus lenientRead(std::string_view text, double& out);

// The whole text, blanks around it aside, must be a number of the form above; anything else is
// NotANumber, and a value beyond the double range is OutOfRange.
ReadStatus strictRead(std::string_view text, double& out);

// The whole-part rule: y = x - 0.5, rounded to 7 decimal places (ties to even), then to the
// nearest integer (ties to even). Not the floor: whole numbers near an odd integer m give m - 1.
// False when the result does not fit in 32 bits or x is not finite.
bool wholePart(double x, std::int32_t& out);

// Rounds to the nearest integer, ties to the even neighbour, whatever the FPU rounding mode.
double roundHalfEven(double x);

}  // namespace qv
