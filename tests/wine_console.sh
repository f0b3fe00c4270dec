#!/usr/bin/env bash
# The console tests of the Windows build under Wine, with console_line.exe:
# in a terminal the whole line shows, with "?" for each unit code page 936
# cannot represent, and so does the line after it; redirected to a file, the
# same text is code page 936 bytes with CR LF line ends. A document shows
# in the terminal likewise, through WriteConsoleW.
#
# usage: wine_console.sh WINE TMUX CONSOLE_LINE_EXE
set -u

if [ $# -ne 3 ]; then
  echo "usage: $0 WINE TMUX CONSOLE_LINE_EXE" >&2
  exit 2
fi
wine=$1
tmux=$2
exe=$3
here=$(dirname "$0")
failures=0

if bash "$here/terminal_test.sh" "$tmux" \
  "A: QQ音乐.exe café ? ?? end" "next line" -- "$wine" "$exe"; then
  echo "ok: terminal"
else
  echo "FAIL: terminal"
  failures=$((failures + 1))
fi

# A document's UTF-8 goes through WriteConsoleW too: every character shows,
# ä as well, whatever the console's code page (Wine's console shows the
# emoji's surrogate pair as two replacement characters).
if bash "$here/terminal_test.sh" "$tmux" \
  "A: QQ音乐.exe café ä $(printf '\xef\xbf\xbd\xef\xbf\xbd') end" "next line" -- \
  "$wine" "$exe" document; then
  echo "ok: terminal, document"
else
  echo "FAIL: terminal, document"
  failures=$((failures + 1))
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
printf 'A: QQ\xD2\xF4\xC0\xD6.exe caf\xA8\xA6 ? ?? end\r\nnext line\r\n' \
  > "$work/expected"
"$wine" "$exe" > "$work/stdout" 2> "$work/stderr" < /dev/null
code=$?
if [ "$code" = 0 ] && [ ! -s "$work/stderr" ] &&
   cmp -s "$work/expected" "$work/stdout"; then
  echo "ok: file"
else
  echo "FAIL: file: exit code $code; expected, then actual, then standard error:"
  od -c "$work/expected"
  od -c "$work/stdout"
  cat "$work/stderr"
  failures=$((failures + 1))
fi

[ "$failures" = 0 ] || exit 1
echo "all checks passed"
