// The settings store over the in-memory backend: the number texts in both directions, the key
// table as the windows read it, and what happens to texts the readings reject and to saves the
// store refuses.

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cfloat>
#include <charconv>
#include <clocale>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <locale>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "platform/headless/memory_settings.h"
#include "settings/settings_store.h"
#include "tests/captured_warnings.h"

using namespace qv;
using namespace qv::headless;

namespace {

std::optional<float> single(std::string_view text) {
    float v = 0;
    if (!readSingleText(text, v)) return std::nullopt;
    return v;
}

std::optional<int> integer16(std::string_view text) {
    std::int16_t v = 0;
    if (!readInteger16Text(text, v)) return std::nullopt;
    return v;
}

struct ReadingCase {
    std::string text;
    std::optional<float> single;
    std::optional<int> integer;
};

TEST(SettingTexts, ReadingsOfTheEdgeCases) {
    const std::string tenThousandNines(10000, '9');
    const std::string tenThousandLongOne = std::string(9999, '0') + "1";
    const std::vector<ReadingCase> cases = {
        {"1000", 1000.0f, 1000},
        {"-120", -120.0f, -120},
        {"1.5", 1.5f, 2},
        {"2.5", 2.5f, 2},
        {"0.5", 0.5f, 0},
        {"-0.5", -0.5f, 0},
        {"-1.5", -1.5f, -2},
        {"32767.4", 32767.4f, 32767},
        {"32767.5", 32767.5f, std::nullopt},
        {"-32768.5", -32768.5f, -32768},
        {"-32768.5000001", -32768.5f, std::nullopt},
        {"1E3", 1000.0f, 1000},
        {"1d3", 1000.0f, 1000},
        {"1D-1", 0.1f, 0},
        {" 7 ", 7.0f, 7},
        {"\t+7.\t", 7.0f, 7},
        {".5e1", 5.0f, 5},
        {"abc", std::nullopt, std::nullopt},
        {"", std::nullopt, std::nullopt},
        {"   ", std::nullopt, std::nullopt},
        {".", std::nullopt, std::nullopt},
        {"1e", std::nullopt, std::nullopt},
        {"- 5", std::nullopt, std::nullopt},
        {"1 000", std::nullopt, std::nullopt},
        {"1,5", std::nullopt, std::nullopt},
        {"0x10", std::nullopt, std::nullopt},
        {"nan", std::nullopt, std::nullopt},
        {"inf", std::nullopt, std::nullopt},
        {"3.5e38", std::nullopt, std::nullopt},
        {"1e39", std::nullopt, std::nullopt},
        {"1e999", std::nullopt, std::nullopt},
        {"1e99999999999999999999", std::nullopt, std::nullopt},
        {tenThousandNines, std::nullopt, std::nullopt},
        {tenThousandLongOne, 1.0f, 1},
        {"3.4028235e38", FLT_MAX, std::nullopt},
        {"1e-50", 0.0f, 0},
        {"1e-99999999999999999999", 0.0f, 0},
        // Exact decimal rounding: through a double this would be a tie and read 0.
        {"0.50000000000000000001", 0.5f, 1},
        {"65535.5e-1", 6553.55f, 6554},
    };
    for (const auto& c : cases) {
        const std::string shown = c.text.substr(0, 40);
        EXPECT_EQ(single(c.text), c.single) << '"' << shown << '"';
        EXPECT_EQ(integer16(c.text), c.integer) << '"' << shown << '"';
    }
}

TEST(SettingTexts, RangeAndFormRejectionsAreTold) {
    float f = 0;
    std::int16_t i = 0;
    EXPECT_EQ(singleReading("1e39", f), ReadStatus::OutOfRange);
    EXPECT_EQ(singleReading("-1e39", f), ReadStatus::OutOfRange);
    EXPECT_EQ(singleReading("1e-39x", f), ReadStatus::NotANumber);
    EXPECT_EQ(integer16Reading("32768", i), ReadStatus::OutOfRange);
    EXPECT_EQ(integer16Reading("-32769", i), ReadStatus::OutOfRange);
    EXPECT_EQ(integer16Reading("1e5", i), ReadStatus::OutOfRange);
    EXPECT_EQ(integer16Reading("one", i), ReadStatus::NotANumber);
}

TEST(SettingTexts, SingleTextForms) {
    const std::vector<std::pair<float, std::string>> cases = {
        {1000.0f, "1000"},
        {-120.0f, "-120"},
        {1.5f, "1.5"},
        {0.0f, "0"},
        {-0.0f, "0"},
        {0.1f, "0.1"},
        {-0.0001234f, "-0.0001234"},
        {0.00001234f, "1.234E-05"},
        {9999999.0f, "9999999"},
        {10000000.0f, "1E+07"},
        {20000000.0f, "2E+07"},
        {12345678.0f, "1.2345678E+07"},
        {123456789.0f, "1.2345679E+08"},
        // Seven digits would read back as a neighbour: the text takes what it needs.
        {16777216.0f, "1.6777216E+07"},
        {1.0000001f, "1.0000001"},
        {FLT_MAX, "3.4028235E+38"},
        {std::numeric_limits<float>::denorm_min(), "1.401298E-45"},
    };
    for (const auto& [value, text] : cases) EXPECT_EQ(singleText(value), text) << value;
    EXPECT_EQ(integer16Text(-32768), "-32768");
    EXPECT_EQ(integer16Text(1), "1");
}

// Every finite float comes back exactly, with seven significant digits wherever they suffice.
TEST(SettingTexts, SingleTextsReadBackExactly) {
    std::mt19937 rng(20261207);
    std::uniform_int_distribution<std::uint32_t> bits;
    for (int n = 0; n < 300000; ++n) {
        // Every third value a whole number of twips, the common case; the rest any bit pattern.
        const float value = n % 3 == 0
                                ? static_cast<float>(static_cast<int>(bits(rng) % 400001) - 200000)
                                : std::bit_cast<float>(bits(rng));
        if (!std::isfinite(value)) continue;
        const std::string text = singleText(value);
        float back = -1;
        ASSERT_TRUE(readSingleText(text, back)) << text;
        ASSERT_EQ(back, value) << text;
        // Seven significant digits whenever they give the value back, else no more than nine.
        const std::string mantissa = text.substr(0, text.find('E'));
        const auto first = mantissa.find_first_not_of("-0.");
        const bool fixedWhole =
            mantissa.find_first_of(".E") == std::string::npos && text == mantissa;
        if (first == std::string::npos || fixedWhole) continue;  // "1000" counts its zeros
        const auto digits = static_cast<std::size_t>(
            std::count_if(mantissa.begin() + static_cast<std::ptrdiff_t>(first), mantissa.end(),
                          [](char c) { return c >= '0' && c <= '9'; }));
        float seven = 0;
        char buf[32];
        std::from_chars(
            buf, std::to_chars(buf, buf + 32, value, std::chars_format::scientific, 6).ptr, seven);
        ASSERT_LE(digits, seven == value ? 7u : 9u) << text;
    }
}

TEST(SettingTexts, EveryInteger16ComesBack) {
    for (int v = -32768; v <= 32767; ++v) {
        std::int16_t back = 0;
        ASSERT_TRUE(readInteger16Text(integer16Text(static_cast<std::int16_t>(v)), back));
        ASSERT_EQ(back, v);
    }
}

// A German locale writes "1,5" through printf and reads "1.5" as 1 through strtod; the
// conversions must not notice it.
TEST(SettingTexts, GermanLocaleChangesNothing) {
    // Linux and Windows spell the locale differently; a missing one fails, never skips.
    bool set = false;
    for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "German_Germany.1252", "de-DE"})
        set = set || std::setlocale(LC_ALL, name) != nullptr;
    ASSERT_TRUE(set) << "no German locale on this machine (scripts/test enables de_DE.UTF-8)";
    ASSERT_STREQ(std::localeconv()->decimal_point, ",");
    try {
        std::locale::global(std::locale(""));
    } catch (...) {
        // A C++ runtime that knows only the classic locale: the C locale above still applies.
    }
    EXPECT_EQ(singleText(1234.5f), "1234.5");
    EXPECT_EQ(singleText(0.00001234f), "1.234E-05");
    EXPECT_EQ(single("1234.5"), 1234.5f);
    EXPECT_EQ(single("1,5"), std::nullopt);
    EXPECT_EQ(integer16("2.5"), 2);
    std::locale::global(std::locale::classic());
    std::setlocale(LC_ALL, "C");
}

// ---------------------------------------------------------------------------------------------

class StoreTest : public ::testing::Test {
  protected:
    MemorySettingsBackend backend;
    FixedSection section{"qv-tickspan"};
    HandlerGuard guard;
    test::CapturedWarnings warnings{guard};
    std::vector<std::string>& reports = warnings.lines;
    SettingsStore store{backend, section, guard};
};

TEST_F(StoreTest, EmptyStoreGivesTheDefaultsInTheWindowsOrder) {
    using K = SettingKey;
    auto reads = [&](K left, K top, K width, K height) {
        return std::vector<float>{store.readSingle(left),
                                  store.readSingle(top),
                                  store.readSingle(width),
                                  store.readSingle(height),
                                  float(store.readInteger16(K::AlwaysOnTop_TICKBOX)),
                                  float(store.readInteger16(K::AUTOSTART_TICKBOX))};
    };
    EXPECT_EQ(reads(K::MAIN_Left, K::MAIN_Top, K::MAIN_Width, K::MAIN_Height),
              (std::vector<float>{1000, 1000, 4410, 350, 1, 1}));
    EXPECT_EQ(reads(K::ABOUT_Left, K::ABOUT_Top, K::ABOUT_Width, K::ABOUT_Height),
              (std::vector<float>{1000, 1000, 8730, 2415, 1, 1}));
    EXPECT_TRUE(reports.empty());
    EXPECT_EQ(backend.size(), 0u);  // reading never writes
    // One look-up of the section and one read per key, in the callers' order.
    EXPECT_EQ(section.calls(), 12);
    ASSERT_EQ(backend.log().size(), 12u);
    EXPECT_EQ(backend.log()[2],
              (MemorySettingsBackend::LogEntry{MemorySettingsBackend::Op::Read, "qv-tickspan",
                                               "MAIN_Width", std::nullopt}));
}

TEST_F(StoreTest, SavesWriteTheTextsAndGoToTheSectionOfTheMoment) {
    EXPECT_TRUE(store.saveSingle(SettingKey::MAIN_Left, -1500.0f));
    EXPECT_TRUE(store.saveSingle(SettingKey::MAIN_Top, 1234.5f));
    EXPECT_TRUE(store.saveInteger16(SettingKey::AUTOSTART_TICKBOX, 0));
    EXPECT_EQ(backend.raw("qv-tickspan", "MAIN_Left"), "-1500");
    EXPECT_EQ(backend.raw("qv-tickspan", "MAIN_Top"), "1234.5");
    EXPECT_EQ(backend.raw("qv-tickspan", "AUTOSTART_TICKBOX"), "0");
    EXPECT_EQ(store.readSingle(SettingKey::MAIN_Left), -1500.0f);

    // The executable renamed while running: the next read and save use the new name, and the
    // old section is left as it was.
    section.setName("uptime copy");
    EXPECT_EQ(store.readSingle(SettingKey::MAIN_Left), 1000.0f);
    EXPECT_TRUE(store.saveSingle(SettingKey::MAIN_Left, 7.0f));
    EXPECT_EQ(backend.raw("uptime copy", "MAIN_Left"), "7");
    EXPECT_EQ(backend.raw("qv-tickspan", "MAIN_Left"), "-1500");
    EXPECT_EQ(backend.log().back().section, "uptime copy");
}

TEST_F(StoreTest, RejectedTextsGiveTheDefaultAndAreReportedOnce) {
    const std::string longText(10000, '7');
    backend.setRaw("qv-tickspan", "MAIN_Left", "abc");
    backend.setRaw("qv-tickspan", "MAIN_Top", "1e999");
    backend.setRaw("qv-tickspan", "MAIN_Width", "");
    backend.setRaw("qv-tickspan", "MAIN_Height", longText);
    backend.setRaw("qv-tickspan", "ABOUT_Left", std::string("nan\x01\xff\"", 6));
    backend.setRaw("qv-tickspan", "AlwaysOnTop_TICKBOX", "32768");
    backend.setRaw("qv-tickspan", "AUTOSTART_TICKBOX", "2");  // a number: read as it is
    for (int round = 0; round < 2; ++round) {
        EXPECT_EQ(store.readSingle(SettingKey::MAIN_Left), 1000.0f);
        EXPECT_EQ(store.readSingle(SettingKey::MAIN_Top), 1000.0f);
        EXPECT_EQ(store.readSingle(SettingKey::MAIN_Width), 4410.0f);
        EXPECT_EQ(store.readSingle(SettingKey::MAIN_Height), 350.0f);
        EXPECT_EQ(store.readSingle(SettingKey::ABOUT_Left), 1000.0f);
        EXPECT_EQ(store.readInteger16(SettingKey::AlwaysOnTop_TICKBOX), 1);
        EXPECT_EQ(store.readInteger16(SettingKey::AUTOSTART_TICKBOX), 2);
    }
    ASSERT_EQ(reports.size(), 6u);
    EXPECT_EQ(reports[0],
              "qv-tickspan: settings: MAIN_Left holds \"abc\", which is not a number; the default "
              "1000 is used instead");
    EXPECT_NE(reports[1].find("MAIN_Top holds \"1e999\", which lies outside the single-precision"),
              std::string::npos);
    EXPECT_NE(reports[2].find("MAIN_Width holds \"\", which is not a number"), std::string::npos);
    std::string cut(1, '"');
    cut.append(64, '7').append("\"... (10000 bytes in all)");
    EXPECT_NE(reports[3].find(cut), std::string::npos);
    EXPECT_EQ(reports[3].find(std::string(65, '7')), std::string::npos);
    EXPECT_NE(reports[4].find("ABOUT_Left holds \"nan\\x01\\xFF\\\"\""), std::string::npos);
    EXPECT_NE(reports[5].find("AlwaysOnTop_TICKBOX holds \"32768\", which lies outside -32768 to "
                              "32767; the default 1 is used"),
              std::string::npos);

    // A different bad text under the same key is news again.
    backend.setRaw("qv-tickspan", "MAIN_Left", "xyz");
    store.readSingle(SettingKey::MAIN_Left);
    EXPECT_EQ(reports.size(), 7u);
}

TEST_F(StoreTest, RefusedSavesFailAndAreReportedOnceEach) {
    backend.failSaves("Access is denied.");
    EXPECT_FALSE(store.saveSingle(SettingKey::MAIN_Left, 10.0f));
    EXPECT_FALSE(store.saveSingle(SettingKey::MAIN_Left, 20.0f));
    EXPECT_FALSE(store.saveInteger16(SettingKey::AUTOSTART_TICKBOX, 1));
    ASSERT_EQ(reports.size(), 2u);
    EXPECT_EQ(reports[0], "qv-tickspan: settings: cannot save MAIN_Left: Access is denied.");
    EXPECT_EQ(backend.size(), 0u);

    backend.failSaves("");
    EXPECT_TRUE(store.saveSingle(SettingKey::MAIN_Left, 30.0f));
    EXPECT_EQ(backend.raw("qv-tickspan", "MAIN_Left"), "30");
}

TEST_F(StoreTest, NonFiniteGeometryIsNeverSaved) {
    backend.setRaw("qv-tickspan", "MAIN_Left", "5");
    EXPECT_FALSE(store.saveSingle(SettingKey::MAIN_Left, std::numeric_limits<float>::infinity()));
    EXPECT_FALSE(store.saveSingle(SettingKey::MAIN_Left, std::nanf("")));
    EXPECT_EQ(backend.raw("qv-tickspan", "MAIN_Left"), "5");
    EXPECT_EQ(reports.size(), 2u);
}

}  // namespace
