#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/print/AfxPrint.h"
#include "platform/print/PageSink.h"
#include "platform/print/PrintChooser.h"
#include "support/TempDir.h"
#include "support/TestPrinter.h"

using imgdesk::print::PageFormat;
using imgdesk::print::PageSink;
using imgdesk::print::StretchArgs;

namespace {

// A 24-bit top-down DIB in a memory context, for drawing sources and targets.
struct Picture {
    Picture(int width, int height) : width(width) {
        BITMAPINFO info = {};
        info.bmiHeader = {sizeof(BITMAPINFOHEADER), width, -height, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
        void* memory = nullptr;
        bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &memory, nullptr, 0);
        dc = CreateCompatibleDC(nullptr);
        old = SelectObject(dc, bitmap);
        bits = static_cast<unsigned char*>(memory);
    }
    ~Picture() {
        SelectObject(dc, old);
        DeleteDC(dc);
        DeleteObject(bitmap);
    }
    int width;
    HBITMAP bitmap;
    HDC dc;
    HGDIOBJ old;
    unsigned char* bits;
};

// Keeps a log of what the context is asked to do; draws onto a small page of its own.
struct Recorder : PageSink {
    explicit Recorder(std::vector<std::string>* log) : log(log), page(8, 8) {}
    PageFormat Format() const override { return {8, 8, 600, 600, 10, 10, 1, 1}; }
    imgdesk::gdi::Surface Page() override {
        return {8, 8, 24, page.bits, (8 * 3 + 3) / 4 * 4, nullptr, false};
    }
    int BeginDocument(const std::wstring& name) override {
        log->push_back("doc " + WideToUtf8(name.c_str()));
        return 7;
    }
    bool BeginPage() override {
        log->push_back("page");
        return true;
    }
    bool FinishPage() override {
        log->push_back("end page");
        return true;
    }
    bool FinishDocument() override {
        log->push_back("end doc");
        return true;
    }
    void Abandon() override { log->push_back("abandon"); }
    std::vector<std::string>* log;
    Picture page;
};

TEST(StretchBlt, ScalesByNearestPixelAndMirrors) {
    Picture source(2, 1), target(4, 2);
    SetPixel(source.dc, 0, 0, RGB(10, 0, 0));
    SetPixel(source.dc, 1, 0, RGB(20, 0, 0));
    ASSERT_TRUE(StretchBlt(target.dc, 0, 0, 4, 2, source.dc, 0, 0, 2, 1, SRCCOPY));
    EXPECT_EQ(GetPixel(target.dc, 1, 1), RGB(10, 0, 0));
    EXPECT_EQ(GetPixel(target.dc, 2, 0), RGB(20, 0, 0));
    // A negative target width mirrors: the block runs from x - 1 leftwards.
    ASSERT_TRUE(StretchBlt(target.dc, 4, 0, -4, 1, source.dc, 0, 0, 2, 1, SRCCOPY));
    EXPECT_EQ(GetPixel(target.dc, 0, 0), RGB(20, 0, 0));
    EXPECT_EQ(GetPixel(target.dc, 3, 0), RGB(10, 0, 0));
    // Shrinking takes the pixel under each target centre.
    Picture wide(3, 1), one(1, 1);
    SetPixel(wide.dc, 1, 0, RGB(0, 99, 0));
    ASSERT_TRUE(StretchBlt(one.dc, 0, 0, 1, 1, wide.dc, 0, 0, 3, 1, SRCCOPY));
    EXPECT_EQ(GetPixel(one.dc, 0, 0), RGB(0, 99, 0));
    EXPECT_FALSE(StretchBlt(target.dc, 0, 0, 4, 2, source.dc, 0, 0, 2, 1, BLACKNESS));
    EXPECT_FALSE(StretchBlt(target.dc, 0, 0, 4, 2, nullptr, 0, 0, 2, 1, SRCCOPY));
}

TEST(PrinterDC, RunsJobsInOrderAndClipsToThePage) {
    std::vector<std::string> log;
    auto recorder = std::make_unique<Recorder>(&log);
    Recorder* sink = recorder.get();
    HDC dc = imgdesk::print::CreatePrinterDC(std::move(recorder));
    ASSERT_NE(dc, nullptr);
    EXPECT_EQ(GetDeviceCaps(dc, HORZRES), 8);
    EXPECT_EQ(GetDeviceCaps(dc, LOGPIXELSY), 600);
    EXPECT_EQ(GetDeviceCaps(dc, PHYSICALOFFSETX), 1);
    EXPECT_EQ(GetDeviceCaps(nullptr, HORZRES), 0);

    EXPECT_LE(StartPage(dc), 0);  // no document yet
    EXPECT_EQ(EndDoc(dc), SP_ERROR);
    DOCINFOW info = {sizeof(DOCINFOW), L"print", nullptr, nullptr, 0};
    EXPECT_EQ(StartDocW(dc, &info), 7);
    EXPECT_EQ(StartDocW(dc, &info), SP_ERROR);  // one job at a time
    EXPECT_GT(StartPage(dc), 0);
    Picture red(1, 1);
    SetPixel(red.dc, 0, 0, RGB(255, 0, 0));
    // Far larger than the page: only the page's 8 x 8 pixels are drawn.
    EXPECT_TRUE(StretchBlt(dc, -4, 6, 1 << 20, 1 << 20, red.dc, 0, 0, 1, 1, SRCCOPY));
    EXPECT_EQ(GetPixel(sink->page.dc, 7, 7), RGB(255, 0, 0));
    EXPECT_EQ(GetPixel(sink->page.dc, 7, 5), RGB(0, 0, 0));
    EXPECT_GT(EndPage(dc), 0);
    EXPECT_GT(EndDoc(dc), 0);
    EXPECT_EQ(log, (std::vector<std::string>{"doc print", "page", "end page", "end doc"}));

    // Deleting a context in the middle of a job throws the job away.
    log.clear();
    StartDocW(dc, &info);
    EXPECT_TRUE(imgdesk::print::IsPrinterDC(dc));
    EXPECT_TRUE(imgdesk::print::DeletePrinterDC(dc));
    EXPECT_FALSE(imgdesk::print::IsPrinterDC(dc));
    EXPECT_EQ(log, (std::vector<std::string>{"doc print", "abandon"}));
}

TEST(PrintDialog, AsksTheInstalledHandler) {
    std::vector<std::string> log;
    imgdesk::print::SetPrintDialogHandler([&](PRINTDLG& request, CString&) {
        EXPECT_EQ(request.Flags, 0x100003u | PD_RETURNDC);
        request.nCopies = 3;
        request.hDC = imgdesk::print::CreatePrinterDC(std::make_unique<Recorder>(&log));
        return INT_PTR{IDOK};
    });
    {
        CPrintDialog dialog(FALSE, 0x100003);
        ASSERT_EQ(dialog.DoModal(), IDOK);
        EXPECT_EQ(dialog.m_pd.nCopies, 3);
        CDC dc;
        ASSERT_TRUE(dc.Attach(dialog.m_pd.hDC));
        EXPECT_EQ(dc.GetDeviceCaps(VERTRES), 8);
        DOCINFOW info = {sizeof(DOCINFOW), L"x", nullptr, nullptr, 0};
        dc.StartDoc(&info);
    }  // the CDC deletes the context and so abandons the job
    EXPECT_EQ(log, (std::vector<std::string>{"doc x", "abandon"}));

    imgdesk::print::SetPrintDialogHandler([](PRINTDLG&, CString&) { return INT_PTR{IDCANCEL}; });
    CPrintDialog cancelled(FALSE, 0x100003);
    EXPECT_EQ(cancelled.DoModal(), IDCANCEL);
    EXPECT_EQ(cancelled.m_pd.hDC, nullptr);
    imgdesk::print::SetPrintDialogHandler(nullptr);
}

TEST(PrintDialog, DefaultCancelsWhenThePrinterCannotBeReached) {
    imgdesk::test::ScopedEnv printer("IMGDESK_PRINTER", "ipp://127.0.0.1:1/ipp/print");
    CPrintDialog dialog(FALSE, 0x100003);
    EXPECT_EQ(dialog.DoModal(), IDCANCEL);
    EXPECT_EQ(dialog.m_pd.hDC, nullptr);
}

TEST(CupsPrinter, SendsOneJobOfRasterPagesPlacedInsideTheMargins) {
    if (!imgdesk::test::TestPrinter::Installed())
        GTEST_SKIP() << "ippeveprinter (cups-ipp-utils) is not installed";
    imgdesk::test::TestPrinter printer;
    std::string why;
    ASSERT_TRUE(printer.Start(&why)) << why;

    CDC dc;
    ASSERT_TRUE(dc.Attach(imgdesk::print::CreateCupsPrinterDC(Utf8ToWide(printer.Uri().c_str()))));
    // The test printer's default: US Letter with quarter-inch margins at 600 dots per inch.
    EXPECT_EQ(dc.GetDeviceCaps(HORZRES), 4800);
    EXPECT_EQ(dc.GetDeviceCaps(VERTRES), 6300);
    EXPECT_EQ(dc.GetDeviceCaps(PHYSICALOFFSETX), 150);
    EXPECT_EQ(dc.GetDeviceCaps(PHYSICALWIDTH), 5100);

    Picture black(1, 1);
    DOCINFOW info = {sizeof(DOCINFOW), L"print", nullptr, nullptr, 0};
    EXPECT_GT(dc.StartDoc(&info), 0);
    for (int page = 0; page < 2; ++page) {
        EXPECT_GT(dc.StartPage(), 0);
        // A 10 x 10 black square at the corner of the printable area, moved down on page 2.
        StretchBlt(dc, 0, page * 100, 10, 10, black.dc, 0, 0, 1, 1, SRCCOPY);
        EXPECT_GT(dc.EndPage(), 0);
    }
    EXPECT_GT(dc.EndDoc(), 0);

    const auto documents = printer.Documents();
    ASSERT_EQ(documents.size(), 1u);
    const auto pages = imgdesk::test::TestPrinter::ReadPages(documents[0]);
    ASSERT_EQ(pages.size(), 2u);
    EXPECT_EQ(pages[0].width, 5100u);
    EXPECT_EQ(pages[0].height, 6600u);
    EXPECT_EQ(pages[0].bitsPerPixel, 8u);  // the test printer prints grey
    EXPECT_EQ(pages[0].At(150, 150), 0);
    EXPECT_EQ(pages[0].At(159, 159), 0);
    EXPECT_EQ(pages[0].At(160, 150), 255);
    EXPECT_EQ(pages[0].At(149, 150), 255);
    EXPECT_EQ(pages[1].At(150, 150), 255);
    EXPECT_EQ(pages[1].At(150, 250), 0);
}

}  // namespace
