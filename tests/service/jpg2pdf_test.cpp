#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "service/CoreKit.h"
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

// Writes the pages through the writer's whole sequence; the AddPage results in order, or an empty
// list when the file could not be created. The finishing calls must all succeed.
std::vector<int> WritePdf(const TempDir& dir, const std::string& name,
                          const std::vector<Page>& pages, CJpg2Pdf& writer) {
    writer.Reset();
    FILE* pdf = writer.CreatePdfFile(dir.WideFile(name));
    if (!pdf)
        return {};
    std::vector<int> results;
    for (size_t i = 0; i < pages.size(); ++i) {
        const std::string path =
            dir.Write("page" + std::to_string(i) + ".jpg", AsString(pages[i].jpeg));
        FILE* jpeg = std::fopen(path.c_str(), "rb");
        writer.SetPaperSize(pages[i].width, pages[i].height);
        results.push_back(writer.AddPage(pdf, jpeg));
        std::fclose(jpeg);
    }
    EXPECT_EQ(1, writer.AddCatalog(pdf));
    EXPECT_EQ(1, writer.AddPages(pdf));
    EXPECT_EQ(1, writer.AddCrossReferenceTable(pdf));
    EXPECT_EQ(1, writer.AddTrailer(pdf));
    return results;
}

std::vector<int> WritePdf(const TempDir& dir, const std::string& name,
                          const std::vector<Page>& pages) {
    CJpg2Pdf writer;
    return WritePdf(dir, name, pages, writer);
}

Page Jpeg(const JpegRecipe& recipe, unsigned long width = 0, unsigned long height = 0) {
    return {MakeJpeg(recipe), width, height};
}

void ExpectValid(const std::string& pdf, const std::vector<std::pair<double, double>>& sizes) {
    std::string report;
    EXPECT_TRUE(QpdfCheck(pdf, &report)) << report;
    PdfFacts facts;
    ASSERT_TRUE(ReadPdfFacts(pdf, facts));
    EXPECT_EQ(int(sizes.size()), facts.pages);
    EXPECT_EQ(sizes, facts.sizes);
}

void ExpectColour(const RenderedPage& page, int r, int g, int b, int tolerance = 12) {
    const unsigned char* centre = page.At(page.width / 2, page.height / 2);
    EXPECT_NEAR(r, centre[0], tolerance);
    EXPECT_NEAR(g, centre[1], tolerance);
    EXPECT_NEAR(b, centre[2], tolerance);
}

class Jpg2PdfTest : public ::testing::Test {
protected:
    void SetUp() override { IMGDESK_REQUIRE_PDF_TOOLS(); }
    TempDir dir;
};

// Grey, colour and Adobe CMYK JPEGs, progressive too: one page each, sized by the paper size at 72
// dpi, and drawn in their own colours.
TEST_F(Jpg2PdfTest, EmbedsGreyColourAndCmykPagesAtTheirPixelSize) {
    JpegRecipe grey;
    grey.components = 1;
    grey.samples[0] = 90;
    JpegRecipe colour;  // RGB (200, 40, 40)
    colour.progressive = true;
    JpegRecipe cmyk;
    cmyk.components = 4;
    // Adobe's inverted inks: no cyan, full magenta and yellow, no black = red.
    cmyk.samples[0] = 255, cmyk.samples[1] = 0, cmyk.samples[2] = 0, cmyk.samples[3] = 255;
    const std::string pdf = dir.File("out.pdf");
    ASSERT_EQ(std::vector<int>({1, 1, 1}),
              WritePdf(dir, "out.pdf", {Jpeg(grey, 800, 600), Jpeg(colour, 40, 60), Jpeg(cmyk)}));
    ExpectValid(pdf, {{800, 600}, {40, 60}, {16, 16}});

    RenderedPage page;
    ASSERT_TRUE(RenderPage(pdf, 1, 9, page));
    ExpectColour(page, 90, 90, 90);
    ASSERT_TRUE(RenderPage(pdf, 2, 72, page));
    EXPECT_EQ(40, page.width);
    EXPECT_EQ(60, page.height);
    ExpectColour(page, 200, 40, 40);
    ASSERT_TRUE(RenderPage(pdf, 3, 72, page));
    ExpectColour(page, 255, 0, 0, 40);  // CMYK to RGB conversion is approximate
}

// The page box follows the JPEG's own resolution: JFIF density in dpi or dots per cm, else EXIF
// (either byte order, inches or cm); JFIF wins when both name one. Pixel counts beyond the
// viewers' 200-inch limit are scaled to fit, their shape kept; 0 x 0 takes the JPEG's own size.
TEST_F(Jpg2PdfTest, PageBoxFollowsTheJpegsResolution) {
    JpegRecipe dpi;
    dpi.densityUnit = 1, dpi.densityX = 300, dpi.densityY = 150;
    JpegRecipe perCm;
    perCm.densityUnit = 2, perCm.densityX = 100, perCm.densityY = 100;  // 254 dpi
    JpegRecipe aspectOnly;  // unit 0: an aspect ratio, not a resolution
    aspectOnly.densityX = 2, aspectOnly.densityY = 1;
    JpegRecipe exif;
    exif.jfif = false;
    exif.exif = ExifResolution(144, 36, 2, true);
    JpegRecipe exifCm;
    exifCm.jfif = false;
    exifCm.exif = ExifResolution(100, 100, 3, false);
    JpegRecipe both = dpi;
    both.exif = ExifResolution(36, 36, 2, false);
    JpegRecipe small;
    small.width = 10, small.height = 7;

    ASSERT_EQ(std::vector<int>(9, 1),
              WritePdf(dir, "dpi.pdf",
                       {Jpeg(dpi, 600, 300), Jpeg(perCm, 254, 508), Jpeg(aspectOnly, 30, 20),
                        Jpeg(exif, 288, 72), Jpeg(exifCm, 127, 127), Jpeg(both, 600, 300),
                        Jpeg(small, 30000, 15000), Jpeg(small, 1000, 20000), Jpeg(small)}));
    ExpectValid(dir.File("dpi.pdf"), {{144, 144},
                                      {72, 144},
                                      {30, 20},
                                      {144, 144},
                                      {36, 36},
                                      {144, 144},
                                      {14400, 7200},
                                      {720, 14400},
                                      {10, 7}});
}

// Files that are not usable JPEGs add nothing: the document stays valid with the other pages.
TEST_F(Jpg2PdfTest, RefusedJpegsLeaveTheDocumentIntact) {
    JpegRecipe good;
    JpegRecipe twoComponents;
    twoComponents.components = 2;
    JpegRecipe arithmetic;
    arithmetic.arithmetic = true;
    std::vector<unsigned char> truncated = MakeJpeg(good);
    truncated.resize(20);  // cut inside the markers, before the frame header
    const std::vector<unsigned char> png = EncodeBytes(codecs::Format::Png, MakePicture(8, 8, 24));

    const std::vector<Page> pages = {
        Jpeg(good, 20, 20), Jpeg(twoComponents), Jpeg(arithmetic), {truncated}, {png}, {{}},
        Jpeg(good, 30, 30)};
    EXPECT_EQ(std::vector<int>({1, 0, 0, 0, 0, 0, 1}), WritePdf(dir, "mixed.pdf", pages));
    ExpectValid(dir.File("mixed.pdf"), {{20, 20}, {30, 30}});
}

// Poppler refuses documents without pages ("Invalid page count 0"), so qpdf alone judges this one.
TEST_F(Jpg2PdfTest, ZeroPagesMakeAValidEmptyDocument) {
    EXPECT_TRUE(WritePdf(dir, "empty.pdf", {}).empty());
    std::string report;
    EXPECT_TRUE(QpdfCheck(dir.File("empty.pdf"), &report)) << report;
    EXPECT_EQ(0, QpdfPageCount(dir.File("empty.pdf")));
}

// One writer serves one document after another; each starts from nothing.
TEST_F(Jpg2PdfTest, AWriterIsReusable) {
    CJpg2Pdf writer;
    JpegRecipe recipe;
    ASSERT_EQ(std::vector<int>({1, 1}),
              WritePdf(dir, "a.pdf", {Jpeg(recipe), Jpeg(recipe)}, writer));
    ASSERT_EQ(std::vector<int>({1}), WritePdf(dir, "b.pdf", {Jpeg(recipe, 50, 40)}, writer));
    ExpectValid(dir.File("a.pdf"), {{16, 16}, {16, 16}});
    ExpectValid(dir.File("b.pdf"), {{50, 40}});
}

// Files that cannot be created give no stream; write errors surface as 0: a page or a trailer
// that cannot reach the disk (/dev/full accepts opening and fails every write that reaches it).
TEST_F(Jpg2PdfTest, FileErrorsAreReported) {
    CJpg2Pdf writer;
    EXPECT_EQ(nullptr, writer.CreatePdfFile(nullptr));
    EXPECT_EQ(nullptr, writer.CreatePdfFile(dir.WideFile("missing/out.pdf")));
    FILE* full = std::fopen("/dev/full", "wb");
    if (!full)
        GTEST_SKIP() << "/dev/full is missing";
    JpegRecipe recipe;
    // Bytes after the end-of-image marker travel with the JPEG: they make it larger than the
    // stream's buffer.
    const std::string path =
        dir.Write("p.jpg", AsString(MakeJpeg(recipe)) + std::string(1 << 16, '\0'));
    FILE* jpeg = std::fopen(path.c_str(), "rb");
    writer.Reset();
    EXPECT_EQ(0, writer.AddPage(full, jpeg));
    std::fclose(jpeg);
    EXPECT_EQ(0, writer.AddTrailer(full));  // closes the stream even so
}

// The writer's memory (its object table and the JPEG it reads) comes from NewMem: each failing
// allocation refuses that page only, and the writer leaves no block behind.
TEST_F(Jpg2PdfTest, FailingAllocationsRefuseThePageAndLeakNothing) {
    JpegRecipe recipe;
    const std::string jpegPath = dir.Write("p.jpg", AsString(MakeJpeg(recipe)));
    MemoryProbe probe;
    const int live = probe.LiveBlocks();
    std::vector<int> results;
    const int allocations = ForEachFailingAllocation(
        probe,
        [&] {
            CJpg2Pdf writer;
            writer.Reset();
            FILE* pdf = writer.CreatePdfFile(dir.WideFile("alloc.pdf"));
            ASSERT_NE(nullptr, pdf);
            results.clear();
            for (int i = 0; i < 2; ++i) {
                FILE* jpeg = std::fopen(jpegPath.c_str(), "rb");
                writer.SetPaperSize(16, 16);
                results.push_back(writer.AddPage(pdf, jpeg));
                std::fclose(jpeg);
            }
            writer.AddCatalog(pdf);
            writer.AddPages(pdf);
            writer.AddCrossReferenceTable(pdf);
            writer.AddTrailer(pdf);
        },
        [&](int failed) {
            EXPECT_EQ(1, results[0] + results[1]) << "failing allocation " << failed;
            EXPECT_EQ(live, probe.LiveBlocks());
            PdfFacts facts;
            EXPECT_TRUE(QpdfCheck(dir.File("alloc.pdf")));
            EXPECT_TRUE(ReadPdfFacts(dir.File("alloc.pdf"), facts));
            EXPECT_EQ(1, facts.pages);
        });
    EXPECT_EQ(3, allocations);  // the table, then each page's JPEG
    EXPECT_EQ(std::vector<int>({1, 1}), results);
    EXPECT_EQ(live, probe.LiveBlocks());
}

}  // namespace
}  // namespace imgdesk::test
