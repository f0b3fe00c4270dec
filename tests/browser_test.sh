#!/usr/bin/env bash
# Loads an HTML report from disk in headless Chromium, offline, and checks
# it as a reader's browser sees it: the file asks for nothing outside
# itself, the page logs nothing to the console (no script error, no failed
# load), and the DOM after the scripts ran holds each expected count of a
# fixed string (one chart line per charted process, one table row per
# grown process, ...). Saves a screenshot of the page at SCREENSHOT.
#   tests/browser_test.sh CHROMIUM SOURCE_DIR HTML SCREENSHOT [COUNT TEXT]...
set -u
chromium=$1
source_dir=$2
html=$(realpath "$3")
screenshot=$4
shift 4
source "$source_dir/scripts/chromium.sh"

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

if grep -n -o -E '(src|href|action)="[^#]' "$html" | head -5 |
   grep .; then
  fail "the document refers to something outside itself"
fi

kestrel_headless_chromium "$chromium" --enable-logging=stderr --v=0 \
  --virtual-time-budget=5000 --dump-dom "file://$html" \
  >"$scratch/dom.html" 2>"$scratch/log"
status=$?
[ $status -eq 0 ] || fail "chromium exited with $status"
if grep -q ':CONSOLE' "$scratch/log"; then
  fail "the page logged to the console:"
  grep ':CONSOLE' "$scratch/log"
fi
grep -q '</html>' "$scratch/dom.html" || fail "no DOM was dumped"

while [ $# -ge 2 ]; do
  expected=$1 text=$2
  shift 2
  found=$(grep -o -F -- "$text" "$scratch/dom.html" | wc -l)
  if [ "$found" -eq "$expected" ]; then
    echo "ok: $found x $text"
  else
    fail "$found x $text, expected $expected"
  fi
done

mkdir -p "$(dirname "$screenshot")"
rm -f "$screenshot"
kestrel_headless_chromium "$chromium" --screenshot="$screenshot" \
  --window-size=1100,2400 "file://$html" >/dev/null 2>&1
# A PNG begins with these eight bytes.
if [ "$(head -c 8 "$screenshot" 2>/dev/null | od -An -tx1 | tr -d ' \n')" = 89504e470d0a1a0a ]; then
  echo "screenshot: $screenshot"
else
  fail "no screenshot was saved at $screenshot"
fi

if [ $failures -ne 0 ]; then
  echo "$failures check(s) failed for $html"
  exit 1
fi
echo "browser: $html passed"
