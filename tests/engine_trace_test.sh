#!/bin/sh
# engine-trace end to end: good lines give one JSON object each, bad lines are named on the
# error stream and make the exit status 2, and neither a German locale nor C changes a byte.
# Usage: engine_trace_test.sh TOOL [RUNNER...]  (RUNNER: the emulator for a cross build)
set -u
tool=$1
shift
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

printf '123456789\nabc\n4294967295\n9007199254740992\n 0 \n' >"$tmp/in"
LC_ALL=de_DE.UTF-8 "$@" "$tool" <"$tmp/in" >"$tmp/out" 2>"$tmp/err"
status=$?
tr -d '\r' <"$tmp/out" >"$tmp/out.lf"
tr -d '\r' <"$tmp/err" >"$tmp/err.lf"
[ "$status" -eq 2 ] || fail "exit status $status, expected 2"
[ "$(wc -l <"$tmp/out.lf")" -eq 3 ] || fail "expected 3 output lines: $(cat "$tmp/out.lf")"
grep -q 'line 2: "abc" is not a whole number' "$tmp/err.lf" || fail "line 2 not reported: $(cat "$tmp/err.lf")"
grep -q 'line 4: "9007199254740992"' "$tmp/err.lf" || fail "line 4 not reported"
line1=$(sed -n 1p "$tmp/out.lf")
for want in '"tick":123456789' '"START_TB":"123456789"' '"SECONDS_DIFFERENCE_TB":"36.789"' \
    '"TOTAL_MIL_YEAR":"31536000000"' '"DaysWhole":1' '"SecondsWhole":36' \
    '"caption":"QV-TICKSPAN: 1d, 10h, 17m, 36s"'; do
    case $line1 in *"$want"*) ;; *) fail "missing $want in: $line1" ;; esac
done
case $(sed -n 2p "$tmp/out.lf") in
    *'"caption":"QV-TICKSPAN: 49d, 17h, 2m, 47s"}') ;;
    *) fail "wrong second object: $(sed -n 2p "$tmp/out.lf")" ;;
esac
case $(sed -n 3p "$tmp/out.lf") in
    '{"tick":0,'*'"caption":"QV-TICKSPAN: 0d, 0h, 0m, 0s"}') ;;
    *) fail "wrong third object" ;;
esac
# Every field of the board is present, by name.
for f in START_TB YEARS_TB MONTHS_TB WEEKS_TB DAYS_TB HOURS_TB MINS_TB SECS_TB DAYS_MIRROR_TB \
    DAYS_ROUNDED_TB HOURS_24_TB HOURS_FULL HOURS_LEFT_TB HOURS_ROUNDED_TB MINS_60_TB \
    MINUTES_LEFT_X_60_TB MINUTES_ROUNDED_X_60_TB MINUTES_DIFFERENCE_LEFT_TB \
    MINUTES_DIFFERENCE_ROUNDED_TB SECS_60_TB SECONDS_LEFT_TB SECONDS_ROUNDED_TB \
    SECONDS_DIFFERENCE_TB SECONDS_DIFFERENCE_ROUNDED_TB; do
    case $line1 in *"\"$f\":\""*) ;; *) fail "field $f missing" ;; esac
done
# The C locale (LANG unset) prints the same bytes as the German one.
env -u LANG -u LANGUAGE LC_ALL=C "$@" "$tool" <"$tmp/in" >"$tmp/out.c" 2>"$tmp/err.c"
[ $? -eq 2 ] || fail "exit status under C"
cmp -s "$tmp/out" "$tmp/out.c" || fail "the C locale changes the output: $(cat "$tmp/out.c")"
cmp -s "$tmp/err" "$tmp/err.c" || fail "the C locale changes the messages: $(cat "$tmp/err.c")"
# Valid input alone exits 0.
echo 61500 | "$@" "$tool" >/dev/null 2>&1 || fail "a valid line must exit 0"
echo "engine-trace: all checks passed"
