#include "engine/conversions.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <system_error>

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
}

namespace {

// The digits of |value| rounded to 15 significant digits, and the power of ten of the first.
// Returns the digit count after trailing zeros are dropped.
int roundedDigits(double value, char (&digits)[kSignificantDigits], int& exp) {
    // Fast path: the shortest text that reads back as the value. When it has at most 15 digits
    // it is the 15-digit rounding; with 16 or 17 its tail decides the rounding, except when the
    // tail is exactly one "5", where only the exact binary value can break the tie.
    char sci[40];
    auto r = std::to_chars(sci, sci + sizeof sci, std::fabs(value), std::chars_format::scientific);
    char all[20];
    int n = 0;
    const char* p = sci;
    for (; *p != 'e'; ++p)
        if (*p != '.') all[n++] = *p;
    ++p;
    std::from_chars(*p == '+' ? p + 1 : p, r.ptr, exp);
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
        r = std::to_chars(sci, sci + sizeof sci, std::fabs(value), std::chars_format::scientific,
                          kSignificantDigits - 1);
        n = 0;
        for (p = sci; *p != 'e'; ++p)
            if (*p != '.') digits[n++] = *p;
        ++p;
        std::from_chars(*p == '+' ? p + 1 : p, r.ptr, exp);
    }
    while (n > 1 && digits[n - 1] == '0') --n;
    return n;
}

}  // namespace

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

namespace {

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}
bool isExponentLetter(char c) {
    return c == 'E' || c == 'e' || c == 'D' || c == 'd';
}

// A number taken apart into the pieces from_chars needs: the mantissa's characters (digits and
// at most one point, no sign) and the exponent, which may be far beyond what a double holds.
struct NumberParts {
    bool negative = false;
    std::string_view mantissa;
    bool anyDigit = false;
    long long exponent = 0;  // saturated
};

// Converts the parts to a double. Builds "[-]mantissa e exponent" in a local buffer, falling
// back to the heap only for absurdly long mantissas.
ReadStatus toDouble(const NumberParts& parts, double& out) {
    if (!parts.anyDigit) {
        out = 0.0;
        return ReadStatus::Ok;
    }
    // Strip leading zeros so the magnitude check below is simple; keep the point's position.
    std::string_view m = parts.mantissa;
    char small[96];
    std::string large;
    char* buf = small;
    const std::size_t need = m.size() + 32;
    if (need > sizeof small) {
        large.resize(need);
        buf = large.data();
    }
    std::size_t n = 0;
    if (parts.negative) buf[n++] = '-';
    if (!m.empty() && m.front() == '.') buf[n++] = '0';
    for (char c : m) buf[n++] = c;
    if (buf[n - 1] == '.') --n;
    buf[n++] = 'e';
    auto er = std::to_chars(buf + n, buf + need, parts.exponent);
    n = static_cast<std::size_t>(er.ptr - buf);

    double v = 0.0;
    auto r = std::from_chars(buf, buf + n, v, std::chars_format::scientific);
    if (r.ec == std::errc()) {
        out = v;
        return ReadStatus::Ok;
    }
    if (r.ec != std::errc::result_out_of_range) {
        out = 0.0;
        return ReadStatus::NotANumber;
    }
    // Out of range: overflow when the first significant digit stands at a positive power of ten.
    long long firstDigitPower = 0;
    bool found = false;
    long long intDigits = 0;
    bool seenPoint = false;
    long long leadingFractionZeros = 0;
    for (char c : m) {
        if (c == '.') {
            seenPoint = true;
            continue;
        }
        if (!seenPoint) {
            if (found || c != '0') {
                found = true;
                ++intDigits;
            }
        } else if (!found) {
            if (c == '0') {
                ++leadingFractionZeros;
            } else {
                found = true;
            }
        }
    }
    if (!found) {
        out = 0.0;  // all zeros
        return ReadStatus::Ok;
    }
    firstDigitPower = intDigits > 0 ? intDigits - 1 : -(leadingFractionZeros + 1);
    if (firstDigitPower + parts.exponent > 0) {
        out = parts.negative ? -std::numeric_limits<double>::infinity()
                             : std::numeric_limits<double>::infinity();
        return ReadStatus::OutOfRange;
    }
    out = parts.negative ? -0.0 : 0.0;
    return ReadStatus::Ok;
}

// Reads the exponent's digits, saturating far beyond any double's range.
long long saturatingExponent(bool negative, std::string_view digits) {
    long long e = 0;
    for (char c : digits) {
        if (c == ' ' || c == '\t' || c == '\n') continue;
        if (e < 100000000) e = e * 10 + (c - '0');
    }
    return negative ? -e : e;
}

}  // namespace

ReadStatus lenientRead(std::string_view text, double& out) {
    // Fast path: a plain run of up to 15 digits is exact in a double.
    if (!text.empty() && text.size() <= 15) {
        std::uint64_t v = 0;
        bool plain = true;
        for (char c : text) {
            if (!isDigit(c)) {
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
    // Blanks may stand anywhere, even between digits: collect the number's characters without
    // them. A text with blanks inside the mantissa is copied; the common case is a plain view.
    auto skippable = [](char c) { return c == ' ' || c == '\t' || c == '\n'; };
    std::size_t i = 0;
    const std::size_t n = text.size();
    auto skip = [&] {
        while (i < n && skippable(text[i])) ++i;
    };
    NumberParts parts;
    skip();
    if (i < n && (text[i] == '+' || text[i] == '-')) {
        parts.negative = text[i] == '-';
        ++i;
        skip();
    }
    std::string compact;  // used only when blanks interrupt the mantissa
    const std::size_t mStart = i;
    std::size_t mEnd = i;
    bool point = false;
    bool interrupted = false;
    while (i < n) {
        const char c = text[i];
        if (isDigit(c)) {
            parts.anyDigit = true;
        } else if (c == '.' && !point) {
            point = true;
        } else if (skippable(c)) {
            interrupted = true;
            ++i;
            continue;
        } else {
            break;
        }
        ++i;
        mEnd = i;
    }
    if (interrupted) {
        for (std::size_t k = mStart; k < mEnd; ++k)
            if (!skippable(text[k])) compact.push_back(text[k]);
        parts.mantissa = compact;
    } else {
        parts.mantissa = text.substr(mStart, mEnd - mStart);
    }
    // An exponent counts only when at least one digit follows its letter and sign.
    if (parts.anyDigit && i < n && isExponentLetter(text[i])) {
        std::size_t j = i + 1;
        while (j < n && skippable(text[j])) ++j;
        bool negExp = false;
        if (j < n && (text[j] == '+' || text[j] == '-')) {
            negExp = text[j] == '-';
            ++j;
        }
        const std::size_t dStart = j;
        std::size_t dEnd = j;
        while (j < n && (isDigit(text[j]) || skippable(text[j]))) {
            ++j;
            if (isDigit(text[j - 1])) dEnd = j;
        }
        if (dEnd > dStart)
            parts.exponent = saturatingExponent(negExp, text.substr(dStart, dEnd - dStart));
    }
    return toDouble(parts, out);
}

ReadStatus strictRead(std::string_view text, double& out) {
    auto blank = [](char c) { return c == ' ' || c == '\t'; };
    while (!text.empty() && blank(text.front())) text.remove_prefix(1);
    while (!text.empty() && blank(text.back())) text.remove_suffix(1);
    NumberParts parts;
    std::size_t i = 0;
    const std::size_t n = text.size();
    if (i < n && (text[i] == '+' || text[i] == '-')) {
        parts.negative = text[i] == '-';
        ++i;
    }
    const std::size_t mStart = i;
    bool point = false;
    while (i < n && (isDigit(text[i]) || (text[i] == '.' && !point))) {
        if (text[i] == '.')
            point = true;
        else
            parts.anyDigit = true;
        ++i;
    }
    parts.mantissa = text.substr(mStart, i - mStart);
    if (!parts.anyDigit) {
        out = 0.0;
        return ReadStatus::NotANumber;
    }
    if (i < n && isExponentLetter(text[i])) {
        ++i;
        bool negExp = false;
        if (i < n && (text[i] == '+' || text[i] == '-')) {
            negExp = text[i] == '-';
            ++i;
        }
        const std::size_t dStart = i;
        while (i < n && isDigit(text[i])) ++i;
        if (i == dStart) {
            out = 0.0;
            return ReadStatus::NotANumber;
        }
        parts.exponent = saturatingExponent(negExp, text.substr(dStart, i - dStart));
    }
    if (i != n) {
        out = 0.0;
        return ReadStatus::NotANumber;
    }
    return toDouble(parts, out);
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
