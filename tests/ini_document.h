#pragma once
// The Linux settings file as a list of lines that own their bytes (the format:
// platform/posix/ini_scan.h). Parsing keeps every byte of every line, so writing the document
// back gives the very bytes read; a save changes or adds one line and leaves the rest (other
// programs' sections, unknown keys, comments, blank lines) as it was.
//
// The store itself reads and saves through ini::KeyScan, which builds nothing per line; this is
// the same file line by line, for the tests and the fuzz target to hold the scan against.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/posix/ini_scan.h"

namespace qv::posix::ini {

struct Line {
    using Kind = LineKind;
    Kind kind = Kind::Blank;
    std::string raw;    // the line's bytes without "\n" (a CRLF line keeps its "\r")
    std::string name;   // Section: the section name; Entry: the key (both unescaped)
    std::string value;  // Entry: the value (unescaped)
    // The group the line belongs to: 0 before the first header, then one per header line. A
    // header that cannot be read opens a group too, so that the entries under it do not fall
    // into the group above; such a group has no name and its entries are never found.
    std::size_t group = 0;
    bool operator==(const Line&) const = default;
};

class Document {
  public:
    static Document parse(std::string_view bytes);
    std::string serialize() const;

    // The value of the key's last entry in any group of the section.
    std::optional<std::string> find(std::string_view section, std::string_view key) const;
    // Sets the value: rewrites the line that find() reads, or adds an entry at the end of the
    // section's last group, or a new group at the end of the document.
    void set(std::string_view section, std::string_view key, std::string_view value);

    // Lines that cannot be read, and the lines under a header that cannot be read.
    std::size_t unreadableLines() const;
    std::size_t firstUnreadableLine() const;  // 1-based; 0 when none
    // Removes them, so that what remains is plain UTF-8 in groups that mean what they meant.
    void dropUnreadable();

    const std::vector<Line>& lines() const { return lines_; }
    // The section a line's group belongs to; std::nullopt before the first header and under a
    // header that cannot be read.
    const std::optional<std::string>& sectionOf(const Line& line) const {
        return groups_[line.group];
    }
    bool operator==(const Document&) const = default;

  private:
    bool lost(const Line& line) const;

    bool byteOrderMark_ = false;
    bool finalNewline_ = false;
    std::vector<Line> lines_;
    // Per group: its header's section name; std::nullopt for group 0 and unreadable headers.
    std::vector<std::optional<std::string>> groups_{std::nullopt};
};

}  // namespace qv::posix::ini
