// What the command line asks of the report: which processes it lists, in
// what order, in which view and format.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

enum class TargetMode { None, ByName, ByPid };

// -o: the views as text, or one document: machine-readable, an HTML report
// for a browser, or metrics for a time-series store; or a watch's table
// redrawn in place on the console; or a gate's verdicts for CI (JUnit XML).
enum class OutputFormat { Text, Csv, Json, Html, Prometheus, Live, Junit };

// -s: the listing order; Table is the process table's own order.
enum class SortOrder { Table, Pid, Name, Total, All };

struct ReportOptions {
  bool showCounts = false;   // -c
  bool showHandles = false;  // -v
  // The text after -v -f: only handles whose type name contains it are listed.
  std::optional<std::u16string> typeFilter;
  TargetMode targetMode = TargetMode::None;
  std::u16string targetName;  // ByName: the whole argument, unchanged
  uint32_t targetPid = 0;     // ByPid
  OutputFormat format = OutputFormat::Text;
  SortOrder order = SortOrder::Table;
  // -t: only processes whose GDI All is at least this are listed; 0 for all.
  uint32_t threshold = 0;
};
