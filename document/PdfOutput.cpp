#include <cstdio>
#include <list>
#include <utility>

#include "document/DocDesk.h"
#include "platform/Files.h"
#include "service/CoreKit.h"

// Every image is loaded with the platform's image class, saved as a JPEG in the temporary folder
// and embedded unchanged by the PDF writer, one page per image at the image's pixel size. The PDF
// is written under target + ".tmp" and renamed at the end; the rename never replaces a file that
// already stands at the target. Left on disk after a failure: nothing when the temporary PDF
// cannot be created; the partial temporary PDF and that page's JPEG when a page cannot be added;
// the complete temporary PDF when the rename fails.
int CDocDesk::JPGSavePdf(std::list<CString> paths, const wchar_t* target) {
    // The list is this call's own copy: it goes when the call returns, on every path.
    const std::list<CString> images = std::move(paths);
    if (!target || images.empty())
        return 0;
    const CString temporaryPdf = CString(target) + L".tmp";

    CJpg2Pdf writer;
    writer.Reset();
    FILE* pdf = writer.CreatePdfFile(temporaryPdf);
    if (!pdf)
        return 0;

    const CString temporaryFolder = GetTempDataPath();
    for (const CString& path : images) {
        ATL::CImage image;
        image.Load(path);  // a failed load gives no picture, and so no JPEG and no page
        const int width = image.GetWidth();
        const int height = image.GetHeight();
        const CString jpegPath =
            temporaryFolder + kPathSeparator + PathFindFileNameW(path) + L".jpg";
        image.Save(jpegPath);
        image.Destroy();
        ATL::CImage::ReleaseGDIPlus();

        FILE* jpeg = _wfopen(jpegPath, L"rb");
        if (jpeg) {
            writer.SetPaperSize(static_cast<unsigned long>(width),
                                static_cast<unsigned long>(height));
            if (!writer.AddPage(pdf, jpeg)) {
                std::fclose(pdf);
                std::fclose(jpeg);
                return 0;
            }
            std::fclose(jpeg);
        }
        DeleteFileW(jpegPath);
    }

    writer.AddCatalog(pdf);
    writer.AddPages(pdf);
    writer.AddCrossReferenceTable(pdf);
    writer.AddTrailer(pdf);  // closes the file
    return MoveFileW(temporaryPdf, target);
}
