// The Prometheus document (-o prometheus): a sample's counts as gauges in
// the text exposition format 0.0.4, which the textfile collectors read.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "sample/system_totals.h"

class Output;
struct ProcessRecord;

// Writes each metric family with its HELP and TYPE lines: per process (its
// PID and name as labels) GDI All, the shared-table entries per category,
// the GDI peak, USER objects and their peak; the session's counts where the
// system answers; the table's used entries and slots; the quota; the time
// of the sample. Every series is labelled with the session id where it is
// known. UTF-8, LF line ends.
void WritePrometheusDocument(const SystemTotals& system,
                             const std::vector<const ProcessRecord*>& processes,
                             Output& out);

// `text` as a quoted label value: backslash, double quote and line feed
// escaped, a lone surrogate as U+FFFD (UTF-8 cannot hold it), everything
// else in UTF-8.
void AppendLabelValue(std::string& out, const char16_t* text, size_t length);
