// Watch reports made up for the HTML report's tests: no watch needed.
#pragma once

#include "report/html/watch_report.h"

// A watch of `sampleCount` samples, two seconds apart, of `processCount`
// processes. The first leaks: its GDI All climbs by 50 a sample, Bitmaps
// and Brushes; every third of the others grows a little, the rest
// wobble now and then. Names include ones that need escaping.
WatchReport SyntheticWatch(int sampleCount, int processCount);
