#pragma once

// The GDI objects behind the HDC and HBITMAP handles, shared by the GDI sources and the image
// class that owns DIB sections. Hosts never look inside the handles.
#include "platform/gdi/DeviceContext.h"

struct HBITMAP__ {
    imgdesk::gdi::Surface surface;
    RGBQUAD palette[256] = {};
    void* bits = nullptr;  // platform heap
    int selections = 0;
    bool stock = false;
    ~HBITMAP__();
};

struct HDC__ {
    imgdesk::gdi::Surface surface;
    HBITMAP selected = nullptr;  // null for a context over foreign memory
    int stretchMode = 1;         // BLACKONWHITE, the platform's default
};

namespace imgdesk::gdi {

// The colour-table entry nearest to a blue, green, red colour (squared distance; the lowest
// index wins a tie); 0 without a table.
int NearestEntry(const RGBQUAD* palette, const unsigned char bgra[4]);

}  // namespace imgdesk::gdi
