#pragma once

// The page outline on a reduced picture: straight edge lines from a Hough transform of colour
// edges, each refined by a fit to its edge points, and the quadrilateral of four of them whose
// sides are best backed by edges with the paper on the inside.
#include "scan/internal/Geometry.h"
#include "scan/internal/Reduce.h"

namespace imgdesk::scan {

struct PageQuad {
    bool found = false;
    Point corners[4];  // reduced-picture coordinates, in cycle order
    double score = 0;
};

PageQuad FindPageQuad(const ReducedColour& picture);

}  // namespace imgdesk::scan
