#include "platform/posix/ini_document.h"

#include <algorithm>

namespace qv::posix::ini {

namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view trimmed(std::string_view s) {
    while (!s.empty() && isBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && isBlank(s.back())) s.remove_suffix(1);
    return s;
}

bool isControl(unsigned char b) {
    return b < 0x20 || b == 0x7F;
}

// Length of the valid UTF-8 sequence at text[i], or 0 when the byte there does not start one.
std::size_t utf8SequenceAt(std::string_view text, std::size_t i) {
    const auto b0 = static_cast<unsigned char>(text[i]);
    if (b0 < 0x80) return 1;
    std::size_t len = 0;
    unsigned char lo = 0x80, hi = 0xBF;  // allowed range of the second byte
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        len = 2;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        len = 3;
        if (b0 == 0xE0) lo = 0xA0;  // no overlong forms
        if (b0 == 0xED) hi = 0x9F;  // no surrogates
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        len = 4;
        if (b0 == 0xF0) lo = 0x90;
        if (b0 == 0xF4) hi = 0x8F;  // nothing past U+10FFFF
    } else {
        return 0;
    }
    if (i + len > text.size()) return 0;
    for (std::size_t k = 1; k < len; ++k) {
        const auto b = static_cast<unsigned char>(text[i + k]);
        if (k == 1 ? (b < lo || b > hi) : (b < 0x80 || b > 0xBF)) return 0;
    }
    return len;
}

void appendHexEscape(std::string& out, unsigned char b) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    out += "\\x";
    out += kHex[b >> 4];
    out += kHex[b & 0xF];
}

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool endsWithCr(const std::string& raw) {
    return !raw.empty() && raw.back() == '\r';
}

}  // namespace

bool isValidUtf8(std::string_view text) {
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t len = utf8SequenceAt(text, i);
        if (len == 0) return false;
        i += len;
    }
    return true;
}

std::string escapeForIni(std::string_view text, Part part) {
    std::string out;
    out.reserve(text.size() + 8);
    for (std::size_t i = 0; i < text.size();) {
        const char c = text[i];
        const auto b = static_cast<unsigned char>(c);
        const std::size_t len = utf8SequenceAt(text, i);
        const bool leadingMark = i == 0 && part == Part::Key && text.starts_with(kByteOrderMark);
        if (len > 1 && !leadingMark) {
            out.append(text, i, len);
            i += len;
            continue;
        }
        if (leadingMark) {
            for (const char m : kByteOrderMark) appendHexEscape(out, static_cast<unsigned char>(m));
            i += kByteOrderMark.size();
            continue;
        }
        const bool atEdge = i == 0 || i + 1 == text.size();
        bool escape = len == 0 || isControl(b) || (c == ' ' && atEdge);
        switch (part) {
            case Part::Section:
                escape = escape || c == '[' || c == ']';
                break;
            case Part::Key:
                escape = escape || c == '=' || (i == 0 && (c == '[' || c == ';' || c == '#'));
                break;
            case Part::Value:
                break;
        }
        if (c == '\\')
            out += "\\\\";
        else if (escape)
            appendHexEscape(out, b);
        else
            out += c;
        ++i;
    }
    return out;
}

std::string unescapeIni(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 1 < text.size()) {
            if (text[i + 1] == '\\') {
                out += '\\';
                ++i;
                continue;
            }
            if (text[i + 1] == 'x' && i + 3 < text.size()) {
                const int hi = hexValue(text[i + 2]);
                const int lo = hexValue(text[i + 3]);
                if (hi >= 0 && lo >= 0) {
                    out += static_cast<char>(hi * 16 + lo);
                    i += 3;
                    continue;
                }
            }
        }
        out += text[i];
    }
    return out;
}

namespace {

// What one line says, without its line end and the byte order marks before it. A header, readable
// or not, opens a group: `opensGroup` says so.
Line classify(std::string_view text, bool& opensGroup) {
    Line line;
    line.kind = Line::Kind::Unreadable;
    const std::string_view t = trimmed(text);
    const bool plainText = isValidUtf8(text) && std::none_of(text.begin(), text.end(), [](char c) {
                               return c != '\t' && isControl(static_cast<unsigned char>(c));
                           });
    opensGroup = !t.empty() && t.front() == '[';
    if (opensGroup) {
        const std::size_t close = t.find(']');
        if (plainText && close != std::string_view::npos) {
            const std::string_view rest = trimmed(t.substr(close + 1));
            if (rest.empty() || rest.front() == ';' || rest.front() == '#') {
                line.kind = Line::Kind::Section;
                line.name = unescapeIni(trimmed(t.substr(1, close - 1)));
            }
        }
    } else if (plainText) {
        if (t.empty()) {
            line.kind = Line::Kind::Blank;
        } else if (t.front() == ';' || t.front() == '#') {
            line.kind = Line::Kind::Comment;
        } else if (const std::size_t eq = t.find('='); eq != std::string_view::npos) {
            const std::string_view key = trimmed(t.substr(0, eq));
            if (!key.empty()) {
                line.kind = Line::Kind::Entry;
                line.name = unescapeIni(key);
                line.value = unescapeIni(trimmed(t.substr(eq + 1)));
            }
        }
    }
    return line;
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

        std::string_view text = raw;
        if (!text.empty() && text.back() == '\r') text.remove_suffix(1);
        // Byte order marks mean nothing at the start of any line, not only the first, and
        // however many there are: so a line reads the same wherever it stands. A save that
        // leaves out the lines above it may make it the file's first line, whose first mark is
        // then taken for the file's own; stripping only one mark per line would read it anew.
        while (text.starts_with(kByteOrderMark)) text.remove_prefix(kByteOrderMark.size());
        bool opensGroup = false;
        Line line = classify(text, opensGroup);
        line.raw.assign(raw);
        if (opensGroup)
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
