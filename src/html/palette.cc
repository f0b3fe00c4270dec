#include "html/palette.h"

namespace {

// Okabe-Ito, led by the strongest colours, with black for its yellow, which
// is too faint for a line on white.
const char* const kLineColours[] = {"#D55E00", "#0072B2", "#009E73", "#E69F00",
                                    "#CC79A7", "#56B4E9", "#000000", "#999933"};
const char* const kDashes[] = {"", "7 4", "2 3"};

// Okabe-Ito for the first eight, then Tol's indigo, wine and a pale grey.
const char* const kCategoryColours[kCategoryCount] = {
    "#E69F00", "#56B4E9", "#009E73", "#0072B2", "#D55E00", "#CC79A7",
    "#F0E442", "#000000", "#332288", "#882255", "#BBBBBB"};

}  // namespace

LineStyle LineStyleAt(size_t index) {
  constexpr size_t kColours = sizeof kLineColours / sizeof kLineColours[0];
  constexpr size_t kPatterns = sizeof kDashes / sizeof kDashes[0];
  return {kLineColours[index % kColours],
          kDashes[index / kColours % kPatterns]};
}

const char* CategoryName(int category) {
  return kObjectCategoryNames[category];
}

const char* CategoryColour(int category) { return kCategoryColours[category]; }
