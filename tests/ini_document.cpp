#include "tests/ini_document.h"

#include <algorithm>

namespace qv::posix::ini {

namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

bool endsWithCr(const std::string& raw) {
    return !raw.empty() && raw.back() == '\r';
}

}  // namespace

Document Document::parse(std::string_view bytes) {
    Document doc;
    if (bytes.substr(0, kByteOrderMark.size()) == kByteOrderMark) {
        doc.byteOrderMark_ = true;
        bytes.remove_prefix(kByteOrderMark.size());
    }
    std::size_t pos = 0;
    while (pos < bytes.size()) {
        const std::size_t newline = bytes.find('\n', pos);
        doc.finalNewline_ = newline != std::string_view::npos;
        const std::size_t end = doc.finalNewline_ ? newline : bytes.size();
        const std::string_view raw = bytes.substr(pos, end - pos);
        pos = doc.finalNewline_ ? newline + 1 : bytes.size();

        const LineView view = classifyLine(raw);
        Line line;
        line.kind = view.kind;
        line.name = unescapeIni(view.name);
        line.value = unescapeIni(view.value);
        line.raw.assign(raw);
        if (view.opensGroup)
            doc.groups_.push_back(line.kind == Line::Kind::Section
                                      ? std::optional<std::string>(line.name)
                                      : std::nullopt);
        line.group = doc.groups_.size() - 1;
        doc.lines_.push_back(std::move(line));
    }
    return doc;
}

std::string Document::serialize() const {
    std::size_t size = kByteOrderMark.size() + 1;
    for (const auto& line : lines_) size += line.raw.size() + 1;
    std::string out;
    out.reserve(size);
    if (byteOrderMark_) out += kByteOrderMark;
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        if (i > 0) out += '\n';
        out += lines_[i].raw;
    }
    if (finalNewline_ && !lines_.empty()) out += '\n';
    return out;
}

std::optional<std::string> Document::find(std::string_view section, std::string_view key) const {
    for (auto it = lines_.rbegin(); it != lines_.rend(); ++it) {
        if (it->kind == Line::Kind::Entry && it->name == key && groups_[it->group] &&
            *groups_[it->group] == section)
            return it->value;
    }
    return std::nullopt;
}

void Document::set(std::string_view section, std::string_view key, std::string_view value) {
    // Lines written here take the file's own line ending, as its first line has it.
    const bool crlf = !lines_.empty() && endsWithCr(lines_.front().raw);
    auto entryText = [&] {
        std::string raw = escapeForIni(key, Part::Key);
        raw += '=';
        raw += escapeForIni(value, Part::Value);
        if (crlf) raw += '\r';
        return raw;
    };
    for (auto it = lines_.rbegin(); it != lines_.rend(); ++it) {
        if (it->kind == Line::Kind::Entry && it->name == key && groups_[it->group] &&
            *groups_[it->group] == section) {
            it->raw = entryText();
            it->value.assign(value);
            return;
        }
    }
    Line entry;
    entry.kind = Line::Kind::Entry;
    entry.name.assign(key);
    entry.value.assign(value);

    // The section's last group: add the entry after its last entry, or after its header.
    for (std::size_t g = groups_.size(); g-- > 1;) {
        if (!groups_[g] || *groups_[g] != section) continue;
        std::size_t after = lines_.size();
        for (std::size_t i = 0; i < lines_.size(); ++i) {
            if (lines_[i].group != g) continue;
            if (lines_[i].kind == Line::Kind::Section || lines_[i].kind == Line::Kind::Entry)
                after = i;
        }
        entry.group = g;
        entry.raw = entryText();
        lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(after + 1), std::move(entry));
        return;
    }

    // A new group at the end, set off by a blank line.
    if (!lines_.empty() && lines_.back().kind != Line::Kind::Blank) {
        Line blank;
        blank.raw = crlf ? "\r" : "";
        blank.group = lines_.back().group;
        lines_.push_back(std::move(blank));
    }
    groups_.emplace_back(std::string(section));
    Line header;
    header.kind = Line::Kind::Section;
    header.name.assign(section);
    header.raw = '[';
    header.raw.append(escapeForIni(section, Part::Section)).append(crlf ? "]\r" : "]");
    header.group = groups_.size() - 1;
    entry.group = header.group;
    entry.raw = entryText();
    lines_.push_back(std::move(header));
    lines_.push_back(std::move(entry));
    finalNewline_ = true;
}

bool Document::lost(const Line& line) const {
    return line.kind == Line::Kind::Unreadable || (line.group != 0 && !groups_[line.group]);
}

std::size_t Document::unreadableLines() const {
    return static_cast<std::size_t>(
        std::count_if(lines_.begin(), lines_.end(), [this](const Line& l) { return lost(l); }));
}

std::size_t Document::firstUnreadableLine() const {
    for (std::size_t i = 0; i < lines_.size(); ++i)
        if (lost(lines_[i])) return i + 1;
    return 0;
}

void Document::dropUnreadable() {
    std::erase_if(lines_, [this](const Line& l) { return lost(l); });
    // Nothing left to carry a missing final newline: the rewritten file ends with one.
    if (!lines_.empty()) finalNewline_ = true;
}

}  // namespace qv::posix::ini
