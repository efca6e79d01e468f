#pragma once

// What a device context draws on, so that other stand-ins (the GDI+ graphics object) can hand out
// a context over memory of their own.
#include "platform/gdi/Gdi.h"

namespace imgdesk::gdi {

// Pixels seen from the top row of the picture: row y starts at top + y * step (step is negative
// for the usual bottom-up memory).
struct Surface {
    int width = 0;
    int height = 0;
    int bitCount = 0;  // 8, 24 or 32
    unsigned char* top = nullptr;
    long long step = 0;
    const RGBQUAD* palette = nullptr;  // 256 entries for 8 bits
    // 32 bits with alpha: what GDI draws is opaque (the fourth byte becomes 255).
    bool opaqueWrites = false;
};

// A context that draws on surface until it is deleted with DeleteDC; null when memory is short.
HDC CreateSurfaceDC(const Surface& surface);

}  // namespace imgdesk::gdi
