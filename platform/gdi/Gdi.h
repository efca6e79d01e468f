#pragma once

// The GDI surface the library uses: memory device contexts over DIB sections and BitBlt.
#include <cstdint>

#include "module/Export.h"
#include "platform/WinTypes.h"
#include "platform/com/ObjBase.h"

struct HDC__;
using HDC = HDC__*;
struct HBITMAP__;
using HBITMAP = HBITMAP__*;
using HGDIOBJ = void*;
using COLORREF = DWORD;

constexpr COLORREF RGB(BYTE red, BYTE green, BYTE blue) {
    return static_cast<COLORREF>(red | green << 8 | blue << 16);
}
constexpr BYTE GetRValue(COLORREF colour) {
    return static_cast<BYTE>(colour & 0xFF);
}
constexpr BYTE GetGValue(COLORREF colour) {
    return static_cast<BYTE>((colour >> 8) & 0xFF);
}
constexpr BYTE GetBValue(COLORREF colour) {
    return static_cast<BYTE>((colour >> 16) & 0xFF);
}

constexpr DWORD SRCCOPY = 0x00CC0020;
constexpr DWORD BLACKNESS = 0x00000042;
constexpr DWORD WHITENESS = 0x00FF0062;
constexpr UINT DIB_RGB_COLORS = 0;
constexpr COLORREF CLR_INVALID = 0xFFFFFFFF;

// A memory device context; it starts with a 1 x 1 black bitmap selected. The argument is ignored
// (every context here is compatible with every other).
IMGDESK_API HDC CreateCompatibleDC(HDC reference);
IMGDESK_API BOOL DeleteDC(HDC dc);

// A DIB section of 8 (with colour table), 24 or 32 bits per pixel and BI_RGB compression: a
// positive height gives bottom-up rows, a negative one top-down rows. *bits receives the pixel
// memory (zero-filled), rows of the platform's row size. Null on bad headers or short memory.
IMGDESK_API HBITMAP CreateDIBSection(HDC dc, const BITMAPINFO* info, UINT usage, void** bits,
                                     HANDLE section, DWORD offset);
// Selects a bitmap into a context and returns the one it replaces; null on failure.
IMGDESK_API HGDIOBJ SelectObject(HDC dc, HGDIOBJ object);
// Deletes a bitmap; FALSE while it is selected into a context.
IMGDESK_API BOOL DeleteObject(HGDIOBJ object);

// Copies a cx x cy block from (sourceX, sourceY) of source to (x, y) of target, clipped to both
// bitmaps. SRCCOPY converts between bit depths (to 8 bits by the nearest colour-table entry);
// BLACKNESS and WHITENESS fill the target. Other raster operations fail.
IMGDESK_API BOOL BitBlt(HDC target, int x, int y, int cx, int cy, HDC source, int sourceX,
                        int sourceY, DWORD rop);
// The colour at a point of the selected bitmap; CLR_INVALID outside it.
IMGDESK_API COLORREF GetPixel(HDC dc, int x, int y);
// Sets a point of the selected bitmap; returns the colour set, or CLR_INVALID outside it.
IMGDESK_API COLORREF SetPixel(HDC dc, int x, int y, COLORREF colour);

// --- Stretching DIBs and DIB colour tables ------------------------------------------------------

constexpr int BLACKONWHITE = 1;
constexpr int WHITEONBLACK = 2;
constexpr int COLORONCOLOR = 3;
constexpr int HALFTONE = 4;
constexpr int STRETCH_ANDSCANS = BLACKONWHITE;
constexpr int STRETCH_ORSCANS = WHITEONBLACK;
constexpr int STRETCH_DELETESCANS = COLORONCOLOR;
constexpr int STRETCH_HALFTONE = HALFTONE;
constexpr int GDI_ERROR = -1;

// Sets how StretchDIBits drops or merges pixels when it shrinks; returns the previous mode, 0 on
// a bad context or mode. Every mode here takes the nearest source pixel.
IMGDESK_API int SetStretchBltMode(HDC dc, int mode);
IMGDESK_API int GetStretchBltMode(HDC dc);
// Draws the (sourceX, sourceY, sourceWidth, sourceHeight) part of a DIB of 8 (with colour table),
// 24 or 32 bits, BI_RGB, over (x, y, width, height) of the context, scaled to the nearest pixel
// and clipped to the context's bitmap; negative sizes mirror. Source y counts from the bottom row
// of a bottom-up DIB and from the top row of a top-down one. Colours become the nearest colours
// of the target's format (the nearest colour-table entry for 8 bits). SRCCOPY only; returns the
// number of source rows the destination covers, 0 on failure.
IMGDESK_API int StretchDIBits(HDC dc, int x, int y, int width, int height, int sourceX, int sourceY,
                              int sourceWidth, int sourceHeight, const void* bits,
                              const BITMAPINFO* info, UINT usage, DWORD rop);
// The colour table of the 8-bit DIB section selected into a memory context: entries from start,
// clipped to 256. Returns the number of entries set or read, 0 when no such bitmap is selected.
IMGDESK_API UINT SetDIBColorTable(HDC dc, UINT start, UINT count, const RGBQUAD* colours);
IMGDESK_API UINT GetDIBColorTable(HDC dc, UINT start, UINT count, RGBQUAD* colours);
