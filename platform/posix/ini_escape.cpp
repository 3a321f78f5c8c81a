#include "platform/posix/ini_escape.h"

namespace qv::posix::ini {

namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

bool isControl(unsigned char b) {
    return b < 0x20 || b == 0x7F;
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

// The byte that the escape at text[i] stands for, and how many more bytes it takes; the byte
// itself when no escape starts there.
char unescapedAt(std::string_view text, std::size_t i, std::size_t& extra) {
    extra = 0;
    if (text[i] != '\\' || i + 1 >= text.size()) return text[i];
    if (text[i + 1] == '\\') {
        extra = 1;
        return '\\';
    }
    if (text[i + 1] == 'x' && i + 3 < text.size()) {
        const int hi = hexValue(text[i + 2]);
        const int lo = hexValue(text[i + 3]);
        if (hi >= 0 && lo >= 0) {
            extra = 3;
            return static_cast<char>(hi * 16 + lo);
        }
    }
    return '\\';
}

}  // namespace

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
    for (std::size_t i = 0, extra = 0; i < text.size(); i += 1 + extra)
        out += unescapedAt(text, i, extra);
    return out;
}

bool unescapesTo(std::string_view escaped, std::string_view plain) {
    std::size_t j = 0;
    for (std::size_t i = 0, extra = 0; i < escaped.size(); i += 1 + extra) {
        if (j == plain.size() || unescapedAt(escaped, i, extra) != plain[j]) return false;
        ++j;
    }
    return j == plain.size();
}

}  // namespace qv::posix::ini
