// The settings file's format: escaping, what a save keeps, unreadable lines, byte order marks.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <clocale>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <locale>
#include <map>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/headless/memory_settings.h"
#include "platform/posix/ini_settings.h"
#include "settings/settings_store.h"
#include "tests/ini_document.h"
#include "tests/ini_test_support.h"

using namespace qv;
using namespace qv::test;
using namespace qv::headless;
using namespace std::string_literals;
namespace fs = std::filesystem;

namespace {

// ----------------------------------------------------------------------------- the file format

TEST(IniFormat, OddSectionNamesRoundTripAndLeaveAReadableFile) {
    ini::Document doc;
    for (std::size_t i = 0; i < oddNames().size(); ++i)
        doc.set(oddNames()[i], "MAIN_Left", std::to_string(i));
    const std::string file = doc.serialize();
    EXPECT_TRUE(ini::isValidUtf8(file));
    const ini::Document back = ini::Document::parse(file);
    EXPECT_EQ(back.unreadableLines(), 0u);
    for (std::size_t i = 0; i < oddNames().size(); ++i)
        EXPECT_EQ(back.find(oddNames()[i], "MAIN_Left"), std::to_string(i)) << i;
    // One header line per name: nothing leaked onto a line of its own.
    std::size_t headers = 0;
    for (const auto& line : back.lines()) headers += line.kind == ini::Line::Kind::Section;
    EXPECT_EQ(headers, oddNames().size());
    EXPECT_TRUE(file.starts_with("[qv-tickspan]\nMAIN_Left=0\n\n[with space]\n"));
    EXPECT_NE(file.find("[\\x20leading and trailing\\x20]"), std::string::npos);
    EXPECT_NE(file.find("[\\x5Bbracketed\\x5D]"), std::string::npos);
    EXPECT_NE(file.find("[line\\x0Abreak]"), std::string::npos);
    EXPECT_NE(file.find("[\xC3\x9C"
                        "bersicht \xE2\x8F\xB1]"),
              std::string::npos);
    EXPECT_NE(file.find("[back\\\\slash\\\\]"), std::string::npos);
}

TEST(IniFormat, OddKeysAndValuesRoundTrip) {
    ini::Document doc;
    for (const auto& name : oddNames()) {
        if (name.empty()) continue;  // a key is never empty
        doc.set("s", name, name);
    }
    const ini::Document back = ini::Document::parse(doc.serialize());
    EXPECT_EQ(back.unreadableLines(), 0u);
    for (const auto& name : oddNames())
        if (!name.empty()) {
            EXPECT_EQ(back.find("s", name), name);
        }
}

// A file written by hand keeps everything a save does not touch, byte for byte.
TEST(IniFormat, ASaveChangesOneLineAndKeepsTheRest) {
    const std::string bom = "\xEF\xBB\xBF";
    const std::string file = bom +
                             "; settings of my tools\r\n"
                             "[other]\r\n"
                             "colour = green ; not a comment\r\n"
                             "\r\n"
                             "[qv-tickspan]\r\n"
                             "  MAIN_Left = 1500  \r\n"
                             "# keep me\r\n"
                             "Unknown_Key=x\r\n"
                             "\r\n"
                             "[qv-tickspan]\r\n"
                             "MAIN_Top=9\r\n"
                             "MAIN_Top=10";  // no final newline; the later one counts
    ini::Document doc = ini::Document::parse(file);
    EXPECT_EQ(doc.unreadableLines(), 0u);
    EXPECT_EQ(doc.find("qv-tickspan", "MAIN_Left"), "1500");
    EXPECT_EQ(doc.find("qv-tickspan", "MAIN_Top"), "10");
    EXPECT_EQ(doc.find("other", "colour"), "green ; not a comment");
    EXPECT_EQ(doc.serialize(), file);

    doc.set("qv-tickspan", "MAIN_Left", "-20");
    doc.set("qv-tickspan", "MAIN_Top", "30");
    doc.set("qv-tickspan", "AUTOSTART_TICKBOX", "0");
    doc.set("new one", "MAIN_Left", "1");
    EXPECT_EQ(doc.serialize(), bom +
                                   "; settings of my tools\r\n"
                                   "[other]\r\n"
                                   "colour = green ; not a comment\r\n"
                                   "\r\n"
                                   "[qv-tickspan]\r\n"
                                   "MAIN_Left=-20\r\n"
                                   "# keep me\r\n"
                                   "Unknown_Key=x\r\n"
                                   "\r\n"
                                   "[qv-tickspan]\r\n"
                                   "MAIN_Top=9\r\n"
                                   "MAIN_Top=30\r\n"
                                   "AUTOSTART_TICKBOX=0\r\n"
                                   "\r\n"
                                   "[new one]\r\n"
                                   "MAIN_Left=1\r\n");
}

TEST(IniFormat, UnreadableLinesAreIgnoredAndCanBeLeftOut) {
    const std::string file =
        "[qv-tickspan]\n"
        "MAIN_Left=5\n"
        "garbage without equals\n"
        "MAIN_Top=\x01\x02\n"
        "Latin1=\xE9\n"
        "=no key\n"
        "[other]\n"
        "a=1\n"
        "[qv-tick\n"  // cut off: its entries belong nowhere
        "MAIN_Width=7\n"
        "[qv-tickspan]\n"
        "AUTOSTART_TICKBOX=0\n"
        "nul=\0\n"s;
    ini::Document doc = ini::Document::parse(file);
    EXPECT_EQ(doc.find("qv-tickspan", "MAIN_Left"), "5");
    EXPECT_EQ(doc.find("qv-tickspan", "MAIN_Top"), std::nullopt);
    EXPECT_EQ(doc.find("qv-tickspan", "MAIN_Width"), std::nullopt);
    EXPECT_EQ(doc.find("other", "MAIN_Width"), std::nullopt);
    EXPECT_EQ(doc.find("qv-tickspan", "AUTOSTART_TICKBOX"), "0");
    EXPECT_EQ(doc.unreadableLines(), 7u);
    EXPECT_EQ(doc.firstUnreadableLine(), 3u);
    doc.dropUnreadable();
    EXPECT_EQ(doc.serialize(),
              "[qv-tickspan]\nMAIN_Left=5\n[other]\na=1\n[qv-tickspan]\nAUTOSTART_TICKBOX=0\n");
}

// However many marks, and whatever stands above the line: the first line's first mark is taken
// for the file's own, so a line that a save moves to the top must read as it read below.
TEST(IniFormat, ByteOrderMarksAtALinesStartMeanNothingWhereverItStands) {
    const std::string bom = "\xEF\xBB\xBF";
    const std::string lines[] = {"[s]", "k=v", "; c", ""};
    for (const std::string& plain : lines) {
        const ini::Line expected = ini::Document::parse(plain + "\n").lines().back();
        for (int marks = 1; marks <= 3; ++marks) {
            std::string line;
            for (int i = 0; i < marks; ++i) line += bom;
            line += plain;
            for (const std::string above : {"", "; above\n", "\xFF\n", "[t]\n"}) {
                const ini::Line read = ini::Document::parse(above + line + "\n").lines().back();
                EXPECT_EQ(read.kind, expected.kind) << marks << " marks under \"" << above << '"';
                EXPECT_EQ(read.name, expected.name);
                EXPECT_EQ(read.value, expected.value);
            }
        }
    }
}

// The store reads and saves by scanning the bytes, taking runs of lines that change nothing but
// counts in one stride. Files built from the lines that start and end such runs must read and
// save exactly as the document does, whatever stands where.
TEST(IniScan, ReadsAndSavesAsTheDocumentDoes) {
    const std::vector<std::string> pieces = {
        "",
        "; c",
        "#c",
        "  ",
        "\t; c",
        "k=v",
        "ka = 1",
        "MAIN_Left=5",
        "MAIN_Left = 6 ",
        "MAIN_Lefty=7",
        "\\x4DAIN_Left=8",
        " MAIN_Left=9",
        "Main_Left=10",
        "=x",
        "junk",
        "=k=v",
        "M",
        "[s]",
        "[qv-tickspan]",
        "[qv-tickspan] ; c",
        " [qv-tickspan]",
        "[qv-tickspanx]",
        "[\\x71v-tickspan]",
        "[q]",
        "[]",
        "[x] junk",
        "[cut",
        "[ ]",
        "\xEF\xBB\xBFk=v",
        "\xEF\xBB\xBF[qv-tickspan]",
        "bad=\xFF",
        "ctl=\x01",
        "cr\rin",
        "a=\xC3\x9C",
    };
    std::mt19937 rng(20260421);
    for (int round = 0; round < 3000; ++round) {
        std::string file = round % 7 == 0 ? "\xEF\xBB\xBF" : "";
        const bool crlf = round % 5 == 0;
        const int lines = static_cast<int>(rng() % 40);
        for (int i = 0; i < lines; ++i) {
            file += pieces[rng() % pieces.size()];
            if (i + 1 < lines || rng() % 2) file += crlf && rng() % 4 ? "\r\n" : "\n";
        }
        const ini::Document doc = ini::Document::parse(file);
        for (const char* key : {"MAIN_Left", "k", "new"}) {
            for (const char* section : {"qv-tickspan", "s", ""}) {
                const ini::KeyScan scan(file, section, key);
                ASSERT_EQ(scan.value(), doc.find(section, key)) << file;
                ASSERT_EQ(scan.unreadableLines(), doc.unreadableLines()) << file;
                ASSERT_EQ(scan.firstUnreadableLine(), doc.firstUnreadableLine()) << file;
                ini::Document saved = doc;
                if (doc.unreadableLines()) saved.dropUnreadable();
                saved.set(section, key, "1");
                ASSERT_EQ(scan.withValue("1"), saved.serialize())
                    << ::testing::PrintToString(file) << " [" << section << "] " << key;
            }
        }
    }
}

}  // namespace
