#include "documents/prometheus_document.h"

#include <iterator>
#include <string>
#include <string_view>

#include "census/process_quota.h"
#include "census/process_record.h"
#include "documents/version.h"
#include "gditable/object_types.h"
#include "output/output.h"
#include "platform/utf8.h"
#include "presentation/format.h"
#include "sample/process_counts.h"

namespace {

void AppendFamily(std::string& out, std::string_view name,
                  std::string_view help) {
  out += "# HELP ";
  out += name;
  out.push_back(' ');
  out += help;
  out += "\n# TYPE ";
  out += name;
  out += " gauge\n";
}

// `session="1",` where the session is known: every series carries it, so
// that the files of a machine's sessions merge without a collision.
std::string SessionLabel(const SystemTotals& system) {
  if (!system.sessionId)
    return {};
  std::string label = "session=\"";
  AppendNumber(label, *system.sessionId);
  return label + "\",";
}

// `name{session="1",pid="4524",process="notepad.exe"`, without the closing
// brace.
void AppendProcessSeries(std::string& out, std::string_view name,
                         std::string_view session,
                         const ProcessRecord& record) {
  out += name;
  out.push_back('{');
  out += session;
  out += "pid=\"";
  AppendNumber(out, record.pid);
  out += "\",process=";
  AppendLabelValue(out, record.exeName,
                   std::char_traits<char16_t>::length(record.exeName));
}

void AppendValue(std::string& out, uint64_t value) {
  out.push_back(' ');
  AppendNumber(out, static_cast<int64_t>(value));
  out.push_back('\n');
}

// The families with one series per process: {pid,process} and a count.
struct ProcessFamily {
  const char* name;
  const char* help;
  uint32_t (*value)(const ProcessCounts& counts);
};

const ProcessFamily kProcessFamilies[] = {
    {"kestrel_process_gdi_objects",
     "GDI objects of the process, as GetGuiResources reports them (GDI All).",
     [](const ProcessCounts& c) { return c.gdiAll; }},
    {"kestrel_process_gdi_objects_peak",
     "The most GDI objects the process has held at once.",
     [](const ProcessCounts& c) { return c.gdiPeak; }},
    {"kestrel_process_user_objects", "USER objects of the process.",
     [](const ProcessCounts& c) { return c.userObjects; }},
    {"kestrel_process_user_objects_peak",
     "The most USER objects the process has held at once.",
     [](const ProcessCounts& c) { return c.userPeak; }},
};

constexpr char kTableEntries[] = "kestrel_process_gdi_table_entries";
constexpr char kLastSample[] = "kestrel_last_sample_timestamp_seconds";

// `name{session="1"}`, or the bare name where the session is not known.
void AppendSystemSeries(std::string& out, std::string_view name,
                        std::string_view session) {
  out += name;
  if (session.empty())
    return;
  out.push_back('{');
  out += session.substr(0, session.size() - 1);  // without its comma
  out.push_back('}');
}

void AppendSystemFamily(std::string& out, std::string_view name,
                        std::string_view help, std::string_view session,
                        uint64_t value) {
  AppendFamily(out, name, help);
  AppendSystemSeries(out, name, session);
  AppendValue(out, value);
}

}  // namespace

void AppendLabelValue(std::string& out, const char16_t* text, size_t length) {
  out.push_back('"');
  size_t position = 0;
  while (position < length) {
    char32_t c = NextCodePoint(text, length, &position);
    if (c == U'\\' || c == U'"') {
      out.push_back('\\');
      out.push_back(static_cast<char>(c));
    } else if (c == U'\n') {
      out += "\\n";
    } else {
      AppendUtf8(c, out);
    }
  }
  out.push_back('"');
}

void WritePrometheusDocument(const SystemTotals& system,
                             const std::vector<const ProcessRecord*>& processes,
                             Output& out) {
  out.ReservePieces(0);
  std::string& bytes = out.Bytes();
  const std::string session = SessionLabel(system);
  // The families of a process are apart: the format wants each family's
  // series together.
  AppendFamily(bytes, kProcessFamilies[0].name, kProcessFamilies[0].help);
  for (const ProcessRecord* record : processes) {
    AppendProcessSeries(bytes, kProcessFamilies[0].name, session, *record);
    bytes.push_back('}');
    AppendValue(bytes, kProcessFamilies[0].value(CountsOf(*record)));
    out.PieceDone();
  }
  AppendFamily(bytes, kTableEntries,
               "Entries of the GDI shared handle table that the process owns, "
               "by object category; their sum is GDI Total.");
  for (const ProcessRecord* record : processes) {
    for (int category = 0; category < kCategoryCount; ++category) {
      AppendProcessSeries(bytes, kTableEntries, session, *record);
      bytes += ",category=\"";
      bytes += kObjectCategoryNames[category];
      bytes += "\"}";
      AppendValue(bytes,
                  static_cast<uint32_t>(record->categoryCounts[category]));
    }
    out.PieceDone();
  }
  for (size_t i = 1; i < std::size(kProcessFamilies); ++i) {
    const ProcessFamily& family = kProcessFamilies[i];
    AppendFamily(bytes, family.name, family.help);
    for (const ProcessRecord* record : processes) {
      AppendProcessSeries(bytes, family.name, session, *record);
      bytes.push_back('}');
      AppendValue(bytes, family.value(CountsOf(*record)));
      out.PieceDone();
    }
  }

  // The session's counts where the system answers.
  if (system.session.gdiObjects) {
    AppendSystemFamily(bytes, "kestrel_session_gdi_objects",
                       "GDI objects of the whole session (GR_GLOBAL).", session,
                       *system.session.gdiObjects);
  }
  if (system.session.userObjects) {
    AppendSystemFamily(bytes, "kestrel_session_user_objects",
                       "USER objects of the whole session (GR_GLOBAL).",
                       session, *system.session.userObjects);
  }
  AppendSystemFamily(
      bytes, "kestrel_table_entries_used",
      "Used entries of the GDI shared handle table, whoever owns them.",
      session, system.tableEntriesUsed);
  AppendSystemFamily(bytes, "kestrel_table_slots",
                     "Entries the GDI shared handle table has room for.",
                     session, system.tableSlots);
  static const std::string kQuotaHelp =
      "The most GDI objects one process may hold: the machine's "
      "GDIProcessHandleQuota, " +
      std::to_string(kDefaultProcessQuota) + " by default.";
  AppendSystemFamily(bytes, "kestrel_process_gdi_quota", kQuotaHelp, session,
                     system.processQuota);
  // Which kestrel wrote the sample, as exporters name their build.
  AppendFamily(bytes, "kestrel_build_info",
               "The version of kestrel that writes these metrics; always 1.");
  bytes += "kestrel_build_info{";
  bytes += session;
  bytes += "version=\"" KESTREL_PROJECT_VERSION "\"} 1\n";
  // Which machine took it, named as node_uname_info names it.
  AppendFamily(bytes, "kestrel_host_info",
               "The computer kestrel took the sample on, by its DNS host "
               "name; always 1.");
  bytes += "kestrel_host_info{";
  bytes += session;
  bytes += "nodename=";
  AppendLabelValue(bytes, system.hostName.data(), system.hostName.size());
  bytes += "} 1\n";
  // Last, so that a reader that sees it has seen the whole sample.
  AppendFamily(bytes, kLastSample,
               "When kestrel took the sample, in Unix time: a file whose value "
               "stops moving is no longer written.");
  AppendSystemSeries(bytes, kLastSample, session);
  bytes.push_back(' ');
  bytes += FormatSeconds(system.unixMilliseconds);
  bytes.push_back('\n');
  out.PieceDone();
}
