#pragma once
// How names and values stand in the Linux settings file: escaped so that any byte string
// survives, "\\" for a backslash and "\xNN" for a byte that would not otherwise survive.

#include <cstddef>
#include <string>
#include <string_view>

namespace qv::posix::ini {

enum class Part { Section, Key, Value };

// Escapes `text` for its place in a line. Always escaped: the backslash ("\\"), control bytes and
// bytes that are not part of valid UTF-8 ("\xNN", upper-case hex), and a blank at either end
// ("\x20"). A section name also escapes "[" and "]"; a key escapes "=", and "[", ";", "#" or a
// byte order mark at its start. Everything else, valid UTF-8 beyond ASCII included, stands as it
// is.
std::string escapeForIni(std::string_view text, Part part);
// The inverse: "\\" and "\xNN" (hex in either case) are decoded; any other backslash is kept as
// it stands, so a hand-written "C:\dir" survives.
std::string unescapeIni(std::string_view text);
// Whether unescapeIni(escaped) == plain, found without building the unescaped text.
bool unescapesTo(std::string_view escaped, std::string_view plain);

// True when `text` is valid UTF-8 (no overlong forms, surrogates or code points past U+10FFFF).
bool isValidUtf8(std::string_view text);
// Length of the valid UTF-8 sequence at text[i], or 0 when the byte there does not start one.
std::size_t utf8SequenceAt(std::string_view text, std::size_t i);

}  // namespace qv::posix::ini
