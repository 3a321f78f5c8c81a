#pragma once
// How a report shows a text it could not use: a field's text in a step's fault, a stored value
// the settings reject, a line the trace tool cannot read.

#include <string>
#include <string_view>

namespace qv {

// At most 64 bytes of `text` in double quotes: bytes outside printable ASCII as \xNN, quotes
// and backslashes escaped, and a note of the full length when cut.
std::string quotedForReport(std::string_view text);

}  // namespace qv
