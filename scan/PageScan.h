#pragma once

// The main job on one picture: find the page in a photograph or scan, and cut it out upright.
//
// The page is looked for as a bright-or-dark quadrilateral bounded by four straight edges (on
// dark, mid and light desks, textured or plain, under shadows and uneven light). Its four sides
// are fitted as separate lines at the picture's full resolution, and the quadrilateral is mapped
// onto a rectangle of the page's own proportions (a perspective correction when the sides are not
// parallel, a pure turn when they are). The text of the cut page is then levelled by its lines.
// When no page edge is found (flatbed scans, close-ups, a page filling the photo), the whole
// picture is kept and only its text lines are levelled; uncovered corners take the paper's colour.
//
// Pixel buffers are laid out as for CDataHandler: bottom-up rows of 8 (palette), 24 or 32 bits per
// pixel at the platform's row stride. Coordinates in a PageScanResult are continuous picture
// coordinates as the picture is displayed: x to the right, y down from the top row, the picture
// covering [0, width] x [0, height] (pixel centres at +0.5).
#include "module/Export.h"
#include "platform/WinTypes.h"

namespace imgdesk {

// How the page came to be cut out.
enum class PageFoundBy : int {
    PageEdges = 0,  // its four edges were found; it was cut out and made upright
    TextLines = 1,  // no page edges; the whole picture was kept and turned to level its text
    Nothing = 2,    // neither: the picture comes back as it was
};

struct PagePoint {
    double x;
    double y;
};

struct PageScanOptions {
    // Look for the page's edges. Off: the whole picture is the page (the straightening of a scan).
    bool findPage = true;
    // Level the text lines of the result (within 0.1 degree where there are enough lines).
    bool levelText = true;
    // The largest turn the text levelling of a whole picture considers, in degrees (at most 45).
    double maxTextTurn = 45.0;
};

struct PageScanResult {
    // The page upright: a NewMem block, released by the caller with DelMem. 8 bits per pixel with
    // a grey ramp palette when the input is grey (an 8-bit picture whose palette is grey), else 24.
    unsigned char* pixels = nullptr;
    int width = 0;
    int height = 0;
    int bits = 0;
    // The input points shown at the output's top-left, top-right, bottom-right and bottom-left
    // corners. Output point (u, v) shows the input point that the homography taking (0, 0),
    // (width, 0), (width, height), (0, height) to these corners gives (a turn alone when the
    // correction is a pure turn). After text levelling of a whole picture they may lie outside it.
    PagePoint corners[4] = {};
    // The turn applied to make the page upright, in degrees, positive clockwise as displayed
    // (a page photographed turned 3 degrees counter-clockwise comes out turned 3 degrees
    // clockwise: turnDegrees 3). For a perspective correction, the turn of its top side.
    double turnDegrees = 0.0;
    // Whether the sides were far enough from parallel to need a perspective correction.
    bool perspectiveCorrected = false;
    PageFoundBy foundBy = PageFoundBy::Nothing;
};

// Finds the page in the picture (width x height pixels at bits per pixel; palette: 256 entries,
// needed for 8 bits, ignored otherwise) and cuts it out upright into result, replacing what result
// held without releasing it. Returns true when done (whatever foundBy says); false, leaving
// result untouched, for a null buffer, a size below 1 x 1, a bit count other than 8, 24 or 32, an
// 8-bit picture without a palette, a buffer larger than a NewMem block can be, or memory running
// short.
IMGDESK_API bool ScanPage(const unsigned char* pixels, int width, int height, int bits,
                          const tagRGBQUAD* palette, PageScanResult& result,
                          const PageScanOptions& options = PageScanOptions());

}  // namespace imgdesk
