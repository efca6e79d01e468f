#pragma once

// Finds the page in a photograph from its edges: the frame lines of the page rectangle in the
// picture's own pixel coordinates, as the frame rotation takes them.
#include "cli/Picture.h"
#include "pixel/DataHandler.h"

namespace imgdesk::cli {

struct FoundPage {
    bool found = false;
    _STRAIGHTLINE lines[4] = {};  // 0, 2: far and near line of one direction; 1, 3: the other
    int skewDegrees = 0;  // the turn that straightens the page (counter-clockwise as displayed)
};

// Works at a size of about 320 pixels on the longer side, as the edge-based detectors do: zoom,
// grey levels, the largest bright area with its holes filled (the page without its print), its
// isotropic Sobel edges smoothed, the dominant line and the frame around the edges; the frame is
// then scaled back to the picture.
FoundPage FindPage(const Picture& picture);

// The page cut out and turned upright (a picture of the same bit depth).
Picture CutOutPage(const Picture& picture, const FoundPage& page);

}  // namespace imgdesk::cli
