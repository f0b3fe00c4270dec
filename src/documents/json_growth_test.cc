#include "documents/json_growth.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "census/process_table.h"
#include "json_reader.h"
#include "watch/growth.h"
#include "watch/sample_model.h"

namespace {

constexpr uint32_t kQuota = 400;

// A process's GDI All at sample `k` of the watch, one a second.
struct Series {
  uint32_t pid;
  const char16_t* name;
  uint32_t (*gdiAll)(int k);
  const char* word;   // the verdict the watch reaches
  const char* quota;  // "null", "ahead" or "reached"
};

const Series kSeries[] = {
    {8, u"grow\"er\\.exe", [](int k) { return 100u + 5u * k; }, "still growing",
     "ahead"},
    {12, u"held.exe", [](int k) { return k < 6 ? 100u + 10u * k : 150u; },
     "held", "null"},
    {16, u"wobble.exe",
     [](int k) { return k % 2 == 0 ? 100u + (k == 29 ? 60u : 0u) : 140u; },
     "up and down", "null"},
    {20, u"full.exe", [](int k) { return k < 10 ? 300u + 10u * k : kQuota; },
     "held", "reached"},
    {24, u"steady.exe", [](int) { return 50u; }, nullptr, nullptr},
};

const JsonValue& Member(const JsonValue& object, std::u16string_view key) {
  const JsonValue* member = object.Find(key);
  EXPECT_NE(nullptr, member) << std::string(key.begin(), key.end());
  static const JsonValue kNull;
  return member ? *member : kNull;
}

std::string Number(const JsonValue& value) {
  EXPECT_EQ(JsonValue::Kind::Number, value.kind);
  return std::string(value.number);
}

std::string Text(const JsonValue& value) {
  EXPECT_EQ(JsonValue::Kind::String, value.kind);
  return std::string(value.string.begin(), value.string.end());
}

// A watch of the series, read back by a strict reader: every grown process
// in the model's order with its model's figures, and nothing else.
TEST(JsonGrowthDocumentTest, ReadsBackAsTheWatchJudged) {
  GrowthTracker tracker(kQuota);
  constexpr int kSamples = 30;
  for (int k = 0; k < kSamples; ++k) {
    ProcessTable table;
    for (const Series& series : kSeries) {
      ProcessRecord record;
      record.pid = series.pid;
      std::u16string(series.name).copy(record.exeName, 259);
      record.guiObjectCount = static_cast<int32_t>(series.gdiAll(k));
      record.entryCount = record.guiObjectCount - 1;
      record.categoryCounts[3] = record.guiObjectCount / 2;
      table.Set(record.pid, record);
    }
    std::vector<const ProcessRecord*> listed;
    for (const Series& series : kSeries)
      listed.push_back(table.Lookup(series.pid));
    tracker.Note(table, listed, k * 1000u);
    tracker.NoteTable(1000, 500 + k, k * 1000u);
  }
  tracker.Judge();
  RunEnd end;
  end.samples = kSamples;
  end.lastMilliseconds = (kSamples - 1) * 1000u;
  end.interrupted = true;
  end.growth = &tracker;
  end.lastUnixMilliseconds = 1709251199999;
  end.hostName = u"pc \"7\"";

  const std::string text = JsonGrowthDocument(end, kQuota);
  ASSERT_EQ('\n', text.back());
  EXPECT_EQ(text.find('\n'), text.size() - 1);
  std::pmr::monotonic_buffer_resource arena;
  JsonValue document(&arena);
  ASSERT_TRUE(JsonReader(text).Read(&document)) << text;
  ASSERT_EQ(5u, document.members.size());
  EXPECT_EQ(u"growth", document.members[0].first);
  EXPECT_EQ("kestrel", Text(Member(document, u"tool")));
  // When the last sample was taken, and where.
  EXPECT_EQ("2024-02-29T23:59:59.999Z", Text(Member(document, u"time")));
  EXPECT_EQ("pc \"7\"", Text(Member(document, u"host")));

  const JsonValue& growth = Member(document, u"growth");
  EXPECT_EQ("30", Number(Member(growth, u"samples")));
  EXPECT_EQ("29", Number(Member(growth, u"elapsedSeconds")));
  EXPECT_TRUE(Member(growth, u"interrupted").boolean);
  const JsonValue& used = Member(Member(growth, u"table"), u"used");
  EXPECT_EQ("29", Number(Member(used, u"change")));
  EXPECT_EQ("60", Number(Member(used, u"perMinute")));
  const JsonValue& full = Member(Member(growth, u"table"), u"full");
  EXPECT_EQ("1000", Number(Member(full, u"limit")));

  const auto& grown = tracker.Grown();
  const JsonValue& processes = Member(growth, u"processes");
  ASSERT_EQ(grown.size(), processes.items.size()) << text;
  ASSERT_EQ(4u, grown.size()) << "steady.exe did not grow";
  for (size_t i = 0; i < grown.size(); ++i) {
    const ProcessGrowth& model = *grown[i];
    const JsonValue& process = processes.items[i];
    SCOPED_TRACE(model.pid);
    EXPECT_EQ(std::to_string(model.pid), Number(Member(process, u"pid")));
    EXPECT_EQ(model.name.view(), Member(process, u"name").string);
    const Series* series = nullptr;
    for (const Series& s : kSeries)
      series = s.pid == model.pid ? &s : series;
    ASSERT_NE(nullptr, series);
    const JsonValue& all = Member(process, u"gdiAll");
    EXPECT_EQ(std::to_string(series->gdiAll(0)), Number(Member(all, u"first")));
    EXPECT_EQ(std::to_string(series->gdiAll(kSamples - 1)),
              Number(Member(all, u"last")));
    EXPECT_EQ(std::to_string(static_cast<int>(series->gdiAll(kSamples - 1)) -
                             static_cast<int>(series->gdiAll(0))),
              Number(Member(all, u"change")));
    EXPECT_EQ(std::to_string(model.categoryGrowth[3]),
              Number(Member(Member(process, u"categoriesGrown"), u"Bitmap")));

    const JsonValue& verdict = Member(process, u"verdict");
    EXPECT_EQ(series->word, Text(Member(verdict, u"word")));
    std::vector<std::u16string> keys;
    for (const auto& member : verdict.members)
      keys.emplace_back(member.first);
    switch (model.trend.word) {
      case TrendWord::StillGrowing:
        EXPECT_EQ((std::vector<std::u16string>{u"word", u"perMinute"}), keys);
        break;
      case TrendWord::Held:
        EXPECT_EQ((std::vector<std::u16string>{u"word", u"level",
                                               u"sinceSeconds", u"unchanged"}),
                  keys);
        EXPECT_EQ(std::to_string(model.trend.level),
                  Number(Member(verdict, u"level")));
        break;
      case TrendWord::UpAndDown:
        EXPECT_EQ((std::vector<std::u16string>{u"word", u"least", u"greatest"}),
                  keys);
        EXPECT_EQ(std::to_string(model.trend.greatest),
                  Number(Member(verdict, u"greatest")));
        break;
    }

    const JsonValue& quota = Member(process, u"quota");
    if (std::string(series->quota) == "null") {
      EXPECT_EQ(JsonValue::Kind::Null, quota.kind);
      continue;
    }
    EXPECT_EQ("400", Number(Member(quota, u"limit")));
    EXPECT_EQ(std::string(series->quota) == "reached",
              Member(quota, u"reached").boolean);
    EXPECT_EQ(model.quota.state == LimitState::Ahead,
              quota.Find(u"secondsLeft") != nullptr);
  }
}

}  // namespace
