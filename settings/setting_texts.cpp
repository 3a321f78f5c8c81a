#include "settings/setting_texts.h"

#include "engine/conversions.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <system_error>

namespace qv {

namespace {

constexpr int kSingleDigits = 7;
// Exponents are saturated here: far beyond any float, far below any length a text could give
// the mantissa, so saturation never changes a result.
constexpr long long kExponentLimit = 1'000'000'000'000LL;

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// A decimal number taken apart. The value is 0.d1d2d3... x 10^(power + 1), where `digits` are the
// significant digits (no leading or trailing zeros) and `power` is the power of ten of the first.
struct Decimal {
    bool negative = false;
    std::string digits;  // empty for zero
    long long power = 0;
};

bool splitDecimal(std::string_view text, Decimal& out) {
    auto blank = [](char c) { return c == ' ' || c == '\t'; };
    while (!text.empty() && blank(text.front())) text.remove_prefix(1);
    while (!text.empty() && blank(text.back())) text.remove_suffix(1);
    std::size_t i = 0;
    const std::size_t n = text.size();
    if (i < n && (text[i] == '+' || text[i] == '-')) {
        out.negative = text[i] == '-';
        ++i;
    }
    const std::size_t intStart = i;
    while (i < n && isDigit(text[i])) ++i;
    const std::string_view intPart = text.substr(intStart, i - intStart);
    std::string_view fracPart;
    if (i < n && text[i] == '.') {
        const std::size_t fracStart = ++i;
        while (i < n && isDigit(text[i])) ++i;
        fracPart = text.substr(fracStart, i - fracStart);
    }
    if (intPart.empty() && fracPart.empty()) return false;
    long long exponent = 0;
    if (i < n && (text[i] == 'E' || text[i] == 'e' || text[i] == 'D' || text[i] == 'd')) {
        ++i;
        bool negExp = false;
        if (i < n && (text[i] == '+' || text[i] == '-')) {
            negExp = text[i] == '-';
            ++i;
        }
        const std::size_t expStart = i;
        for (; i < n && isDigit(text[i]); ++i)
            if (exponent < kExponentLimit) exponent = exponent * 10 + (text[i] - '0');
        if (i == expStart) return false;
        if (negExp) exponent = -exponent;
    }
    if (i != n) return false;

    // Significant digits over both parts, and the power of the first one.
    std::size_t first = 0;
    const std::size_t total = intPart.size() + fracPart.size();
    auto at = [&](std::size_t k) {
        return k < intPart.size() ? intPart[k] : fracPart[k - intPart.size()];
    };
    while (first < total && at(first) == '0') ++first;
    if (first == total) return true;  // zero
    std::size_t last = total;
    while (at(last - 1) == '0') --last;
    out.digits.reserve(last - first);
    for (std::size_t k = first; k < last; ++k) out.digits += at(k);
    out.power =
        static_cast<long long>(intPart.size()) - 1 - static_cast<long long>(first) + exponent;
    return true;
}

// Digits and power of ten of |value| in scientific form with `precision` digits after the point
// (-1: the shortest that reads back as the value), trailing zeros dropped.
int scientificDigits(float value, int precision, char (&digits)[16], int& power) {
    char sci[48];
    const auto r =
        precision < 0
            ? std::to_chars(sci, sci + sizeof sci, value, std::chars_format::scientific)
            : std::to_chars(sci, sci + sizeof sci, value, std::chars_format::scientific, precision);
    int n = 0;
    const char* p = sci;
    for (; *p != 'e'; ++p)
        if (*p != '.') digits[n++] = *p;
    ++p;
    std::from_chars(*p == '+' ? p + 1 : p, r.ptr, power);
    while (n > 1 && digits[n - 1] == '0') --n;
    return n;
}

}  // namespace

std::string singleText(float value) {
    if (std::isnan(value)) return "nan";
    if (std::isinf(value)) return value < 0 ? "-inf" : "inf";
    if (value == 0.0f) return "0";  // -0 too
    const float magnitude = std::fabs(value);
    char digits[16];
    int power = 0;
    int n = scientificDigits(magnitude, kSingleDigits - 1, digits, power);
    // Seven digits are not always enough to tell neighbouring floats apart.
    {
        char check[48];
        check[0] = digits[0];
        check[1] = '.';
        std::memcpy(check + 2, digits + 1, static_cast<std::size_t>(n - 1));
        std::size_t len = static_cast<std::size_t>(n + 1);
        check[len++] = 'e';
        len = static_cast<std::size_t>(std::to_chars(check + len, check + sizeof check, power).ptr -
                                       check);
        float back = 0.0f;
        const auto r = std::from_chars(check, check + len, back, std::chars_format::scientific);
        if (r.ec != std::errc() || back != magnitude)
            n = scientificDigits(magnitude, -1, digits, power);
    }

    char out[48];
    return std::string(out, layoutDecimal(value < 0, digits, n, power, kSingleDigits, out));
}

std::string integer16Text(std::int16_t value) {
    char buf[8];
    return std::string(buf, std::to_chars(buf, buf + sizeof buf, value).ptr);
}

TextReading singleReading(std::string_view text, float& out) {
    Decimal d;
    if (!splitDecimal(text, d)) return TextReading::NotANumber;
    const float zero = d.negative ? -0.0f : 0.0f;
    // FLT_MAX is about 3.4E+38 and the smallest subnormal about 1.4E-45.
    if (d.digits.empty() || d.power < -46) {
        out = zero;
        return TextReading::Ok;
    }
    if (d.power > 38) return TextReading::OutOfRange;
    std::string sci;
    sci.reserve(d.digits.size() + 8);
    if (d.negative) sci += '-';
    sci += d.digits[0];
    if (d.digits.size() > 1) {
        sci += '.';
        sci.append(d.digits, 1);
    }
    sci += 'e';
    char e[8];
    sci.append(e, std::to_chars(e, e + sizeof e, d.power).ptr);
    float v = 0.0f;
    const auto r =
        std::from_chars(sci.data(), sci.data() + sci.size(), v, std::chars_format::scientific);
    if (r.ec == std::errc::result_out_of_range) {
        if (d.power >= 38) return TextReading::OutOfRange;
        out = zero;  // below the smallest subnormal
        return TextReading::Ok;
    }
    if (r.ec != std::errc()) return TextReading::NotANumber;
    out = v;
    return TextReading::Ok;
}

TextReading integer16Reading(std::string_view text, std::int16_t& out) {
    Decimal d;
    if (!splitDecimal(text, d)) return TextReading::NotANumber;
    if (d.digits.empty() || d.power < -1) {  // below 0.1: rounds to 0
        out = 0;
        return TextReading::Ok;
    }
    if (d.power >= 5) return TextReading::OutOfRange;
    // Exact rounding on the decimal digits: no binary floating point in between.
    const std::size_t wholeDigits = static_cast<std::size_t>(d.power + 1);
    long magnitude = 0;
    for (std::size_t k = 0; k < wholeDigits; ++k)
        magnitude = magnitude * 10 + (k < d.digits.size() ? d.digits[k] - '0' : 0);
    if (wholeDigits < d.digits.size()) {
        const char firstFraction = d.digits[wholeDigits];
        // Trailing zeros are gone, so any digit after a "5" makes it more than one half.
        const bool moreThanHalf =
            firstFraction > '5' || (firstFraction == '5' && d.digits.size() > wholeDigits + 1);
        const bool half = firstFraction == '5' && d.digits.size() == wholeDigits + 1;
        if (moreThanHalf || (half && magnitude % 2 == 1)) ++magnitude;
    }
    const long value = d.negative ? -magnitude : magnitude;
    if (value < -32768 || value > 32767) return TextReading::OutOfRange;
    out = static_cast<std::int16_t>(value);
    return TextReading::Ok;
}

}  // namespace qv
