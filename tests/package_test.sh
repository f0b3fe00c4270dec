#!/usr/bin/env bash
# Makes the download with cpack in a folder of its own (and fails to make it
# without a commit time, which would make it unreproducible), then checks it
# as a user would: the checksum file verifies the zip, the zip holds its files and
# nothing else, the changelog has an entry for the version, neither program
# nor the agent (kestrel_agent.dll) carries debug sections, their PE headers
# say what they are (the agent a 64-bit DLL with the programs' address and
# execution flags, importing kernel32 and ntdll alone; kestrel.exe a
# console program, kestrelw.exe a GUI one, both aware of Remote Desktop
# sessions, neither importing winpthread's thread control), the unpacked
# kestrel.exe prints its usage text under Wine and follows cmd.exe with -x,
# and kestrelw.exe refuses to
# run without -O.
#
# usage: package_test.sh CMAKE CPACK CPACK_CONFIG WINE PACKAGE_NAME VERSION OBJDUMP
set -u

if [ $# -ne 7 ]; then
  echo "usage: $0 CMAKE CPACK CPACK_CONFIG WINE PACKAGE_NAME VERSION OBJDUMP" >&2
  exit 2
fi
cmake=$1
cpack=$2
config=$3
wine=$4
name=$5
version=$6
objdump=$7

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0

fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

if ! "$cpack" --config "$config" -B "$work/out" > "$work/cpack.log" 2>&1; then
  cat "$work/cpack.log"
  echo "FAIL: cpack did not make the package"
  exit 1
fi
zip=$work/out/$name.zip
if [ ! -f "$zip" ] || [ ! -f "$zip.sha256" ]; then
  echo "FAIL: no $name.zip with its .sha256; cpack made:"
  ls "$work/out"
  exit 1
fi
echo "made: $name.zip, $name.zip.sha256"

# Without a commit time (no git on the PATH, no SOURCE_DATE_EPOCH) the
# download cannot be made reproducible: cpack fails and says why, rather
# than keep its own zip.
if env -u SOURCE_DATE_EPOCH PATH=/nonexistent \
    "$cpack" --config "$config" -B "$work/unreproducible" > "$work/cpack-unreproducible.log" 2>&1; then
  fail "cpack made a package without a commit time:"
  ls "$work/unreproducible"
elif ! grep -q "not reproducible" "$work/cpack-unreproducible.log"; then
  fail "cpack failed without a commit time, but not for it:"
  cat "$work/cpack-unreproducible.log"
fi

(cd "$work/out" && sha256sum --check --strict "$name.zip.sha256") ||
  fail "the checksum file does not verify the zip"

mkdir "$work/unpacked"
(cd "$work/unpacked" && "$cmake" -E tar xf "$zip") || fail "the zip does not unpack"
contents=$(cd "$work/unpacked" && find . -mindepth 1 | sort)
expected=$'./CHANGELOG.md\n./LICENSE\n./README.md\n./kestrel.exe\n./kestrel.rules.yml\n./kestrel_agent.dll\n./kestrelw.exe'
if [ "$contents" != "$expected" ]; then
  fail "the zip holds:"
  echo "$contents"
fi

grep -q "^## \[$version\] - " "$work/unpacked/CHANGELOG.md" ||
  fail "CHANGELOG.md has no entry for $version"

# check_program NAME SUBSYSTEM
check_program() {
  local exe=$work/unpacked/$1 headers
  if ! headers=$("$objdump" -h -p "$exe"); then
    fail "$objdump cannot read the zip's $1"
    return
  fi
  if grep -q '\.debug_' <<< "$headers"; then
    fail "the zip's $1 carries debug sections:"
    grep '\.debug_' <<< "$headers"
  fi
  grep -q "^Subsystem.*($2)" <<< "$headers" ||
    fail "$1 is not a $2 program: $(grep '^Subsystem' <<< "$headers")"
  # DllCharacteristics' names follow it, one a line.
  grep -q 'TERMINAL_SERVICE_AWARE' <<< "$headers" ||
    fail "$1 lacks TERMINAL_SERVER_AWARE"
  # winpthread, which the POSIX thread model's runtime links in, imports
  # these to suspend and cancel threads; kestrel never does, and the
  # download is built with the win32 model, which needs no winpthread.
  if grep -qE '\b(SuspendThread|SetThreadContext)\b' <<< "$headers"; then
    fail "$1 imports winpthread's thread control:" \
      $(grep -oE '\b(SuspendThread|SetThreadContext)\b' <<< "$headers" | sort -u)
  fi
  echo "checked: $1 imports" \
    $(sed -n 's/^[[:space:]]*DLL Name: //p' <<< "$headers" | sort -fu)
  echo "checked: $1: $(grep '^Subsystem' <<< "$headers" | tr -s ' \t' ' '); DllCharacteristics $(sed -n '/^DllCharacteristics/,/^SizeOfStackReserve/p' <<< "$headers" | tr -s ' \t\n' ' ')"
}
# The agent -x loads into a followed program: a 64-bit DLL without debug
# sections, relocatable with a high-entropy address, never executing data,
# as the programs are, and needing nothing but kernel32 and ntdll.
check_agent() {
  local dll=$work/unpacked/kestrel_agent.dll headers flag
  if ! headers=$("$objdump" -h -p "$dll"); then
    fail "$objdump cannot read the zip's kestrel_agent.dll"
    return
  fi
  grep -q '\.debug_' <<< "$headers" && fail "the zip's kestrel_agent.dll carries debug sections"
  grep -q '^Magic.*020b' <<< "$headers" || fail "kestrel_agent.dll is not a 64-bit image"
  grep -q 'DLL$' <<< "$(grep -A12 '^Characteristics' <<< "$headers")" ||
    fail "kestrel_agent.dll is not a DLL"
  local characteristics
  characteristics=$(sed -n '/^DllCharacteristics/,/^SizeOfStackReserve/p' <<< "$headers")
  for flag in HIGH_ENTROPY_VA DYNAMIC_BASE NX_COMPAT; do
    grep -qw "$flag" <<< "$characteristics" || fail "kestrel_agent.dll lacks $flag"
  done
  local imports
  imports=$(sed -n 's/^[[:space:]]*DLL Name: //p' <<< "$headers" | tr 'A-Z' 'a-z' | sort -u | tr '\n' ' ')
  [ "$imports" = "kernel32.dll ntdll.dll " ] ||
    fail "kestrel_agent.dll imports $imports, not kernel32.dll and ntdll.dll alone"
  echo "checked: kestrel_agent.dll imports $imports; $(tr -s ' \t\n' ' ' <<< "$characteristics")"
}

check_program kestrel.exe "Windows CUI"
check_program kestrelw.exe "Windows GUI"
check_agent

# Run from inside the unpacked folder, as from a console opened there.
(cd "$work/unpacked" && "$wine" kestrel.exe -h > "$work/stdout" 2> "$work/stderr" < /dev/null)
code=$?
[ "$code" = 0 ] || fail "kestrel.exe -h: exit code $code"
grep -q "^usage: kestrel.exe " "$work/stdout" || fail "kestrel.exe -h: no usage text"
[ -s "$work/stderr" ] && fail "kestrel.exe -h: standard error: $(cat "$work/stderr")"

# -x loads the zip's agent into cmd.exe, from its first instruction to its
# exit code.
(cd "$work/unpacked" && "$wine" kestrel.exe -x cmd.exe /c exit 5 > "$work/stdout" 2> "$work/stderr" < /dev/null)
code=$?
[ "$code" = 0 ] || fail "kestrel.exe -x cmd.exe: exit code $code: $(cat "$work/stderr")"
grep -q "^Trace of cmd.exe (PID [0-9]*) .*: exited with code 5"$'\r'"\?$" "$work/stdout" ||
  fail "kestrel.exe -x cmd.exe: no trace report of exit code 5"

# kestrelw.exe shows nothing: without -O it says why on standard error (and
# in the event log) and exits with 1.
(cd "$work/unpacked" && "$wine" kestrelw.exe -w 1 -n 1 > "$work/stdout" 2> "$work/stderr" < /dev/null)
code=$?
[ "$code" = 1 ] || fail "kestrelw.exe without -O: exit code $code"
grep -q "kestrelw.exe writes only to a file" "$work/stderr" ||
  echo "note: kestrelw.exe's standard error under Wine: $(cat "$work/stderr")"

# With -O it writes its file, as a scheduled task starts it.
mkdir "$work/textfile"
(cd "$work/unpacked" && "$wine" kestrelw.exe -w 1 -n 2 -o prometheus \
  -O "Z:${work//\//\\}\\textfile\\kestrel.prom" > /dev/null 2>&1 < /dev/null)
code=$?
[ "$code" = 0 ] || fail "kestrelw.exe -O: exit code $code"
grep -q '^kestrel_last_sample_timestamp_seconds{session="[0-9]*"} ' \
  "$work/textfile/kestrel.prom" 2> /dev/null ||
  fail "kestrelw.exe -O: no whole document in $(ls "$work/textfile")"

if [ "$failures" != 0 ]; then
  echo "$failures check(s) failed"
  exit 1
fi
echo "all checks passed"
