#include "engine/conversions.h"

#include <charconv>
#include <cmath>
#include <cstring>

namespace qv {

NumberText integerText(std::int64_t value) {
    NumberText t;
    auto r = std::to_chars(t.buf_.data(), t.buf_.data() + t.buf_.size(), value);
    t.len_ = static_cast<std::size_t>(r.ptr - t.buf_.data());
    return t;
}

NumberText unsignedText(std::uint64_t value) {
    NumberText t;
    auto r = std::to_chars(t.buf_.data(), t.buf_.data() + t.buf_.size(), value);
    t.len_ = static_cast<std::size_t>(r.ptr - t.buf_.data());
    return t;
}

namespace {

constexpr int kSignificantDigits = 15;

template <typename Float>
int digitsOf(Float value, int precision, char* digits, int& power) {
    char sci[48];
    const Float magnitude = std::fabs(value);
    const auto r = precision < 0 ? std::to_chars(sci, sci + sizeof sci, magnitude,
                                                 std::chars_format::scientific)
                                 : std::to_chars(sci, sci + sizeof sci, magnitude,
                                                 std::chars_format::scientific, precision);
    int n = 0;
    const char* p = sci;
    for (; *p != 'e'; ++p)
        if (*p != '.') digits[n++] = *p;
    ++p;
    std::from_chars(*p == '+' ? p + 1 : p, r.ptr, power);
    return n;
}

// The digits of |value| rounded to 15 significant digits, and the power of ten of the first.
// Returns the digit count after trailing zeros are dropped.
int roundedDigits(double value, char (&digits)[kSignificantDigits], int& exp) {
    // Fast path: the shortest text that reads back as the value. When it has at most 15 digits
    // it is the 15-digit rounding; with 16 or 17 its tail decides the rounding, except when the
    // tail is exactly one "5", where only the exact binary value can break the tie.
    char all[20];
    int n = digitsOf(value, -1, all, exp);
    const bool exactTie = n == kSignificantDigits + 1 && all[kSignificantDigits] == '5';
    if (!exactTie) {
        const bool up = n > kSignificantDigits && all[kSignificantDigits] >= '5';
        if (n > kSignificantDigits) n = kSignificantDigits;
        std::memcpy(digits, all, static_cast<std::size_t>(n));
        if (up) {
            int i = n - 1;
            while (i >= 0 && digits[i] == '9') digits[i--] = '0';
            if (i >= 0) {
                ++digits[i];
            } else {  // 9.99...9 rounded up to 10
                digits[0] = '1';
                n = 1;
                ++exp;
            }
        }
    } else {
        // Exactly halfway on the shortest text: round the exact binary value, ties to even.
        n = digitsOf(value, kSignificantDigits - 1, digits, exp);
    }
    while (n > 1 && digits[n - 1] == '0') --n;
    return n;
}

}  // namespace

int scientificDigits(double value, int precision, char* digits, int& power) {
    return digitsOf(value, precision, digits, power);
}

int scientificDigits(float value, int precision, char* digits, int& power) {
    return digitsOf(value, precision, digits, power);
}

std::size_t layoutDecimal(bool negative, const char* digits, int count, int power, int width,
                          char* out) {
    std::size_t n = 0;
    if (negative) out[n++] = '-';
    const int fractionDigits = count - 1 - power;  // digits the fixed form needs after the point
    if (power >= width || fractionDigits > width) {
        out[n++] = digits[0];
        if (count > 1) {
            out[n++] = '.';
            std::memcpy(out + n, digits + 1, static_cast<std::size_t>(count - 1));
            n += static_cast<std::size_t>(count - 1);
        }
        out[n++] = 'E';
        out[n++] = power < 0 ? '-' : '+';
        const int mag = power < 0 ? -power : power;
        if (mag < 10) out[n++] = '0';
        n = static_cast<std::size_t>(std::to_chars(out + n, out + n + 8, mag).ptr - out);
    } else if (power < 0) {
        out[n++] = '0';
        out[n++] = '.';
        for (int i = 0; i < -power - 1; ++i) out[n++] = '0';
        std::memcpy(out + n, digits, static_cast<std::size_t>(count));
        n += static_cast<std::size_t>(count);
    } else {
        for (int i = 0; i <= power; ++i) out[n++] = i < count ? digits[i] : '0';
        if (count > power + 1) {
            out[n++] = '.';
            std::memcpy(out + n, digits + power + 1, static_cast<std::size_t>(count - power - 1));
            n += static_cast<std::size_t>(count - power - 1);
        }
    }
    return n;
}

NumberText realText(double value) {
    NumberText t;
    char* out = t.buf_.data();
    if (value == 0.0 || !std::isfinite(value)) {  // -0 is written "0" too
        out[0] = '0';
        t.len_ = 1;
        return t;
    }
    char digits[kSignificantDigits];
    int exp = 0;
    const int nd = roundedDigits(value, digits, exp);
    const std::size_t n = layoutDecimal(value < 0, digits, nd, exp, kSignificantDigits, out);
    t.len_ = n;
    return t;
}

ReadStatus lenientRead(std::string_view text, double& out) {
    // Fast path: a plain run of up to 15 digits is exact in a double.
    if (!text.empty() && text.size() <= 15) {
        std::uint64_t v = 0;
        bool plain = true;
        for (char c : text) {
            if (c < '0' || c > '9') {
                plain = false;
                break;
            }
            v = v * 10 + static_cast<std::uint64_t>(c - '0');
        }
        if (plain) {
            out = static_cast<double>(v);
            return ReadStatus::Ok;
        }
    }
    DecimalNumber number;
    number.scan(text, ScanRule::Leading);
    return number.toDouble(out);
}

ReadStatus strictRead(std::string_view text, double& out) {
    DecimalNumber number;
    if (!number.scan(text, ScanRule::WholeText)) {
        out = 0.0;
        return ReadStatus::NotANumber;
    }
    return number.toDouble(out);
}

double roundHalfEven(double x) {
    const double f = std::floor(x);
    const double diff = x - f;
    if (diff > 0.5) return f + 1.0;
    if (diff < 0.5) return f;
    return std::fmod(f, 2.0) == 0.0 ? f : f + 1.0;
}

bool wholePart(double x, std::int32_t& out) {
    if (!std::isfinite(x)) return false;
    const double y = x - 0.5;
    if (std::fabs(y) > 4.0e9) return false;  // far outside 32 bits; spares the text round trip
    // y - floor(y) is exact, and rounding to 7 places commutes with adding the integer part, so
    // only a fraction near one half needs the exact decimal rounding below.
    const double f = std::floor(y);
    const double frac = y - f;
    if (frac < 0.4999999 || frac > 0.5000001) {
        const double w = frac < 0.5 ? f : f + 1.0;
        if (w < -2147483648.0 || w > 2147483647.0) return false;
        out = static_cast<std::int32_t>(w);
        return true;
    }
    // Round to 7 decimal places on the exact decimal value of y.
    char buf[48];
    auto r = std::to_chars(buf, buf + sizeof buf, y, std::chars_format::fixed, 7);
    double rounded = 0.0;
    std::from_chars(buf, r.ptr, rounded, std::chars_format::fixed);
    const double whole = roundHalfEven(rounded);
    if (whole < -2147483648.0 || whole > 2147483647.0) return false;
    out = static_cast<std::int32_t>(whole);
    return true;
}

}  // namespace qv
