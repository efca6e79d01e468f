#pragma once

// Printer device contexts: what a printer context reports about its page, the print-job calls,
// and StretchBlt, which draws on printer pages as well as on memory contexts.
#include "module/Export.h"
#include "platform/gdi/Gdi.h"

struct DOCINFOW {
    int cbSize;
    LPCWSTR lpszDocName;
    LPCWSTR lpszOutput;
    LPCWSTR lpszDatatype;
    DWORD fwType;
};
using DOCINFO = DOCINFOW;
using LPDOCINFOW = DOCINFOW*;
using LPDOCINFO = DOCINFO*;

// GetDeviceCaps indexes.
constexpr int HORZRES = 8;            // printable width, device pixels
constexpr int VERTRES = 10;           // printable height, device pixels
constexpr int LOGPIXELSX = 88;        // dots per inch across
constexpr int LOGPIXELSY = 90;        // dots per inch down
constexpr int PHYSICALWIDTH = 110;    // whole sheet, device pixels
constexpr int PHYSICALHEIGHT = 111;   //
constexpr int PHYSICALOFFSETX = 112;  // unprintable margin left of the printable area
constexpr int PHYSICALOFFSETY = 113;  // unprintable margin above the printable area

constexpr int SP_ERROR = -1;

// A printer context's page figures; 0 for other contexts and unknown indexes.
IMGDESK_API int GetDeviceCaps(HDC dc, int index);

// One job per StartDocW ... EndDoc on a printer context; pages are StartPage ... EndPage inside.
// StartDocW returns a job number above 0 or SP_ERROR; the others a value above 0 or one at most 0.
// AbortDoc throws the job away.
IMGDESK_API int StartDocW(HDC dc, const DOCINFOW* info);
IMGDESK_API int StartPage(HDC dc);
IMGDESK_API int EndPage(HDC dc);
IMGDESK_API int EndDoc(HDC dc);
IMGDESK_API int AbortDoc(HDC dc);

// Copies the sw x sh block at (sx, sy) of source to the cx x cy block at (x, y) of target,
// scaling by nearest pixel (each target pixel takes the source pixel under its centre); a negative
// extent mirrors. Only SRCCOPY is supported. Target pixels outside a printer page are skipped.
IMGDESK_API BOOL StretchBlt(HDC target, int x, int y, int cx, int cy, HDC source, int sx, int sy,
                            int sw, int sh, DWORD rop);
