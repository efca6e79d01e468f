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

class IMGDESK_API CDataHandler {
public:
    CDataHandler() {}
    ~CDataHandler() {}
    // Copies nothing: the class has no state.
    CDataHandler& operator=(const CDataHandler&) { return *this; }

    // --- Tone adjustment (in place, no allocation) -------------------------------------------

    // Scales every byte (fourth bytes and palette indices included) by (amount + 100) / 100,
    // truncating, limited to 0..255. Returns 0 for amount 0, else 1.
    int AdjustLuminosity(unsigned char* buffer, int width, int height, int bitsPerPixel, int amount);
    // Positive amounts stretch every byte away from the middle, negative ones compress it towards
    // the middle (amounts beyond +-127 act as the strongest setting). Returns 0 for amount 0.
    int AdjustContrast(unsigned char* buffer, int width, int height, int bitsPerPixel, int amount);
    // Scales the HSL saturation of every pixel by (amount + 100) percent, limited to 0..200.
    // 8-bit bytes are grey levels and come back unchanged. Returns 0 for amount 0.
    int AdjustSaturation(unsigned char* buffer, int width, int height, int bitsPerPixel, int amount);
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

    // --- Right-angle, whole-degree and free-angle rotation, zoom -------------------------

    // --- Grey stretch and binarization -----------------------------------------------------

    // --- Convolution and edge detection ----------------------------------------------------

    // --- Median filters --------------------------------------------------------------------

    // --- Region operations -----------------------------------------------------------------

    // --- Wavelet transform -----------------------------------------------------------------

    // --- Black border, skew and black-side removal -----------------------------------------

    // --- Hough lines, line and rectangle search, frame rotation, edge-based border and skew -

    // --- Motion detection ------------------------------------------------------------------
};
