// A made-up watch for the HTML report's tests, as a session description:
// the watch itself runs over it.
#pragma once

#include <string>

// A session whose `sampleCount - 1` sample blocks change `processCount`
// processes. The first leaks: its GDI All climbs by 50 a sample, its
// entries by a Bitmap and a Brush; every third of the others grows a
// little, the rest wobble now and then. Names include ones that need
// escaping. The quota is 600, which the leaker nears within six samples.
std::string SyntheticWatchSession(int sampleCount, int processCount);
