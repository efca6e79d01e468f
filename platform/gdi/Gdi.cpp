#include <algorithm>
#include <climits>
#include <cstring>
#include <new>

#include "platform/com/Heap.h"
#include "platform/gdi/GdiObjects.h"

using imgdesk::gdi::Surface;

HBITMAP__::~HBITMAP__() {
    imgdesk::platform::HeapRelease(bits);
}

namespace {

// The 1 x 1 black bitmap every new memory context starts with.
HBITMAP StockBitmap() {
    static unsigned char pixel[4] = {};
    static HBITMAP__ stock = [] {
        HBITMAP__ bitmap;
        bitmap.surface = {1, 1, 32, pixel, 4, nullptr, false};
        bitmap.stock = true;
        return bitmap;
    }();
    return &stock;
}

unsigned char* PixelAt(const Surface& s, int x, int y) {
    return s.top + y * s.step + static_cast<long long>(x) * (s.bitCount / 8);
}

void ReadBgra(const Surface& s, int x, int y, unsigned char out[4]) {
    const unsigned char* p = PixelAt(s, x, y);
    if (s.bitCount == 8) {
        const RGBQUAD entry = s.palette ? s.palette[*p] : RGBQUAD{*p, *p, *p, 0};
        out[0] = entry.rgbBlue;
        out[1] = entry.rgbGreen;
        out[2] = entry.rgbRed;
        out[3] = 0;
    } else {
        out[0] = p[0];
        out[1] = p[1];
        out[2] = p[2];
        out[3] = s.bitCount == 32 ? p[3] : 0;
    }
}

}  // namespace

namespace imgdesk::gdi {

int NearestEntry(const RGBQUAD* palette, const unsigned char bgra[4]) {
    int best = 0;
    long bestDistance = LONG_MAX;
    for (int i = 0; i < 256 && palette; ++i) {
        const long db = palette[i].rgbBlue - bgra[0], dg = palette[i].rgbGreen - bgra[1],
                   dr = palette[i].rgbRed - bgra[2];
        const long distance = db * db + dg * dg + dr * dr;
        if (distance < bestDistance) {
            bestDistance = distance;
            best = i;
        }
    }
    return best;
}

}  // namespace imgdesk::gdi

namespace {

using imgdesk::gdi::NearestEntry;

void WriteBgra(const Surface& s, int x, int y, const unsigned char bgra[4]) {
    unsigned char* p = PixelAt(s, x, y);
    if (s.bitCount == 8) {
        *p = static_cast<unsigned char>(NearestEntry(s.palette, bgra));
        return;
    }
    p[0] = bgra[0];
    p[1] = bgra[1];
    p[2] = bgra[2];
    if (s.bitCount == 32)
        p[3] = s.opaqueWrites ? 255 : bgra[3];
}

}  // namespace

namespace imgdesk::gdi {

HDC CreateSurfaceDC(const Surface& surface) {
    HDC dc = new (std::nothrow) HDC__;
    if (dc)
        dc->surface = surface;
    return dc;
}

}  // namespace imgdesk::gdi

HDC CreateCompatibleDC(HDC) {
    HDC dc = new (std::nothrow) HDC__;
    if (!dc)
        return nullptr;
    dc->selected = StockBitmap();
    dc->surface = dc->selected->surface;
    ++dc->selected->selections;
    return dc;
}

BOOL DeleteDC(HDC dc) {
    if (!dc)
        return FALSE;
    if (dc->selected)
        --dc->selected->selections;
    delete dc;
    return TRUE;
}

HBITMAP CreateDIBSection(HDC, const BITMAPINFO* info, UINT usage, void** bits, HANDLE, DWORD) {
    if (bits)
        *bits = nullptr;
    if (!info || usage != DIB_RGB_COLORS)
        return nullptr;
    const BITMAPINFOHEADER& header = info->bmiHeader;
    const int bitCount = header.biBitCount;
    if (header.biSize < sizeof(BITMAPINFOHEADER) || header.biCompression != BI_RGB)
        return nullptr;
    if (bitCount != 8 && bitCount != 24 && bitCount != 32)
        return nullptr;
    if (header.biWidth <= 0 || header.biHeight == 0 || header.biHeight == INT_MIN)
        return nullptr;
    const long long width = header.biWidth;
    const long long height =
        header.biHeight < 0 ? -static_cast<long long>(header.biHeight) : header.biHeight;
    const long long stride = (width * bitCount + 31) / 32 * 4;
    if (stride * height > 0x7FFFFFFFLL)
        return nullptr;

    HBITMAP bitmap = new (std::nothrow) HBITMAP__;
    if (!bitmap)
        return nullptr;
    bitmap->bits = imgdesk::platform::HeapAllocate(static_cast<std::size_t>(stride * height));
    if (!bitmap->bits) {
        delete bitmap;
        return nullptr;
    }
    if (bitCount == 8) {
        const DWORD colours = header.biClrUsed && header.biClrUsed < 256 ? header.biClrUsed : 256;
        std::memcpy(bitmap->palette, info->bmiColors, colours * sizeof(RGBQUAD));
    }
    auto* memory = static_cast<unsigned char*>(bitmap->bits);
    const bool bottomUp = header.biHeight > 0;
    bitmap->surface = {static_cast<int>(width),
                       static_cast<int>(height),
                       bitCount,
                       bottomUp ? memory + (height - 1) * stride : memory,
                       bottomUp ? -stride : stride,
                       bitCount == 8 ? bitmap->palette : nullptr,
                       false};
    if (bits)
        *bits = bitmap->bits;
    return bitmap;
}

HGDIOBJ SelectObject(HDC dc, HGDIOBJ object) {
    if (!dc || !object || !dc->selected)
        return nullptr;
    auto* bitmap = static_cast<HBITMAP>(object);
    // A bitmap can be selected into one context at a time.
    if (bitmap->selections > 0 && !bitmap->stock && dc->selected != bitmap)
        return nullptr;
    HBITMAP previous = dc->selected;
    --previous->selections;
    ++bitmap->selections;
    dc->selected = bitmap;
    dc->surface = bitmap->surface;
    return previous;
}

BOOL DeleteObject(HGDIOBJ object) {
    auto* bitmap = static_cast<HBITMAP>(object);
    if (!bitmap || bitmap->selections > 0)
        return bitmap && bitmap->stock ? TRUE : FALSE;
    if (bitmap->stock)
        return TRUE;
    delete bitmap;
    return TRUE;
}

BOOL BitBlt(HDC target, int x, int y, int cx, int cy, HDC source, int sourceX, int sourceY,
            DWORD rop) {
    if (!target)
        return FALSE;
    const Surface& to = target->surface;
    if (rop == BLACKNESS || rop == WHITENESS) {
        const unsigned char level = rop == WHITENESS ? 255 : 0;
        const unsigned char fill[4] = {level, level, level, 255};
        for (int j = std::max(0, y); j < std::min(to.height, y + std::max(cy, 0)); ++j)
            for (int i = std::max(0, x); i < std::min(to.width, x + std::max(cx, 0)); ++i)
                WriteBgra(to, i, j, fill);
        return TRUE;
    }
    if (rop != SRCCOPY || !source)
        return FALSE;
    const Surface& from = source->surface;
    if (cx <= 0 || cy <= 0)
        return TRUE;
    // Clip in 64-bit arithmetic so that extreme arguments cannot wrap.
    long long left = std::max<long long>({0, x, static_cast<long long>(x) - sourceX});
    long long top = std::max<long long>({0, y, static_cast<long long>(y) - sourceY});
    long long right = std::min<long long>({to.width, static_cast<long long>(x) + cx,
                                           static_cast<long long>(x) - sourceX + from.width});
    long long bottom = std::min<long long>({to.height, static_cast<long long>(y) + cy,
                                            static_cast<long long>(y) - sourceY + from.height});
    unsigned char bgra[4];
    for (long long j = top; j < bottom; ++j) {
        const int sj = static_cast<int>(j - y + sourceY);
        if (from.bitCount == to.bitCount && to.bitCount != 8 && !to.opaqueWrites) {
            std::memmove(PixelAt(to, static_cast<int>(left), static_cast<int>(j)),
                         PixelAt(from, static_cast<int>(left - x + sourceX), sj),
                         static_cast<std::size_t>(right - left) * (to.bitCount / 8));
            continue;
        }
        for (long long i = left; i < right; ++i) {
            ReadBgra(from, static_cast<int>(i - x + sourceX), sj, bgra);
            WriteBgra(to, static_cast<int>(i), static_cast<int>(j), bgra);
        }
    }
    return TRUE;
}

COLORREF GetPixel(HDC dc, int x, int y) {
    if (!dc || x < 0 || y < 0 || x >= dc->surface.width || y >= dc->surface.height)
        return CLR_INVALID;
    unsigned char bgra[4];
    ReadBgra(dc->surface, x, y, bgra);
    return RGB(bgra[2], bgra[1], bgra[0]);
}

COLORREF SetPixel(HDC dc, int x, int y, COLORREF colour) {
    if (!dc || x < 0 || y < 0 || x >= dc->surface.width || y >= dc->surface.height)
        return CLR_INVALID;
    const unsigned char bgra[4] = {GetBValue(colour), GetGValue(colour), GetRValue(colour), 0};
    WriteBgra(dc->surface, x, y, bgra);
    return colour;
}
