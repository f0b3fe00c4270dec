#include "synthetic_watch.h"

#include <cstdio>
#include <string>

namespace {

const char* const kNames[] = {"mspaint.exe",
                              "explorer.exe",
                              "chrome.exe",
                              "dwm.exe",
                              "\xE5\xBE\xAE\xE4\xBF\xA1.exe",  // 微信.exe
                              "OUTLOOK.EXE",
                              "Code.exe",
                              "a<b>&\"c\".exe",
                              "Teams.exe",
                              "notepad.exe",
                              "devenv.exe",
                              "slack.exe"};
constexpr int kNameCount = sizeof kNames / sizeof kNames[0];
// Entry types: Pen, Brush, Bitmap, Font, Region, DC.
const unsigned kTypes[][2] = {{0x30, 0x10}, {0x10, 0x10}, {0x05, 0x05},
                              {0x0A, 0x0A}, {0x04, 0x04}, {0x01, 0x01}};

unsigned Pid(int process) { return 4780 + 4 * static_cast<unsigned>(process); }

int GdiAll(int process, int sample) {
  if (process == 0)
    return 121 + 50 * sample;
  int base = 40 + process * 37 % 400;
  if (process % 3 == 1)
    return base + sample * (process % 5 + 1) / 4;
  return base + ((sample + process) % 10 == 0 ? 2 : 0);
}

std::string Line(const char* format, unsigned a, unsigned b, unsigned c,
                 unsigned d) {
  char line[128];
  std::snprintf(line, sizeof line, format, a, b, c, d);
  return line;
}

std::string Process(int process, int sample) {
  std::string line = "process " + std::to_string(Pid(process)) + " " +
                     std::to_string(GdiAll(process, sample)) + " open " +
                     kNames[process % kNameCount];
  if (process >= kNameCount)
    line += " #" + std::to_string(process);
  return line + "\n";
}

// An entry of `type` owned by `process`.
std::string Entry(unsigned index, int process, int type) {
  return Line("entry %u 0xFFFFF900%08X %u 0x%04X", index, index * 16,
              Pid(process), 0x0100 | kTypes[type][0]) +
         Line(" %u 0 0\n", kTypes[type][1], 0, 0, 0);
}

}  // namespace

std::string SyntheticWatchSession(int sampleCount, int processCount) {
  // A quota the leaker comes near, so that the chart draws it.
  std::string session = "self 1000\nquota 600\n";
  for (int process = 0; process < processCount; ++process)
    session += Process(process, 0);
  session += "table 1576960\n";  // one page and 65,536 entries
  unsigned next = 1;
  for (int process = 0; process < processCount; ++process) {
    for (int entry = 0; entry < 3 + process % 5; ++entry)
      session += Entry(next++, process, (process + entry) % 6);
  }
  for (int sample = 1; sample < sampleCount; ++sample) {
    session += "sample\n";
    for (int process = 0; process < processCount; ++process) {
      if (GdiAll(process, sample) != GdiAll(process, sample - 1))
        session += Process(process, sample);
    }
    session += Entry(next++, 0, 2);
    session += Entry(next++, 0, 1);
  }
  return session;
}
