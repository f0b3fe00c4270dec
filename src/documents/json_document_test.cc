#include "documents/json_document.h"

#include <gtest/gtest.h>

#include <string>

#include "census/process_record.h"
#include "documents/version.h"
#include "output/output.h"
#include "sample/report_options.h"

namespace {

HandleRecord MakeHandle(uint64_t handle, uint8_t typeCode,
                        uint64_t kernelAddress) {
  HandleRecord record = {};
  record.handle = handle;
  record.entry.typeCode = typeCode;
  record.entry.kernelAddress = kernelAddress;
  return record;
}

std::string Render(const SystemTotals& system,
                   const std::vector<const ProcessRecord*>& processes,
                   const ReportOptions& options,
                   std::string_view leading = {}) {
  std::u16string units;
  {
    Output out(&units);
    WriteJsonDocument(system, processes, options, leading, out);
  }
  return std::string(units.begin(), units.end());  // one unit a byte
}

TEST(WriteJsonDocumentTest, EveryField) {
  ProcessRecord record;
  record.pid = 4294967292u;
  // A quote, a backslash, control characters, U+007F, two- and three-byte
  // characters, a surrogate pair and both kinds of lone surrogate.
  std::u16string name =
      u"a\"\\/\b\f\n\r\t\x01\x1F\x7F\u00E9\u8BB0\U0001F600\xD800z\xDC00";
  name.copy(record.exeName, name.size());
  record.entryCount = 2;
  record.guiObjectCount = -1;  // GetGuiResources' 4294967295
  record.gdiPeakCount = 5;
  record.userObjectCount = 6;
  record.userPeakCount = 7;
  for (int category = 0; category < kCategoryCount; ++category)
    record.categoryCounts[category] = category;
  record.handles.Append(MakeHandle(0x23100041, 16, 0xFFFFF9007B892530));
  record.handles.Append(MakeHandle(0xFFFFFFFF, 48, 0xFFFFFFFFFFFFFFFF));
  SystemTotals system;
  system.session.userObjects = 4506;
  system.tableSlots = 65536;
  system.tableEntriesUsed = 7589;
  system.processQuota = 10000;
  // When and where, the name escaped as any string.
  system.unixMilliseconds = 1709251199999;
  const std::u16string host = u"pc \"7\"\\\u00E9";
  system.hostName = host;

  ReportOptions options;
  const std::string kHead =
      "{\"tool\":\"kestrel\",\"version\":\"" KESTREL_PROJECT_VERSION
      "\",\"time\":\"2024-02-29T23:59:59.999Z\",\"host\":\"pc \\\"7\\\"\\\\\xC3\xA9\""
      ",\"system\":{\"gdiObjects\":"
      "null,\"userObjects\":4506,\"tableSlots\":65536,\"tableEntriesUsed\":"
      "7589,\"processQuota\":10000},\"processes\":[";
  const std::string kProcess =
      "{\"pid\":4294967292,\"name\":\"a\\\"\\\\/\\b\\f\\n\\r\\t\\u0001\\u001F"
      "\x7F\xC3\xA9\xE8\xAE\xB0\xF0\x9F\x98\x80\\uD800z\\uDC00\","
      "\"gdiTotal\":2,\"gdiAll\":4294967295,\"gdiPeak\":5,\"userObjects\":6,"
      "\"userPeak\":7,\"categories\":{\"Pen\":0,\"ExtPen\":1,\"Brush\":2,"
      "\"Bitmap\":3,\"Font\":4,\"Palette\":5,\"Region\":6,\"DC\":7,"
      "\"MetaDC\":8,\"EnhMetaDC\":9,\"OtherGDi\":10}";
  EXPECT_EQ(kHead + kProcess + "}]}\n", Render(system, {&record}, options));

  // Handles under -v, narrowed by -f; leading members come first.
  record.handles.Append(MakeHandle(5, 16, 26));
  options.showHandles = true;
  options.typeFilter = u"BRUSH";
  EXPECT_EQ("{\"sample\":3," + kHead.substr(1) + kProcess +
                ",\"handles\":[{\"handle\":\"0x0000000023100041\",\"type\":"
                "\"Brush\",\"typeCode\":16,\"kernelAddress\":"
                "\"0xFFFFF9007B892530\"},{\"handle\":\"0x0000000000000005\","
                "\"type\":\"Brush\",\"typeCode\":16,\"kernelAddress\":"
                "\"0x000000000000001A\"}]}]}\n",
            Render(system, {&record}, options, "\"sample\":3"));
}

}  // namespace
