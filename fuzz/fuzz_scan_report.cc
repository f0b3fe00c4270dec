// Fuzzes the shared table scan and the report views with an arbitrary table
// block and a process set derived from it. Checks the scan's attribution
// against the entries themselves, and the summary and one detail view
// against the formats, rendered here a second time with the C library's
// printf; then reads the JSON document of the same options back with a
// reader of its own and checks that it says what the text views say. The
// input picks the detail view, so that each run renders and reads back one
// of each.
//
// Input: byte 0 gives the number of recorded processes (0-32) and, in bit 7,
// where the block lies; byte 1 picks the type filter (low four bits) and the
// detail view (high four); byte 2 the names and counts; the rest, cut to a
// multiple of 24 bytes, is the table block.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <memory_resource>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "census/process_table.h"
#include "cli/run_options.h"
#include "documents/json_document.h"
#include "fuzz_check.h"
#include "gditable/object_types.h"
#include "gditable/shared_table.h"
#include "json_reader.h"
#include "output/output.h"
#include "platform/platform.h"
#include "text/details.h"
#include "text/summary.h"

namespace {

const char16_t* const kFilters[] = {u"dc",    u"metafile", u"unk",
                                    u"BRUSH", u"",         u"Alt. DC",
                                    u"e",     u"ü",        u"DIB Section"};

std::u16string Repeated(char16_t unit, size_t count) {
  return std::u16string(count, unit);
}

// Names of every width around the columns' 28 units, up to the 259 units a
// record holds, and beyond ASCII.
std::vector<std::u16string> Names() {
  return {u"", u"notepad.exe", Repeated(u'n', 27), Repeated(u'n', 28),
          Repeated(u'n', 29), Repeated(u'x', 259), u"\u8bb0\u4e8b\u672c.exe",
          u"\U0001F600 smile.exe", u"a\uFFFDb.exe",
          // What JSON escapes, and lone surrogates, which it cannot hold raw.
          u"\"q\\\x01\x1F\x7F\xDC00\xD800z.exe"};
}

// Appends what printf makes of `format`, which is ASCII.
template <typename... Values>
void AppendPrintf(std::u16string& out, const char* format, Values... values) {
  char buffer[256];
  int length = std::snprintf(buffer, sizeof(buffer), format, values...);
  out.append(buffer, buffer + length);
}

// "%-Ns" counting UTF-16 units.
void AppendPadded(std::u16string& out, std::u16string_view text, size_t width) {
  out += text;
  if (text.size() < width)
    out.append(width - text.size(), u' ');
}

bool IsUpperHex(char16_t c) {
  return (c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'F');
}

bool IsKnownTypeName(std::u16string_view name) {
  static const std::set<std::u16string, std::less<>> kNames = [] {
    std::set<std::u16string, std::less<>> names;
    for (int code = 0; code < 256; ++code)
      names.insert(ObjectTypeName(static_cast<uint8_t>(code)));
    return names;
  }();
  return kNames.find(name) != kNames.end();
}

// "0x" 16 hex, 4 spaces, the type name filled to at least 18 units, 4 spaces,
// "0x" 16 hex, and the newline.
void CheckHandleLineShape(std::u16string_view line) {
  FUZZ_CHECK(line.size() >= 2 + 16 + 4 + 18 + 4 + 2 + 16 + 1);
  FUZZ_CHECK(line.substr(0, 2) == u"0x");
  for (size_t i = 2; i < 18; ++i)
    FUZZ_CHECK(IsUpperHex(line[i]));
  FUZZ_CHECK(line.substr(18, 4) == u"    ");
  size_t tail = line.size() - (4 + 2 + 16 + 1);
  FUZZ_CHECK(line.substr(tail, 6) == u"    0x");
  for (size_t i = tail + 6; i < line.size() - 1; ++i)
    FUZZ_CHECK(IsUpperHex(line[i]));
  FUZZ_CHECK(line.back() == u'\n');
  std::u16string_view name = line.substr(22, tail - 22);
  FUZZ_CHECK(name.size() >= 18);
  while (!name.empty() && name.back() == u' ')
    name.remove_suffix(1);
  FUZZ_CHECK(IsKnownTypeName(name));
}

// Every block ends with exactly one empty line: the view is runs of non-empty
// lines, each closed by one empty line, one run per record.
void CheckBlocks(std::u16string_view view, uint32_t records, bool showHandles) {
  uint32_t blocks = 0;
  bool inBlock = false;
  while (!view.empty()) {
    size_t end = view.find(u'\n');
    FUZZ_CHECK(end != std::u16string_view::npos);  // a newline ends the view
    std::u16string_view line = view.substr(0, end + 1);
    view.remove_prefix(end + 1);
    if (line == u"\n") {
      FUZZ_CHECK(inBlock);  // no empty line opens a block or follows another
      inBlock = false;
      ++blocks;
      continue;
    }
    if (!inBlock)
      FUZZ_CHECK(line.substr(0, 4) == u"PID:");
    inBlock = true;
    if (showHandles && line.substr(0, 2) == u"0x")
      CheckHandleLineShape(line);
  }
  FUZZ_CHECK(!inBlock);
  FUZZ_CHECK(blocks == records);
}

void AppendExpectedSummaryRow(std::u16string& out,
                              const ProcessRecord& record) {
  AppendPrintf(out, "% 6d        ", static_cast<int32_t>(record.pid));
  AppendPadded(out, record.exeName, 28);
  AppendPrintf(out, "     % 5d     % 5d \n", record.entryCount,
               record.guiObjectCount);
}

void AppendExpectedBlock(std::u16string& out, const ProcessRecord& record,
                         const RunOptions& options) {
  AppendPrintf(out, "PID:% 6d  Name: ", static_cast<int32_t>(record.pid));
  AppendPadded(out, record.exeName, 28);
  AppendPrintf(out, "  GDI Total:% 5d  All:% 5d \n", record.entryCount,
               record.guiObjectCount);
  if (options.showCounts) {
    out +=
        u" Pen ExtPen Brush Bitmap Font Palette Region   DC MetaDC EnhMetaDC OtherGDi\n";
    AppendPrintf(
        out,
        "% 4d  % 4d   % 4d  % 4d  % 4d   % 4d   % 4d  % 4d  % 4d     % 4d     % 4d\n",
        record.categoryCounts[0], record.categoryCounts[1],
        record.categoryCounts[2], record.categoryCounts[3],
        record.categoryCounts[4], record.categoryCounts[5],
        record.categoryCounts[6], record.categoryCounts[7],
        record.categoryCounts[8], record.categoryCounts[9],
        record.categoryCounts[10]);
  }
  if (options.showHandles) {
    out += u"Handle                Object Type           Kernel Address\n";
    for (const HandleRecord& handle : record.handles) {
      const char16_t* name = ObjectTypeName(TypeCodeOf(handle.entry));
      if (options.typeFilter &&
          !platform::StrStrIW(name, options.typeFilter->c_str()))
        continue;
      AppendPrintf(out, "0x%016llX    ",
                   static_cast<unsigned long long>(handle.handle));
      AppendPadded(out, name, 18);
      AppendPrintf(out, "    0x%016llX\n",
                   static_cast<unsigned long long>(handle.entry.kernelAddress));
    }
  }
  if (options.showCounts || options.showHandles)
    out += u"\n";
}

int32_t CounterSum(const ProcessRecord& record) {
  int64_t sum = 0;
  for (int32_t counter : record.categoryCounts)
    sum += counter;
  return static_cast<int32_t>(sum);
}

// What the table holds for one owner PID (the owner word, bit 0 cleared).
struct Owned {
  int32_t entries = 0;
  int32_t perCategory[kCategoryCount] = {};
};

// The input's entries as the scan sees them: `block` placed at `offset` of a
// table of `count` entries, every other entry free.
struct Table {
  const GdiTableEntry* entries;
  size_t count;
  const std::vector<GdiTableEntry>& block;
};

std::map<uint32_t, Owned> CountOwners(const Table& table) {
  std::map<uint32_t, Owned> owners;
  for (const GdiTableEntry& entry : table.block) {
    if (entry.typeCode == 0)
      continue;
    Owned& owned = owners[entry.ownerWord & ~1u];
    ++owned.entries;
    ++owned.perCategory[static_cast<int>(CategoryOf(TypeCodeOf(entry)))];
  }
  return owners;
}

// Checks one record against the table: it holds exactly the used entries
// whose owner word, bit 0 cleared, is its PID, in ascending entry order, each
// a byte copy of the entry with unique * 65536 + index (32 bits) as its
// handle value.
void CheckRecord(ProcessRecord& record, const Table& table,
                 const std::map<uint32_t, Owned>& owners) {
  FUZZ_CHECK(record.entryCount == CounterSum(record));
  FUZZ_CHECK(record.handles.size + record.unlistedHandles == record.entryCount);

  auto found = owners.find(record.pid);
  Owned owned = found == owners.end() ? Owned() : found->second;
  FUZZ_CHECK(record.entryCount == owned.entries);
  for (int category = 0; category < kCategoryCount; ++category) {
    FUZZ_CHECK(record.categoryCounts[category] == owned.perCategory[category]);
  }
  // No append fails at these sizes, so every owned entry is listed.
  FUZZ_CHECK(record.handles.size == owned.entries);

  int64_t previous = -1;
  for (const HandleRecord& handle : record.handles) {
    uint32_t index =
        static_cast<uint32_t>(handle.handle) - handle.entry.unique * 65536u;
    FUZZ_CHECK(handle.handle >> 32 == 0);
    FUZZ_CHECK(index < table.count);
    FUZZ_CHECK(static_cast<int64_t>(index) > previous);
    previous = index;
    FUZZ_CHECK(std::memcmp(&handle, &table.entries[index],
                           sizeof(GdiTableEntry)) == 0);
  }
}

uint64_t NumberOf(const JsonValue* value) {
  FUZZ_CHECK(value && value->kind == JsonValue::Kind::Number);
  FUZZ_CHECK(!value->number.empty() && value->number.size() <= 20);
  uint64_t number = 0;
  for (char digit : value->number) {
    FUZZ_CHECK(digit >= '0' && digit <= '9');
    number = number * 10 + static_cast<uint64_t>(digit - '0');
  }
  return number;
}

const std::pmr::u16string& StringOf(const JsonValue* value) {
  FUZZ_CHECK(value && value->kind == JsonValue::Kind::String);
  return value->string;
}

// Whether `text` is "0x" and the sixteen upper-case digits of `value`.
bool IsHex(std::u16string_view text, uint64_t value) {
  char expected[19];
  std::snprintf(expected, sizeof(expected), "0x%016llX",
                static_cast<unsigned long long>(value));
  return std::equal(text.begin(), text.end(), expected, expected + 18);
}

// Reads the JSON document back and checks it against the records, whose
// text views the checks above have shown to print them.
void CheckJson(const ProcessTable& table, const SystemTotals& system,
               const RunOptions& options) {
  std::vector<const ProcessRecord*> records;
  for (const ProcessTable::Node* node = table.First(); node;
       node = table.Next(node))
    records.push_back(&node->record);
  std::u16string units;
  {
    Output out(&units);
    WriteJsonDocument(system, records, options, {}, out);
  }
  std::string bytes(units.begin(), units.end());  // one unit a byte
  FUZZ_CHECK(!bytes.empty() && bytes.back() == '\n');
  // The tree's memory, kept from input to input.
  static std::byte arena[size_t{4} << 20];
  std::pmr::monotonic_buffer_resource memory(arena, sizeof(arena));
  JsonValue document(&memory);
  FUZZ_CHECK(JsonReader(bytes).Read(&document));
  FUZZ_CHECK(StringOf(document.Find(u"tool")) == u"kestrel");
  const JsonValue* totals = document.Find(u"system");
  FUZZ_CHECK(totals);
  const JsonValue* gdi = totals->Find(u"gdiObjects");
  FUZZ_CHECK(gdi && (system.session.gdiObjects
                         ? NumberOf(gdi) == *system.session.gdiObjects
                         : gdi->kind == JsonValue::Kind::Null));
  FUZZ_CHECK(NumberOf(totals->Find(u"tableEntriesUsed")) ==
             system.tableEntriesUsed);
  const JsonValue* processes = document.Find(u"processes");
  FUZZ_CHECK(processes && processes->items.size() == records.size());
  for (size_t i = 0; i < records.size(); ++i) {
    const ProcessRecord& record = *records[i];
    const JsonValue& process = processes->items[i];
    FUZZ_CHECK(NumberOf(process.Find(u"pid")) == record.pid);
    FUZZ_CHECK(StringOf(process.Find(u"name")) == record.exeName);
    FUZZ_CHECK(NumberOf(process.Find(u"gdiTotal")) ==
               static_cast<uint32_t>(record.entryCount));
    FUZZ_CHECK(NumberOf(process.Find(u"gdiAll")) ==
               static_cast<uint32_t>(record.guiObjectCount));
    FUZZ_CHECK(NumberOf(process.Find(u"userPeak")) == record.userPeakCount);
    const JsonValue* categories = process.Find(u"categories");
    FUZZ_CHECK(categories &&
               categories->members.size() == size_t{kCategoryCount});
    for (int category = 0; category < kCategoryCount; ++category) {
      FUZZ_CHECK(
          NumberOf(
              &categories->members[static_cast<size_t>(category)].second) ==
          static_cast<uint32_t>(record.categoryCounts[category]));
    }
    const JsonValue* handles = process.Find(u"handles");
    FUZZ_CHECK((handles != nullptr) == options.showHandles);
    if (!handles)
      continue;
    // The handles the -v view lists, in its order.
    size_t listed = 0;
    for (const HandleRecord& handle : record.handles) {
      uint8_t code = TypeCodeOf(handle.entry);
      const char16_t* name = ObjectTypeName(code);
      if (options.typeFilter &&
          !platform::StrStrIW(name, options.typeFilter->c_str()))
        continue;
      FUZZ_CHECK(listed < handles->items.size());
      const JsonValue& item = handles->items[listed++];
      FUZZ_CHECK(IsHex(StringOf(item.Find(u"handle")), handle.handle));
      FUZZ_CHECK(StringOf(item.Find(u"type")) == name);
      FUZZ_CHECK(NumberOf(item.Find(u"typeCode")) == code);
      FUZZ_CHECK(IsHex(StringOf(item.Find(u"kernelAddress")),
                       handle.entry.kernelAddress));
    }
    FUZZ_CHECK(listed == handles->items.size());
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 3)
    return 0;
  uint32_t processCount = (data[0] & 0x7F) % 33;
  // With bit 7 the block sits across entry 65536, behind free entries, so
  // that indexes carry into the handle value's upper half.
  bool acrossSixteenBits = (data[0] & 0x80) != 0;
  const char16_t* filter =
      kFilters[(data[1] & 0x0F) % (sizeof(kFilters) / sizeof(kFilters[0]))];
  int variant = (data[1] >> 4) % 5;
  uint8_t seed = data[2];
  std::vector<GdiTableEntry> block((size - 3) / sizeof(GdiTableEntry));
  if (!block.empty())
    std::memcpy(block.data(), data + 3, block.size() * sizeof(GdiTableEntry));
  // The table is an aligned block of entries, as the system's is. It is kept
  // from input to input with every entry free, so that an input writes and
  // clears its block alone.
  static std::vector<GdiTableEntry> entries;
  size_t offset = acrossSixteenBits ? 65536 - block.size() / 2 : 0;
  if (entries.size() < offset + block.size())
    entries.resize(offset + block.size());
  std::copy(block.begin(), block.end(),
            entries.begin() + static_cast<ptrdiff_t>(offset));
  struct Clear {
    GdiTableEntry* at;
    size_t count;
    ~Clear() { std::fill(at, at + count, GdiTableEntry{}); }
  } clear{entries.data() + offset, block.size()};
  const Table tableView{entries.data(), offset + block.size(), block};

  // The PIDs come from the block's owner words: even ones that own entries,
  // and for odd i the raw word, whose bit 0 may be set (such a PID never owns
  // an entry). Entries of other owners belong to no recorded process.
  std::vector<std::u16string> names = Names();
  ProcessTable table;
  for (uint32_t i = 0; i < processCount; ++i) {
    uint32_t word = block.empty() ? 4 * i : block[i % block.size()].ownerWord;
    ProcessRecord record;
    record.pid = i % 2 ? word : word & ~1u;
    const std::u16string& name = names[(seed + i) % names.size()];
    std::copy(name.begin(), name.end(), record.exeName);
    record.userPeakCount = seed * i;
    record.guiObjectCount =
        block.empty()
            ? static_cast<int32_t>(seed) * -1000
            : static_cast<int32_t>(block[i % block.size()].kernelAddress);
    table.Set(record.pid, record);
  }
  ScanSharedHandleTable(tableView.entries,
                        static_cast<uint32_t>(tableView.count), table);

  std::map<uint32_t, Owned> owners = CountOwners(tableView);
  uint32_t visited = 0;
  for (ProcessTable::Node* node = table.First(); node;
       node = table.Next(node)) {
    ++visited;
    FUZZ_CHECK(table.Lookup(node->record.pid) == &node->record);
    CheckRecord(node->record, tableView, owners);
  }
  FUZZ_CHECK(visited == table.Count());

  // The summary: the header once before the first row, then one row a record.
  {
    std::u16string view;
    std::u16string expected;
    Output out(&view);
    bool headerPrinted = false;
    for (const ProcessTable::Node* node = table.First(); node;
         node = table.Next(node)) {
      PrintSummary(node->record, headerPrinted, out);
      if (expected.empty())
        expected =
            u"Process ID    Process Name                  GDI Total    GDI All\n";
      AppendExpectedSummaryRow(expected, node->record);
    }
    FUZZ_CHECK(headerPrinted == (table.Count() > 0));
    FUZZ_CHECK(view == expected);
  }

  // One detail view, which the input picks: -c, -v, -c -v, or either of the
  // last two with the filter; then the document of the same options.
  RunOptions options;
  options.showCounts = variant == 0 || variant == 2 || variant == 4;
  options.showHandles = variant != 0;
  if (variant >= 3)
    options.typeFilter = filter;
  std::u16string view;
  std::u16string expected;
  {
    Output out(&view);
    for (const ProcessTable::Node* node = table.First(); node;
         node = table.Next(node)) {
      PrintDetails(node->record, options, out);
      AppendExpectedBlock(expected, node->record, options);
    }
  }
  CheckBlocks(view, table.Count(), options.showHandles);
  FUZZ_CHECK(view == expected);

  SystemTotals system;
  if (seed & 1)
    system.session.gdiObjects = seed * 1000u;
  system.tableSlots = static_cast<uint32_t>(tableView.count);
  system.tableEntriesUsed = seed;
  CheckJson(table, system, options);
  return 0;
}
