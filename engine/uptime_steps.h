#pragma once
// The periodic steps of the uptime engine. Each reads its operands from the board's texts,
// computes, and writes its results back as text before any further use; none keeps anything
// of its own between runs, and none calls another.

#include <cstdint>
#include <string>
#include <string_view>

#include "engine/field_board.h"

namespace qv {

inline constexpr std::string_view kTitlePrefix = "QV-TICKSPAN: ";
inline constexpr std::string_view kDisabledTitle = "QV-TICKSPAN: TIMERS DISABLED !!!";

// Writes the tick count (milliseconds since the system started, as the caller sampled it once),
// its seven unit quotients, the mirror of the days and DaysWhole.
void samplingStep(FieldBoard& board, std::uint64_t tickCount);
// Whole days as text.
void dayStep(FieldBoard& board);
// Hours beyond the whole days already shown; the whole hours among them.
void hourStep(FieldBoard& board);
// Minutes beyond the whole hours; the whole minutes among them.
void minuteStep(FieldBoard& board);
// Seconds beyond the whole minutes; the whole seconds among them.
void secondStep(FieldBoard& board);
// Joins the four whole-count texts into the running title, composed afresh on every run, and
// returns it; it lives in `scratch`, which keeps its storage between runs so that composing does
// not allocate.
std::string_view composeTitle(const FieldBoard& board, std::string& scratch);

// One pass of all six handlers in the start-up order, which settles the board in one pass;
// returns the title.
std::string_view runOnePass(FieldBoard& board, std::uint64_t tickCount, std::string& scratch);

}  // namespace qv
