#include "html/snapshot_page.h"

#include <algorithm>
#include <iterator>

#include "html/bar_chart.h"
#include "html/chart_frame.h"
#include "html/escape.h"
#include "html/page_frame.h"
#include "html/table.h"
#include "presentation/format.h"

namespace {

std::string Hex(uint64_t value) {
  char digits[16];
  return "0x" + std::string(digits, FormatPointer(digits, value));
}

void AppendHandles(std::string& out, const SnapshotProcess& process) {
  out += "<details class=\"handles\" data-pid=\"";
  out += std::to_string(process.pid);
  out += "\">\n<summary>";
  out += ProcessLabel(process.name, process.pid);
  out += ": ";
  out += FormatCount(static_cast<int64_t>(process.handles.size()));
  out += process.handles.size() == 1 ? " handle" : " handles";
  out +=
      "</summary>\n<div class=\"table-box\"><table>\n<thead><tr><th>Handle</th>"
      "<th>Object Type</th>"
      "<th>Kernel Address</th></tr></thead>\n<tbody>\n";
  for (const SnapshotHandle& handle : process.handles) {
    out += "<tr class=\"handle\"><td><code>";
    out += Hex(handle.handle);
    out += "</code></td><td>";
    AppendEscaped(out, handle.type);
    out += "</td><td><code>";
    out += Hex(handle.kernelAddress);
    out += "</code></td></tr>\n";
  }
  out += "</tbody>\n</table></div>\n</details>\n";
}

}  // namespace

void AppendSnapshotHtml(std::string& out, const SnapshotReport& report) {
  AppendDocumentStart(out, "kestrel: GDI objects by process");
  int64_t allSum = 0;
  int64_t totalSum = 0;
  for (const SnapshotProcess& process : report.processes) {
    allSum += process.counts.gdiAll;
    totalSum += process.counts.gdiTotal;
  }
  out += "<dl class=\"facts\"><div><dt>Processes</dt><dd>";
  out += FormatCount(static_cast<int64_t>(report.processes.size()));
  out += "</dd></div><div><dt>GDI All</dt><dd>";
  out += FormatCount(allSum);
  out += "</dd></div><div><dt>GDI Total</dt><dd>";
  out += FormatCount(totalSum);
  out += "</dd></div>";
  AppendOriginFacts(out, report.origin);
  out += "</dl>\n";

  // The highest GDI All first; on a tie the lower PID.
  std::vector<const SnapshotProcess*> top;
  for (const SnapshotProcess& process : report.processes)
    top.push_back(&process);
  std::sort(top.begin(), top.end(),
            [](const SnapshotProcess* a, const SnapshotProcess* b) {
              if (a->counts.gdiAll != b->counts.gdiAll)
                return a->counts.gdiAll > b->counts.gdiAll;
              return a->pid < b->pid;
            });
  if (top.size() > kMaxBarProcesses)
    top.resize(kMaxBarProcesses);

  if (!top.empty()) {
    BarChart bars;
    bars.id = "gdi-all";
    bars.title = "GDI All, with GDI Total beside it";
    bars.valueName = "GDI All";
    bars.besideName = "GDI Total";
    StackedBarChart stacks;
    stacks.id = "categories";
    stacks.title = "Shared-table entries by category";
    for (const SnapshotProcess* process : top) {
      bars.rows.push_back({process->pid, process->name, process->counts.gdiAll,
                           process->counts.gdiTotal});
      StackedBarRow stack = {process->pid, process->name, {}};
      std::copy(std::begin(process->counts.categories),
                std::end(process->counts.categories), stack.counts.begin());
      stacks.rows.push_back(std::move(stack));
    }
    out += "<h2>Most GDI objects</h2>\n<p class=\"note\">The ";
    out += std::to_string(top.size());
    out += top.size() == 1 ? " process" : " processes";
    out +=
        " with the highest GDI All (what GetGuiResources counts); GDI "
        "Total counts their entries in the GDI shared handle table.</p>\n";
    AppendBarChart(out, bars);
    out += "<h2>By category</h2>\n";
    AppendStackedBarChart(out, stacks);
  }

  out += "<h2>Summary</h2>\n";
  TextTable summary;
  summary.headers = {u"Process ID", u"Process Name", u"GDI Total", u"GDI All"};
  summary.numeric = {true, false, true, true};
  for (const SnapshotProcess& process : report.processes) {
    summary.rows.push_back({Utf16(std::to_string(process.pid)), process.name,
                            Utf16(FormatCount(process.counts.gdiTotal)),
                            Utf16(FormatCount(process.counts.gdiAll))});
  }
  AppendTable(out, summary, "process");

  if (report.showHandles) {
    out += "<h2>Handles</h2>\n";
    for (const SnapshotProcess& process : report.processes)
      AppendHandles(out, process);
  }
  AppendDocumentEnd(out);
}
