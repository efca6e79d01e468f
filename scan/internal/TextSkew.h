#pragma once

// The turn of a page's text lines, by projection profiles: the ink of level text lines piles up
// into sharp rows, so the sum of squared differences of neighbouring row counts peaks at the
// angle that makes the lines level. Searched coarse to fine, with a parabola through the peak.
#include "scan/internal/Raster.h"

namespace imgdesk::scan {

// The angle (degrees, clockwise as displayed) of the text lines in a grey picture, searched
// within +-range degrees. False when the picture has too little text, or no angle stands out.
bool MeasureTextAngle(const Plane<float>& grey, double range, double& angle);

}  // namespace imgdesk::scan
