#!/usr/bin/env bash
# Loads an HTML report from disk in headless Chromium, offline, and checks
# it as a reader's browser sees it: the file asks for nothing outside
# itself, the page logs nothing to the console (no script error, no failed
# load), and the DOM after the scripts ran holds each expected count of a
# fixed string (one chart line per charted process, one table row per
# grown process, ...); at 420 px, in light and dark, it stays readable.
# Saves a screenshot of the page at SCREENSHOT.
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

# The page as a phone or a narrow pane shows it, 420 CSS pixels wide, in an
# iframe of that width (headless windows are no narrower than 500): no
# sideways scroll but inside the tables' own boxes, and the charts' text
# at 10 px or more. Then its colours, light unless the reader's system
# asks for dark.
cp "$html" "$scratch/page.html"
cat >"$scratch/narrow.html" <<'HTML'
<!DOCTYPE html><html><body style="margin:0">
<pre id="result">not loaded</pre>
<iframe id="page" src="page.html" style="border:0;width:420px;height:3000px"></iframe>
<script>
document.getElementById('page').addEventListener('load', function () {
  var w = this.contentWindow, d = this.contentDocument, problems = [];
  if (d.documentElement.scrollWidth > w.innerWidth)
    problems.push('the page is ' + d.documentElement.scrollWidth + ' px wide');
  d.querySelectorAll('svg.plot').forEach(function (svg) {
    if (w.getComputedStyle(svg).display === 'none') return;
    var scale = svg.getScreenCTM().a;
    svg.querySelectorAll('text').forEach(function (text) {
      var px = parseFloat(w.getComputedStyle(text).fontSize) * scale;
      if (px < 10)
        problems.push('chart text at ' + px.toFixed(1) + ' px: ' + text.textContent);
    });
  });
  d.querySelectorAll('table').forEach(function (table) {
    var box = table.parentElement;
    if (box.getBoundingClientRect().right > w.innerWidth + 0.5 ||
        w.getComputedStyle(box).overflowX !== 'auto')
      problems.push('a table does not scroll in a box of its own');
  });
  function light(colour) {
    var c = colour.match(/[0-9.]+/g).map(Number);
    return 0.2126 * c[0] + 0.7152 * c[1] + 0.0722 * c[2] > 128;
  }
  var page = w.getComputedStyle(d.body);
  var scheme = w.matchMedia('(prefers-color-scheme: dark)').matches ? 'dark' : 'light';
  if (light(page.backgroundColor) !== (scheme === 'light') ||
      light(page.color) === light(page.backgroundColor))
    problems.push('the ' + scheme + ' theme shows ' + page.color + ' on ' + page.backgroundColor);
  document.getElementById('result').textContent =
      scheme + ' at 420 px: ' + (problems.length ? problems.join('; ') : 'ok');
});
</script>
</body></html>
HTML
for scheme in light dark; do
  flags=()
  [ $scheme = dark ] && flags=(--force-dark-mode)
  kestrel_headless_chromium "$chromium" "${flags[@]}" \
    --allow-file-access-from-files --virtual-time-budget=5000 \
    --dump-dom "file://$scratch/narrow.html" >"$scratch/narrow.dom" 2>/dev/null
  result=$(grep -o "$scheme at 420 px: [^<]*" "$scratch/narrow.dom")
  if [ "$result" = "$scheme at 420 px: ok" ]; then
    echo "ok: $result"
  else
    fail "${result:-the $scheme page at 420 px could not be checked}"
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
