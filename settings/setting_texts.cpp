#include "settings/setting_texts.h"

#include "engine/conversions.h"
#include "engine/decimal_scanner.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <system_error>

namespace qv {

namespace {

constexpr int kSingleDigits = 7;

}  // namespace

std::string singleText(float value) {
    if (std::isnan(value)) return "nan";
    if (std::isinf(value)) return value < 0 ? "-inf" : "inf";
    if (value == 0.0f) return "0";  // -0 too
    const float magnitude = std::fabs(value);
    char digits[17];
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
    while (n > 1 && digits[n - 1] == '0') --n;

    char out[48];
    return std::string(out, layoutDecimal(value < 0, digits, n, power, kSingleDigits, out));
}

std::string integer16Text(std::int16_t value) {
    char buf[8];
    return std::string(buf, std::to_chars(buf, buf + sizeof buf, value).ptr);
}

ReadStatus singleReading(std::string_view text, float& out) {
    DecimalNumber number;
    if (!number.scan(text, ScanRule::WholeText)) return ReadStatus::NotANumber;
    return number.toFloat(out);
}

ReadStatus integer16Reading(std::string_view text, std::int16_t& out) {
    DecimalNumber number;
    if (!number.scan(text, ScanRule::WholeText)) return ReadStatus::NotANumber;
    return number.toNearestInteger(out);
}

}  // namespace qv
