#pragma once
// The one scanner for decimal number texts: the board's fields and the settings' stored values
// are read through it. Locale-free: plain character tests and std::from_chars only.

#include <cstddef>
#include <cstdint>
#include <limits>
#include <string_view>

namespace qv {

enum class ReadStatus { Ok, NotANumber, OutOfRange };

// How much of a text makes up the number. Both take the same form: an optional sign, digits with
// at most one ".", and an optional exponent (the letter E or D in either case, an optional sign,
// digits).
enum class ScanRule {
    // Blanks, tabs and line feeds anywhere are ignored, and the number ends at the first
    // character that cannot continue it; an exponent letter counts only with a digit after it.
    // A text without a leading number is the number 0.
    Leading,
    // The whole text, blanks and tabs around it aside, must be the number.
    WholeText,
};

// A decimal number as its text gives it, converted exactly to whatever the caller needs.
class DecimalNumber {
  public:
    // False only when the rule is WholeText and the text is not a number.
    bool scan(std::string_view text, ScanRule rule);

    // The nearest double / float. OutOfRange when the number overflows the type, and then `out`
    // is an infinity; a number too small for the type is a zero of its sign.
    ReadStatus toDouble(double& out) const;
    ReadStatus toFloat(float& out) const;
    // The exact decimal number rounded to the nearest integer, a tie going to the even neighbour
    // (0.5 gives 0, 1.5 gives 2); OutOfRange beyond the range of Int (at most 32 bits).
    template <typename Int>
    ReadStatus toNearestInteger(Int& out) const {
        static_assert(sizeof(Int) <= 4);
        const std::int64_t value = nearestInteger();
        if (value < std::numeric_limits<Int>::min() || value > std::numeric_limits<Int>::max())
            return ReadStatus::OutOfRange;
        out = static_cast<Int>(value);
        return ReadStatus::Ok;
    }

  private:
    // Reads the exponent whose letter stands at `letter`; returns where it ends, or `letter`
    // when no digit follows (then the letter is not part of the number).
    std::size_t scanExponent(std::string_view text, std::size_t letter, bool leading);
    template <typename Float>
    ReadStatus toBinary(Float& out) const;
    // The nearest integer; its magnitude stops growing once it is past 32 bits, which keeps it
    // out of every range toNearestInteger checks.
    std::int64_t nearestInteger() const;
    // The power of ten of the first significant digit, leaving the exponent aside; false when
    // every digit is a zero.
    bool leadingPower(long long& power) const;

    bool negative_ = false;
    // Digits with at most one "."; read by the Leading rule it may hold blanks between them.
    std::string_view mantissa_;
    bool blanksInside_ = false;
    bool anyDigit_ = false;
    long long exponent_ = 0;  // saturated, far beyond any type's range
};

}  // namespace qv
