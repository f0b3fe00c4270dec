#!/usr/bin/env bash
# kestrel.exe -x under Wine on follow_target.exe (beside it, with the agent):
# the text report names LeakBrushes and its file:line first as still
# growing, the font cache as held, and no stack of the DC churn; -x PID on
# the same program already running; a program that crashes mid-trace, one
# that exits at once, and the refusals of a PID that does not exist and of
# a 32-bit program (where the build made one).
#
# usage: follow_exe_test.sh WINE KESTREL_EXE TARGET_HEADER
set -u

if [ $# -ne 3 ]; then
  echo "usage: $0 WINE KESTREL_EXE TARGET_HEADER" >&2
  exit 2
fi
wine=$1
exe=$2
folder=$(dirname "$exe")
leak_line=$(sed -n 's/.*kLeakBrushLine = \([0-9]*\);.*/\1/p' "$3")
font_line=$(sed -n 's/.*kCacheFontLine = \([0-9]*\);.*/\1/p' "$3")

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

# run NAME EXPECTED_CODE ARGUMENT...: kestrel.exe's output in $work/NAME.*
run() {
  local name=$1 code=$2
  shift 2
  (cd "$folder" && "$wine" kestrel.exe "$@" > "$work/$name.out" 2> "$work/$name.err" < /dev/null)
  local actual=$?
  [ "$actual" = "$code" ] || fail "$name: exit code $actual, expected $code"
  tr -d '\r' < "$work/$name.out" > "$work/$name.txt"
  tr -d '\r' < "$work/$name.err" > "$work/$name.stderr"
}

# The trace report's stacks: each "Stack" line joined to its first frame.
stacks() { sed -n '/^Trace of/,$p' "$work/$1.txt" | awk '/^Stack /{s=$0; getline; print s " |" $0}'; }

run launch 0 -x follow_target.exe run 12
first=$(stacks launch | head -n 1)
grep -q "Brush .*still growing.*| *follow_target.exe!LeakBrushes+0x[0-9a-f]* (.*follow_target.cc:$leak_line)$" <<< "$first" ||
  fail "launch: the first stack is not the leak, still growing, at follow_target.cc:$leak_line: $first"
stacks launch | grep -q "Font 8 .*held at 8.*| *follow_target.exe!CacheFont+0x[0-9a-f]* (.*follow_target.cc:$font_line)$" ||
  fail "launch: no font cache held at 8"
stacks launch | grep -q '| *follow_target.exe!ChurnDcs+' &&
  fail "launch: the DC churn is reported as objects left"
grep -q "exited with code 0$" "$work/launch.txt" || fail "launch: no exit code 0 in the report"
[ "$failures" = 0 ] && echo "ok: launch"
sed -n '/^Trace of/,$p' "$work/launch.txt"

# -x PID: the program runs before kestrel comes.
before=$failures
(cd "$folder" && exec "$wine" follow_target.exe pid 8 > "$work/pid" < /dev/null) &
program=$!
for _ in $(seq 100); do
  [ -s "$work/pid" ] && break
  sleep 0.2
done
pid=$(tr -d '\r\n' < "$work/pid")
if [ -z "$pid" ]; then
  fail "attach: follow_target.exe did not say its PID"
else
  run attach 0 -x "$pid"
  stacks attach | head -n 1 | grep -q "Brush .*still growing.*LeakBrushes+.*follow_target.cc:$leak_line)$" ||
    fail "attach: the first stack is not the leak: $(stacks attach | head -n 1)"
fi
wait "$program"
[ "$failures" = "$before" ] && echo "ok: attach"

before=$failures
run crash 0 -x follow_target.exe crash 2
grep -q "exited with code 3221225477 (0xC0000005)$" "$work/crash.txt" ||
  fail "crash: no access violation in the report"
stacks crash | grep -q "LeakBrushes+" || fail "crash: the leak's stack is gone"
[ "$failures" = "$before" ] && echo "ok: crash"

before=$failures
run exit 0 -x follow_target.exe exit
grep -q "exited with code 3$" "$work/exit.txt" || fail "exit: no exit code 3 in the report"
[ "$failures" = "$before" ] && echo "ok: exits at once"

before=$failures
run no_pid 10 -x 99999
grep -qx "kestrel: -x: no running process has PID 99999" "$work/no_pid.stderr" ||
  fail "no such PID: standard error: $(cat "$work/no_pid.stderr")"
if [ -f "$folder/follow_target32.exe" ]; then
  run bits32 10 -x follow_target32.exe
  grep -q "is a 32-bit program: 64-bit programs are followed$" "$work/bits32.stderr" ||
    fail "32-bit: standard error: $(cat "$work/bits32.stderr")"
fi
[ "$failures" = "$before" ] && echo "ok: refusals"

if [ "$failures" != 0 ]; then
  echo "$failures check(s) failed"
  exit 1
fi
echo "all checks passed"
