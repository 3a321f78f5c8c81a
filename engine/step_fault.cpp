#include "engine/step_fault.h"

#include "engine/quoted_text.h"

namespace qv {

namespace {
std::string describe(std::string_view kind, std::string_view field, std::string_view text) {
    std::string s;
    s.append(kind).append(" in ").append(field).append(": ").append(quotedForReport(text));
    return s;
}
}  // namespace

StepFault::StepFault(std::string_view kind, std::string_view field, std::string_view text)
    : std::runtime_error(describe(kind, field, text)), field_(field), text_(text) {}

}  // namespace qv
