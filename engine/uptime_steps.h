#pragma once
// The periodic steps of the uptime engine. Each reads its operands from the board's texts,
// computes, and writes its results back as text before any further use; none keeps anything
// of its own between runs, and none calls another.

#include <string>
#include <string_view>

#include "engine/field_board.h"
#include "engine/tick_source.h"

namespace qv {

inline constexpr std::string_view kTitlePrefix = "QV-TICKSPAN: ";
inline constexpr std::string_view kDisabledTitle = "QV-TICKSPAN: TIMERS DISABLED !!!";

// Where the title composer puts the running title: the main window's caption.
class CaptionTarget {
  public:
    virtual ~CaptionTarget() = default;
    virtual void setCaption(std::string_view caption) = 0;
};

// Samples the tick source once and writes the tick count, its seven unit quotients, the mirror
// of the days and DaysWhole.
void samplingStep(FieldBoard& board, const TickSource& ticks);
// Whole days as text.
void dayStep(FieldBoard& board);
// Hours beyond the whole days already shown; the whole hours among them.
void hourStep(FieldBoard& board);
// Minutes beyond the whole hours; the whole minutes among them.
void minuteStep(FieldBoard& board);
// Seconds beyond the whole minutes; the whole seconds among them.
void secondStep(FieldBoard& board);
// Joins the four whole-count texts into the running title and sets it as the caption, on every
// run. `scratch` holds the title between runs so that composing it does not allocate.
void composeTitle(const FieldBoard& board, std::string& scratch, CaptionTarget& caption);

// One pass of all six handlers in the start-up order, which settles the board in one pass.
void runOnePass(FieldBoard& board, const TickSource& ticks, std::string& scratch,
                CaptionTarget& caption);

}  // namespace qv
