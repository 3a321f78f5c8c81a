// Temporary: the engine's and the settings' own readers against the one decimal scanner, on the
// same inputs, before the old readers go. Every reading must agree in its status and, where it
// gives a number, in every bit of it.

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "engine/conversions.h"
#include "engine/decimal_scanner.h"
#include "engine/field_board.h"
#include "engine/uptime_steps.h"
#include "settings/setting_texts.h"

using namespace qv;

namespace {

// Number texts of the design's tables: the board's conversions, the steps, the layouts, the
// settings' defaults and ranges.
const char* const kTableTexts[] = {
    "1.2", "1.3", "1.4", "31536000000", "365", "2419200000", "28", "604800000", "86400000",
    "3600000", "60000", "1000", "24", "60", "0", "3", "5", "0.5", "0.0000001", "7", "32",
    "0.00000005", "1", "2", "0.125", "3.0", "25.016944444444446", "25.0169444444444",
    "1.15740740740741E-08", "1.0169444444444", "3.17097919837646E-11", "0.99999999984",
    "59.9999833333333", "59", "-0.0000001", "-1", "0.0001", "0.1", "15", "2.1", "1.1", "4", "6",
    "1.15740740740741E-05", "90061000", "1.04237268518519", "2147483648", "24.8551348148148",
    "4294967295", "1.77536677207341", "0.136192519501522", "49", "61500", "1.025", "61.5", "1.5",
    "3661000", "1.01694444444444", "61.0166666666664", "1.0166666666664", "0.999999999983999",
    "7322500", "2.50000000001999", "90061500", "1.0170833333333", "123456789", "10", "17", "36",
    "10.2935525", "17.61315", "1056.789", "1020", "36.789", "47", "17.04647083333", "2.2", "4.1",
    "2.3", "350", "960", "1080", "1455", "255", "2640", "4920", "1935", "375", "4440", "3960",
    "2520", "3000", "3480", "2040", "8", "1200", "1440", "2535", "405", "9", "1215", "11", "12",
    "13", "14", "16", "240", "1560", "855", "18", "19", "20", "21", "22", "23", "3840", "1680",
    "25", "8640", "4200", "2295", "26", "9240", "2880", "27", "2400", "3720", "29", "5280", "1320",
    "30", "6240", "2175", "31", "2895", "33", "5760", "34", "35", "1800", "37", "38", "7320", "39",
    "7680", "40", "41", "1095", "4410", "8730", "2415", "-32768", "32767", "6000", "2055", "615",
    "120", "600", "5175", "6840", "1695", "5400", "3135", "1335", "2775", "975", "495", "840",
    "1575",
    // The texts the existing tests read.
    "DAYS_ROUNDED_TB", " 1 2\t3\n", "1d3", "2e", "1.2.3", "-.5", "- 5x", "7.", "", ".", "1e-999",
    "0e99999999999999999999", "1e999", " 7 ", "1D2", "+.5", " ", "abc", "1.5x", "1e", "1e+", "-",
    "1 2", "0x10", "-120", "2.5", "-0.5", "-1.5", "32767.4", "32767.5", "-32768.5",
    "-32768.5000001", "1E3", "1D-1", "\t+7.\t", ".5e1", "   ", "- 5", "1 000", "1,5", "nan", "inf",
    "3.5e38", "1e39", "1e99999999999999999999", "3.4028235e38", "1e-50", "1e-99999999999999999999",
    "0.50000000000000000001", "65535.5e-1", "-1e39", "1e-39x", "32768", "-32769", "1e5", "one",
    "1e300", "1.4e-45", "0.7e-45", "0.71e-45", "-0e999", "-0e99999999999999999999", "-0", "+0",
    "2147483647.5", "-2147483648.5", "4294967296.5"};

std::vector<std::string> fuzzSeedTexts() {
    std::vector<std::string> texts;
    const char* dir = std::getenv("QV_FUZZ_SEEDS");
    const std::filesystem::path seeds = dir ? dir : QV_FUZZ_SEEDS;
    for (const auto& entry : std::filesystem::directory_iterator(seeds)) {
        std::ifstream in(entry.path(), std::ios::binary);
        std::stringstream whole;
        whole << in.rdbuf();
        const std::string content = whole.str();
        texts.push_back(content);
        std::size_t start = 0;
        while (start <= content.size()) {
            std::size_t end = content.find('\n', start);
            if (end == std::string::npos) end = content.size();
            const std::string line = content.substr(start, end - start);
            texts.push_back(line);
            const auto eq = line.find('=');
            if (eq != std::string::npos) {
                texts.push_back(line.substr(eq + 1));
                texts.push_back(line.substr(0, eq));
            }
            start = end + 1;
        }
    }
    return texts;
}

// The texts every pass of the engine writes, for the ticks of the design's tables.
std::vector<std::string> boardTexts() {
    std::vector<std::string> texts;
    for (std::uint64_t tick :
         {0ULL, 1000ULL, 86400000ULL, 90061000ULL, 2147483648ULL, 4294967295ULL, 61500ULL, 60000ULL,
          3600000ULL, 3661000ULL, 7322500ULL, 90061500ULL, 123456789ULL, 9007199254740991ULL}) {
        FieldBoard board;
        std::string scratch;
        runOnePass(board, tick, scratch);
        for (const FieldInfo& f : kFields) texts.emplace_back(board.text(f.field));
    }
    return texts;
}

// Random texts, most of them number-like: signs, digit runs (long ones and runs of zeros among
// them), points, exponents of any length, blanks anywhere and stray characters.
class TextMaker {
  public:
    explicit TextMaker(std::uint64_t seed) : rng_(seed) {}

    std::string next() {
        const int kind = pick(100);
        if (kind < 8) return randomBytes();
        if (kind < 16) return written();
        std::string t;
        blanks(t, 3);
        if (pick(3) == 0) t += "+-"[pick(2)];
        if (pick(20) == 0) t += "+-"[pick(2)];
        blanks(t, 8);
        digits(t);
        if (pick(2) == 0) {
            t += '.';
            if (pick(15) == 0) t += '.';
            digits(t);
        }
        if (pick(2) == 0) {
            blanks(t, 10);
            t += "EeDdx"[pick(5)];
            blanks(t, 10);
            if (pick(2) == 0) t += "+-"[pick(2)];
            blanks(t, 10);
            exponentDigits(t);
        }
        blanks(t, 4);
        if (pick(6) == 0) t += junk();
        if (pick(6) == 0) insertBlank(t);
        return t;
    }

  private:
    int pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng_); }

    void blanks(std::string& t, int oneIn) {
        while (pick(oneIn) == 0) t += " \t\n\r"[pick(4)];
    }
    void digits(std::string& t) {
        const int shape = pick(20);
        int count = shape == 0 ? pick(900) : shape < 3 ? 15 + pick(10) : pick(9);
        const bool zeros = pick(6) == 0;
        for (int i = 0; i < count; ++i) {
            t += zeros && pick(8) != 0 ? '0' : static_cast<char>('0' + pick(10));
            if (pick(40) == 0) t += " \t\n"[pick(3)];
        }
    }
    void exponentDigits(std::string& t) {
        const int shape = pick(10);
        const int count = shape == 0 ? pick(25) : shape < 3 ? 3 : pick(3);
        for (int i = 0; i < count; ++i) {
            t += static_cast<char>('0' + pick(10));
            if (pick(30) == 0) t += ' ';
        }
    }
    // A number as the program writes it, now and then with a character changed or added.
    std::string written() {
        std::string t;
        if (pick(2) == 0) {
            const double v = std::uniform_real_distribution<double>(1.0, 10.0)(rng_) *
                             std::pow(10.0, pick(80) - 40) * (pick(2) == 0 ? -1 : 1);
            t = std::string(realText(v).view());
        } else {
            const auto bits = static_cast<std::uint32_t>(rng_());
            const float v = pick(3) == 0 ? static_cast<float>(pick(400001) - 200000)
                                         : std::bit_cast<float>(bits);
            t = std::isfinite(v) ? singleText(v) : "1";
        }
        if (pick(4) == 0) {
            const auto at = static_cast<std::size_t>(pick(static_cast<int>(t.size())));
            if (pick(2) == 0)
                t[at] = "0123456789.eE+- "[pick(16)];
            else
                t.insert(at, 1, "0123456789.eE+- "[pick(16)]);
        }
        return t;
    }
    char junk() { return "x.,;=#[]eE+-_aZ\x01\xff"[pick(17)]; }
    void insertBlank(std::string& t) {
        const auto at = static_cast<std::size_t>(pick(static_cast<int>(t.size()) + 1));
        t.insert(at, 1, " \t\n"[pick(3)]);
    }
    std::string randomBytes() {
        std::string t(static_cast<std::size_t>(pick(12)), '\0');
        const char* alphabet = "0123456789.+-eEdD \t\nx";
        for (char& c : t) c = pick(4) == 0 ? static_cast<char>(pick(256)) : alphabet[pick(21)];
        return t;
    }

    std::mt19937_64 rng_;
};

struct Tally {
    long long inputs = 0;
    long long lenient = 0;
    long long strict = 0;
    long long single = 0;
    long long integer16 = 0;
    long long numbers = 0;  // texts that are a number under the whole-text rule
    int shown = 0;
};

void difference(Tally& tally, long long& counter, const char* reading, const std::string& text) {
    ++counter;
    if (tally.shown++ < 20) ADD_FAILURE() << reading << " differs on \"" << text << '"';
}

void compare(const std::string& text, Tally& tally) {
    ++tally.inputs;
    {
        double before = -7.0;
        const ReadStatus old = lenientRead(text, before);
        DecimalNumber n;
        n.scan(text, ScanRule::Leading);
        double now = -7.0;
        const ReadStatus fresh = n.toDouble(now);
        if (old != fresh ||
            std::bit_cast<std::uint64_t>(before) != std::bit_cast<std::uint64_t>(now))
            difference(tally, tally.lenient, "lenient read", text);
    }
    {
        double before = -7.0;
        const ReadStatus old = strictRead(text, before);
        tally.numbers += old != ReadStatus::NotANumber;
        DecimalNumber n;
        double now = 0.0;
        const ReadStatus fresh =
            n.scan(text, ScanRule::WholeText) ? n.toDouble(now) : ReadStatus::NotANumber;
        if (old != fresh ||
            std::bit_cast<std::uint64_t>(before) != std::bit_cast<std::uint64_t>(now))
            difference(tally, tally.strict, "strict read", text);
    }
    {
        float before = -7.0f;
        const int old = static_cast<int>(singleReading(text, before));
        DecimalNumber n;
        float now = -7.0f;
        const int fresh = static_cast<int>(
            n.scan(text, ScanRule::WholeText) ? n.toFloat(now) : ReadStatus::NotANumber);
        if (old != fresh ||
            (old == 0 && std::bit_cast<std::uint32_t>(before) != std::bit_cast<std::uint32_t>(now)))
            difference(tally, tally.single, "single-precision reading", text);
    }
    {
        std::int16_t before = -7;
        const int old = static_cast<int>(integer16Reading(text, before));
        DecimalNumber n;
        std::int32_t wide = 0;
        ReadStatus fresh = ReadStatus::NotANumber;
        if (n.scan(text, ScanRule::WholeText)) {
            fresh = n.toNearestInteger(wide);
            if (fresh == ReadStatus::Ok && (wide < -32768 || wide > 32767))
                fresh = ReadStatus::OutOfRange;
        }
        if (old != static_cast<int>(fresh) || (old == 0 && before != wide))
            difference(tally, tally.integer16, "16-bit integer reading", text);
    }
}

}  // namespace

TEST(ScannerDifferential, OldAndNewReadersAgree) {
    Tally tables, seeds, board, randomTexts;
    for (const char* t : kTableTexts) compare(t, tables);
    for (const std::string& t : fuzzSeedTexts()) compare(t, seeds);
    for (const std::string& t : boardTexts()) compare(t, board);
    TextMaker maker(20261207);
    for (int i = 0; i < 1'000'000; ++i) compare(maker.next(), randomTexts);

    for (const auto& [name, t] : {std::pair<const char*, const Tally&>{"tables", tables},
                                  {"fuzz seeds", seeds},
                                  {"board texts", board},
                                  {"random texts", randomTexts}}) {
        std::cout << name << ": " << t.inputs << " inputs (" << t.numbers
                  << " numbers as whole texts), differences: lenient " << t.lenient << ", strict "
                  << t.strict << ", single " << t.single << ", integer16 " << t.integer16 << "\n";
        EXPECT_EQ(t.lenient + t.strict + t.single + t.integer16, 0) << name;
    }
    EXPECT_GT(seeds.inputs, 9);
}
