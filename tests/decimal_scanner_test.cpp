// The one decimal scanner behind every number the program reads: the board's lenient and strict
// reads and the settings' two readings. Each reading keeps its own rule about blanks, and all of
// them must give what an independent conversion of the same number gives.

#include <gtest/gtest.h>

#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <optional>
#include <random>
#include <string>
#include <string_view>

#include "engine/conversions.h"
#include "engine/decimal_scanner.h"
#include "settings/setting_texts.h"

using namespace qv;

namespace {

std::optional<double> leading(std::string_view text) {
    double v = 0;
    if (lenientRead(text, v) != ReadStatus::Ok) return std::nullopt;
    return v;
}

std::optional<double> wholeText(std::string_view text) {
    double v = 0;
    if (strictRead(text, v) != ReadStatus::Ok) return std::nullopt;
    return v;
}

// The same texts under both rules: what blanks, stray characters and incomplete exponents do.
TEST(DecimalScanner, TheTwoRulesOnTheSameTexts) {
    struct Row {
        const char* text;
        std::optional<double> leading;
        std::optional<double> whole;
    };
    const Row rows[] = {
        {"12.5", 12.5, 12.5},
        {" \t12.5\t ", 12.5, 12.5},
        {"\n12.5", 12.5, std::nullopt},  // a line feed surrounds nothing in a whole text
        {"1 2\t3\n.5", 123.5, std::nullopt},
        {"- 1 e - 2", -0.01, std::nullopt},
        {"12.5x", 12.5, std::nullopt},
        {"1.2.3", 1.2, std::nullopt},
        {"2e", 2.0, std::nullopt},
        {"2e+", 2.0, std::nullopt},
        {"2ex5", 2.0, std::nullopt},
        {"2d3", 2000.0, 2000.0},
        {"2D-3", 0.002, 0.002},
        {".5", 0.5, 0.5},
        {"5.", 5.0, 5.0},
        {"+5", 5.0, 5.0},
        {"+-5", 0.0, std::nullopt},
        {"HOURS_FULL", 0.0, std::nullopt},
        {"", 0.0, std::nullopt},
        {".", 0.0, std::nullopt},
        {"e5", 0.0, std::nullopt},
    };
    for (const Row& r : rows) {
        EXPECT_EQ(leading(r.text), r.leading) << '"' << r.text << '"';
        EXPECT_EQ(wholeText(r.text), r.whole) << '"' << r.text << '"';
    }
}

// A random number text in the form both rules share, and what std::from_chars makes of it.
struct NumberText {
    std::string text;
    std::string plain;  // the same number as from_chars reads it: "e" for the letter, no "+"
};

NumberText randomNumber(std::mt19937_64& rng) {
    auto pick = [&](int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng); };
    NumberText n;
    auto both = [&](char c) {
        n.text += c;
        n.plain += c;
    };
    const int sign = pick(3);
    if (sign == 1) both('-');
    if (sign == 2) n.text += '+';
    // Up to 25 digits before and after the point, and a one-digit exponent: every such number
    // lies well within the range of a float.
    const int intDigits = pick(4) == 0 ? 0 : 1 + pick(pick(8) == 0 ? 25 : 8);
    for (int i = 0; i < intDigits; ++i) both(static_cast<char>('0' + pick(10)));
    if (intDigits == 0 || pick(2) == 0) {
        both('.');
        const int fraction = (intDigits == 0 ? 1 : 0) + pick(pick(8) == 0 ? 25 : 8);
        for (int i = 0; i < fraction; ++i) both(static_cast<char>('0' + pick(10)));
    }
    if (pick(2) == 0) {
        n.text += "EeDd"[pick(4)];
        n.plain += 'e';
        if (pick(2) == 0) both("+-"[pick(2)]);
        both(static_cast<char>('0' + pick(10)));
    }
    return n;
}

template <typename Float>
std::optional<Float> reference(const std::string& plain) {
    Float v = 0;
    const auto r = std::from_chars(plain.data(), plain.data() + plain.size(), v);
    if (r.ec != std::errc() || r.ptr != plain.data() + plain.size()) return std::nullopt;
    return v;
}

template <typename Float>
bool sameBits(std::optional<Float> a, std::optional<Float> b) {
    return a.has_value() == b.has_value() &&
           (!a || std::bit_cast<std::uint64_t>(static_cast<double>(*a)) ==
                      std::bit_cast<std::uint64_t>(static_cast<double>(*b)));
}

// Every reading of a well-formed number is the correctly rounded value of the exact decimal
// number; blanks change it only as each reading's rule says.
TEST(DecimalScanner, EveryReadingGivesTheNumberItsTextHolds) {
    std::mt19937_64 rng(20261207);
    auto pick = [&](int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng); };
    for (int i = 0; i < 100000; ++i) {
        const NumberText n = randomNumber(rng);
        const std::optional<double> asDouble = reference<double>(n.plain);
        const std::optional<float> asFloat = reference<float>(n.plain);
        ASSERT_TRUE(asDouble && asFloat) << n.text;
        ASSERT_TRUE(sameBits(wholeText(n.text), asDouble)) << n.text;
        ASSERT_TRUE(sameBits(leading(n.text), asDouble)) << n.text;
        float single = 0;
        ASSERT_EQ(singleReading(n.text, single), ReadStatus::Ok) << n.text;
        ASSERT_TRUE(sameBits(std::optional<float>(single), asFloat)) << n.text;

        // Blanks and tabs around the number: still the number for every reading.
        const std::string around = std::string(" \t", 1 + pick(2)) + n.text + "\t ";
        ASSERT_TRUE(sameBits(wholeText(around), asDouble)) << around;
        ASSERT_EQ(singleReading(around, single), ReadStatus::Ok) << around;
        // A blank inside, or a character after: only the lenient read still sees the number.
        std::string inside = n.text;
        inside.insert(1 + static_cast<std::size_t>(pick(static_cast<int>(n.text.size()))), 1,
                      " \t\n"[pick(3)]);
        if (inside.back() != ' ' && inside.back() != '\t') {
            ASSERT_TRUE(sameBits(leading(inside), asDouble)) << '"' << inside << '"';
            ASSERT_EQ(wholeText(inside), std::nullopt) << '"' << inside << '"';
            ASSERT_EQ(singleReading(inside, single), ReadStatus::NotANumber) << inside;
        }
        const std::string trailed = n.text + "x";
        ASSERT_TRUE(sameBits(leading(trailed), asDouble)) << trailed;
        ASSERT_EQ(wholeText(trailed), std::nullopt) << trailed;
        std::int16_t integer = 0;
        ASSERT_EQ(integer16Reading(trailed, integer), ReadStatus::NotANumber) << trailed;
    }
}

// The nearest integer of the exact decimal number, ties to even, however the point is written
// and wherever the exponent moves it: a number of whole units, a fraction and a shift of the
// point, written in several ways.
TEST(DecimalScanner, IntegersRoundTheExactNumberHalfToEven) {
    std::mt19937_64 rng(7);
    auto pick = [&](int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng); };
    const char* const fractions[] = {
        "", "0", "4", "49999999999999999999", "5", "50", "500000000000000000001", "51", "9"};
    for (int i = 0; i < 20000; ++i) {
        const int whole = pick(2) == 0 ? pick(12) : pick(40000);
        const std::string fraction = fractions[pick(9)];
        const bool negative = pick(2) == 0;
        const bool up =
            !fraction.empty() &&
            (fraction[0] > '5' ||
             (fraction[0] == '5' &&
              (fraction.find_first_not_of('0', 1) != std::string::npos || whole % 2 == 1)));
        const long expected = (negative ? -1 : 1) * (whole + (up ? 1 : 0));

        // The point moved by up to three places either way, and an exponent that moves it back.
        const std::string units = std::to_string(whole);
        const int shift = pick(7) - 3;
        std::string text = "000" + units + fraction + "000";
        text.insert(static_cast<std::size_t>(3 + static_cast<int>(units.size()) + shift), 1, '.');
        if (negative) text.insert(0, 1, '-');
        text += 'e';
        text += std::to_string(-shift);

        std::int16_t got = 0;
        const ReadStatus status = integer16Reading(text, got);
        if (expected < -32768 || expected > 32767) {
            ASSERT_EQ(status, ReadStatus::OutOfRange) << text;
        } else {
            ASSERT_EQ(status, ReadStatus::Ok) << text;
            ASSERT_EQ(got, expected) << text;
        }
        DecimalNumber number;
        std::int32_t wide = 0;
        ASSERT_TRUE(number.scan(text, ScanRule::WholeText)) << text;
        ASSERT_EQ(number.toNearestInteger(wide), ReadStatus::Ok) << text;
        ASSERT_EQ(wide, expected) << text;
    }
}

TEST(DecimalScanner, RangesAndSignedZeros) {
    DecimalNumber n;
    double d = 0;
    float f = 0;
    std::int32_t i = 0;
    ASSERT_TRUE(n.scan("-1e-400", ScanRule::WholeText));
    EXPECT_EQ(n.toDouble(d), ReadStatus::Ok);
    EXPECT_TRUE(d == 0.0 && std::signbit(d));
    ASSERT_TRUE(n.scan("1e39", ScanRule::WholeText));
    EXPECT_EQ(n.toDouble(d), ReadStatus::Ok);
    EXPECT_EQ(n.toFloat(f), ReadStatus::OutOfRange);
    ASSERT_TRUE(n.scan("-1e309", ScanRule::WholeText));
    EXPECT_EQ(n.toDouble(d), ReadStatus::OutOfRange);
    EXPECT_TRUE(std::isinf(d) && d < 0);
    ASSERT_TRUE(n.scan("2147483647.5", ScanRule::WholeText));
    EXPECT_EQ(n.toNearestInteger(i), ReadStatus::OutOfRange);
    ASSERT_TRUE(n.scan("-2147483648.5", ScanRule::WholeText));
    EXPECT_EQ(n.toNearestInteger(i), ReadStatus::Ok);
    EXPECT_EQ(i, -2147483648);
    ASSERT_TRUE(n.scan("1e99999999999999999999", ScanRule::WholeText));
    EXPECT_EQ(n.toNearestInteger(i), ReadStatus::OutOfRange);
    ASSERT_TRUE(n.scan("0e99999999999999999999", ScanRule::WholeText));
    EXPECT_EQ(n.toNearestInteger(i), ReadStatus::Ok);
    EXPECT_EQ(i, 0);
}

}  // namespace
