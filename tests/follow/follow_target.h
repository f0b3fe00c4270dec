// The lines of follow_target.cc that create objects, which the follow tests
// expect a report to name; follow_target.cc asserts each.
#pragma once

constexpr int kLeakBrushLine = 36;
constexpr int kCacheFontLine = 50;
constexpr int kChurnDcLine = 61;
