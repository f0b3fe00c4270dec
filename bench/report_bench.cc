// Writing the handle view (-v), the CSV document (-o csv -v) and the JSON
// document (-o json -v) of the scanned workload to /dev/null, each against
// its fair floor: the same bytes made by a minimal formatter and written in
// kestrel's piece size (bench/view_floor.h).
//
// The floors' bytes are checked against kestrel's once, before any
// measurement.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "bench/null_stdout.h"
#include "bench/view_floor.h"
#include "bench/workload.h"
#include "census/process_table.h"
#include "cli/run_options.h"
#include "documents/csv_document.h"
#include "documents/json_document.h"
#include "documents/version.h"
#include "gditable/object_types.h"
#include "output/output.h"
#include "platform/program_io.h"
#include "platform/utf8.h"
#include "text/details.h"

namespace {

struct ScannedWorkload {
  ProcessTable processes;
  RunOptions options;
  std::vector<const ProcessRecord*> listed;  // the table's order
  SystemTotals system;
  std::string view, csv, json;  // kestrel's bytes
  FloorDocument viewFloor, csvFloor, jsonFloor;
  std::string error;  // why a floor does not match, if it does not
};

template <typename... Values>
std::string Printf(const char* format, Values... values) {
  char buffer[256];
  std::snprintf(buffer, sizeof(buffer), format, values...);
  return buffer;
}

std::string Utf8(const char16_t* text) {
  std::string bytes;
  size_t length = std::char_traits<char16_t>::length(text);
  size_t position = 0;
  while (position < length)
    AppendUtf8(NextCodePoint(text, length, &position), bytes);
  return bytes;
}

std::string Ascii(const char16_t* text) {
  return std::string(text, text + std::char_traits<char16_t>::length(text));
}

FloorDocument ViewFloor(const std::vector<const ProcessRecord*>& listed) {
  FloorDocument floor;
  floor.text = true;
  for (int code = 0; code < 256; ++code) {
    std::string name = Ascii(ObjectTypeName(static_cast<uint8_t>(code)));
    name.resize(std::max<size_t>(name.size(), 18), ' ');
    floor.middles[static_cast<size_t>(code)] = "    " + name + "    0x";
  }
  floor.handleEnd = "\n";
  for (const ProcessRecord* record : listed) {
    std::u16string line = u"PID:";
    for (char c : Printf("% 6d  Name: ", static_cast<int32_t>(record->pid)))
      line.push_back(static_cast<char16_t>(c));
    std::u16string name = record->exeName;
    if (name.size() < 28)
      name.resize(28, u' ');
    line += name;
    for (char c : Printf("  GDI Total:% 5d  All:% 5d \n", record->entryCount,
                         record->guiObjectCount))
      line.push_back(static_cast<char16_t>(c));
    FloorProcess process;
    process.handles = &record->handles;
    platform::AppendInCodePage(line.data(), line.size(), process.start);
    process.start +=
        "Handle                Object Type           Kernel Address\n";
    process.handleLead = "0x";
    process.end = "\n";
    floor.processes.push_back(std::move(process));
  }
  return floor;
}

FloorDocument CsvFloor(const std::vector<const ProcessRecord*>& listed) {
  FloorDocument floor;
  floor.start = "pid,name,handle,type,typeCode,kernelAddress\n";
  for (int code = 0; code < 256; ++code) {
    floor.middles[static_cast<size_t>(code)] =
        "," + Ascii(ObjectTypeName(static_cast<uint8_t>(code))) + "," +
        std::to_string(code) + ",0x";
  }
  floor.handleEnd = "\n";
  for (const ProcessRecord* record : listed) {
    FloorProcess process;
    process.handles = &record->handles;
    process.handleLead =
        std::to_string(record->pid) + "," + Utf8(record->exeName) + ",0x";
    floor.processes.push_back(std::move(process));
  }
  return floor;
}

FloorDocument JsonFloor(const std::vector<const ProcessRecord*>& listed,
                        const SystemTotals& system) {
  FloorDocument floor;
  floor.start = Printf(
      "{\"tool\":\"kestrel\",\"version\":\"%s\","
      "\"time\":\"1970-01-01T00:00:00.000Z\",\"host\":\"\","
      "\"system\":{\"gdiObjects\":"
      "null,\"userObjects\":null,\"tableSlots\":%u,\"tableEntriesUsed\":%u,"
      "\"processQuota\":%u},\"processes\":[",
      KESTREL_PROJECT_VERSION, system.tableSlots, system.tableEntriesUsed,
      system.processQuota);
  for (int code = 0; code < 256; ++code) {
    floor.middles[static_cast<size_t>(code)] =
        "\",\"type\":\"" + Ascii(ObjectTypeName(static_cast<uint8_t>(code))) +
        "\",\"typeCode\":" + std::to_string(code) + ",\"kernelAddress\":\"0x";
  }
  floor.handleEnd = "\"}";
  floor.separator = ",";
  for (const ProcessRecord* record : listed) {
    FloorProcess process;
    process.handles = &record->handles;
    if (!floor.processes.empty())
      process.start = ",";
    process.start +=
        Printf("{\"pid\":%u,\"name\":\"", record->pid) + Utf8(record->exeName) +
        Printf(
            "\",\"gdiTotal\":%d,\"gdiAll\":%d,\"gdiPeak\":%u,"
            "\"userObjects\":%u,\"userPeak\":%u,"
            "\"categories\":{",
            record->entryCount, record->guiObjectCount, record->gdiPeakCount,
            record->userObjectCount, record->userPeakCount);
    for (int category = 0; category < kCategoryCount; ++category) {
      process.start += Printf("%s\"%s\":%d", category ? "," : "",
                              kObjectCategoryNames[category],
                              record->categoryCounts[category]);
    }
    process.start += "},\"handles\":[";
    process.handleLead = "{\"handle\":\"0x";
    process.end = "]}";
    floor.processes.push_back(std::move(process));
  }
  floor.end = "]}\n";
  return floor;
}

void CheckFloor(const char* name, const FloorDocument& floor,
                const std::string& expected, std::string& error) {
  std::string bytes;
  WriteFloor(floor, &bytes);
  if (bytes != expected && error.empty())
    error = std::string(name) + ": the floor's bytes differ from kestrel's";
}

void Prepare(ScannedWorkload& scanned) {
  const ScanWorkload& workload = GetScanWorkload();
  FillProcessTable(workload, scanned.processes);
  ScanSharedHandleTable(workload.entries.data(),
                        static_cast<uint32_t>(workload.entries.size()),
                        scanned.processes);
  scanned.options.showHandles = true;
  for (const ProcessTable::Node* node = scanned.processes.First(); node;
       node = scanned.processes.Next(node))
    scanned.listed.push_back(&node->record);
  scanned.system.tableSlots = ScanWorkload::kEntries;
  scanned.system.tableEntriesUsed = workload.usedEntries;
  scanned.system.processQuota = 10000;  // Windows' default

  std::u16string text, csv, json;
  {
    Output capture(&text);
    for (const ProcessRecord* record : scanned.listed)
      PrintDetails(*record, scanned.options, capture);
  }
  // Output converts piece by piece, one unit at a time, so converting the
  // whole text gives the same bytes.
  platform::AppendInCodePage(text.data(), text.size(), scanned.view);
  {
    Output capture(&csv);
    WriteCsvDocument(scanned.listed, scanned.options, {}, true, capture);
  }
  scanned.csv.assign(csv.begin(), csv.end());  // one unit a byte
  {
    Output capture(&json);
    WriteJsonDocument(scanned.system, scanned.listed, scanned.options, {},
                      capture);
  }
  scanned.json.assign(json.begin(), json.end());

  scanned.viewFloor = ViewFloor(scanned.listed);
  scanned.csvFloor = CsvFloor(scanned.listed);
  scanned.jsonFloor = JsonFloor(scanned.listed, scanned.system);
  CheckFloor("view", scanned.viewFloor, scanned.view, scanned.error);
  CheckFloor("csv", scanned.csvFloor, scanned.csv, scanned.error);
  CheckFloor("json", scanned.jsonFloor, scanned.json, scanned.error);
}

const ScannedWorkload& GetScannedWorkload() {
  static ScannedWorkload scanned;
  static const bool prepared = (Prepare(scanned), true);
  (void)prepared;
  return scanned;
}

// Runs `write` (true when every byte was written) once an iteration.
template <typename Write>
void Measure(benchmark::State& state, const std::string& bytes, Write write) {
  const ScannedWorkload& scanned = GetScannedWorkload();
  if (!scanned.error.empty()) {
    state.SkipWithError(scanned.error.c_str());
    return;
  }
  for (auto _ : state) {
    if (!write()) {
      state.SkipWithError("writing to /dev/null failed");
      break;
    }
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(bytes.size()));
}

void BM_HandleView(benchmark::State& state) {
  const ScannedWorkload& scanned = GetScannedWorkload();
  Measure(state, scanned.view, [&] {
    Output out;
    for (const ProcessRecord* record : scanned.listed)
      PrintDetails(*record, scanned.options, out);
    out.Flush();
    return !out.Failed();
  });
}
BENCHMARK(BM_HandleView)->Unit(benchmark::kMicrosecond);

void BM_HandleViewFloor(benchmark::State& state) {
  const ScannedWorkload& scanned = GetScannedWorkload();
  Measure(state, scanned.view, [&] { return WriteFloor(scanned.viewFloor); });
}
BENCHMARK(BM_HandleViewFloor)->Unit(benchmark::kMicrosecond);

void BM_CsvDocument(benchmark::State& state) {
  const ScannedWorkload& scanned = GetScannedWorkload();
  Measure(state, scanned.csv, [&] {
    Output out;
    WriteCsvDocument(scanned.listed, scanned.options, {}, true, out);
    out.Flush();
    return !out.Failed();
  });
}
BENCHMARK(BM_CsvDocument)->Unit(benchmark::kMicrosecond);

void BM_CsvDocumentFloor(benchmark::State& state) {
  const ScannedWorkload& scanned = GetScannedWorkload();
  Measure(state, scanned.csv, [&] { return WriteFloor(scanned.csvFloor); });
}
BENCHMARK(BM_CsvDocumentFloor)->Unit(benchmark::kMicrosecond);

void BM_JsonDocument(benchmark::State& state) {
  const ScannedWorkload& scanned = GetScannedWorkload();
  Measure(state, scanned.json, [&] {
    Output out;
    WriteJsonDocument(scanned.system, scanned.listed, scanned.options, {}, out);
    out.Flush();
    return !out.Failed();
  });
}
BENCHMARK(BM_JsonDocument)->Unit(benchmark::kMicrosecond);

void BM_JsonDocumentFloor(benchmark::State& state) {
  const ScannedWorkload& scanned = GetScannedWorkload();
  Measure(state, scanned.json, [&] { return WriteFloor(scanned.jsonFloor); });
}
BENCHMARK(BM_JsonDocumentFloor)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
  return RunBenchmarksWithNullStdout(argc, argv, "report_bench: /dev/null");
}
