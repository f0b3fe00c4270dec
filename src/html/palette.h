// The charts' colours, chosen to stay apart for readers with any common
// colour-vision deficiency (the Okabe-Ito set, then Tol's), and the dash
// patterns that tell lines apart once the colours repeat.
#pragma once

#include <cstddef>

#include "gditable/object_types.h"

struct LineStyle {
  const char* colour;
  // A stroke-dasharray value; empty for a solid line.
  const char* dash;
};

// The style of a chart's `index`-th line: eight colours, solid, then dashed,
// then dotted, then over again.
LineStyle LineStyleAt(size_t index);

// Each object category's name as the count view prints it, and its fill.
const char* CategoryName(int category);
const char* CategoryColour(int category);
