#include "platform/posix/ini_scan.h"

#include <array>
#include <cstring>

namespace qv::posix::ini {

namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

inline std::string_view trimmed(std::string_view s) {
    while (!s.empty() && isBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && isBlank(s.back())) s.remove_suffix(1);
    return s;
}

bool isControl(unsigned char b) {
    return b < 0x20 || b == 0x7F;
}

// Printable ASCII and the tab: bytes that need no closer look.
constexpr auto kPrintable = [] {
    std::array<bool, 256> table{};
    for (int b = 0x20; b < 0x7F; ++b) table[static_cast<std::size_t>(b)] = true;
    table['\t'] = true;
    return table;
}();

// Valid UTF-8 without control bytes other than the tab: text a line may hold.
bool isPlainText(std::string_view text) {
    for (std::size_t i = 0; i < text.size();) {
        const auto b = static_cast<unsigned char>(text[i]);
        if (b < 0x80) {
            if (isControl(b) && b != '\t') return false;
            ++i;
            continue;
        }
        const std::size_t len = utf8SequenceAt(text, i);
        if (len == 0) return false;
        i += len;
    }
    return true;
}

// Which group each line belongs to, taken line by line: the section's own groups, and groups
// under a header that cannot be read, whose lines are lost.
struct GroupTracker {
    std::string_view section;
    bool inLostGroup = false;
    bool inSection = false;

    // Takes the next line in; true when it is lost.
    bool lost(const LineView& line) {
        if (line.opensGroup) {
            inLostGroup = line.kind != LineKind::Section;
            inSection = !inLostGroup && unescapesTo(line.name, section);
        }
        return line.kind == LineKind::Unreadable || inLostGroup;
    }
};

// What a line says, given its text without the line end and the byte order marks before it, and
// whether that is plain text.
LineView classifyText(std::string_view text, bool plainText) {
    LineView line;
    const std::string_view t = trimmed(text);
    line.opensGroup = !t.empty() && t.front() == '[';
    if (line.opensGroup) {
        const std::size_t close = t.find(']');
        if (plainText && close != std::string_view::npos) {
            const std::string_view rest = trimmed(t.substr(close + 1));
            if (rest.empty() || rest.front() == ';' || rest.front() == '#') {
                line.kind = LineKind::Section;
                line.name = trimmed(t.substr(1, close - 1));
            }
        }
    } else if (plainText) {
        if (t.empty()) {
            line.kind = LineKind::Blank;
        } else if (t.front() == ';' || t.front() == '#') {
            line.kind = LineKind::Comment;
        } else if (const std::size_t eq = t.find('='); eq != std::string_view::npos) {
            const std::string_view key = trimmed(t.substr(0, eq));
            if (!key.empty()) {
                line.kind = LineKind::Entry;
                line.name = key;
                line.value = trimmed(t.substr(eq + 1));
            }
        }
    }
    return line;
}

std::string_view withoutCr(std::string_view raw) {
    if (!raw.empty() && raw.back() == '\r') raw.remove_suffix(1);
    return raw;
}

}  // namespace

LineView classifyLine(std::string_view raw) {
    std::string_view text = withoutCr(raw);
    while (text.starts_with(kByteOrderMark)) text.remove_prefix(kByteOrderMark.size());
    return classifyText(text, isPlainText(text));
}

namespace {

// classifyText() for plain text, done in place: the lines that fill big files (blank lines,
// comments, entries) ask for no more than a look at their first bytes and their "=".
void classifyPlain(std::string_view text, LineView& line) {
    std::size_t i = 0;
    while (i < text.size() && isBlank(text[i])) ++i;
    line.opensGroup = false;
    if (i == text.size()) {
        line.kind = LineKind::Blank;
        return;
    }
    const char first = text[i];
    if (first == ';' || first == '#') {
        line.kind = LineKind::Comment;
        return;
    }
    if (first == '[') {
        line = classifyText(text, true);
        return;
    }
    std::size_t eq = i;
    while (eq < text.size() && text[eq] != '=') ++eq;
    if (eq == text.size() || eq == i) {
        line.kind = LineKind::Unreadable;  // no "=", or an empty key
        return;
    }
    std::size_t keyEnd = eq;
    while (isBlank(text[keyEnd - 1])) --keyEnd;  // text[i] is no blank
    line.kind = LineKind::Entry;
    line.name = text.substr(i, keyEnd - i);
    line.value = trimmed(text.substr(eq + 1));
}

// Lines that change nothing but the count of their kind, known from a look at their first bytes:
// blank and comment lines; entries whose key cannot be the one sought; headers of groups that
// cannot be the section sought; lines that cannot be read and open no group. Anything else
// needs the careful look.
enum class RunKind { None, Filler, OtherEntry, OtherHeader, Unreadable };

// The first byte of the key and of the section sought, as they may stand in a line.
struct Sought {
    char keyFirst;
    char sectionFirst;
};

// A readable header whose name starts at text[1] with a byte other than `sectionFirst`.
bool isOtherHeader(std::string_view text, char sectionFirst) {
    if (text.size() < 3) return false;
    const char c = text[1];
    if (c == sectionFirst || c == '\\' || c == ']' || isBlank(c)) return false;
    const std::size_t close = text.find(']', 2);
    if (close == std::string_view::npos) return false;
    std::size_t i = close + 1;
    while (i < text.size() && isBlank(text[i])) ++i;
    return i == text.size() || text[i] == ';' || text[i] == '#';
}

RunKind runKindOf(std::string_view plainText, const Sought& sought) {
    if (plainText.empty()) return RunKind::Filler;
    const char c = plainText.front();
    if (c == ';' || c == '#') return RunKind::Filler;
    if (c == '[')
        return isOtherHeader(plainText, sought.sectionFirst) ? RunKind::OtherHeader : RunKind::None;
    if (isBlank(c) || c == '\\' || c == sought.keyFirst) return RunKind::None;
    if (c == '=') return RunKind::Unreadable;  // an empty key
    for (std::size_t i = 1; i < plainText.size(); ++i)
        if (plainText[i] == '=') return RunKind::OtherEntry;
    return RunKind::Unreadable;  // no "="
}

// How far a run of lines of the kind `run` goes after the line ending at `stop`: those lines ask
// for nothing but their count, so a file padded with millions of them costs little more than
// reading it. Returns the end of the run's last line; `count` grows by its lines and, for
// blank and comment lines, `kind` becomes the last one's.
const char* runEnd(const char* stop, const char* end, RunKind run, const Sought& sought,
                   std::size_t& count, LineKind& kind) {
    while (stop < end && stop + 1 < end) {
        const char* const next = stop + 1;
        if (run == RunKind::Filler && *next == '\n') {  // blank lines, as many as there are
            const char* last = next;
            while (last + 1 < end && last[1] == '\n') ++last;
            count += static_cast<std::size_t>(last - next) + 1;
            kind = LineKind::Blank;
            stop = last;
            continue;
        }
        const char* q = next;
        while (q < end && kPrintable[static_cast<unsigned char>(*q)]) ++q;
        if (q < end && *q != '\n') break;  // a "\r", or more than printable ASCII
        const std::string_view text(next, static_cast<std::size_t>(q - next));
        if (runKindOf(text, sought) != run) break;
        if (run == RunKind::Filler) kind = text.empty() ? LineKind::Blank : LineKind::Comment;
        stop = q;
        ++count;
    }
    return stop;
}

// Calls f(begin, end, view, count) for the lines from `pos` on: a line's bytes up to its "\n" (or
// the end of the file) and what it says. Most lines are printable ASCII: one look at each byte
// finds the line's end and shows it plain. A run of lines that change nothing but counts comes
// as one call, `count` lines long, its bytes with the "\n"s between them, `view` saying what its
// first line is (what its last is, for blank and comment lines). `section` and `key` are sought.
template <class F>
void forEachLine(std::string_view bytes, std::size_t pos, std::string_view section,
                 std::string_view key, F&& f) {
    // "\n" stands in no line: an empty name leaves every line to the careful look.
    const Sought sought{key.empty() ? '\n' : key.front(), section.empty() ? '\n' : section.front()};
    const char* const data = bytes.data();
    const char* const end = data + bytes.size();
    LineView view;
    while (pos < bytes.size()) {
        const char* const start = data + pos;
        const char* q = start;
        while (q < end && kPrintable[static_cast<unsigned char>(*q)]) ++q;
        const char* stop = q < end && *q == '\r' && (q + 1 == end || q[1] == '\n') ? q + 1 : q;
        std::size_t count = 1;
        if (stop == end || *stop == '\n') {
            const std::string_view text(start, static_cast<std::size_t>(q - start));
            classifyPlain(text, view);
            if (const RunKind run = runKindOf(text, sought); run != RunKind::None)
                stop = runEnd(stop, end, run, sought, count, view.kind);
        } else {
            stop =
                static_cast<const char*>(std::memchr(q, '\n', static_cast<std::size_t>(end - q)));
            if (!stop) stop = end;
            view = classifyLine(std::string_view(start, static_cast<std::size_t>(stop - start)));
        }
        const auto lineEnd = static_cast<std::size_t>(stop - data);
        f(pos, lineEnd, view, count);
        pos = stop == end ? bytes.size() : lineEnd + 1;
    }
}

}  // namespace

KeyScan::KeyScan(std::string_view bytes, std::string_view section, std::string_view key)
    : bytes_(bytes), section_(section), key_(key) {
    if (bytes_.starts_with(kByteOrderMark)) bodyStart_ = kByteOrderMark.size();
    GroupTracker groups{section};
    std::size_t number = 0, unreadable = 0, firstUnreadable = 0;
    bool anyKept = false, lastKeptBlank = false;
    auto take = [&](std::size_t begin, std::size_t end, const LineView& line, std::size_t count) {
        const std::size_t first = number + 1;
        number += count;
        if (groups.lost(line)) {
            if (unreadable == 0) firstUnreadable = first;
            unreadable += count;
            return;
        }
        if (!anyKept) {
            const std::size_t firstEnd = count == 1 ? end : bytes_.find('\n', begin);
            crlf_ = firstEnd > begin && bytes_[firstEnd - 1] == '\r';
        }
        anyKept = true;
        lastKeptBlank = line.kind == LineKind::Blank;
        if (!groups.inSection || (line.kind != LineKind::Section && line.kind != LineKind::Entry))
            return;
        insertAt_ = end;
        if (line.kind == LineKind::Entry && unescapesTo(line.name, key_)) {
            target_ = Range{begin, end};
            targetValue_ = line.value;
        }
    };
    forEachLine(bytes_, bodyStart_, section_, key_, take);
    unreadable_ = unreadable;
    firstUnreadable_ = firstUnreadable;
    anyKept_ = anyKept;
    lastKeptBlank_ = lastKeptBlank;
    finalNewline_ = bytes_.size() > bodyStart_ && bytes_.back() == '\n';
}

std::optional<std::string> KeyScan::value() const {
    if (!target_) return std::nullopt;
    return unescapeIni(targetValue_);
}

std::string KeyScan::entryText(std::string_view value) const {
    std::string raw = escapeForIni(key_, Part::Key);
    raw += '=';
    raw += escapeForIni(value, Part::Value);
    if (crlf_) raw += '\r';
    return raw;
}

std::string KeyScan::headerText() const {
    std::string raw = "[";
    raw.append(escapeForIni(section_, Part::Section)).append(crlf_ ? "]\r" : "]");
    return raw;
}

std::string KeyScan::withValue(std::string_view value) const {
    const std::string entry = entryText(value);
    return unreadable_ == 0 ? spliced(entry) : rebuilt(entry);
}

// Nothing left out: the bytes as they are, with one line replaced or added.
std::string KeyScan::spliced(std::string_view entry) const {
    std::string out;
    const std::string header = target_ || insertAt_ ? std::string() : headerText();
    out.reserve(bytes_.size() + entry.size() + header.size() + 8);
    if (target_) {
        out.append(bytes_.substr(0, target_->begin)).append(entry);
        out.append(bytes_.substr(target_->end));
    } else if (insertAt_) {
        out.append(bytes_.substr(0, *insertAt_)).append("\n").append(entry);
        out.append(bytes_.substr(*insertAt_));
    } else {
        out.append(bytes_);
        if (anyKept_ && !finalNewline_) out += '\n';
        if (anyKept_ && !lastKeptBlank_) out.append(crlf_ ? "\r\n" : "\n");
        out.append(header).append("\n").append(entry).append("\n");
    }
    return out;
}

// Lines left out: the lines kept, one by one, with the entry in its place. The file then ends
// with a line end, as one rewritten whole does.
std::string KeyScan::rebuilt(std::string_view entry) const {
    std::string out;
    out.reserve(bytes_.size() + entry.size() + section_.size() * 4 + 8);
    out.append(bytes_.substr(0, bodyStart_));
    bool any = false;
    auto put = [&](std::string_view line) {
        if (any) out += '\n';
        out.append(line);
        any = true;
    };
    GroupTracker groups{section_};
    forEachLine(bytes_, bodyStart_, section_, key_,
                [&](std::size_t begin, std::size_t end, const LineView& line, std::size_t) {
                    if (groups.lost(line)) return;
                    const bool isTarget = target_ && begin == target_->begin;
                    put(isTarget ? entry : bytes_.substr(begin, end - begin));
                    if (!target_ && insertAt_ && end == *insertAt_) put(entry);
                });
    if (!target_ && !insertAt_) {
        if (any && !lastKeptBlank_) put(crlf_ ? "\r" : "");
        put(headerText());
        put(entry);
    }
    out += '\n';
    return out;
}

}  // namespace qv::posix::ini
