#include "engine/quoted_text.h"

#include <charconv>

namespace qv {

std::string quotedForReport(std::string_view text) {
    constexpr std::size_t kQuotedBytes = 64;
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out = "\"";
    const std::string_view shown = text.substr(0, kQuotedBytes);
    for (const char c : shown) {
        const auto b = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (b < 0x20 || b > 0x7E) {
            out += "\\x";
            out += kHex[b >> 4];
            out += kHex[b & 0xF];
        } else {
            out += c;
        }
    }
    out += '"';
    if (shown.size() < text.size()) {
        char digits[24];
        auto r = std::to_chars(digits, digits + sizeof digits, text.size());
        out += "... (";
        out.append(digits, r.ptr);
        out += " bytes in all)";
    }
    return out;
}

}  // namespace qv
