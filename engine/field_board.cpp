#include "engine/field_board.h"

namespace qv {

static_assert(
    [] {
        for (std::size_t i = 0; i < kFields.size(); ++i)
            if (static_cast<std::size_t>(kFields[i].field) != i) return false;
        return true;
    }(),
    "kFields must list the fields in the order of the Field enumeration");

bool findField(std::string_view name, Field& out) {
    for (const FieldInfo& info : kFields) {
        if (info.name == name) {
            out = info.field;
            return true;
        }
    }
    return false;
}

FieldBoard::FieldBoard() {
    // Room for the longest text any step writes, so passes on a warm board never allocate.
    for (auto& t : texts_) t.reserve(32);
    reset();
}

void FieldBoard::reset() {
    for (const FieldInfo& info : kFields) texts_[index(info.field)].assign(info.initialText);
    DaysWhole = HoursWhole = MinutesWhole = SecondsWhole = 0;
}

}  // namespace qv
