#pragma once

// What stands behind a printer device context: the page it draws on and the device that takes
// the finished pages. The CUPS printer is one; tests and hosts can make contexts over their own.
#include <memory>
#include <string>

#include "module/Export.h"
#include "platform/CString.h"
#include "platform/gdi/DeviceContext.h"

namespace imgdesk::print {

// Page figures in device pixels, as GetDeviceCaps reports them.
struct PageFormat {
    int printableWidth = 0;   // HORZRES
    int printableHeight = 0;  // VERTRES
    int dpiX = 0;
    int dpiY = 0;
    int paperWidth = 0;
    int paperHeight = 0;
    int offsetX = 0;  // printable area's place on the sheet
    int offsetY = 0;
};

struct StretchArgs {
    int x, y, cx, cy;
    int sx, sy, sw, sh;
    DWORD rop;
};

class IMGDESK_API PageSink {
public:
    virtual ~PageSink();
    virtual PageFormat Format() const = 0;
    // Memory the context draws on: the printable area of the current page.
    virtual imgdesk::gdi::Surface Page() = 0;
    // A job number above 0, or 0 when the job cannot be started.
    virtual int BeginDocument(const std::wstring& name) = 0;
    virtual bool BeginPage() = 0;
    // Draws on the page through the context dc; the default scales pixels onto Page().
    virtual BOOL Stretch(HDC dc, const StretchArgs& args, HDC source);
    virtual bool FinishPage() = 0;
    virtual bool FinishDocument() = 0;
    // Drops a started job.
    virtual void Abandon() = 0;
};

// A printer context over sink (null when memory is short). Delete it with DeletePrinterDC, which
// abandons an unfinished job.
IMGDESK_API HDC CreatePrinterDC(std::unique_ptr<PageSink> sink);
// Deletes a printer context, or any other context with DeleteDC.
IMGDESK_API BOOL DeletePrinterDC(HDC dc);
// True for contexts made by CreatePrinterDC that are not deleted yet.
IMGDESK_API bool IsPrinterDC(HDC dc);

// A context for a CUPS printer: a destination name known to the local CUPS, or an ipp:// or
// ipps:// URI of a printer reached directly. Null when it cannot be reached or takes no PWG
// raster.
IMGDESK_API HDC CreateCupsPrinterDC(const CString& printer);
// The page sink behind such a context, for hosts that watch the job (its number, whether the
// printer took every page): null, with the reason in why, when the printer cannot be used.
IMGDESK_API std::unique_ptr<PageSink> OpenCupsPrinter(const CString& printer, std::string* why);

// Nearest-pixel scaling of source onto target, clipped to clipWidth x clipHeight of the target
// (negative: not clipped) — StretchBlt's drawing, for sinks that draw.
BOOL StretchPixels(HDC target, const StretchArgs& args, HDC source, int clipWidth, int clipHeight);

}  // namespace imgdesk::print
