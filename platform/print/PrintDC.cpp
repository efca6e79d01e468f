#include "platform/print/PrintDC.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <mutex>
#include <new>

#include "platform/com/Heap.h"
#include "platform/print/PageSink.h"

namespace imgdesk::print {
namespace {

enum class JobState { Idle, InDocument, InPage };

struct PrinterContext {
    std::unique_ptr<PageSink> sink;
    JobState state = JobState::Idle;
};

// Printer contexts are ordinary surface contexts over the sink's page, known by this table.
std::mutex& RegistryLock() {
    static std::mutex lock;
    return lock;
}
std::map<HDC, PrinterContext*>& Registry() {
    static std::map<HDC, PrinterContext*> contexts;
    return contexts;
}

PrinterContext* Find(HDC dc) {
    std::lock_guard<std::mutex> guard(RegistryLock());
    const auto found = Registry().find(dc);
    return found == Registry().end() ? nullptr : found->second;
}

// A one-row 24-bit DIB selected into a memory context, for moving rows between contexts.
class RowBuffer {
public:
    explicit RowBuffer(int width) {
        BITMAPINFO info = {};
        info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
        info.bmiHeader.biWidth = width;
        info.bmiHeader.biHeight = -1;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 24;
        info.bmiHeader.biCompression = BI_RGB;
        void* bits = nullptr;
        bitmap_ = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
        dc_ = CreateCompatibleDC(nullptr);
        if (bitmap_ && dc_ && (old_ = SelectObject(dc_, bitmap_)))
            bits_ = static_cast<unsigned char*>(bits);
    }
    ~RowBuffer() {
        if (old_)
            SelectObject(dc_, old_);
        if (dc_)
            DeleteDC(dc_);
        if (bitmap_)
            DeleteObject(bitmap_);
    }
    RowBuffer(const RowBuffer&) = delete;
    RowBuffer& operator=(const RowBuffer&) = delete;

    unsigned char* Bits() const { return bits_; }
    HDC Dc() const { return dc_; }

private:
    HBITMAP bitmap_ = nullptr;
    HDC dc_ = nullptr;
    HGDIOBJ old_ = nullptr;
    unsigned char* bits_ = nullptr;
};

// The source offset under the centre of target pixel i of n, for a source extent of m.
int CentreSample(long long i, long long n, long long m) {
    return static_cast<int>((2 * i + 1) * m / (2 * n));
}

}  // namespace

PageSink::~PageSink() = default;

BOOL PageSink::Stretch(HDC dc, const StretchArgs& args, HDC source) {
    const PageFormat format = Format();
    return StretchPixels(dc, args, source, format.printableWidth, format.printableHeight);
}

BOOL StretchPixels(HDC target, const StretchArgs& args, HDC source, int clipWidth, int clipHeight) {
    if (!target || !source || args.rop != SRCCOPY)
        return FALSE;
    long long x = args.x, y = args.y, cx = args.cx, cy = args.cy;
    long long sx = args.sx, sy = args.sy, sw = args.sw, sh = args.sh;
    if (cx == 0 || cy == 0 || sw == 0 || sh == 0)
        return TRUE;
    bool flipX = false, flipY = false;
    if (cx < 0) {
        x += cx;
        cx = -cx;
        flipX = !flipX;
    }
    if (sw < 0) {
        sx += sw;
        sw = -sw;
        flipX = !flipX;
    }
    if (cy < 0) {
        y += cy;
        cy = -cy;
        flipY = !flipY;
    }
    if (sh < 0) {
        sy += sh;
        sh = -sh;
        flipY = !flipY;
    }
    // The visible part of the target block, in block coordinates.
    const long long i0 = std::max(0LL, -x);
    const long long i1 = clipWidth < 0 ? cx : std::min(cx, clipWidth - x);
    const long long j0 = std::max(0LL, -y);
    const long long j1 = clipHeight < 0 ? cy : std::min(cy, clipHeight - y);
    if (i0 >= i1 || j0 >= j1)
        return TRUE;
    if (i1 - i0 > 0x7FFFFFF || sw > 0x7FFFFFF)
        return FALSE;

    RowBuffer from(static_cast<int>(sw));
    RowBuffer to(static_cast<int>(i1 - i0));
    int* columns = static_cast<int*>(
        imgdesk::platform::HeapAllocate(static_cast<std::size_t>(i1 - i0) * sizeof(int)));
    std::unique_ptr<int, imgdesk::platform::HeapDeleter> columnHolder(columns);
    if (!from.Bits() || !to.Bits() || !columns)
        return FALSE;
    for (long long i = i0; i < i1; ++i) {
        const int u = CentreSample(i, cx, sw);
        columns[i - i0] = 3 * (flipX ? static_cast<int>(sw) - 1 - u : u);
    }
    long long cachedRow = -1;
    const int width = static_cast<int>(i1 - i0);
    for (long long j = j0; j < j1; ++j) {
        const int v = CentreSample(j, cy, sh);
        const long long row = sy + (flipY ? sh - 1 - v : v);
        if (row != cachedRow) {
            // Pixels outside the source read as white.
            std::memset(from.Bits(), 255, static_cast<std::size_t>(sw) * 3);
            BitBlt(from.Dc(), 0, 0, static_cast<int>(sw), 1, source, static_cast<int>(sx),
                   static_cast<int>(row), SRCCOPY);
            cachedRow = row;
            const unsigned char* in = from.Bits();
            unsigned char* out = to.Bits();
            for (int i = 0; i < width; ++i, out += 3)
                std::memcpy(out, in + columns[i], 3);
        }
        BitBlt(target, static_cast<int>(x + i0), static_cast<int>(y + j), width, 1, to.Dc(), 0, 0,
               SRCCOPY);
    }
    return TRUE;
}

HDC CreatePrinterDC(std::unique_ptr<PageSink> sink) {
    if (!sink)
        return nullptr;
    auto* context = new (std::nothrow) PrinterContext;
    if (!context)
        return nullptr;
    HDC dc = imgdesk::gdi::CreateSurfaceDC(sink->Page());
    if (!dc) {
        delete context;
        return nullptr;
    }
    context->sink = std::move(sink);
    std::lock_guard<std::mutex> guard(RegistryLock());
    Registry()[dc] = context;
    return dc;
}

BOOL DeletePrinterDC(HDC dc) {
    PrinterContext* context = nullptr;
    {
        std::lock_guard<std::mutex> guard(RegistryLock());
        const auto found = Registry().find(dc);
        if (found != Registry().end()) {
            context = found->second;
            Registry().erase(found);
        }
    }
    if (context) {
        if (context->state != JobState::Idle)
            context->sink->Abandon();
        delete context;
    }
    return DeleteDC(dc);
}

bool IsPrinterDC(HDC dc) {
    return Find(dc) != nullptr;
}

}  // namespace imgdesk::print

using imgdesk::print::Find;
using imgdesk::print::JobState;

int GetDeviceCaps(HDC dc, int index) {
    const auto* context = Find(dc);
    if (!context)
        return 0;
    const imgdesk::print::PageFormat f = context->sink->Format();
    switch (index) {
        case HORZRES:
            return f.printableWidth;
        case VERTRES:
            return f.printableHeight;
        case LOGPIXELSX:
            return f.dpiX;
        case LOGPIXELSY:
            return f.dpiY;
        case PHYSICALWIDTH:
            return f.paperWidth;
        case PHYSICALHEIGHT:
            return f.paperHeight;
        case PHYSICALOFFSETX:
            return f.offsetX;
        case PHYSICALOFFSETY:
            return f.offsetY;
        default:
            return 0;
    }
}

int StartDocW(HDC dc, const DOCINFOW* info) {
    auto* context = Find(dc);
    if (!context || context->state != JobState::Idle)
        return SP_ERROR;
    const wchar_t* name = info && info->lpszDocName ? info->lpszDocName : L"";
    const int job = context->sink->BeginDocument(name);
    if (job <= 0)
        return SP_ERROR;
    context->state = JobState::InDocument;
    return job;
}

int StartPage(HDC dc) {
    auto* context = Find(dc);
    if (!context || context->state != JobState::InDocument || !context->sink->BeginPage())
        return 0;
    context->state = JobState::InPage;
    return 1;
}

int EndPage(HDC dc) {
    auto* context = Find(dc);
    if (!context || context->state != JobState::InPage)
        return 0;
    context->state = JobState::InDocument;
    return context->sink->FinishPage() ? 1 : SP_ERROR;
}

int EndDoc(HDC dc) {
    auto* context = Find(dc);
    if (!context || context->state == JobState::Idle)
        return SP_ERROR;
    // A page left open is ended as the platform does: it belongs to the document.
    if (context->state == JobState::InPage)
        context->sink->FinishPage();
    context->state = JobState::Idle;
    return context->sink->FinishDocument() ? 1 : SP_ERROR;
}

int AbortDoc(HDC dc) {
    auto* context = Find(dc);
    if (!context || context->state == JobState::Idle)
        return SP_ERROR;
    context->state = JobState::Idle;
    context->sink->Abandon();
    return 1;
}

BOOL StretchBlt(HDC target, int x, int y, int cx, int cy, HDC source, int sx, int sy, int sw,
                int sh, DWORD rop) {
    const imgdesk::print::StretchArgs args{x, y, cx, cy, sx, sy, sw, sh, rop};
    if (auto* context = Find(target))
        return context->sink->Stretch(target, args, source);
    return imgdesk::print::StretchPixels(target, args, source, -1, -1);
}
