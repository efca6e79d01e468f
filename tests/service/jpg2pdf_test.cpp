#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>

#include <fstream>

#include <cstdio>
#include <string>
#include <vector>

#include "service/CoreKit.h"
#include "support/ArchiveTools.h"
#include "support/MemoryProbe.h"
#include "support/PdfTools.h"
#include "support/TempDir.h"
#include "support/TestImages.h"

namespace imgdesk::test {
namespace {

struct Page {
    std::vector<unsigned char> jpeg;
    unsigned long width = 0, height = 0;  // SetPaperSize; 0 x 0 takes the JPEG's size
};

Page Jpeg(const JpegRecipe& recipe, unsigned long width = 0, unsigned long height = 0) {
    return {MakeJpeg(recipe), width, height};
}

class Jpg2PdfTest : public ::testing::Test {
protected:
    void SetUp() override { IMGDESK_REQUIRE_PDF_TOOLS(); }

    // Drives the writer through its whole sequence; the AddPage results in order. The finishing
    // calls must all succeed.
    std::vector<int> WritePdf(const std::string& name, const std::vector<Page>& pages) {
        writer.Reset();
        FILE* pdf = writer.CreatePdfFile(dir.WideFile(name));
        std::vector<int> results;
        for (size_t i = 0; pdf && i < pages.size(); ++i) {
            const std::string path = dir.Write("p" + std::to_string(i), AsString(pages[i].jpeg));
            FILE* jpeg = std::fopen(path.c_str(), "rb");
            writer.SetPaperSize(pages[i].width, pages[i].height);
            results.push_back(writer.AddPage(pdf, jpeg));
            std::fclose(jpeg);
        }
        EXPECT_NE(nullptr, pdf);
        for (auto step : {&CJpg2Pdf::AddCatalog, &CJpg2Pdf::AddPages,
                          &CJpg2Pdf::AddCrossReferenceTable, &CJpg2Pdf::AddTrailer})
            EXPECT_EQ(1, pdf ? (writer.*step)(pdf) : 0);
        return results;
    }

    TempDir dir;
    CJpg2Pdf writer;  // one writer serves one document after another
};

// Grey, colour and Adobe CMYK JPEGs, progressive too: one page each, sized by the paper size at 72
// dpi, and drawn in their own colours.
TEST_F(Jpg2PdfTest, EmbedsGreyColourAndCmykPagesAtTheirPixelSize) {
    JpegRecipe grey, colour, cmyk;  // colour: RGB (200, 40, 40)
    grey.components = 1, grey.samples[0] = 90;
    colour.progressive = true;
    // Adobe's inverted inks: no cyan, full magenta and yellow, no black = red.
    cmyk.components = 4, cmyk.samples[0] = 255, cmyk.samples[1] = cmyk.samples[2] = 0;
    cmyk.samples[3] = 255;
    ASSERT_EQ(std::vector<int>({1, 1, 1}),
              WritePdf("out.pdf", {Jpeg(grey, 800, 600), Jpeg(colour, 40, 60), Jpeg(cmyk)}));
    ExpectPdf(dir.File("out.pdf"), {{800, 600}, {40, 60}, {16, 16}});

    const struct {
        int page, dpi, r, g, b, tolerance;
    } centres[] = {{1, 9, 90, 90, 90, 12}, {2, 72, 200, 40, 40, 12}, {3, 72, 255, 0, 0, 40}};
    for (const auto& c : centres) {  // CMYK to RGB conversion is approximate
        RenderedPage page;
        ASSERT_TRUE(RenderPage(dir.File("out.pdf"), c.page, c.dpi, page));
        const unsigned char* centre = page.At(page.width / 2, page.height / 2);
        EXPECT_NEAR(c.r, centre[0], c.tolerance) << "page " << c.page;
        EXPECT_NEAR(c.g, centre[1], c.tolerance) << "page " << c.page;
        EXPECT_NEAR(c.b, centre[2], c.tolerance) << "page " << c.page;
    }
}

// The page box follows the JPEG's own resolution: JFIF density in dpi or dots per cm, else EXIF
// (either byte order, inches or cm); JFIF wins when both name one. Pixel counts beyond the
// viewers' 200-inch limit are scaled to fit, their shape kept; 0 x 0 takes the JPEG's own size.
TEST_F(Jpg2PdfTest, PageBoxFollowsTheJpegsResolution) {
    JpegRecipe dpi, perCm, aspectOnly, exif, exifCm, small;
    dpi.densityUnit = 1, dpi.densityX = 300, dpi.densityY = 150;
    perCm.densityUnit = 2, perCm.densityX = 100, perCm.densityY = 100;  // 254 dpi
    aspectOnly.densityX = 2, aspectOnly.densityY = 1;  // unit 0: an aspect ratio only
    exif.jfif = false, exif.exif = ExifResolution(144, 36, 2, true);
    exifCm.jfif = false, exifCm.exif = ExifResolution(100, 100, 3, false);
    JpegRecipe both = dpi;
    both.exif = ExifResolution(36, 36, 2, false);
    small.width = 10, small.height = 7;
    ASSERT_EQ(
        std::vector<int>(9, 1),
        WritePdf("dpi.pdf", {Jpeg(dpi, 600, 300), Jpeg(perCm, 254, 508), Jpeg(aspectOnly, 30, 20),
                             Jpeg(exif, 288, 72), Jpeg(exifCm, 127, 127), Jpeg(both, 600, 300),
                             Jpeg(small, 30000, 15000), Jpeg(small, 1000, 20000), Jpeg(small)}));
    ExpectPdf(dir.File("dpi.pdf"), {{144, 144},
                                    {72, 144},
                                    {30, 20},
                                    {144, 144},
                                    {36, 36},
                                    {144, 144},
                                    {14400, 7200},
                                    {720, 14400},
                                    {10, 7}});
}

// Files that are not usable JPEGs add nothing: the document stays valid with the other pages. The
// same writer then makes a document of no pages, and one of more pages than its first object table
// holds.
TEST_F(Jpg2PdfTest, RefusedJpegsEmptyAndLongDocuments) {
    JpegRecipe good, twoComponents, arithmetic;
    twoComponents.components = 2;
    arithmetic.arithmetic = true;
    std::vector<unsigned char> truncated = MakeJpeg(good);
    truncated.resize(20);  // cut inside the markers, before the frame header
    const std::vector<unsigned char> png = EncodeBytes(codecs::Format::Png, MakePicture(8, 8, 24));
    EXPECT_EQ(std::vector<int>({1, 0, 0, 0, 0, 0, 1}), WritePdf("mixed.pdf", {Jpeg(good, 20, 20),
                                                                              Jpeg(twoComponents),
                                                                              Jpeg(arithmetic),
                                                                              {truncated},
                                                                              {png},
                                                                              {{}},
                                                                              Jpeg(good, 30, 30)}));
    ExpectPdf(dir.File("mixed.pdf"), {{20, 20}, {30, 30}});

    EXPECT_TRUE(WritePdf("empty.pdf", {}).empty());
    ExpectPdf(dir.File("empty.pdf"), {});
    EXPECT_EQ(std::vector<int>(40, 1), WritePdf("long.pdf", std::vector<Page>(40, Jpeg(good))));
    ExpectPdf(dir.File("long.pdf"), PageSizes(40, {16, 16}));
}

// Files that cannot be created give no stream; write errors surface as 0: a page or a trailer
// that cannot reach the disk (/dev/full accepts opening and fails every write that reaches it).
TEST_F(Jpg2PdfTest, FileErrorsAreReported) {
    EXPECT_EQ(nullptr, writer.CreatePdfFile(nullptr));
    EXPECT_EQ(nullptr, writer.CreatePdfFile(dir.WideFile("missing/out.pdf")));
    FILE* full = std::fopen("/dev/full", "wb");
    if (!full)
        GTEST_SKIP() << "/dev/full is missing";
    // Bytes after the end-of-image marker travel with the JPEG: they make it larger than the
    // stream's buffer.
    const std::string path =
        dir.Write("p.jpg", AsString(MakeJpeg(JpegRecipe())) + std::string(1 << 16, '\0'));
    FILE* jpeg = std::fopen(path.c_str(), "rb");
    writer.Reset();
    EXPECT_EQ(0, writer.AddPage(full, jpeg));
    std::fclose(jpeg);
    EXPECT_EQ(0, writer.AddTrailer(full));  // closes the stream even so
}

// A file system that refuses the document's last bytes (here a file-size limit, which fails the
// write with EFBIG): the failure shows only when the buffered tail is flushed, and the half
// document is then gone, so that nobody renames it into place.
TEST_F(Jpg2PdfTest, ADocumentCutShortAtItsLastFlushIsRemoved) {
    const std::string jpeg = dir.Write("p.jpg", AsString(MakeJpeg(JpegRecipe())));
    const long long limit = static_cast<long long>(ReadBytes(jpeg).size()) + 300;
    struct sigaction ignore = {}, previous = {};
    ignore.sa_handler = SIG_IGN;
    ::sigaction(SIGXFSZ, &ignore, &previous);
    rlimit old = {};
    ::getrlimit(RLIMIT_FSIZE, &old);
    rlimit small = old;
    small.rlim_cur = static_cast<rlim_t>(limit);
    ASSERT_EQ(0, ::setrlimit(RLIMIT_FSIZE, &small));

    writer.Reset();
    FILE* pdf = writer.CreatePdfFile(dir.WideFile("cut.pdf"));
    int added = 0, trailer = 1;
    if (pdf) {
        FILE* in = std::fopen(jpeg.c_str(), "rb");
        added = writer.AddPage(pdf, in);
        std::fclose(in);
        writer.AddCatalog(pdf);
        writer.AddPages(pdf);
        writer.AddCrossReferenceTable(pdf);
        trailer = writer.AddTrailer(pdf);
    }
    ::setrlimit(RLIMIT_FSIZE, &old);
    ::sigaction(SIGXFSZ, &previous, nullptr);
    ASSERT_NE(nullptr, pdf);
    EXPECT_EQ(1, added) << "the page itself fits in the stream's buffer";
    EXPECT_EQ(0, trailer);
    EXPECT_FALSE(std::ifstream(dir.File("cut.pdf")).good());
}

// The writer's memory (its object table and the JPEG it reads) comes from NewMem: each failing
// allocation refuses that page only, and the writer leaves no block behind.
TEST_F(Jpg2PdfTest, FailingAllocationsRefuseThePageAndLeakNothing) {
    const std::vector<Page> pages(2, Jpeg(JpegRecipe(), 16, 16));
    MemoryProbe probe;
    const int live = probe.LiveBlocks();
    std::vector<int> results;
    const int allocations = ForEachFailingAllocation(
        probe,
        [&] {
            results = WritePdf("alloc.pdf", pages);
            writer.Reset();  // releases the object table
        },
        [&](int failed) {
            EXPECT_EQ(std::vector<int>({failed == 3, failed < 3}), results) << failed;
            EXPECT_EQ(live, probe.LiveBlocks());
            ExpectPdf(dir.File("alloc.pdf"), {{16, 16}});
        });
    EXPECT_EQ(3, allocations);  // the table, then each page's JPEG
    EXPECT_EQ(std::vector<int>({1, 1}), results);
    EXPECT_EQ(live, probe.LiveBlocks());
}

// Pixel pages: black and white as 1-bit CCITT Group 4 (pdfimages lists it), grey and colour as
// JPEG; each drawn as it was given (bottom-up rows, padded) and sized by the page box when one is
// set, else one point per pixel.
TEST_F(Jpg2PdfTest, PixelPagesAreStoredCompactlyAndDrawnAsGiven) {
    const int width = 37, height = 20, stride8 = 40, stride24 = 112;
    std::vector<unsigned char> mono(size_t(stride8) * height, 255),
        colour(size_t(stride24) * height);
    for (int x = 0; x < 10; ++x)
        mono[size_t(height - 1) * stride8 + x] = 0;  // a black run on the top row, at the left
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            unsigned char* p = colour.data() + size_t(y) * stride24 + 3 * x;
            p[0] = 40, p[1] = 40, p[2] = 200;  // red
        }
    writer.Reset();
    FILE* pdf = writer.CreatePdfFile(dir.WideFile("pixels.pdf"));
    ASSERT_NE(nullptr, pdf);
    writer.SetPageBox(595.276, 841.89);
    EXPECT_EQ(1, writer.AddBilevelPage(pdf, mono.data(), width, height, stride8));
    EXPECT_EQ(1, writer.AddPixelPage(pdf, mono.data(), width, height, 8, stride8, 90));
    writer.SetPageBox(72, 36);
    EXPECT_EQ(1, writer.AddPixelPage(pdf, colour.data(), width, height, 24, stride24, 90));
    struct Refusal {
        const char* what;
        int result;
    };
    const Refusal refusals[] = {
        {"null pixels", writer.AddBilevelPage(pdf, nullptr, width, height, stride8)},
        {"no width", writer.AddBilevelPage(pdf, mono.data(), 0, height, stride8)},
        {"short stride", writer.AddBilevelPage(pdf, mono.data(), width, height, 36)},
        {"16 bits", writer.AddPixelPage(pdf, mono.data(), width, height, 16, stride8, 90)},
        {"quality 101", writer.AddPixelPage(pdf, colour.data(), width, height, 24, stride24, 101)},
        {"short colour stride",
         writer.AddPixelPage(pdf, colour.data(), width, height, 24, 100, 90)},
        {"no stream", writer.AddBilevelPage(nullptr, mono.data(), width, height, stride8)},
    };
    for (const Refusal& refusal : refusals)
        EXPECT_EQ(0, refusal.result) << refusal.what;
    for (auto step : {&CJpg2Pdf::AddCatalog, &CJpg2Pdf::AddPages, &CJpg2Pdf::AddCrossReferenceTable,
                      &CJpg2Pdf::AddTrailer})
        EXPECT_EQ(1, (writer.*step)(pdf));
    ExpectPdf(dir.File("pixels.pdf"), {{595.276, 841.89}, {37, 20}, {72, 36}});

    std::string listing;
    ASSERT_EQ(0, RunCommand("pdfimages -list '" + dir.File("pixels.pdf") + "'", &listing));
    EXPECT_NE(std::string::npos, listing.find("gray    1   1  ccitt")) << listing;
    EXPECT_NE(std::string::npos, listing.find("gray    1   8  jpeg")) << listing;
    EXPECT_NE(std::string::npos, listing.find("rgb     3   8  jpeg")) << listing;

    RenderedPage page;
    ASSERT_TRUE(RenderPage(dir.File("pixels.pdf"), 2, 72, page));  // one pixel to the point
    EXPECT_LT(page.At(4, 0)[0], 60);                               // the black run, top left
    EXPECT_GT(page.At(20, 0)[0], 200);                             // white after it
    EXPECT_GT(page.At(4, 10)[0], 200);
    ASSERT_TRUE(RenderPage(dir.File("pixels.pdf"), 1, 9, page));  // the 1-bit page, not inverted
    EXPECT_GT(page.At(page.width / 2, page.height / 2)[0], 200);
    ASSERT_TRUE(RenderPage(dir.File("pixels.pdf"), 3, 72, page));
    EXPECT_GT(page.At(30, 20)[0], 150);
    EXPECT_LT(page.At(30, 20)[2], 100);
}

// Encoding a pixel page allocates nothing through NewMem beyond the object table.
TEST_F(Jpg2PdfTest, PixelPagesFailCleanlyWhenTheTableCannotGrow) {
    std::vector<unsigned char> mono(16 * 8, 0);
    MemoryProbe probe;
    const int live = probe.LiveBlocks();
    for (bool bilevel : {true, false}) {
        int result = -1;
        const int allocations = ForEachFailingAllocation(
            probe,
            [&] {
                writer.Reset();
                FILE* pdf = writer.CreatePdfFile(dir.WideFile("fail.pdf"));
                result = bilevel ? writer.AddBilevelPage(pdf, mono.data(), 16, 8, 16)
                                 : writer.AddPixelPage(pdf, mono.data(), 16, 8, 8, 16, 75);
                writer.AddTrailer(pdf);
                writer.Reset();
            },
            [&](int failed) {
                EXPECT_EQ(0, result) << failed;
                EXPECT_EQ(live, probe.LiveBlocks());
            });
        EXPECT_EQ(1, allocations);
        EXPECT_EQ(1, result);
        EXPECT_EQ(live, probe.LiveBlocks());
    }
}

}  // namespace
}  // namespace imgdesk::test

namespace imgdesk::test {
namespace {

// The word pdftotext -bbox places first with this text: its box in points, or all -1.
struct WordBox {
    double xMin = -1, yMin = -1, xMax = -1, yMax = -1;
};
WordBox FindWord(const std::string& bboxHtml, const std::string& word) {
    WordBox box;
    const size_t at = bboxHtml.find(">" + word + "</word>");
    if (at == std::string::npos)
        return box;
    const size_t start = bboxHtml.rfind("<word", at);
    std::sscanf(bboxHtml.c_str() + start,
                "<word xMin=\"%lf\" yMin=\"%lf\" xMax=\"%lf\" yMax=\"%lf\"", &box.xMin, &box.yMin,
                &box.xMax, &box.yMax);
    return box;
}

// The text layer: words spanning their boxes (scaled with the page box), in the order given,
// characters the font lacks as '?', PDF string delimiters kept, drawn invisibly; pages with and
// without text mixed in any order keep a valid page tree.
TEST_F(Jpg2PdfTest, TextLayerPlacesInvisibleWordsOverTheirBoxes) {
    const int width = 400, height = 200, stride = 400;
    const std::vector<unsigned char> white(size_t(stride) * height, 255);
    const PdfTextWord words[] = {
        {"Hello", 20, 120, 60, 30},
        {"(tricky)\\", 140, 300, 60, 30},
        {"caf\xC3\xA9\xE2\x80\x99s", 20, 150, 150, 30},  // café’s
        {"\xE4\xB8\xAD", 158, 175, 150, 30},             // a character outside the font
        {"", 300, 350, 150, 30},                         // no text: left out
        {"flat", 300, 300, 150, 30},                     // no width: left out
    };
    const std::string jpeg = dir.Write("page.jpg", AsString(MakeJpeg(JpegRecipe())));
    writer.Reset();
    FILE* pdf = writer.CreatePdfFile(dir.WideFile("text.pdf"));
    ASSERT_NE(nullptr, pdf);
    EXPECT_EQ(1, writer.AddBilevelPage(pdf, white.data(), width, height, stride));
    writer.SetPageText(words, 6);
    EXPECT_EQ(1, writer.AddBilevelPage(pdf, white.data(), width, height, stride));
    writer.SetPageBox(800, 400);  // two points a pixel
    writer.SetPageText(words, 1);
    EXPECT_EQ(1, writer.AddPixelPage(pdf, white.data(), width, height, 8, stride, 80));
    FILE* file = std::fopen(jpeg.c_str(), "rb");
    writer.SetPageText(words, 1);  // over a 16 x 16 JPEG: the word lies beyond its picture
    EXPECT_EQ(1, writer.AddPage(pdf, file));
    std::fclose(file);
    EXPECT_EQ(1, writer.AddBilevelPage(pdf, white.data(), width, height, stride));
    for (auto step : {&CJpg2Pdf::AddCatalog, &CJpg2Pdf::AddPages, &CJpg2Pdf::AddCrossReferenceTable,
                      &CJpg2Pdf::AddTrailer})
        EXPECT_EQ(1, (writer.*step)(pdf));
    ExpectPdf(dir.File("text.pdf"), {{400, 200}, {400, 200}, {800, 400}, {16, 16}, {400, 200}});

    const std::string path = dir.File("text.pdf");
    std::string text;
    ASSERT_EQ(0, RunCommand("pdftotext -f 2 -l 2 '" + path + "' -", &text));
    EXPECT_NE(std::string::npos, text.find("Hello (tricky)\\")) << text;
    EXPECT_NE(std::string::npos, text.find("caf\xC3\xA9\xE2\x80\x99s ?")) << text;
    for (int page : {1, 5}) {
        ASSERT_EQ(0, RunCommand("pdftotext -f " + std::to_string(page) + " -l " +
                                    std::to_string(page) + " '" + path + "' -",
                                &text));
        EXPECT_EQ(std::string::npos, text.find_first_not_of("\f\n ")) << page << ": " << text;
    }

    const struct {
        int page;
        const char* word;
        double scale;  // points a pixel
    } placed[] = {{2, "Hello", 1}, {2, "(tricky)\\", 1}, {3, "Hello", 2}};
    for (const auto& p : placed) {
        std::string html;
        ASSERT_EQ(0, RunCommand("pdftotext -bbox -f " + std::to_string(p.page) + " -l " +
                                    std::to_string(p.page) + " '" + path + "' -",
                                &html));
        const std::string escaped = p.word;
        const PdfTextWord& w = p.word[0] == 'H' ? words[0] : words[1];
        const WordBox box = FindWord(html, escaped);
        EXPECT_NEAR(w.left * p.scale, box.xMin, 1) << p.page << " " << p.word << "\n" << html;
        EXPECT_NEAR(w.right * p.scale, box.xMax, 1) << p.page << " " << p.word;
        // The baseline sits between the box's top and bottom.
        EXPECT_LT(box.yMin, w.baseline * p.scale) << p.page << " " << p.word;
        EXPECT_GT(box.yMax, w.baseline * p.scale) << p.page << " " << p.word;
    }

    RenderedPage rendered;  // invisible: the page stays white
    ASSERT_TRUE(RenderPage(path, 2, 72, rendered));
    int dark = 0;
    for (size_t i = 0; i < rendered.rgb.size(); ++i)
        dark += rendered.rgb[i] < 200;
    EXPECT_EQ(0, dark);
}

// A page with text writes the font before its picture; when that font's table entry cannot be
// had, the page is refused, leaks nothing, and the writer carries on.
TEST_F(Jpg2PdfTest, TextPagesFailCleanlyWhenTheTableCannotGrow) {
    const std::vector<unsigned char> white(16 * 8, 255);
    const PdfTextWord word = {"word", 1, 15, 6, 5};
    MemoryProbe probe;
    const int live = probe.LiveBlocks();
    int result = -1;
    const int allocations = ForEachFailingAllocation(
        probe,
        [&] {
            writer.Reset();
            FILE* pdf = writer.CreatePdfFile(dir.WideFile("fail.pdf"));
            writer.SetPageText(&word, 1);
            result = writer.AddBilevelPage(pdf, white.data(), 16, 8, 16);
            writer.AddTrailer(pdf);
            writer.Reset();
        },
        [&](int failed) {
            EXPECT_EQ(0, result) << failed;
            EXPECT_EQ(live, probe.LiveBlocks());
        });
    EXPECT_EQ(1, allocations);
    EXPECT_EQ(1, result);
    EXPECT_EQ(live, probe.LiveBlocks());
}

}  // namespace
}  // namespace imgdesk::test
