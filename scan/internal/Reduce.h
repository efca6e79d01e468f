#pragma once

// Reduced copies of the caller's picture: the finder looks for the page at a few hundred pixels
// and levels text at about a thousand, then cuts at full resolution.
#include "scan/internal/Raster.h"

namespace imgdesk::scan {

// A picture averaged over blocks of factor x factor pixels (the last partial blocks dropped).
// Reduced pixel (i, j) covers input pixels [i f, i f + f) x [j f, j f + f), so reduced
// coordinate u is input coordinate u x f.
struct ReducedColour {
    int factor = 1;
    Plane<float> blue, green, red;
};
struct ReducedGrey {
    int factor = 1;
    Plane<float> grey;
};

// The largest block side: sums of a block's column stay within 16 bits.
constexpr int kMaxFactor = 256;

// The block size that brings the longer side to at most longSide (at most kMaxFactor).
int ReductionFactor(const SourcePicture& source, int longSide);

// Both reductions in one pass over the picture. The colour factor is rounded up to a multiple of
// the grey factor (colour.factor says which), so that colour blocks pool grey-sized ones.
void Reduce(const SourcePicture& source, int colourFactor, int greyFactor, ReducedColour& colour,
            ReducedGrey& grey);

// Grey level of a colour (weights of the common television standard).
inline float Luminance(float blue, float green, float red) {
    return 0.114f * blue + 0.587f * green + 0.299f * red;
}

}  // namespace imgdesk::scan
