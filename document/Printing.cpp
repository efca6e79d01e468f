// Printing a list of images, one per page, each scaled to the printable area and centred.
#include <algorithm>
#include <new>

#include "document/DocDesk.h"
#include "platform/print/AfxPrint.h"

namespace {

// The largest scale at which a w x h picture fits a W x H area, as a single-precision value.
// When the two ratios are equal or cannot be compared the horizontal one is taken.
float FitScale(int W, int H, int w, int h) {
    const float across = static_cast<float>(static_cast<double>(W) / w);
    const float down = static_cast<float>(static_cast<double>(H) / h);
    return down < across ? down : across;
}

}  // namespace

int CDocDesk::PrintImage(std::list<CString> paths, int blackAndWhite) {
    // Selection and page numbers are offered by the dialog, as everywhere else in the host, but a
    // list of pictures has no page range of its own: the settings are never read.
    CPrintDialog dialog(FALSE, 0x100003);
    if (dialog.DoModal() != IDOK)
        return 1;

    HDC printer = dialog.m_pd.hDC;
    if (!printer)
        printer = dialog.CreatePrinterDC();
    CDC dc;
    dc.Attach(printer);

    const int W = ::GetDeviceCaps(dc.m_hDC, HORZRES);
    const int H = ::GetDeviceCaps(dc.m_hDC, VERTRES);

    DOCINFOW info = {};
    info.cbSize = sizeof(info);
    info.lpszDocName = L"print";
    ::StartDocW(dc.m_hDC, &info);

    for (const CString& path : paths) {
        auto* image = new (std::nothrow) ATL::CImage;
        if (!image)
            continue;
        image->Load(path);
        if (blackAndWhite)
            ImageToSingle(*image);
        const int w = image->GetWidth();
        const int h = image->GetHeight();
        if (static_cast<HBITMAP>(*image) && w > 0 && h != 0) {
            const float s = FitScale(W, H, w, h);
            // Every conversion to integer truncates toward zero.
            const int left = static_cast<int>((W - w * static_cast<double>(s)) * 0.5);
            const int right = static_cast<int>(w * static_cast<double>(s) + left);
            const int top = static_cast<int>((H - h * static_cast<double>(s)) * 0.5);
            const int bottom = static_cast<int>(h * static_cast<double>(s) + top);
            for (int copy = 0; copy < dialog.m_pd.nCopies; ++copy) {
                ::StartPage(dc.m_hDC);
                if (dc.m_hDC) {
                    HDC source = image->GetDC();
                    ::StretchBlt(dc.m_hDC, left, top, right - left, bottom - top, source, 0, 0, w,
                                 h, SRCCOPY);
                    image->ReleaseDC();
                }
                ::EndPage(dc.m_hDC);
            }
        }
        image->Destroy();
        ATL::CImage::ReleaseGDIPlus();
        delete image;
    }

    ::EndDoc(dc.m_hDC);
    return 1;
}
