#pragma once

// The page's sides at full resolution: each side of a coarse outline is searched across for the
// strongest colour edge at many points along it, and a line is fitted to those points.
#include "scan/internal/Geometry.h"
#include "scan/internal/Raster.h"

namespace imgdesk::scan {

// Colour (blue, green, red) at continuous display coordinates, bilinear, clamped to the picture.
void SampleColour(const SourcePicture& source, double x, double y, float bgr[3]);

// Moves each side of corners (full-resolution coordinates, cycle order) onto the edge found within
// searchRadius of it, and the corners onto the crossings of the new sides. A side whose edge is
// not found clearly keeps its coarse place.
void FitSides(const SourcePicture& source, double searchRadius, Point corners[4]);

}  // namespace imgdesk::scan
