#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "document/DocDesk.h"
#include "platform/print/PageSink.h"
#include "platform/print/PrintChooser.h"
#include "support/Printers.h"
#include "support/TempDir.h"
#include "support/TestPrinter.h"

using imgdesk::print::PageFormat;
using imgdesk::print::PageSink;
using imgdesk::print::StretchArgs;
using imgdesk::test::TempDir;

namespace {

// One StretchBlt onto the page: where it went, and the source's colour at its centre.
struct Draw {
    std::vector<int> box;  // left, top, right, bottom
    COLORREF centre;
};

// A printer of the given printable size that records its pages instead of printing them.
struct RecordingPrinter : PageSink {
    RecordingPrinter(int width, int height, std::vector<std::string>* log, std::vector<Draw>* draws)
        : width(width), height(height), log(log), draws(draws) {}
    PageFormat Format() const override { return {width, height, 600, 600, width, height, 0, 0}; }
    imgdesk::gdi::Surface Page() override { return {1, 1, 24, pixel, 4, nullptr, false}; }
    bool Note(const std::string& what) { return log->push_back(what), true; }
    int BeginDocument(const std::wstring& name) override {
        return Note("doc " + WideToUtf8(name.c_str()));
    }
    bool BeginPage() override { return Note("page"); }
    BOOL Stretch(HDC, const StretchArgs& a, HDC source) override {
        EXPECT_EQ(std::vector<long>({SRCCOPY, 0, 0}), std::vector<long>({long(a.rop), a.sx, a.sy}));
        draws->push_back(
            {{a.x, a.y, a.x + a.cx, a.y + a.cy}, GetPixel(source, a.sw / 2, a.sh / 2)});
        return TRUE;
    }
    bool FinishPage() override { return Note("end page"); }
    bool FinishDocument() override { return Note("end doc"); }
    void Abandon() override { Note("abandon"); }
    int width, height;
    std::vector<std::string>* log;
    std::vector<Draw>* draws;
    unsigned char pixel[4] = {};
};

// Installs a dialog that answers OK with a recording printer and the given copies (or cancels).
class PrintImageTest : public ::testing::Test {
protected:
    void UsePrinter(int width, int height, int copies, bool ok = true) {
        imgdesk::print::SetPrintDialogHandler([=](PRINTDLG& request, CString&) {
            ++dialogs;
            if (!ok)
                return INT_PTR{IDCANCEL};
            request.nCopies = static_cast<WORD>(copies);
            request.hDC = imgdesk::print::CreatePrinterDC(
                std::make_unique<RecordingPrinter>(width, height, &log, &draws));
            return INT_PTR{IDOK};
        });
    }
    void TearDown() override { imgdesk::print::SetPrintDialogHandler(nullptr); }

    // A w x h 24-bit picture of one colour, with a centre square of another, saved as BMP.
    CString Picture(const std::string& name, int w, int h, BYTE level, BYTE centre) {
        ATL::CImage image;
        EXPECT_TRUE(image.Create(w, h, 24));
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const bool inside = x >= w / 4 && x < w - w / 4 && y >= h / 4 && y < h - h / 4;
                std::memset(image.GetPixelAddress(x, y), inside ? centre : level, 3);
            }
        const CString path = folder.WideFile(name);
        EXPECT_EQ(image.Save(path), S_OK);
        return path;
    }

    TempDir folder;
    int dialogs = 0;
    std::vector<std::string> log;
    std::vector<Draw> draws;
};

TEST_F(PrintImageTest, FitsEachPictureToThePrintableAreaAndCentresIt) {
    const struct {
        int w, h, left, top, right, bottom;
    } cases[] = {
        {1200, 600, 0, 2100, 4800, 4500},
        {1000, 500, 0, 2099, 4800, 4499},  // 4800 / 1000 as a float is a little above 4.8
        {4800, 6600, 0, 0, 4800, 6600},    // 1:1
        {600, 1100, 600, 0, 4200, 6600},   // H / h decides
    };
    for (const auto& c : cases) {
        draws.clear();
        UsePrinter(4800, 6600, 1);
        const CString path = Picture("p.bmp", c.w, c.h, 200, 200);
        EXPECT_EQ(CDocDesk().PrintImage({path}, 0), 1);
        ASSERT_EQ(draws.size(), 1u) << c.w << " x " << c.h;
        EXPECT_EQ(draws[0].box, std::vector<int>({c.left, c.top, c.right, c.bottom}))
            << c.w << " x " << c.h;
    }
}

TEST_F(PrintImageTest, PrintsEveryCopyOfAPictureBeforeTheNextAndSkipsBadFiles) {
    UsePrinter(400, 300, 3);
    folder.Write("broken.jpg", "not a picture");
    EXPECT_EQ(
        CDocDesk().PrintImage({folder.WideFile("missing.png"), Picture("1.bmp", 40, 30, 10, 10),
                               folder.WideFile("broken.jpg"), Picture("2.bmp", 40, 30, 90, 90)},
                              0),
        1);

    std::vector<std::string> expected = {"doc print"};
    for (int page = 0; page < 6; ++page) {
        expected.push_back("page");
        expected.push_back("end page");
    }
    expected.push_back("end doc");
    EXPECT_EQ(log, expected);
    ASSERT_EQ(draws.size(), 6u);
    for (int page = 0; page < 6; ++page)
        EXPECT_EQ(draws[page].centre, page < 3 ? RGB(10, 10, 10) : RGB(90, 90, 90)) << page;
}

TEST_F(PrintImageTest, CancelOrNoCopiesPrintsNothing) {
    const CString path = Picture("p.bmp", 8, 8, 0, 0);
    UsePrinter(100, 100, 1, false);
    EXPECT_EQ(CDocDesk().PrintImage({path}, 1), 1);
    EXPECT_EQ(dialogs, 1);
    EXPECT_TRUE(log.empty());

    UsePrinter(100, 100, 0);
    EXPECT_EQ(CDocDesk().PrintImage({path}, 0), 1);
    EXPECT_EQ(log, (std::vector<std::string>{"doc print", "end doc"}));
}

TEST_F(PrintImageTest, BlackAndWhiteFlagThresholdsThePictureFirst) {
    // A dark grey square on white: in black and white the square prints black.
    const CString path = Picture("p.bmp", 64, 64, 255, 60);
    UsePrinter(640, 640, 1);
    CDocDesk().PrintImage({path}, 0);
    CDocDesk().PrintImage({path}, 1);
    ASSERT_EQ(draws.size(), 2u);
    EXPECT_EQ(draws[0].centre, RGB(60, 60, 60));
    EXPECT_EQ(draws[1].centre, RGB(0, 0, 0));
}

TEST_F(PrintImageTest, EndToEndTwoPicturesThreeCopiesMakeOneJobOfSixPages) {
    if (!imgdesk::test::TestPrinter::Installed())
        GTEST_SKIP() << "ippeveprinter (cups-ipp-utils) is not installed";
    imgdesk::test::TestPrinter printer;
    std::string why;
    ASSERT_TRUE(printer.Start(&why)) << why;
    const std::list<CString> paths{Picture("black.bmp", 30, 20, 0, 0),
                                   Picture("grey.bmp", 30, 20, 128, 128)};
    imgdesk::test::ScopedEnv choice("IMGDESK_PRINTER", printer.Uri());
    imgdesk::print::SetPrintDialogHandler([](PRINTDLG& request, CString& name) {
        const INT_PTR answer = imgdesk::print::DefaultPrintDialog(request, name);
        request.nCopies = 3;
        return answer;
    });
    EXPECT_EQ(CDocDesk().PrintImage(paths, 0), 1);

    const auto documents = printer.Documents();
    ASSERT_EQ(documents.size(), 1u);
    const auto pages = imgdesk::test::TestPrinter::ReadPages(documents[0]);
    ASSERT_EQ(pages.size(), 6u);
    // The page centre lies inside the picture, which fills the printable width.
    for (std::size_t i = 0; i < pages.size(); ++i) {
        const unsigned char centre = pages[i].At(pages[i].width / 2, pages[i].height / 2);
        EXPECT_EQ(centre, i < 3 ? 0 : 128) << "page " << i;
        EXPECT_EQ(pages[i].At(10, 10), 255) << "margin of page " << i;
    }
}

}  // namespace
