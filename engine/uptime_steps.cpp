#include "engine/uptime_steps.h"

#include <cmath>

#include "engine/conversions.h"
#include "engine/step_fault.h"

namespace qv {

namespace {

double lenient(const FieldBoard& board, Field f) {
    double v = 0.0;
    if (lenientRead(board.text(f), v) != ReadStatus::Ok)
        throw ArithmeticFault(fieldName(f), board.text(f));
    return v;
}

std::int32_t wholePartOf(const FieldBoard& board, Field f) {
    double x = 0.0;
    switch (strictRead(board.text(f), x)) {
        case ReadStatus::Ok:
            break;
        case ReadStatus::NotANumber:
            throw TypeFault(fieldName(f), board.text(f));
        case ReadStatus::OutOfRange:
            throw ArithmeticFault(fieldName(f), board.text(f));
    }
    std::int32_t whole = 0;
    if (!wholePart(x, whole)) throw ArithmeticFault(fieldName(f), board.text(f));
    return whole;
}

// Writes a computed real to its field once it is known to be a number.
void writeReal(FieldBoard& board, Field target, double value, double a, char op, double b) {
    if (!std::isfinite(value)) {
        std::string expr;
        expr.append(realText(a)).push_back(' ');
        expr.push_back(op);
        expr.push_back(' ');
        expr.append(realText(b));
        throw ArithmeticFault(fieldName(target), expr);
    }
    board.setText(target, realText(value));
}

void product(FieldBoard& board, Field target, Field a, Field b) {
    const double x = lenient(board, a);
    const double y = lenient(board, b);
    writeReal(board, target, x * y, x, '*', y);
}

void difference(FieldBoard& board, Field target, Field a, Field b) {
    const double x = lenient(board, a);
    const double y = lenient(board, b);
    writeReal(board, target, x - y, x, '-', y);
}

struct Quotient {
    Field target;
    Field unit;
};

constexpr Quotient kQuotients[] = {
    {Field::YEARS_TB, Field::TOTAL_MIL_YEAR}, {Field::MONTHS_TB, Field::TOTAL_MIL_MONTH},
    {Field::WEEKS_TB, Field::TOTAL_MIL_WEEK}, {Field::DAYS_TB, Field::TOTAL_MIL_DAY},
    {Field::HOURS_TB, Field::TOTAL_MIL_HOUR}, {Field::MINS_TB, Field::TOTAL_MIL_MIN},
    {Field::SECS_TB, Field::TOTAL_MIL_SEC},
};

}  // namespace

void samplingStep(FieldBoard& board, std::uint64_t tickCount) {
    board.setText(Field::START_TB, unsignedText(tickCount));
    for (const Quotient& q : kQuotients) {
        const double unit = lenient(board, q.unit);
        const double start = lenient(board, Field::START_TB);
        if (unit == 0.0) throw ArithmeticFault(fieldName(q.unit), board.text(q.unit));
        writeReal(board, q.target, start / unit, start, '/', unit);
    }
    board.setText(Field::DAYS_MIRROR_TB, board.text(Field::DAYS_TB));
    board.DaysWhole = wholePartOf(board, Field::DAYS_TB);
}

void dayStep(FieldBoard& board) {
    board.setText(Field::DAYS_ROUNDED_TB, integerText(board.DaysWhole));
}

void hourStep(FieldBoard& board) {
    product(board, Field::HOURS_FULL, Field::DAYS_ROUNDED_TB, Field::HOURS_24_TB);
    difference(board, Field::HOURS_LEFT_TB, Field::HOURS_TB, Field::HOURS_FULL);
    board.HoursWhole = wholePartOf(board, Field::HOURS_LEFT_TB);
    board.setText(Field::HOURS_ROUNDED_TB, integerText(board.HoursWhole));
}

void minuteStep(FieldBoard& board) {
    product(board, Field::MINUTES_LEFT_X_60_TB, Field::HOURS_LEFT_TB, Field::MINS_60_TB);
    product(board, Field::MINUTES_ROUNDED_X_60_TB, Field::HOURS_ROUNDED_TB, Field::MINS_60_TB);
    difference(board, Field::MINUTES_DIFFERENCE_LEFT_TB, Field::MINUTES_LEFT_X_60_TB,
               Field::MINUTES_ROUNDED_X_60_TB);
    board.MinutesWhole = wholePartOf(board, Field::MINUTES_DIFFERENCE_LEFT_TB);
    board.setText(Field::MINUTES_DIFFERENCE_ROUNDED_TB, integerText(board.MinutesWhole));
}

void secondStep(FieldBoard& board) {
    product(board, Field::SECONDS_LEFT_TB, Field::MINUTES_DIFFERENCE_LEFT_TB, Field::SECS_60_TB);
    product(board, Field::SECONDS_ROUNDED_TB, Field::MINUTES_DIFFERENCE_ROUNDED_TB,
            Field::SECS_60_TB);
    difference(board, Field::SECONDS_DIFFERENCE_TB, Field::SECONDS_LEFT_TB,
               Field::SECONDS_ROUNDED_TB);
    board.SecondsWhole = wholePartOf(board, Field::SECONDS_DIFFERENCE_TB);
    board.setText(Field::SECONDS_DIFFERENCE_ROUNDED_TB, integerText(board.SecondsWhole));
}

std::string_view composeTitle(const FieldBoard& board, std::string& scratch) {
    scratch.assign(kTitlePrefix);
    scratch.append(board.text(Field::DAYS_ROUNDED_TB)).append("d, ");
    scratch.append(board.text(Field::HOURS_ROUNDED_TB)).append("h, ");
    scratch.append(board.text(Field::MINUTES_DIFFERENCE_ROUNDED_TB)).append("m, ");
    scratch.append(board.text(Field::SECONDS_DIFFERENCE_ROUNDED_TB)).append("s");
    return scratch;
}

std::string_view runOnePass(FieldBoard& board, std::uint64_t tickCount, std::string& scratch) {
    samplingStep(board, tickCount);
    dayStep(board);
    hourStep(board);
    minuteStep(board);
    secondStep(board);
    return composeTitle(board, scratch);
}

}  // namespace qv
