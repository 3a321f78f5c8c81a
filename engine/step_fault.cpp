#include "engine/step_fault.h"

namespace qv {

namespace {
std::string describe(std::string_view kind, std::string_view field, std::string_view text) {
    std::string s;
    s.append(kind).append(" in ").append(field).append(": \"");
    // Quote at most 64 characters, with non-printing bytes escaped.
    constexpr std::size_t kMaxQuoted = 64;
    static constexpr char kHex[] = "0123456789ABCDEF";
    for (std::size_t i = 0; i < text.size() && i < kMaxQuoted; ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c < 0x20 || c >= 0x7F || c == '"' || c == '\\') {
            s.append("\\x").push_back(kHex[c >> 4]);
            s.push_back(kHex[c & 15]);
        } else {
            s.push_back(static_cast<char>(c));
        }
    }
    s.push_back('"');
    if (text.size() > kMaxQuoted) s.append("...");
    return s;
}
}  // namespace

StepFault::StepFault(std::string_view kind, std::string_view field, std::string_view text)
    : std::runtime_error(describe(kind, field, text)), field_(field), text_(text) {}

}  // namespace qv
