// libFuzzer target for the Linux settings file's parser.
//
// For any bytes x: serialize(parse(x)) gives x back, so parse(serialize(parse(x))) = parse(x).
// And a save on top of x (unreadable lines left out, one key set) gives plain UTF-8 that reads
// back line for line as the save meant it: that key reads the value set, every other key reads
// what it read before, and every line kept is of the kind, name, value and section it was.
// The store's own reads and saves, which scan the bytes (KeyScan), find what the document finds
// and write the very bytes that the document writes.
//
// tests/CMakeLists.txt also builds this file with the ordinary compiler and replays every input
// in fuzz/seeds through it (fuzz/seed_replay.cpp).

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <string>
#include <string_view>

#include "tests/ini_document.h"

using qv::posix::ini::Document;
using qv::posix::ini::KeyScan;
using qv::posix::ini::Line;

namespace {

// Far beyond what any input takes: the largest the fuzzer makes (64 KiB) need less than 0.3 s
// under the sanitizers, and the one-megabyte line of scripts/fuzz about as long.
constexpr double kMaxProcessorSecondsPerInput = 10;

void check(bool ok) {
    if (!ok) std::abort();
}

// Whether the two documents' lines mean the same, line for line, whatever their bytes.
bool sameMeaning(const Document& a, const Document& b) {
    if (a.lines().size() != b.lines().size()) return false;
    for (std::size_t i = 0; i < a.lines().size(); ++i) {
        const Line& x = a.lines()[i];
        const Line& y = b.lines()[i];
        if (x.kind != y.kind || x.name != y.name || x.value != y.value ||
            a.sectionOf(x) != b.sectionOf(y))
            return false;
    }
    return true;
}

double processorSeconds() {
    timespec t{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

void checkInput(std::string_view input) {
    const std::size_t size = input.size();
    const Document doc = Document::parse(input);
    const std::string bytes = doc.serialize();
    check(bytes == input);
    check(Document::parse(bytes) == doc);

    // The saved key: its section and value come from the input's first bytes, so that the
    // fuzzer steers them into odd names; the key is one of the program's or a name of the file's.
    const std::string section(input.substr(0, size % 13));
    const std::string value(input.substr(size % 13, size % 7));
    std::string key = "MAIN_Left";
    for (const Line& line : doc.lines())
        if (line.kind == Line::Kind::Entry && (size & 1)) key = line.name;

    Document saved = doc;
    if (doc.unreadableLines()) saved.dropUnreadable();
    saved.set(section, key, value);
    const std::string out = saved.serialize();
    const KeyScan scan(input, section, key);
    check(scan.value() == doc.find(section, key));
    check(scan.unreadableLines() == doc.unreadableLines());
    check(scan.firstUnreadableLine() == doc.firstUnreadableLine());
    check(scan.withValue(value) == out);
    check(qv::posix::ini::isValidUtf8(out));
    const Document reread = Document::parse(out);
    check(reread.unreadableLines() == 0);
    check(sameMeaning(reread, saved));
    check(reread.find(section, key) == value);
    int checked = 0;
    for (const Line& line : doc.lines()) {
        if (line.kind != Line::Kind::Entry || !doc.sectionOf(line)) continue;
        if (++checked > 200) break;  // enough to catch a shifted group; keeps big inputs quick
        const std::string& s = *doc.sectionOf(line);
        const auto expected = s == section && line.name == key ? std::optional<std::string>(value)
                                                               : doc.find(s, line.name);
        check(reread.find(s, line.name) == expected);
        check(KeyScan(input, s, line.name).value() == doc.find(s, line.name));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // An input that makes the parser crawl is a fault; one that meets a busy or stalled machine
    // is not. So the limit counts the processor time this input used, never the time it took
    // (scripts/fuzz gives libFuzzer's wall-clock timeout only the part of a net for hangs).
    const double start = processorSeconds();
    checkInput(std::string_view(reinterpret_cast<const char*>(data), size));
    check(processorSeconds() - start < kMaxProcessorSecondsPerInput);
    return 0;
}
