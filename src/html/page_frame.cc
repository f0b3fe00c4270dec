#include "html/page_frame.h"

#include "html/escape.h"

namespace {

const char kStyle[] = R"(
:root { color-scheme: light dark; --text: #1a1a1a; --page: #fff;
  --muted: #555; --soft: #444; --rule: #ddd; --row-rule: #eee;
  --head-rule: #ccc; --stripe: #f7f7f7; --code: #f6f6f6; --grid: #e3e3e3;
  --baseline: #888; --chart-text: #333; --limit: #B00020; --ink: #000; }
@media (prefers-color-scheme: dark) {
  :root { --text: #e6e6e6; --page: #121416; --muted: #a8adb3;
    --soft: #c4c8cc; --rule: #3a3f44; --row-rule: #2a2e33;
    --head-rule: #50565c; --stripe: #1b1e21; --code: #1b1e21;
    --grid: #2f3438; --baseline: #7d838a; --chart-text: #d0d4d8;
    --limit: #FF6B6B; --ink: #e6e6e6; }
}
body { margin: 0 auto; max-width: 1000px; padding: 16px 24px 48px;
  font: 15px/1.45 system-ui, "Segoe UI", Roboto, "Noto Sans",
    "Microsoft YaHei", "WenQuanYi Micro Hei", sans-serif;
  color: var(--text); background: var(--page); }
h1 { font-size: 26px; margin: 12px 0 4px; }
h2 { font-size: 20px; margin: 32px 0 8px; padding-bottom: 4px;
  border-bottom: 1px solid var(--rule); }
p.lead { margin: 0 0 8px; color: var(--soft); }
dl.facts { display: flex; flex-wrap: wrap; gap: 8px 32px; margin: 12px 0; }
dl.facts div { min-width: 120px; }
dl.facts dt { font-size: 12px; color: var(--muted); text-transform: uppercase;
  letter-spacing: .04em; }
dl.facts dd { margin: 0; font-size: 20px; font-weight: 600; }
figure.chart { margin: 16px 0 24px; }
figure.chart figcaption { font-weight: 600; margin-bottom: 4px; }
svg.plot { display: block; width: 100%; height: auto; overflow: visible;
  font-size: 12px; }
svg.plot.narrow { display: none; }
svg.plot text:not([fill]) { fill: var(--chart-text); }
svg.plot .grid { stroke: var(--grid); stroke-width: 1; }
svg.plot .baseline { stroke: var(--baseline); stroke-width: 1; }
svg.plot .axis-title { font-size: 13px; fill: var(--muted); }
svg.plot path.series { fill: none; stroke-linejoin: round;
  stroke-linecap: round; vector-effect: non-scaling-stroke; }
svg.plot path.area { stroke: var(--page); stroke-width: .5;
  vector-effect: non-scaling-stroke; }
svg.plot .line-label { font-size: 12px; }
svg.plot .lead { font-weight: 700; }
svg.plot .bar-value { font-size: 11px; fill: var(--soft); }
[stroke="#000000"] { stroke: var(--ink); }
[fill="#000000"] { fill: var(--ink); }
[stroke="#B00020"] { stroke: var(--limit); }
[fill="#B00020"] { fill: var(--limit); }
ul.legend { list-style: none; padding: 0; margin: 6px 0 0 72px;
  display: flex; flex-wrap: wrap; gap: 4px 20px; font-size: 13px; }
ul.legend li { display: flex; align-items: center; gap: 6px; }
ul.legend li.lead { font-weight: 700; }
ul.legend .change { color: var(--muted); font-variant-numeric: tabular-nums; }
div.table-box { overflow-x: auto; margin: 8px 0 16px; }
table { border-collapse: collapse; font-variant-numeric: tabular-nums; }
th, td { padding: 3px 12px; text-align: left; white-space: nowrap;
  border-bottom: 1px solid var(--row-rule); }
th { border-bottom: 2px solid var(--head-rule); font-weight: 600; }
td.number, th.number { text-align: right; }
tbody tr:nth-child(even) { background: var(--stripe); }
details { margin: 8px 0; }
summary { cursor: pointer; font-weight: 600; }
pre { font: 13px/1.4 ui-monospace, Consolas, "DejaVu Sans Mono", monospace;
  background: var(--code); padding: 8px 12px; overflow-x: auto; }
p.note { color: var(--muted); }
.tip { position: absolute; display: none; pointer-events: none;
  background: #222; color: #fff; padding: 4px 8px; border-radius: 4px;
  font-size: 13px; white-space: nowrap; }
@media (max-width: 600px) {
  body { padding: 12px 12px 32px; }
  svg.plot.wide { display: none; }
  svg.plot.narrow { display: block; }
  ul.legend { margin-left: 0; }
  th, td { padding: 3px 8px; }
}
)";

// For the line charts: the value of the line nearest the pointer, read back
// from the path's own data (seconds, count) through its transform.
const char kScript[] = R"(
(function () {
  var tip = document.createElement('div');
  tip.className = 'tip';
  document.body.appendChild(tip);
  function clock(seconds) {
    var s = Math.round(seconds);
    if (s < 120) return s + ' s';
    var m = Math.floor(s / 60);
    return m + ':' + String(s % 60).padStart(2, '0');
  }
  function count(value) { return Math.round(value).toLocaleString('en-US'); }
  document.querySelectorAll('svg.plot[data-kind="line"]').forEach(function (svg) {
    var lines = [];
    svg.querySelectorAll('path.series').forEach(function (path) {
      var numbers = (path.getAttribute('d').match(/-?[0-9.]+/g) || []).map(Number);
      var points = [];
      for (var i = 0; i + 1 < numbers.length; i += 2)
        points.push([numbers[i], numbers[i + 1]]);
      var title = path.querySelector('title');
      lines.push({ label: title ? title.textContent : '', points: points,
                   matrix: path.transform.baseVal.consolidate().matrix });
    });
    svg.addEventListener('mousemove', function (event) {
      var screen = svg.getScreenCTM();
      if (!screen) return;
      var at = new DOMPoint(event.clientX, event.clientY)
                   .matrixTransform(screen.inverse());
      var best = null;
      lines.forEach(function (line) {
        var m = line.matrix, x = (at.x - m.e) / m.a, nearest = null;
        line.points.forEach(function (p) {
          if (!nearest || Math.abs(p[0] - x) < Math.abs(nearest[0] - x))
            nearest = p;
        });
        if (!nearest) return;
        var dx = Math.abs(nearest[0] * m.a + m.e - at.x);
        var dy = Math.abs(nearest[1] * m.d + m.f - at.y);
        if (dx < 40 && (!best || dy < best.dy))
          best = { dy: dy, line: line, point: nearest };
      });
      if (!best || best.dy > 30) { tip.style.display = 'none'; return; }
      tip.textContent = best.line.label + ': ' + count(best.point[1]) +
                        ' at ' + clock(best.point[0]);
      tip.style.left = (event.pageX + 14) + 'px';
      tip.style.top = (event.pageY + 14) + 'px';
      tip.style.display = 'block';
    });
    svg.addEventListener('mouseleave', function () { tip.style.display = 'none'; });
  });
})();
)";

constexpr char kScriptEnd[] = "</script>\n</body>\n</html>\n";

}  // namespace

void AppendDocumentStart(std::string& out, std::string_view title) {
  out +=
      "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
      "<meta name=\"viewport\" content=\"width=device-width, "
      "initial-scale=1\">\n<title>";
  AppendEscaped(out, title);
  out += "</title>\n<style>";
  out += kStyle;
  out += "</style>\n</head>\n<body>\n<h1>";
  AppendEscaped(out, title);
  out += "</h1>\n";
}

void AppendDocumentEnd(std::string& out) {
  out += "<script>";
  out += kScript;
  out += kScriptEnd;
}

size_t DocumentEndBytes() {
  return sizeof "<script>" - 1 + sizeof kScript - 1 + sizeof kScriptEnd - 1;
}
