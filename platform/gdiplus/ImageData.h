#pragma once

// What a GDI+ image holds: its pixels as a bottom-up DIB, the format it came from and the state
// of a pixel lock.
#include "platform/codecs/Codecs.h"
#include "platform/gdiplus/GdiPlus.h"

namespace imgdesk::gdiplus {

struct ImageData {
    codecs::Dib dib;
    GUID rawFormat = Gdiplus::ImageFormatMemoryBMP;
    bool isBitmap = false;
    int orientation = 0;  // EXIF orientation 2 to 8 of a decoded JPEG, else 0 (as stored)
    // LockBits state: the rectangle, the locked format and the top-down copy handed out.
    bool locked = false;
    Gdiplus::Rect lockRect;
    UINT lockFlags = 0;
    Gdiplus::PixelFormat lockFormat = 0;
    codecs::HeapBytes lockBuffer;
    bool hdcOut = false;

    Gdiplus::PixelFormat Format() const;
    // The pixels as a codec view (bottom-up).
    codecs::DibView View() const { return codecs::DibView::Of(dib); }
};

// Whether GdiplusStartup has been called and not yet balanced.
bool IsStarted();

}  // namespace imgdesk::gdiplus
