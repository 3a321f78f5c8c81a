// The uptime engine against the figures it must reproduce: conversions, the sampling step, the
// remainder cascade and the title, plus the faults a step must stop on.

#include <gtest/gtest.h>

#include <charconv>
#include <clocale>
#include <cmath>
#include <cstdint>
#include <limits>
#include <locale>
#include <random>
#include <string>

#include "engine/conversions.h"
#include "engine/field_board.h"
#include "engine/step_fault.h"
#include "engine/uptime_steps.h"

using namespace qv;

namespace {

std::string real(double v) {
    return std::string(realText(v).view());
}

double lenient(std::string_view s) {
    double v = -12345.0;
    EXPECT_EQ(lenientRead(s, v), ReadStatus::Ok) << s;
    return v;
}

std::int32_t whole(std::string_view s) {
    double x = 0;
    EXPECT_EQ(strictRead(s, x), ReadStatus::Ok) << s;
    std::int32_t w = -999;
    EXPECT_TRUE(wholePart(x, w)) << s;
    return w;
}

FieldBoard onePass(std::uint64_t tick) {
    FieldBoard board;
    std::string scratch;
    runOnePass(board, tick, scratch);
    return board;
}

}  // namespace

TEST(RealText, WritesFifteenSignificantDigitsInShortestForm) {
    struct Row {
        double value;
        const char* text;
    };
    const Row rows[] = {
        {0.125, "0.125"},
        {3.0, "3"},
        {25.016944444444446, "25.0169444444444"},
        {1.0 / 86400000.0, "1.15740740740741E-08"},
        {1000.0 / 86400000.0, "1.15740740740741E-05"},
        {1000.0 / 3600000.0, "2.77777777777778E-04"},  // would need 18 digits after the point
        {0.0001, "0.0001"},
        {-0.5, "-0.5"},
        {-0.0, "0"},
        {999999999999999.0, "999999999999999"},
        {1e15, "1E+15"},
        {1000000000000005.0, "1E+15"},  // exact tie at the 16th digit goes to even
        {1000000000000015.0, "1.00000000000002E+15"},
        {123456789012345678.0, "1.23456789012346E+17"},
        {1e300, "1E+300"},
        {0.1, "0.1"},
        {2.0 / 3.0, "0.666666666666667"},
        {59.99998333333333, "59.9999833333333"},
    };
    for (const Row& r : rows) EXPECT_EQ(real(r.value), r.text) << r.value;
}

TEST(RealText, MatchesExactRoundingOfTheBinaryValueEverywhere) {
    // The shortest-digits fast path must agree with rounding the exact binary value to 15
    // digits, across magnitudes and on exact ties at the 16th digit.
    std::mt19937_64 rng(20261207);
    std::uniform_real_distribution<double> mant(1.0, 10.0);
    std::uniform_int_distribution<int> expo(-20, 20);
    auto check = [](double x) {
        char buf[64];
        auto r = std::to_chars(buf, buf + sizeof buf, x, std::chars_format::scientific, 14);
        double expected = 0;
        std::from_chars(buf, r.ptr, expected);
        double got = 0;
        ASSERT_EQ(strictRead(realText(x).view(), got), ReadStatus::Ok);
        ASSERT_EQ(got, expected) << realText(x).view() << " for " << std::string(buf, r.ptr);
    };
    for (int i = 0; i < 200000; ++i) check(mant(rng) * std::pow(10.0, expo(rng)));
    for (std::uint64_t k = 0; k < 2000; ++k) {
        check(static_cast<double>(1000000000000000ULL + k));  // 16 digits, ties among them
        check(static_cast<double>(9999999999999000ULL + k));
    }
    for (double x : {0.5, 0.25, 0.125, 0.0625, 1.5, 2.5, 1125899906842624.5}) check(x);
}

TEST(LenientRead, TakesTheLeadingNumberAndIgnoresBlanks) {
    EXPECT_EQ(lenient("DAYS_ROUNDED_TB"), 0.0);
    EXPECT_EQ(lenient("24"), 24.0);
    EXPECT_EQ(lenient("1.0169444444444"), 1.0169444444444);
    EXPECT_EQ(lenient("3.17097919837646E-11"), 3.17097919837646E-11);
    EXPECT_EQ(lenient(" 1 2\t3\n"), 123.0);
    EXPECT_EQ(lenient("1d3"), 1000.0);
    EXPECT_EQ(lenient("2e"), 2.0);  // an exponent letter without digits is not part of it
    EXPECT_EQ(lenient("1.2.3"), 1.2);
    EXPECT_EQ(lenient("-.5"), -0.5);
    EXPECT_EQ(lenient("- 5x"), -5.0);
    EXPECT_EQ(lenient("7."), 7.0);
    EXPECT_EQ(lenient(""), 0.0);
    EXPECT_EQ(lenient("."), 0.0);
    EXPECT_EQ(lenient("1e-999"), 0.0);
    EXPECT_EQ(lenient("0e99999999999999999999"), 0.0);
    EXPECT_EQ(lenient(std::string(400, '0') + "12"), 12.0);
    double v = 0;
    EXPECT_EQ(lenientRead("1e999", v), ReadStatus::OutOfRange);
    EXPECT_EQ(lenientRead("-" + std::string(400, '9'), v), ReadStatus::OutOfRange);
}

TEST(StrictRead, AcceptsOnlyAWholeNumber) {
    double v = 0;
    EXPECT_EQ(strictRead(" 7 ", v), ReadStatus::Ok);
    EXPECT_EQ(v, 7.0);
    EXPECT_EQ(strictRead("1D2", v), ReadStatus::Ok);
    EXPECT_EQ(v, 100.0);
    EXPECT_EQ(strictRead("+.5", v), ReadStatus::Ok);
    EXPECT_EQ(v, 0.5);
    for (const char* bad : {"", " ", "abc", "1.5x", "1e", "1e+", ".", "-", "1 2", "1.2.3", "0x10"})
        EXPECT_EQ(strictRead(bad, v), ReadStatus::NotANumber) << bad;
    EXPECT_EQ(strictRead("1e999", v), ReadStatus::OutOfRange);
}

TEST(WholePartRule, IsNotTheFloorNearWholeNumbers) {
    struct Row {
        const char* text;
        std::int32_t count;
    };
    const Row rows[] = {
        {"0.99999999984", 0},
        {"1.0169444444444", 1},
        {"59.9999833333333", 59},
        {"60", 60},
        {"24", 24},
        {"3", 2},
        {"1", 0},
        {"0", 0},
        {"-0.0000001", -1},
        {"2.50000000001999", 2},
        {"0.999999999983999", 0},
        {"1.00000004", 0},
        {"1.00000006", 1},
        {"-1", -2},
        {"2147483647.6", 2147483647},
    };
    for (const Row& r : rows) EXPECT_EQ(whole(r.text), r.count) << r.text;
    std::int32_t w = 0;
    EXPECT_FALSE(wholePart(2147483648.6, w));
    EXPECT_FALSE(wholePart(-2147483650.0, w));
    EXPECT_FALSE(wholePart(std::numeric_limits<double>::infinity(), w));
}

TEST(SamplingStep, WritesTheTickCountAndItsQuotients) {
    struct Row {
        std::uint64_t tick;
        Field field;
        const char* text;
    };
    const Row rows[] = {
        {0, Field::YEARS_TB, "0"},
        {0, Field::SECS_TB, "0"},
        {1000, Field::SECS_TB, "1"},
        {1000, Field::DAYS_TB, "1.15740740740741E-05"},
        {86400000, Field::DAYS_TB, "1"},
        {86400000, Field::DAYS_MIRROR_TB, "1"},
        {90061000, Field::DAYS_TB, "1.04237268518519"},
        {90061000, Field::HOURS_TB, "25.0169444444444"},
        {2147483648, Field::DAYS_TB, "24.8551348148148"},
        {4294967295, Field::MONTHS_TB, "1.77536677207341"},
        {4294967295, Field::YEARS_TB, "0.136192519501522"},
    };
    for (const Row& r : rows) {
        FieldBoard board;
        samplingStep(board, r.tick);
        EXPECT_EQ(board.text(Field::START_TB), std::to_string(r.tick));
        EXPECT_EQ(board.text(r.field), r.text) << r.tick << " " << fieldName(r.field);
    }
    FieldBoard board;
    samplingStep(board, 86400000);
    EXPECT_EQ(board.DaysWhole, 0);  // the rule gives 0 for an odd whole number of days
    samplingStep(board, 90061000);
    EXPECT_EQ(board.DaysWhole, 1);
}

TEST(RemainderCascade, OnePassGivesTheWholeCounts) {
    struct Row {
        std::uint64_t tick;
        const char* d;
        const char* h;
        const char* m;
        const char* s;
        std::vector<std::pair<Field, const char*>> telling;
    };
    const Row rows[] = {
        {0, "0", "0", "0", "0", {{Field::SECONDS_DIFFERENCE_TB, "0"}}},
        {61500,
         "0",
         "0",
         "1",
         "1",
         {{Field::MINUTES_DIFFERENCE_LEFT_TB, "1.025"},
          {Field::SECONDS_LEFT_TB, "61.5"},
          {Field::SECONDS_DIFFERENCE_TB, "1.5"}}},
        {60000,
         "0",
         "0",
         "0",
         "60",
         {{Field::MINUTES_DIFFERENCE_LEFT_TB, "1"}, {Field::SECONDS_DIFFERENCE_TB, "60"}}},
        {3600000, "0", "0", "60", "0", {{Field::HOURS_LEFT_TB, "1"}}},
        {3661000,
         "0",
         "1",
         "1",
         "0",
         {{Field::HOURS_LEFT_TB, "1.01694444444444"},
          {Field::MINUTES_LEFT_X_60_TB, "61.0166666666664"},
          {Field::MINUTES_DIFFERENCE_LEFT_TB, "1.0166666666664"},
          {Field::SECONDS_DIFFERENCE_TB, "0.999999999983999"}}},
        {7322500, "0", "2", "2", "2", {{Field::SECONDS_DIFFERENCE_TB, "2.50000000001999"}}},
        {86400000, "0", "24", "0", "0", {{Field::DAYS_TB, "1"}}},
        {90061500,
         "1",
         "1",
         "1",
         "1",
         {{Field::HOURS_FULL, "24"}, {Field::HOURS_LEFT_TB, "1.0170833333333"}}},
        {123456789,
         "1",
         "10",
         "17",
         "36",
         {{Field::HOURS_LEFT_TB, "10.2935525"},
          {Field::MINUTES_DIFFERENCE_LEFT_TB, "17.61315"},
          {Field::SECONDS_LEFT_TB, "1056.789"},
          {Field::SECONDS_ROUNDED_TB, "1020"},
          {Field::SECONDS_DIFFERENCE_TB, "36.789"}}},
        {4294967295, "49", "17", "2", "47", {{Field::HOURS_LEFT_TB, "17.04647083333"}}},
    };
    for (const Row& r : rows) {
        FieldBoard b;
        std::string scratch;
        const std::string title(runOnePass(b, r.tick, scratch));
        EXPECT_EQ(title, std::string("QV-TICKSPAN: ") + r.d + "d, " + r.h + "h, " + r.m + "m, " +
                             r.s + "s")
            << r.tick;
        EXPECT_EQ(b.text(Field::DAYS_ROUNDED_TB), r.d) << r.tick;
        EXPECT_EQ(b.text(Field::HOURS_ROUNDED_TB), r.h) << r.tick;
        EXPECT_EQ(b.text(Field::MINUTES_DIFFERENCE_ROUNDED_TB), r.m) << r.tick;
        EXPECT_EQ(b.text(Field::SECONDS_DIFFERENCE_ROUNDED_TB), r.s) << r.tick;
        for (const auto& [field, text] : r.telling)
            EXPECT_EQ(b.text(field), text) << r.tick << " " << fieldName(field);
    }
}

TEST(RemainderCascade, StepsBeforeTheirUpperStepReadInitialNamesAsZero) {
    FieldBoard board;
    std::string scratch;
    // The title composed before any step has run joins the fields' initial texts, their names.
    EXPECT_EQ(composeTitle(board, scratch),
              "QV-TICKSPAN: DAYS_ROUNDED_TBd, HOURS_ROUNDED_TBh, MINUTES_DIFFERENCE_ROUNDED_TBm, "
              "SECONDS_DIFFERENCE_ROUNDED_TBs");
    samplingStep(board, 123456789);
    // The second step runs before the minute step has ever written its whole count.
    board.setText(Field::MINUTES_DIFFERENCE_LEFT_TB, "17.61315");
    secondStep(board);
    EXPECT_EQ(board.text(Field::SECONDS_ROUNDED_TB), "0");
    EXPECT_EQ(board.text(Field::SECONDS_DIFFERENCE_TB), board.text(Field::SECONDS_LEFT_TB));
    // The hour step before the day step has run takes all the hours as hours left.
    hourStep(board);
    EXPECT_EQ(board.text(Field::HOURS_LEFT_TB), board.text(Field::HOURS_TB));
}

TEST(RemainderCascade, SixtyFourBitTicksGoPastFortyNineDays) {
    // 60 days and 1 hour, 1 minute and 30 seconds: a 32-bit count would have wrapped.
    const FieldBoard b = onePass(60ULL * 86400000 + 3690000);
    EXPECT_EQ(b.text(Field::START_TB), "5187690000");
    EXPECT_EQ(b.text(Field::DAYS_ROUNDED_TB), "60");
    EXPECT_EQ(b.text(Field::HOURS_ROUNDED_TB), "1");
    EXPECT_EQ(b.text(Field::MINUTES_DIFFERENCE_ROUNDED_TB), "1");
    EXPECT_EQ(b.text(Field::SECONDS_DIFFERENCE_ROUNDED_TB), "30");
}

TEST(StepFaults, StopTheStepAndKeepEarlierWrites) {
    FieldBoard board;
    board.setText(Field::TOTAL_MIL_DAY, "0");
    try {
        samplingStep(board, 90061000);
        FAIL() << "a zero unit must stop the step";
    } catch (const ArithmeticFault& f) {
        EXPECT_EQ(f.field(), "TOTAL_MIL_DAY");
        EXPECT_EQ(f.text(), "0");
    }
    EXPECT_EQ(board.text(Field::WEEKS_TB), "0.148910383597884");  // written before the fault
    EXPECT_EQ(board.text(Field::DAYS_TB), "DAYS_TB");             // never reached
    EXPECT_EQ(board.DaysWhole, 0);

    // An hour count beyond 32 bits stops the hour step after HOURS_LEFT_TB.
    FieldBoard big;
    big.HoursWhole = 7;
    big.setText(Field::HOURS_TB, "1e300");
    EXPECT_THROW(hourStep(big), ArithmeticFault);
    EXPECT_EQ(big.text(Field::HOURS_LEFT_TB), "1E+300");
    EXPECT_EQ(big.text(Field::HOURS_ROUNDED_TB), "HOURS_ROUNDED_TB");
    EXPECT_EQ(big.HoursWhole, 7);

    // A product that overflows is caught before anything is written.
    FieldBoard huge;
    huge.setText(Field::HOURS_LEFT_TB, "1e300");
    huge.setText(Field::MINS_60_TB, "1e300");
    EXPECT_THROW(minuteStep(huge), ArithmeticFault);
    EXPECT_EQ(huge.text(Field::MINUTES_LEFT_X_60_TB), "MINUTES_LEFT_X_60_TB");

    // A message quotes the text, with control bytes escaped.
    const TypeFault t("X_TB", std::string("a\x01") + std::string(100, 'b'));
    EXPECT_NE(std::string(t.what()).find("a\\x01bbb"), std::string::npos);
    EXPECT_NE(std::string(t.what()).find("..."), std::string::npos);
}

TEST(Locale, ConversionsIgnoreTheProcessLocale) {
    // A German locale writes "0,125" through printf; the engine must not care. The locale must
    // exist (scripts/test generates it): a missing locale is a failure, not a skip.
    const char* names[] = {"de_DE.UTF-8", "de_DE.utf8", "German_Germany.1252", "de-DE"};
    bool set = false;
    for (const char* n : names) set = set || std::setlocale(LC_ALL, n) != nullptr;
    ASSERT_TRUE(set) << "no German locale on this machine (Debian: locales, de_DE.UTF-8)";
    try {
        std::locale::global(std::locale(""));
    } catch (...) {
        // Some C++ runtimes know only the classic locale; the C locale above still applies.
    }
    EXPECT_EQ(real(0.125), "0.125");
    EXPECT_EQ(real(1.0 / 86400000.0), "1.15740740740741E-08");
    EXPECT_EQ(lenient("1.5"), 1.5);
    EXPECT_EQ(whole("59.9999833333333"), 59);
    const FieldBoard b = onePass(123456789);
    EXPECT_EQ(b.text(Field::SECONDS_DIFFERENCE_TB), "36.789");
    std::locale::global(std::locale::classic());
    std::setlocale(LC_ALL, "C");
}
