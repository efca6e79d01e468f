#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/print/AfxPrint.h"
#include "platform/print/PageSink.h"
#include "platform/print/PrintChooser.h"
#include "support/TempDir.h"
#include "support/TestPrinter.h"

namespace imgdesk::test {
namespace {

using Log = std::vector<std::string>;

// A 24-bit top-down DIB section selected into a memory context.
struct Picture {
    Picture(int width, int height) {
        BITMAPINFO info = {};
        info.bmiHeader = {sizeof(BITMAPINFOHEADER), width, -height, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
        bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
        old = SelectObject(dc, bitmap);
    }
    ~Picture() {
        SelectObject(dc, old);
        DeleteDC(dc);
        DeleteObject(bitmap);
    }
    void* bits = nullptr;
    HBITMAP bitmap;
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ old;
};

// Logs what the printer context asks of it and draws onto an 8 x 8 page of its own.
struct Recorder : print::PageSink {
    explicit Recorder(Log* log) : log(log) {}
    print::PageFormat Format() const override { return {8, 8, 600, 600, 10, 10, 1, 1}; }
    gdi::Surface Page() override {
        return {8, 8, 24, static_cast<unsigned char*>(page.bits), 24, nullptr, false};
    }
    int BeginDocument(const std::wstring& name) override {
        log->push_back("doc " + WideToUtf8(name.c_str()));
        return 7;
    }
    bool BeginPage() override { return log->push_back("page"), true; }
    bool FinishPage() override { return log->push_back("end page"), true; }
    bool FinishDocument() override { return log->push_back("end doc"), true; }
    void Abandon() override { log->push_back("abandon"); }
    Log* log;
    Picture page{8, 8};
};

TEST(StretchBlt, ScalesByNearestPixelAndRefusesOtherOperations) {
    Picture source(3, 1), target(6, 2), one(1, 1);
    SetPixel(source.dc, 1, 0, RGB(0, 99, 0));
    ASSERT_TRUE(StretchBlt(target.dc, 0, 0, 6, 2, source.dc, 0, 0, 3, 1, SRCCOPY));
    EXPECT_EQ(GetPixel(target.dc, 3, 1), RGB(0, 99, 0));
    EXPECT_EQ(GetPixel(target.dc, 4, 1), RGB(0, 0, 0));
    ASSERT_TRUE(StretchBlt(one.dc, 0, 0, 1, 1, source.dc, 0, 0, 3, 1, SRCCOPY));  // the centre
    EXPECT_EQ(GetPixel(one.dc, 0, 0), RGB(0, 99, 0));
    EXPECT_FALSE(StretchBlt(target.dc, 0, 0, 4, 2, source.dc, 0, 0, 2, 1, BLACKNESS));
    EXPECT_FALSE(StretchBlt(target.dc, 0, 0, 4, 2, nullptr, 0, 0, 2, 1, SRCCOPY));
}

TEST(PrinterDC, RunsJobsInOrderClipsToThePageAndAbandonsWhenDeleted) {
    Log log;
    auto recorder = std::make_unique<Recorder>(&log);
    Recorder* sink = recorder.get();
    HDC dc = print::CreatePrinterDC(std::move(recorder));
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
    EXPECT_EQ(log, (Log{"doc print", "page", "end page", "end doc"}));

    log.clear();
    StartDocW(dc, &info);
    EXPECT_TRUE(print::DeletePrinterDC(dc));
    EXPECT_FALSE(print::IsPrinterDC(dc));
    EXPECT_EQ(log, (Log{"doc print", "abandon"}));
}

TEST(PrintDialog, AsksTheInstalledHandlerOrCancelsWhenNoPrinterAnswers) {
    Log log;
    print::SetPrintDialogHandler([&](PRINTDLG& request, CString&) {
        EXPECT_EQ(request.Flags, 0x100003u | PD_RETURNDC);
        request.nCopies = 3;
        request.hDC = print::CreatePrinterDC(std::make_unique<Recorder>(&log));
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
    EXPECT_EQ(log, (Log{"doc x", "abandon"}));

    print::SetPrintDialogHandler([](PRINTDLG&, CString&) { return INT_PTR{IDCANCEL}; });
    CPrintDialog cancelled(FALSE, 0x100003);
    EXPECT_EQ(cancelled.DoModal(), IDCANCEL);
    EXPECT_EQ(cancelled.m_pd.hDC, nullptr);
    print::SetPrintDialogHandler(nullptr);

    ScopedEnv printer("IMGDESK_PRINTER", "ipp://127.0.0.1:1/ipp/print");
    CPrintDialog unreachable(FALSE, 0x100003);
    EXPECT_EQ(unreachable.DoModal(), IDCANCEL);
    EXPECT_EQ(unreachable.m_pd.hDC, nullptr);
}

TEST(CupsPrinter, SendsOneJobOfRasterPagesPlacedInsideTheMargins) {
    if (!TestPrinter::Installed())
        GTEST_SKIP() << "ippeveprinter (cups-ipp-utils) is not installed";
    TestPrinter printer;
    std::string why;
    ASSERT_TRUE(printer.Start(&why)) << why;
    CDC dc;
    ASSERT_TRUE(dc.Attach(print::CreateCupsPrinterDC(Utf8ToWide(printer.Uri().c_str()))));
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
    const auto pages = TestPrinter::ReadPages(documents[0]);
    ASSERT_EQ(pages.size(), 2u);
    EXPECT_EQ(pages[0].width, 5100u);
    EXPECT_EQ(pages[0].height, 6600u);
    EXPECT_EQ(pages[0].bitsPerPixel, 8u);  // the test printer prints grey
    const struct {
        int page;
        unsigned x, y;
        int level;
    } samples[] = {{0, 150, 150, 0},   {0, 159, 159, 0},   {0, 160, 150, 255},
                   {0, 149, 150, 255}, {1, 150, 150, 255}, {1, 150, 250, 0}};
    for (const auto& s : samples)
        EXPECT_EQ(pages[s.page].At(s.x, s.y), s.level) << s.page << ": " << s.x << "," << s.y;
}

}  // namespace
}  // namespace imgdesk::test
