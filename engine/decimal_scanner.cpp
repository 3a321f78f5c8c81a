#include "engine/decimal_scanner.h"

#include <charconv>
#include <cstring>
#include <limits>
#include <string>
#include <system_error>

namespace qv {

namespace {

// Exponents are saturated here: far beyond any type's range, far below any length a text could
// give the mantissa, so saturation never changes a result.
constexpr long long kExponentLimit = 1'000'000'000'000LL;

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}
bool isExponentLetter(char c) {
    return c == 'E' || c == 'e' || c == 'D' || c == 'd';
}
bool isSign(char c) {
    return c == '+' || c == '-';
}
// What the Leading rule ignores anywhere in a text.
bool isLeadingBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n';
}
// What the WholeText rule allows around the number.
bool isSurroundingBlank(char c) {
    return c == ' ' || c == '\t';
}

// The exponent's digits (blanks between them skipped), saturated.
long long saturatedExponent(bool negative, std::string_view digits) {
    long long e = 0;
    for (const char c : digits)
        if (isDigit(c) && e < kExponentLimit) e = e * 10 + (c - '0');
    return negative ? -e : e;
}

}  // namespace

bool DecimalNumber::scan(std::string_view text, ScanRule rule) {
    *this = DecimalNumber{};
    const bool leading = rule == ScanRule::Leading;
    if (!leading) {
        while (!text.empty() && isSurroundingBlank(text.front())) text.remove_prefix(1);
        while (!text.empty() && isSurroundingBlank(text.back())) text.remove_suffix(1);
    }
    const std::size_t n = text.size();
    std::size_t i = 0;
    auto skipBlanks = [&] {
        while (leading && i < n && isLeadingBlank(text[i])) ++i;
    };

    skipBlanks();
    if (i < n && isSign(text[i])) negative_ = text[i++] == '-';
    skipBlanks();
    const std::size_t mantissaStart = i;
    std::size_t mantissaEnd = i;  // just past the last digit or point: blanks after it are not its
    bool point = false;
    for (; i < n; ++i) {
        const char c = text[i];
        if (isDigit(c)) {
            anyDigit_ = true;
        } else if (c == '.' && !point) {
            point = true;
        } else if (leading && isLeadingBlank(c)) {
            blanksInside_ = true;
            continue;
        } else {
            break;
        }
        mantissaEnd = i + 1;
    }
    mantissa_ = text.substr(mantissaStart, mantissaEnd - mantissaStart);
    if (!anyDigit_) return leading;

    if (i < n && isExponentLetter(text[i])) {
        const std::size_t after = scanExponent(text, i, leading);
        if (after == i && !leading) return false;  // a letter without digits
        i = after;
    }
    return leading || i == n;
}

std::size_t DecimalNumber::scanExponent(std::string_view text, std::size_t letter, bool leading) {
    const std::size_t n = text.size();
    std::size_t j = letter + 1;
    while (leading && j < n && isLeadingBlank(text[j])) ++j;
    bool negative = false;
    if (j < n && isSign(text[j])) negative = text[j++] == '-';
    const std::size_t digitsStart = j;
    std::size_t digitsEnd = j;
    for (; j < n && (isDigit(text[j]) || (leading && isLeadingBlank(text[j]))); ++j)
        if (isDigit(text[j])) digitsEnd = j + 1;
    if (digitsEnd == digitsStart) return letter;
    exponent_ = saturatedExponent(negative, text.substr(digitsStart, digitsEnd - digitsStart));
    return j;
}

bool DecimalNumber::leadingPower(long long& power) const {
    long long wholeDigits = 0;
    long long zerosAfterPoint = 0;
    bool seenPoint = false;
    bool found = false;
    for (const char c : mantissa_) {
        if (c == '.') {
            seenPoint = true;
        } else if (!isDigit(c)) {
            continue;
        } else if (!seenPoint) {
            if (found || c != '0') {
                found = true;
                ++wholeDigits;
            }
        } else if (!found) {
            if (c != '0') found = true;
            if (c == '0') ++zerosAfterPoint;
        }
    }
    power = wholeDigits > 0 ? wholeDigits - 1 : -(zerosAfterPoint + 1);
    return found;
}

template <typename Float>
ReadStatus DecimalNumber::toBinary(Float& out) const {
    if (!anyDigit_) {
        out = 0;
        return ReadStatus::Ok;
    }
    // "[-]mantissa e exponent" for from_chars, in a local buffer unless the mantissa is absurdly
    // long.
    char small[96];
    std::string large;
    char* buf = small;
    const std::size_t need = mantissa_.size() + 32;
    if (need > sizeof small) {
        large.resize(need);
        buf = large.data();
    }
    std::size_t n = 0;
    if (negative_) buf[n++] = '-';
    if (mantissa_.front() == '.') buf[n++] = '0';
    if (blanksInside_) {
        for (const char c : mantissa_)
            if (!isLeadingBlank(c)) buf[n++] = c;
    } else {
        std::memcpy(buf + n, mantissa_.data(), mantissa_.size());
        n += mantissa_.size();
    }
    if (buf[n - 1] == '.') --n;
    buf[n++] = 'e';
    n = static_cast<std::size_t>(std::to_chars(buf + n, buf + need, exponent_).ptr - buf);

    Float v = 0;
    const auto r = std::from_chars(buf, buf + n, v, std::chars_format::scientific);
    if (r.ec == std::errc()) {
        out = v;
        return ReadStatus::Ok;
    }
    if (r.ec != std::errc::result_out_of_range) {
        out = 0;
        return ReadStatus::NotANumber;
    }
    // Out of range: an overflow when the first significant digit stands at a positive power of
    // ten, else too small for the type.
    long long power = 0;
    if (!leadingPower(power)) {
        out = 0;
        return ReadStatus::Ok;
    }
    if (power + exponent_ > 0) {
        out = negative_ ? -std::numeric_limits<Float>::infinity()
                        : std::numeric_limits<Float>::infinity();
        return ReadStatus::OutOfRange;
    }
    out = negative_ ? -Float(0) : Float(0);
    return ReadStatus::Ok;
}

ReadStatus DecimalNumber::toDouble(double& out) const {
    return toBinary(out);
}

ReadStatus DecimalNumber::toFloat(float& out) const {
    return toBinary(out);
}

std::int64_t DecimalNumber::nearestInteger() const {
    // How many digits of the mantissa stand before the point once the exponent has moved it; it
    // may be none, or more than the mantissa has (then zeros follow).
    long long wholeDigits = exponent_;
    for (const char c : mantissa_) {
        if (c == '.') break;
        if (isDigit(c)) ++wholeDigits;
    }
    // Exact rounding on the decimal digits: no binary floating point in between. The magnitude
    // stops growing once it is beyond 32 bits.
    constexpr std::int64_t kBeyond = std::int64_t{1} << 32;
    std::int64_t magnitude = 0;
    char firstFraction = '0';
    bool restNonZero = false;
    long long position = 0;
    for (const char c : mantissa_) {
        if (!isDigit(c)) continue;
        if (position < wholeDigits) {
            if (magnitude < kBeyond) magnitude = magnitude * 10 + (c - '0');
        } else if (position == wholeDigits) {
            firstFraction = c;
        } else if (c != '0') {
            restNonZero = true;
        }
        ++position;
    }
    for (; position < wholeDigits && magnitude != 0 && magnitude < kBeyond; ++position)
        magnitude *= 10;
    if (firstFraction > '5' || (firstFraction == '5' && (restNonZero || magnitude % 2 == 1)))
        ++magnitude;
    return negative_ ? -magnitude : magnitude;
}

}  // namespace qv
