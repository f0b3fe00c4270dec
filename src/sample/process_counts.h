// A listed process's counts as the views, the documents and the watch read
// them, taken from its record once.
#pragma once

#include <cstdint>

#include "census/process_record.h"

// A process's counts as the reports compare and draw them, named as the
// documents name them: GDI Total is the record's entryCount, GDI All its
// guiObjectCount. All unsigned, as the system reports them: a change is
// worked out in 64 bits.
struct ProcessCounts {
  uint32_t gdiTotal = 0;
  uint32_t gdiAll = 0;
  uint32_t gdiPeak = 0;
  uint32_t userObjects = 0;
  uint32_t userPeak = 0;
  uint32_t categories[kCategoryCount] = {};
};

inline ProcessCounts CountsOf(const ProcessFields& record) {
  ProcessCounts counts;
  counts.gdiTotal = static_cast<uint32_t>(record.entryCount);
  counts.gdiAll = static_cast<uint32_t>(record.guiObjectCount);
  counts.gdiPeak = record.gdiPeakCount;
  counts.userObjects = record.userObjectCount;
  counts.userPeak = record.userPeakCount;
  for (int category = 0; category < kCategoryCount; ++category)
    counts.categories[category] =
        static_cast<uint32_t>(record.categoryCounts[category]);
  return counts;
}
