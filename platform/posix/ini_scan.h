#pragma once
// The Linux settings file read straight from its bytes: UTF-8 text, "[section]" lines that open a
// group, "key=value" lines, "; comment" and "# comment" lines. A read looks at the lines through
// views into the bytes and builds nothing per line, so a file of millions of lines costs one pass
// over its bytes; a save copies the bytes once, with the one line it changes.
//
// Names and values stand escaped (ini_escape.h). Unescaped blanks and tabs around a name or value
// are not part of it, so "key = value" written by hand reads as key "key" and value "value".

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "platform/posix/ini_escape.h"

namespace qv::posix::ini {

enum class LineKind {
    Blank,
    Comment,
    Section,
    Entry,
    // Not readable as any of the above: not UTF-8, control bytes, a "[" without its "]", a line
    // without "=" or with an empty key.
    Unreadable,
};

// What one line says, in views into it.
struct LineView {
    LineKind kind = LineKind::Unreadable;
    std::string_view name;   // Section: the section name; Entry: the key (both still escaped)
    std::string_view value;  // Entry: the value, still escaped
    // A header, readable or not. An unreadable one opens a group too, so that the entries under
    // it do not fall into the group above; such a group has no name, and all its lines are
    // lost: never found, and left out by a save.
    bool opensGroup = false;
};

// `raw`: one line of the file without its "\n" (a CRLF line keeps its "\r"). Byte order marks at
// its start mean nothing, however many there are, wherever the line stands: so a line reads the
// same when a save that leaves out the lines above it makes it the file's first.
LineView classifyLine(std::string_view raw);

// One pass over a file's bytes for one key of one section: what a read needs, and where a save
// that sets the key changes the file. Holds views into `bytes`, which must outlive it.
class KeyScan {
  public:
    KeyScan(std::string_view bytes, std::string_view section, std::string_view key);

    // The value of the key's last entry in any group of the section.
    std::optional<std::string> value() const;
    // Lines that cannot be read, and the lines of groups whose header cannot be read.
    std::size_t unreadableLines() const { return unreadable_; }
    std::size_t firstUnreadableLine() const { return firstUnreadable_; }  // 1-based; 0: none

    // The file with the key set to `value`, and the unreadable lines left out: the entry that
    // value() reads rewritten, or a new one after the last entry (or the header) of the
    // section's last group, or a new group at the end, set off by a blank line. Lines written
    // take the file's line ending, as its first line kept has it.
    std::string withValue(std::string_view value) const;

  private:
    struct Range {
        std::size_t begin = 0, end = 0;
    };
    std::string entryText(std::string_view value) const;
    std::string headerText() const;
    std::string spliced(std::string_view entry) const;
    std::string rebuilt(std::string_view entry) const;

    std::string_view bytes_;
    std::string_view section_;
    std::string_view key_;
    std::size_t bodyStart_ = 0;  // after the file's byte order mark
    std::optional<Range> target_;
    std::string_view targetValue_;
    std::optional<std::size_t> insertAt_;  // the end of the line a new entry follows
    std::size_t unreadable_ = 0;
    std::size_t firstUnreadable_ = 0;
    bool anyKept_ = false;
    bool crlf_ = false;  // the first line kept ends with "\r"
    bool lastKeptBlank_ = false;
    bool finalNewline_ = false;
};

}  // namespace qv::posix::ini
