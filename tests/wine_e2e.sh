#!/usr/bin/env bash
# Runs kestrel.exe under Wine and checks the exact bytes of its standard
# output (text mode: CR LF line ends), its standard error and its exit code.
# Wine's GetGuiResources reports 0 for every process, so the census keeps
# none: every run that gets past the arguments prints the banner alone.
#
# With OBJDUMP, it first checks that the .exe is a console program that
# imports system DLLs only, so that it runs on a bare Windows.
#
# usage: wine_e2e.sh WINE KESTREL_EXE EXPECTED_DIR [OBJDUMP]
set -u

if [ $# -lt 3 ]; then
  echo "usage: $0 WINE KESTREL_EXE EXPECTED_DIR [OBJDUMP]" >&2
  exit 2
fi
wine=$1
exe=$2
expected=$3
objdump=${4:-}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0

fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

check_imports() {
  local headers dll found=0
  if ! headers=$("$objdump" -p "$exe"); then
    fail "imports: $objdump cannot read $exe"
    return
  fi
  if ! grep -q 'Subsystem.*Windows CUI' <<< "$headers"; then
    fail "imports: $exe is not a console program"
  fi
  while read -r dll; do
    [ -n "$dll" ] || continue
    found=1
    case "${dll,,}" in
      kernel32.dll | user32.dll | gdi32.dll | shlwapi.dll | advapi32.dll | \
        ntdll.dll | msvcrt.dll) ;;
      *) fail "imports: $exe needs $dll, which Windows does not ship" ;;
    esac
  done < <(sed -n 's/^[[:space:]]*DLL Name: //p' <<< "$headers")
  [ "$found" = 1 ] || fail "imports: no DLL names in the headers of $exe"
  echo "checked: imports of $(basename "$exe")"
}

want_stderr=
# expect NAME EXIT_CODE EXPECTED_FILE... -- ARGUMENT...
# The expected standard output is the files' contents, one after the other.
expect() {
  local name=$1 code=$2 file before=$failures
  shift 2
  : > "$work/expected"
  while [ "$1" != "--" ]; do
    cat "$expected/$1" >> "$work/expected" || fail "$name: cannot read $1"
    shift
  done
  shift
  "$wine" "$exe" "$@" > "$work/stdout" 2> "$work/stderr" < /dev/null
  local actual=$?
  # A watch's sample line ends with the local clock's time, which differs
  # from run to run.
  sed -i -E 's/^(Sample [0-9]+ at \+[0-9]+ s) \([0-9]{2}:[0-9]{2}:[0-9]{2}\)/\1 (hh:mm:ss)/' \
    "$work/stdout"
  if ! cmp -s "$work/expected" "$work/stdout"; then
    fail "$name: standard output differs" \
      "(-expected +actual; ^M is CR, \$ ends a line):"
    diff -u <(cat -A "$work/expected") <(cat -A "$work/stdout") | tail -n +3
  fi
  # Standard error holds want_stderr's line (CR LF on Windows), or nothing.
  if [ "$(tr -d '\r' < "$work/stderr")" != "$want_stderr" ]; then
    fail "$name: unexpected standard error:"
    cat -A "$work/stderr"
  fi
  if [ "$actual" != "$code" ]; then
    fail "$name: exit code $actual, expected $code"
  fi
  [ "$failures" = "$before" ] && echo "ok: $name"
}

if [ -n "$objdump" ]; then
  check_imports
else
  echo "imports not checked: no objdump given"
fi

expect "no arguments" 0 banner.txt --
expect "-h" 0 banner.txt usage.txt -- -h
expect "/?" 0 banner.txt usage.txt -- "/?"
expect "/help" 0 banner.txt usage.txt -- /help
expect "-H is a name" 0 banner.txt -- -H
expect "help after a target" 0 banner.txt usage.txt -- notepad -h
want_stderr="kestrel: one process name or PID only: 'calc' follows 'notepad'"
expect "two targets" 1 banner.txt usage.txt -- notepad calc
want_stderr=
expect "PID 0 then a name" 0 banner.txt -- 0 notepad
want_stderr="kestrel: one process name or PID only: '0' follows 'notepad'"
expect "a name then PID 0" 1 banner.txt usage.txt -- notepad 0
want_stderr=
# The runtime splits the command line that Wine quotes back into one
# argument: a single target, not two.
expect "quoted argument with spaces" 0 banner.txt -- "note pad"
want_stderr="kestrel: one process name or PID only: 'calc' follows 'note pad'"
expect "quoted argument, then a target" 1 banner.txt usage.txt -- \
  "note pad" calc
want_stderr=
expect "-c" 0 banner.txt -- -c
expect "-c -v" 0 banner.txt -- -c -v
expect "-v -f brush" 0 banner.txt -- -v -f brush
expect "-v -f as a target" 0 banner.txt -- -v -f
expect "-t 5 -s name: nothing reaches it" 0 banner.txt -- -t 5 -s name
expect "-o csv: the header alone" 0 csv_header.txt -- -o csv

# A watch of two samples waits for real: the second comes a second after
# the first ("+1 s"), and the run takes at least that long.
started=$(date +%s%N)
expect "-w 1 -n 2" 0 banner.txt watch.txt -- -w 1 -n 2
took_ms=$((($(date +%s%N) - started) / 1000000))
if [ "$took_ms" -lt 1000 ]; then
  fail "-w 1 -n 2: took $took_ms ms, less than the second between samples"
fi

# The JSON document parses: no process, and no answer for the session's
# counts under Wine.
if json=$("$wine" "$exe" -o json -v 2>&1 </dev/null) &&
   python3 -c 'import datetime, json, sys
document = json.loads(sys.argv[1])
assert document["processes"] == [] and document["system"]["gdiObjects"] is None
# When and where: the system clock in UTC, and a host name.
taken = datetime.datetime.fromisoformat(document["time"])
now = datetime.datetime.now(datetime.timezone.utc)
assert document["time"].endswith("Z") and abs((now - taken).total_seconds()) < 600
assert document["host"]' "$json"; then
  echo "ok: -o json -v"
else
  fail "-o json -v: $json"
fi

# -o prometheus: LF line ends, standard output too; promtool, where it is
# installed, reads it without a complaint.
if "$wine" "$exe" -o prometheus > "$work/metrics" 2>&1 < /dev/null &&
   head -n 1 "$work/metrics" | grep -q '^# HELP kestrel_process_gdi_objects ' &&
   ! grep -q $'\r' "$work/metrics" &&
   { ! command -v promtool > /dev/null ||
     promtool check metrics < "$work/metrics" > "$work/lint" 2>&1; }; then
  echo "ok: -o prometheus"
else
  fail "-o prometheus:"
  cat -A "$work/metrics" "$work/lint" 2> /dev/null | head -20
fi

# -O: the file takes what standard output would, through a new file beside
# it that replaces it whole; nothing else stays in the folder. The sample's
# time differs, and so do the table's used entries: a watch's hidden window,
# which hears of a logoff, has GDI objects of its own.
untimed() { grep -vE '^kestrel_(last_sample_timestamp_seconds|table_entries_used)' "$1"; }
windows_path() { local path=${1//\//\\}; echo "Z:$path"; }
mkdir "$work/out"
echo old > "$work/out/kestrel.prom"
"$wine" "$exe" -o prometheus -w 1 -n 2 -O "$(windows_path "$work/out/kestrel.prom")" \
  > "$work/stdout" 2>&1 < /dev/null
code=$?
if [ "$code" = 0 ] && [ ! -s "$work/stdout" ] &&
   cmp -s <(untimed "$work/metrics") <(untimed "$work/out/kestrel.prom") &&
   grep -q '^kestrel_last_sample_timestamp_seconds{session="[0-9]*"} [0-9]' \
     "$work/out/kestrel.prom" &&
   [ "$(ls "$work/out")" = kestrel.prom ]; then
  echo "ok: -o prometheus -w 1 -n 2 -O"
else
  fail "-o prometheus -w 1 -n 2 -O: exit $code, folder: $(ls "$work/out")"
  cat -A "$work/stdout" "$work/out/kestrel.prom" | head -20
fi
"$wine" "$exe" -o csv -O "$(windows_path "$work/out/kestrel.csv")" \
  > "$work/stdout" 2>&1 < /dev/null
if [ $? = 0 ] && [ ! -s "$work/stdout" ] &&
   cmp -s "$expected/csv_header.txt" "$work/out/kestrel.csv"; then
  echo "ok: -o csv -O, CR LF as on standard output"
else
  fail "-o csv -O:"
  cat -A "$work/stdout" "$work/out/kestrel.csv"
fi
# A folder cannot be replaced by a file: exit code 5, one line naming it,
# and the folder as it was.
target=$(windows_path "$work/out")
"$wine" "$exe" -O "$target" > "$work/stdout" 2> "$work/stderr" < /dev/null
code=$?
if [ "$code" = 5 ] && [ "$(wc -l < "$work/stderr")" = 1 ] &&
   grep -qF "kestrel: cannot write $target: " "$work/stderr" &&
   [ "$(ls "$work/out")" = "$(printf 'kestrel.csv\nkestrel.prom')" ] &&
   [ "$(ls "$work")" = "$(ls "$work" | grep -v '\.tmp$')" ]; then
  echo "ok: -O over a folder: exit 5"
else
  fail "-O over a folder: exit $code, folder: $(ls "$work" "$work/out")"
  cat -A "$work/stderr"
fi

if [ "$failures" != 0 ]; then
  echo "$failures check(s) failed"
  exit 1
fi
echo "all checks passed"
