#pragma once

#include <cstdint>

#include "overlay/overlay.h"

namespace quorvane {

// From the font-size slider's value (a font of 2 x value points) and the subtitle width in
// pixels. lineHeight is the font's pixel height at 96 dpi when that is whole, otherwise the
// next even number above it; lineCapacity is how many lineHeight squares fit into the width,
// but at least 1, so that a zero font size or a narrow width never leaves the scheduler
// dividing by zero.
OverlayMetrics computeOverlayMetrics(int32_t fontSizeValue, int32_t subtitleWidth);

}  // namespace quorvane
