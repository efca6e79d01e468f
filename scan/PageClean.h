#pragma once

// Cleaning of a photographed or scanned page: the paper made evenly white, and black and white
// that keeps thin and grey print.
//
// Light falling unevenly on a page (a shadow across it, a gradient towards one side) darkens paper
// and print alike, so the paper's own brightness is estimated first and divided out: the page is
// reduced to about 256 pixels on its longer side, its print removed by a grey closing (the
// brightest neighbourhood wins, then the darkest of those), smoothed, and enlarged again by linear
// interpolation; where a large dark area (a photograph, desk at the edge) would pull it down, it
// is kept above 40% of the brightest paper nearby. Dividing a pixel by that background makes paper
// white and leaves print at its contrast to the paper around it. Black and white then takes a local
// threshold in the manner of Sauvola (mean and spread of a square window, summed in linear time
// whatever the window), so that a faint stroke next to the paper around it counts as print while
// paper noise does not.
//
// Pixel buffers are laid out as for CDataHandler: bottom-up rows of 8 (palette), 24 or 32 bits per
// pixel at the platform's row stride (pixel/internal/PixelLayout.h RowStride). Every result is a
// new NewMem block that the caller releases with DelMem; the input is never changed.
#include "module/Export.h"
#include "platform/WinTypes.h"

namespace imgdesk {

struct PageCleanOptions {
    // Sauvola's k: how far below the local mean a pixel must be to count as print, scaled by how
    // little the window varies. Lower keeps fainter print; 0 thresholds at the local mean.
    double sensitivity = 0.1;
    // Side of the threshold's square window in pixels (made odd); 0 picks about a thirtieth of the
    // page's shorter side, at least 15.
    int window = 0;
    // Whiten black areas touching the picture's edge that are too large and thick to be print
    // (desk left at the edge of a cut-out page): at least a quarter of the page's width or height
    // long, and on average at least 4 pixels (or a 300th of the shorter side) thick across that
    // length. Print that merely reaches the edge, and thin rules, are kept.
    bool clearBorders = true;
};

// The page's grey levels with the paper's brightness divided out: an 8-bit buffer (width x height
// at the 8-bit row stride) in which the paper is near 255 everywhere and print keeps its contrast
// to the paper around it. Grey levels are (299 R + 587 G + 114 B) / 1000, rounded; palette is
// needed for 8 bits (256 entries) and ignored otherwise. Returns true and sets grey to the new
// block; false, leaving grey untouched, for a null buffer, a size below 1 x 1, a bit count other
// than 8, 24 or 32, an 8-bit picture without a palette, or memory running short.
IMGDESK_API bool FlattenIllumination(const unsigned char* pixels, int width, int height, int bits,
                                     const tagRGBQUAD* palette, unsigned char*& grey);

// The page in black and white: the flattened grey levels above, thresholded locally. mono is an
// 8-bit buffer of 0 (print) and 255 (paper) at the 8-bit row stride. Same inputs and refusals as
// FlattenIllumination, and also false for a negative window or a sensitivity outside [0, 1].
IMGDESK_API bool CleanPageToMono(const unsigned char* pixels, int width, int height, int bits,
                                 const tagRGBQUAD* palette, unsigned char*& mono,
                                 const PageCleanOptions& options = PageCleanOptions());

// The page with its paper made white and its print's colours kept: each colour channel divided
// by its own paper background (so a colour cast of the light goes with the shadows), with paper
// within 8% of its background's brightness made pure white. 24- and 32-bit pictures come back at
// their own bit count (the fourth byte of a 32-bit pixel copied); 8-bit pictures come back as
// 8-bit grey levels of their palette's colours. whitenedBits receives the result's bit count.
// Same refusals as FlattenIllumination, leaving both outputs untouched.
IMGDESK_API bool WhitenPage(const unsigned char* pixels, int width, int height, int bits,
                            const tagRGBQUAD* palette, unsigned char*& whitened, int& whitenedBits);

}  // namespace imgdesk
