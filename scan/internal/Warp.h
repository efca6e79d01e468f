#pragma once

// Resampling of the caller's picture onto the upright page.
#include "scan/internal/Geometry.h"
#include "scan/internal/Raster.h"

namespace imgdesk::scan {

// What an output pixel shows: the output point (pixel centre) goes to the page through
// outputToPage (a turn and shift); points off the page rectangle [0, pageWidth] x [0,
// pageHeight], or off the picture, show fill; the rest show the input point pageToInput gives,
// sampled bilinearly.
struct PageMapping {
    Homography outputToPage;
    Homography pageToInput;
    double pageWidth = 0;
    double pageHeight = 0;
    unsigned char fill[3] = {255, 255, 255};  // blue, green, red
};

// Fills out (bottom-up rows at the platform's stride, 24 bits, or 8 bits of grey level when grey)
// with the mapped picture.
void WarpPicture(const SourcePicture& source, const PageMapping& mapping, bool grey,
                 unsigned char* out, int width, int height);

}  // namespace imgdesk::scan
