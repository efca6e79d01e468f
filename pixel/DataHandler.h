#pragma once

// CDataHandler: the pixel operations. Every operation works on a caller-owned pixel buffer: the
// rows of a bottom-up device-independent bitmap without header or palette, 8, 24 (blue, green,
// red) or 32 bits per pixel (blue, green, red, fourth byte), each row padded to a multiple of four
// bytes (32-bit rows and widths that are multiples of four need no padding). Row 0 is the first
// row in memory, and every y coordinate and rectangle is a memory-row index.
//
// The class holds no data: any object, even a temporary, serves any call. Results are 1 for done
// and 0 for refused or failed unless an operation says otherwise. Scratch memory comes from
// NewMem and is returned before an operation returns; buffers handed over by reference are NewMem
// blocks that the caller releases with DelMem. Bit counts other than 8, 24 and 32 are refused by
// every operation that takes one.
#include "module/Export.h"
#include "platform/Rect.h"
#include "platform/WinTypes.h"

// The right-angle turns and mirrors of RotationImageData, as the bottom-up picture is displayed.
// Only the values 1 to 5 are accepted.
enum rotation_degree : int {
    rotation_clockwise = 1,         // quarter turn clockwise; width and height swap
    rotation_half = 2,              // half turn
    rotation_counterclockwise = 3,  // quarter turn counter-clockwise; width and height swap
    rotation_mirror_rows = 4,       // mirror top to bottom: row order reversed
    rotation_mirror_columns = 5,    // mirror left to right
};

// A straight line of an edge image: the pixels (x, y) whose distance x cos t + y sin t, rounded
// half away from zero, equals distance, where t = 2 x angle degrees (angle 0 ... 89) is the
// direction of the line's normal from the x axis towards higher rows. angle 0 is the vertical line
// x = distance, angle 45 the horizontal line y = distance. votes 0 means no line.
struct _STRAIGHTLINE {
    int votes;
    int distance;
    int angle;
};

// One side of a page rectangle from (x1, y1) to (x2, y2), in pixels; (-1, -1) marks an end point
// that was not found.
struct _SEGMENT {
    int x1;
    int y1;
    int x2;
    int y2;
};

class IMGDESK_API CDataHandler {
public:
    CDataHandler() {}
    ~CDataHandler() {}
    // Copies nothing: the class has no state.
    CDataHandler& operator=(const CDataHandler&) { return *this; }

    // --- Tone adjustment (in place, no allocation) -------------------------------------------

    // Scales every byte (fourth bytes and palette indices included) by (amount + 100) / 100,
    // truncating, limited to 0..255. Returns 0 for amount 0, else 1.
    int AdjustLuminosity(unsigned char* buffer, int width, int height, int bitsPerPixel,
                         int amount);
    // Positive amounts stretch every byte away from the middle, negative ones compress it towards
    // the middle (amounts beyond +-127 act as the strongest setting). Returns 0 for amount 0.
    int AdjustContrast(unsigned char* buffer, int width, int height, int bitsPerPixel, int amount);
    // Scales the HSL saturation of every pixel by (amount + 100) percent, limited to 0..200.
    // 8-bit bytes are grey levels and come back unchanged. Returns 0 for amount 0.
    int AdjustSaturation(unsigned char* buffer, int width, int height, int bitsPerPixel,
                         int amount);
    // Multiplies each of blue, green and red by its gain / 255 (gains limited to 0..255).
    // Returns 0, changing nothing, for three gains of 255 or a bit count other than 24 or 32.
    int SaturationAlter(unsigned char* buffer, int width, int height, int bitsPerPixel, int red,
                        int green, int blue);

    // Hue (degrees, 0 for grey, else in (0, 360]), saturation and lightness (0..1) of a colour.
    void RGBtoHSL(unsigned char red, unsigned char green, unsigned char blue, float* hue,
                  float* saturation, float* lightness);
    // The colour of an HSL triple as red | green << 8 | blue << 16.
    unsigned long HSLtoRGB(float hue, float saturation, float lightness);
    // One channel of HSLtoRGB from its two lightness terms and a hue.
    unsigned char HueToRGB(float term1, float term2, float hue);

    // --- Colour-mode conversion ----------------------------------------------------------

    // Each reads a pixel buffer and writes a converted copy into a caller-owned destination,
    // which is cleared first; padding bytes they build are 0. They allocate nothing and return 1,
    // or 0 (touching nothing) for a bit count other than 8, 24 and 32.

    // Expands to a 24-bit buffer (stride of a 24-bit row): 8-bit pixels through the palette,
    // which must be given; 24- and 32-bit pixels copied without a fourth byte.
    int GreyScaleToColour24(unsigned char* source, int width, int height, int bitsPerPixel,
                            tagRGBQUAD* palette, unsigned char* destination);
    // Grey level 0.3 red + 0.59 green + 0.11 blue, truncated; 8-bit pixels take their colour from
    // the palette and are 0 without one. Rows are padded to a multiple of 4 bytes when padRows is
    // nonzero, else packed (width bytes apart).
    int ColourToGreyScale(unsigned char* source, int width, int height, int bitsPerPixel,
                          tagRGBQUAD* palette, unsigned char* destination, int padRows);
    // Padded grey rows of 255 where the grey level is above the threshold and 0 elsewhere.
    int ColourToSingle(unsigned char* source, int width, int height, int bitsPerPixel,
                       tagRGBQUAD* palette, unsigned char* destination, int threshold);
    // Negative, same layout as the source. 8-bit pixels are copied as they are (padding included)
    // and the palette, when given, is inverted in place; otherwise blue, green and red become 255
    // minus themselves and a fourth byte is 0.
    int ColourToReversed(unsigned char* source, int width, int height, int bitsPerPixel,
                         tagRGBQUAD* palette, unsigned char* destination);
    // Relief, same layout: each byte is (left neighbour - byte + 128) modulo 256; column 0 is 0.
    int ColourToRelief(unsigned char* source, int width, int height, int bitsPerPixel,
                       unsigned char* destination);
    // Sharpening effect, same layout: with c a byte and n the same byte of the pixel one to the
    // left in the next row, the byte becomes c + ((c - n + 128) mod 256) / 4, modulo 256. Column 0
    // and the last row are 0.
    int ColourToSharpen(unsigned char* source, int width, int height, int bitsPerPixel,
                        unsigned char* destination);

    // --- Right-angle, whole-degree and free-angle rotation, zoom -------------------------

    // The rotations replace the caller's buffer, which must come from NewMem: on success the old
    // one is released and a new NewMem buffer (rows at the stride rule) is left in its place.
    // Refusals and failures to get scratch memory change nothing; if memory runs out after the old
    // buffer was released, the reference is left null and 0 is returned.

    // Turns or mirrors a buffer of 8, 24 or 32 bits per pixel exactly (see rotation_degree). On the
    // late failure width and height become 0. Returns 0 for turns outside 1..5 or a null buffer.
    int RotationImageData(unsigned char*& buffer, long& width, long& height, int bitsPerPixel,
                          rotation_degree turn);
    // Turns a 24-bit picture by whole degrees (counter-clockwise as displayed) with nearest-pixel
    // sampling in single-precision trigonometry, keeping only the pixels of rect and filling the
    // rest, padding included, with white. rect receives its place in the turned picture (also on
    // the late failure, where width and height become 0). Returns 0 unless bitsPerPixel is 24.
    int RotationImage(unsigned char*& buffer, long& width, long& height, CRect& rect,
                      int bitsPerPixel, int degrees);
    // Cuts rect (clamped to the picture) out of the buffer and replaces the buffer by that piece
    // turned by angle radians with bilinear sampling (RotateInterpolation). On the late failure
    // width and height keep their old values. Returns 0 for a null buffer, an empty picture or an
    // empty clamped rectangle.
    int RotatePicture(unsigned char*& buffer, long& width, long& height, int bitsPerPixel,
                      CRect rect, double angle);
    // Turns a packed array of w x h pixels of bytesPerPixel bytes by angle radians about its
    // centre, with bilinear sampling, into a new packed array large enough for the whole turned
    // picture (uncovered corners black). The output comes from array new (release it with
    // delete[]); it is null when that allocation failed. outWidth and outHeight are set first.
    void RotateInterpolation(unsigned char* source, int w, int h, int bytesPerPixel,
                             unsigned char*& output, unsigned int& outWidth,
                             unsigned int& outHeight, double angle);
    // Nearest-pixel scaled copy (same bit count, rows at the stride rule) in a new NewMem buffer
    // stored in output without releasing what it held; the caller releases it with DelMem. Sizes
    // are width x scale and height x scale rounded half up. Returns 0, touching nothing, for a null
    // source, a size below 1, a scale that is not positive or gives a size of 0, or an unsupported
    // bit count; when memory is short output is null and 0 is returned.
    int ZoomData(unsigned char* source, int width, int height, int bitsPerPixel, float scale,
                 unsigned char*& output, int& outWidth, int& outHeight);

    // --- Grey stretch and binarization -----------------------------------------------------

    // Grey buffers here are packed: the width is the row length in bytes, width x height bytes.

    // Stretches the levels between the darkest and brightest levels held by two or more pixels,
    // each pulled inwards by 30 where that leaves room, to 0..255. Returns 0, leaving the buffer
    // unchanged, when the stretched range is below 5 levels or no scratch memory can be had.
    int GreyDegreeExtend(unsigned char* buffer, int width, int height);
    // Bytes above threshold become 255, the others 0. Returns 0 for a null buffer or a width or
    // height below 1.
    int GreyDegreeSingle(unsigned char* buffer, int width, int height, int threshold);
    // Thresholds the buffer at a level found by a steered intermeans iteration on its histogram:
    // bytes at or below the threshold become 0, the others 255. Always returns 1.
    int Binarization(unsigned char* buffer, int width, int height);

    // --- Convolution and edge detection ----------------------------------------------------

    // Replaces every pixel whose kernelWidth x kernelHeight window lies inside the packed grey
    // buffer by |sum of weight x pixel| x coefficient, limited to 255 and rounded half up; the
    // frame the window cannot reach keeps its values. The kernel is row-major and not mirrored.
    // Returns 0, changing nothing, for a null buffer or kernel, a kernel size below 1, a buffer
    // smaller than the kernel or no scratch memory.
    int Template(unsigned char* buffer, int width, int height, double* kernel, int kernelWidth,
                 int kernelHeight, double coefficient);
    // The larger of the horizontal and vertical 3 x 3 Sobel magnitudes, limited to 255; the
    // one-pixel frame keeps its values. Returns 0, changing nothing, for a null buffer, a width
    // or height below 3 or no scratch memory.
    int EdgeDetectionSobel(unsigned char* buffer, int width, int height);
    // As EdgeDetectionSobel with the isotropic weights (+-sqrt 2 in place of +-2).
    int EdgeDetectionSobelEx(unsigned char* buffer, int width, int height);
    // The 5 x 5 Laplacian of Gaussian magnitude, limited to 255; the two-pixel frame keeps its
    // values. Returns 0, changing nothing, for a width or height below 5.
    int EdgeDetectionLog(unsigned char* buffer, int width, int height);

    // --- Median filters --------------------------------------------------------------------

    // In spite of their names these are 3 x 3 filters of another kind: MedianFilter replaces each
    // interior pixel of a packed grey buffer by the truncated mean of its 3 x 3 block and sets the
    // one-pixel frame to 0 (a buffer under 3 x 3 becomes all 0). Returns 0 for a null buffer, a
    // width or height below 1 or no scratch memory.
    int MedianFilter(unsigned char* buffer, int width, int height);
    // The same 3 x 3 mean per channel on a 24-bit pixel buffer; frame and padding keep their
    // values. Returns 0, changing nothing, when no scratch memory can be had.
    int Colour24MedianFilter(unsigned char* buffer, int width, int height);
    // Replaces each interior pixel of a 24-bit pixel buffer that is darker, or brighter, than all
    // four edge neighbours in all three channels by the truncated mean of those neighbours.
    // Returns 0, changing nothing, when no scratch memory can be had.
    int Colour24MedianFilterEx(unsigned char* buffer, int width, int height);

    // --- Region operations -----------------------------------------------------------------

    // Regions are 4-connected sets of bright pixels (level above 125) of a packed grey buffer.

    // Clears the one-pixel frame and every interior bright pixel with fewer than three bright
    // edge neighbours. Returns 0, changing nothing, for a null buffer, a width or height below 1
    // or no scratch memory.
    int RegionCorrosion(unsigned char* buffer, int width, int height);
    // Keeps the largest region with its values (of equal ones, the one holding the earliest pixel
    // in row order) and sets every other pixel to 0; a buffer without bright pixels is left as it
    // is. Returns 0, changing nothing, for a null buffer, a width or height below 1 or no scratch
    // memory.
    int RegionAnalysis(unsigned char* buffer, int width, int height);
    // Fills the region of the seed (seedY is the row, seedX the column; the seed itself is taken
    // whatever its level) through bright pixels not yet marked: marks each pixel 1 in marks,
    // copies its level into region and returns the number of pixels filled. The neighbours are
    // tried above, left, below, right. Returns 0 for a null buffer or mark map, a width or height
    // below 1, or when the fill cannot get its working memory. The two are one fill: AnalysisPot
    // keeps the name of the recursive form, neither grows the call stack with the region.
    unsigned long AnalysisPot(unsigned char* buffer, int width, int height, unsigned char* marks,
                              int seedY, int seedX, unsigned char* region);
    unsigned long AnalysisPotEx(unsigned char* buffer, int width, int height, unsigned char* marks,
                                int seedY, int seedX, unsigned char* region);
    // Copies source pixels into region between the first and last bright region pixel of every
    // row, then of every column of the result. Returns the number of pixel copies made.
    int FillRegion(unsigned char* source, int width, int height, unsigned char* region);

    // --- Wavelet transform -----------------------------------------------------------------

    // One level of a two-dimensional integer lifting wavelet transform of every channel of a
    // pixel buffer, the four sub-bands of each channel stretched together to 0..255 and written to
    // destination (same shape as source): low-pass columns 0..width/2-1, low-pass rows
    // 0..height/2-1. Width and height must be even and at least 4. A channel whose coefficients
    // are all equal is not written. Writes nothing for level other than 1, fewer than 8 bits per
    // pixel, or when the working tables cannot be had.
    void DWT_Once(unsigned char* source, int bitsPerPixel, unsigned char* destination, int width,
                  int height, int level);

    // --- Black border, skew and black-side removal -----------------------------------------

    // Padded grey buffers here have rows of width rounded up to a multiple of 4 bytes.

    // Finds the bright page inside a dark border within rect (clamped to the picture): the
    // picture's grey levels (8-bit pixels through the palette) are eroded twice with GreyRust,
    // rows and columns with 30 or more pixels above 128 are sampled every tenth row and column to
    // form bands, each pair of a row band and a column band is scored by StatisticsWhiteSpots, and
    // the best pair, grown by 10 on every side and clipped to the clamped rect, is returned. With
    // no band the grown empty rectangle gives the corner (0, 0, 10, 10) of a search from the
    // origin. Returns (0, 0, 0, 0) for a null buffer, a size below 1, an unsupported bit count, an
    // empty clamped rect or when scratch memory runs out.
    CRect GetBlackSideRect(unsigned char* buffer, int width, int height, int bitsPerPixel,
                           tagRGBQUAD* palette, CRect rect);
    // Erodes the bright area of a padded grey buffer inside rect, clamped to leave the one-pixel
    // frame out: a pixel keeps its level when no pixel of its cross (itself and its four edge
    // neighbours) is below 128, else it becomes 0; everything outside the clamped rect becomes 0.
    // Returns 0, leaving the buffer unchanged, when no scratch memory can be had, else 1.
    int GreyRust(unsigned char* buffer, int width, int height, CRect rect);
    // The number of pixels above 128 of a padded grey buffer inside rect (clamped to the buffer);
    // 0 for a null buffer, a size below 1 or an empty clamped rect.
    unsigned long StatisticsWhiteSpots(unsigned char* buffer, int width, int height, CRect rect);
    // 1 when the cross around (x, y) (rows stride bytes apart) holds a pixel above 128 (mode
    // nonzero) or below 128 (mode 0), else 0. (x, y) must lie at least one pixel inside the
    // buffer; height is not used.
    int ExpandRustCompare(unsigned char* buffer, int stride, int height, int x, int y, int mode);

    // The turn of a page photographed on a dark background, in radians (-pi/4..pi/4): the runs of
    // dark pixels (level 128 or below; 8-bit bytes compared as they are) from the two first-row
    // corners of the GetBlackSideRect page along the page's edges give the tangent at each
    // corner, and the result is minus the mean of the two angles. Positive when the page's first
    // row edge runs towards smaller rows as x grows. 0 for a null buffer or when no page is found.
    float CheckRotatePicture(unsigned char* buffer, int width, int height, int bitsPerPixel,
                             tagRGBQUAD* palette);

    // Whitens the dark area (levels below 125) 4-connected to the seed (seedY is the row, seedX
    // the column) of a packed grey buffer: the seed and every reached dark pixel become 255.
    // Returns how many pixels were set, the seed included; 0 for a null buffer or a size below 1.
    // Its working memory grows with the area filled (none for a fill of a few hundred pixels);
    // when memory runs out the buffer is restored as it was and 0 is returned.
    unsigned long DelBlackSide(unsigned char* buffer, int width, int height, int seedY, int seedX);

    // --- Hough lines, line and rectangle search, frame rotation, edge-based border and skew -

    // Edge images are packed grey buffers (width bytes a row) whose bytes above 125 are edges.
    // Frame lines are four records: 0 and 2 the far and near line of one direction, 1 and 3 the
    // far and near line of the perpendicular direction (far = the larger distance).

    // The dominant straight line of an edge image, over 90 directions in steps of 2 degrees; among
    // the four strongest lines one with a parallel or perpendicular partner is preferred. Returns
    // 1 with the line (votes 0 when there is none), or 0, line untouched, for a null buffer, a
    // size below 1 or a failed allocation.
    int HoughTrans(unsigned char* edges, int width, int height, _STRAIGHTLINE& line);

    // The frame of the edge pixels: the outermost lines at seed's direction (records 0 and 2) and
    // at the perpendicular one (1 and 3). Without edge pixels the far lines are at 0 and the near
    // ones at the diagonal length. Returns 0 for a null buffer or a size below 1 (lines untouched)
    // and on a failed allocation (lines then hold those starting values).
    int SearchLine(unsigned char* edges, int width, int height, _STRAIGHTLINE& seed,
                   _STRAIGHTLINE* lines);
    // The rounded distance of (x, y) at line's direction.
    int GetDistance(_STRAIGHTLINE& line, int x, int y);
    // The point offsetA from the near line of the first direction and offsetB from that of the
    // second, towards the far lines. Returns 0, x and y untouched, for an empty or inverted frame,
    // offsets outside it, or a first direction of angle 0.
    int GetPosition(_STRAIGHTLINE* lines, int offsetA, int offsetB, int& x, int& y);
    // Sets to 255 every byte of a packed grey buffer that lies on one of the four lines.
    int DrawStraightLine(unsigned char* image, int width, int height, _STRAIGHTLINE* lines);

    // The four sides of the frame within a width x height grid, one per frame line, from corner
    // to corner, or ending where the line crosses the grid's border when a corner lies outside.
    // The buffer is only tested for null; 0 for a null buffer or a size below 1.
    int SearchRect(unsigned char* edges, int width, int height, _STRAIGHTLINE* lines,
                   _SEGMENT* segments);

    // Cuts the framed region out of a picture and turns it upright with bilinear sampling, into a
    // new NewMem buffer in output (a buffer found there is released first) that the caller
    // releases with DelMem. Output pixels whose source lies outside the picture are left 0.
    // Returns 0 with output null when memory is short.
    int RotateGreenFrame(unsigned char* source, int width, int height, int bitsPerPixel,
                         _STRAIGHTLINE* lines, unsigned char*& output, int& outWidth,
                         int& outHeight);

    // The skew of a page found from its edges, in radians (a multiple of 2 degrees within +-44),
    // with the sign of CheckRotatePicture; 0 when refused or nothing is found.
    float CheckRotatePictureEx(unsigned char* picture, int width, int height, int bitsPerPixel,
                               tagRGBQUAD* palette);
    // The page rectangle inside search (clipped to the picture) found from its edges, in picture
    // pixels measured from the clipped region's left and top; 8 or 24 bits per pixel only.
    // (0, 0, 0, 0) when refused or when memory is short.
    CRect GetBlackSideRectEx(unsigned char* picture, int width, int height, int bitsPerPixel,
                             tagRGBQUAD* palette, CRect search);

    // --- Motion detection ------------------------------------------------------------------

    // Each compares a frame with the previous one, which the caller keeps in stored, storedWidth
    // and storedHeight: stored starts null, the same three variables are passed on every call
    // (one set per operation), and the caller releases stored with DelMem at the end. Every call
    // that gets that far releases the stored frame and stores the current one; if memory runs out
    // just then, stored is left null (the size keeps its old values) and the failure result is
    // returned. Refusals (null frame, size below 1, unsupported bit count) and other failures
    // leave the stored frame as it was. A frame of another size than the stored one counts no
    // changed pixels. The plain three store grey levels with rows padded to a multiple of 4 and
    // read no palette, so 8-bit frames never show a change.

    // 1 when more than a quarter of the pixels moved by more than 30 grey levels; 0 otherwise,
    // and on refusal or failure.
    int DynamicDistinguish(unsigned char* frame, int width, int height, int bitsPerPixel,
                           unsigned char*& stored, int& storedWidth, int& storedHeight);
    // 1 when fewer than a tenth of the pixels moved by more than 30 grey levels; 0 otherwise,
    // and on refusal or failure.
    int StaticDistinguish(unsigned char* frame, int width, int height, int bitsPerPixel,
                          unsigned char*& stored, int& storedWidth, int& storedHeight);
    // The number of pixels that moved by more than 40 grey levels; -1 on refusal or failure.
    int DynamicPointNum(unsigned char* frame, int width, int height, int bitsPerPixel,
                        unsigned char*& stored, int& storedWidth, int& storedHeight);
    // The number of pixels that moved by more than 100 levels in an edge image of the frame: the
    // frame zoomed to a long side of about 320 (ZoomData by 1 / (long side / 320)), converted to
    // packed grey (8-bit frames through the palette), then EdgeDetectionSobelEx and MedianFilter.
    // The stored frame is that packed edge image at the working size. -1 on refusal (also when the
    // working size rounds to 0) or failure.
    int DynamicPointNumEx(unsigned char* frame, int width, int height, int bitsPerPixel,
                          tagRGBQUAD* palette, unsigned char*& stored, int& storedWidth,
                          int& storedHeight);
};
