#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <list>
#include <string>
#include <vector>

#include "document/DocDesk.h"
#include "platform/codecs/Codecs.h"
#include "support/MemoryProbe.h"
#include "support/PdfTools.h"
#include "support/TempDir.h"
#include "support/TestImages.h"

namespace imgdesk::test {
namespace {

using codecs::Format;

// A picture in four coloured quadrants (top-left red, top-right green, bottom-left blue,
// bottom-right white), so that a page drawn upside down or mirrored shows.
codecs::Dib Quadrants(int width, int height) {
    codecs::Dib dib;
    codecs::AllocateDib(dib, width, height, 24);
    for (int y = 0; y < height; ++y) {
        unsigned char* row = dib.Row(height - 1 - y);
        for (int x = 0; x < width; ++x) {
            const bool right = x >= width / 2, bottom = y >= height / 2;
            const unsigned char r = !bottom && !right ? 255 : bottom && right ? 255 : 0;
            const unsigned char g = !bottom && right ? 255 : bottom && right ? 255 : 0;
            const unsigned char b = bottom ? 255 : 0;
            row[x * 3] = b, row[x * 3 + 1] = g, row[x * 3 + 2] = r;
        }
    }
    return dib;
}

std::vector<std::string> FilesIn(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

std::string ReadAll(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), {});
}

class JpgSavePdfTest : public ::testing::Test {
protected:
    void SetUp() override { IMGDESK_REQUIRE_PDF_TOOLS(); }

    // Writes an encoded picture into the input folder; its wide path.
    CString Input(const std::string& name, Format format, const codecs::Dib& dib) {
        return Utf8ToWide(inputs.Write(name, AsString(EncodeBytes(format, dib))).c_str());
    }
    CString Target(const std::string& name = "out.pdf") const { return output.WideFile(name); }

    void ExpectPages(const std::string& pdf, const std::vector<std::pair<double, double>>& sizes) {
        std::string report;
        EXPECT_TRUE(QpdfCheck(pdf, &report)) << report;
        PdfFacts facts;
        ASSERT_TRUE(ReadPdfFacts(pdf, facts));
        EXPECT_EQ(sizes, facts.sizes);
    }

    TempDir inputs, output, temporary;
    ScopedEnv temporaryFolder{"IMGDESK_TEMP_DIR", temporary.Path()};
};

// Each format the image class reads gives one page of its pixel size, in list order; the pages
// show the pictures the right way up; nothing is left in the temporary folder.
TEST_F(JpgSavePdfTest, EveryFormatBecomesAPageOfItsPixelSize) {
    const std::list<CString> paths = {
        Input("p1.png", Format::Png, Quadrants(800, 600)),
        Input("photo.jpg", Format::Jpeg, Quadrants(64, 48)),
        Input("scan.tif", Format::Tiff, MakePicture(50, 70, 24)),
        Input("anim.gif", Format::Gif, MakePicture(33, 21, 8)),
        Input("grey.bmp", Format::Bmp, MakePicture(17, 9, 8, true)),
    };
    EXPECT_NE(0, CDocDesk().JPGSavePdf(paths, Target()));
    ExpectPages(output.File("out.pdf"), {{800, 600}, {64, 48}, {50, 70}, {33, 21}, {17, 9}});
    EXPECT_EQ(std::vector<std::string>({"out.pdf"}), FilesIn(output.Path()));
    EXPECT_TRUE(FilesIn(temporary.Path()).empty());

    for (int page : {1, 2}) {
        RenderedPage rendered;
        ASSERT_TRUE(RenderPage(output.File("out.pdf"), page, 72, rendered));
        const int w = rendered.width, h = rendered.height;
        const struct {
            int x, y, r, g, b;
        } expected[] = {{w / 4, h / 4, 255, 0, 0},
                        {3 * w / 4, h / 4, 0, 255, 0},
                        {w / 4, 3 * h / 4, 0, 0, 255},
                        {3 * w / 4, 3 * h / 4, 255, 255, 255}};
        for (const auto& e : expected) {
            const unsigned char* p = rendered.At(e.x, e.y);
            // Twice through JPEG for the JPEG input: allow its colour error.
            EXPECT_NEAR(e.r, p[0], 40) << "page " << page << " at " << e.x << "," << e.y;
            EXPECT_NEAR(e.g, p[1], 40) << "page " << page << " at " << e.x << "," << e.y;
            EXPECT_NEAR(e.b, p[2], 40) << "page " << page << " at " << e.x << "," << e.y;
        }
    }
}

// Missing, non-image and damaged files give no page; the good ones around them still do. Two
// inputs of the same name in different folders share a temporary JPEG name and still give two
// pages.
TEST_F(JpgSavePdfTest, UnreadableFilesAreSkipped) {
    std::string damaged = AsString(EncodeBytes(Format::Png, MakePicture(20, 20, 24)));
    damaged.resize(damaged.size() / 2);
    TempDir other;
    const std::list<CString> paths = {
        Input("a.png", Format::Png, MakePicture(10, 12, 24)),
        inputs.WideFile("missing.png"),
        Utf8ToWide(inputs.Write("notes.png", "not a picture").c_str()),
        Utf8ToWide(inputs.Write("damaged.png", damaged).c_str()),
        Utf8ToWide(other.Write("a.png", AsString(EncodeBytes(Format::Png, MakePicture(30, 14, 24))))
                       .c_str()),
    };
    EXPECT_NE(0, CDocDesk().JPGSavePdf(paths, Target()));
    ExpectPages(output.File("out.pdf"), {{10, 12}, {30, 14}});
    EXPECT_TRUE(FilesIn(temporary.Path()).empty());
}

TEST_F(JpgSavePdfTest, OnlyUnreadableFilesGiveAnEmptyDocument) {
    const std::list<CString> paths = {inputs.WideFile("missing.bmp"),
                                      Utf8ToWide(inputs.Write("x.jpg", "nothing").c_str())};
    EXPECT_NE(0, CDocDesk().JPGSavePdf(paths, Target()));
    std::string report;
    EXPECT_TRUE(QpdfCheck(output.File("out.pdf"), &report)) << report;
    EXPECT_EQ(0, QpdfPageCount(output.File("out.pdf")));
    EXPECT_EQ(std::vector<std::string>({"out.pdf"}), FilesIn(output.Path()));
}

TEST_F(JpgSavePdfTest, RefusesWithoutWritingAnything) {
    const std::list<CString> one = {Input("a.png", Format::Png, MakePicture(8, 8, 24))};
    EXPECT_EQ(0, CDocDesk().JPGSavePdf(one, nullptr));
    EXPECT_EQ(0, CDocDesk().JPGSavePdf({}, Target()));
    // The temporary PDF cannot be created in a missing folder.
    EXPECT_EQ(0, CDocDesk().JPGSavePdf(one, output.WideFile("missing/out.pdf")));
    EXPECT_TRUE(FilesIn(output.Path()).empty());
    EXPECT_TRUE(FilesIn(temporary.Path()).empty());
}

// An existing target is never replaced: the complete PDF stays under the temporary name.
TEST_F(JpgSavePdfTest, ExistingTargetIsKeptAndThePdfStaysUnderTheTemporaryName) {
    output.Write("out.pdf", "the user's own file");
    const std::list<CString> paths = {Input("a.png", Format::Png, MakePicture(40, 30, 24))};
    EXPECT_EQ(0, CDocDesk().JPGSavePdf(paths, Target()));
    EXPECT_EQ("the user's own file", ReadAll(output.File("out.pdf")));
    ExpectPages(output.File("out.pdf.tmp"), {{40, 30}});
    EXPECT_TRUE(FilesIn(temporary.Path()).empty());
}

// When a page cannot be added (here: the writer's memory runs short) the call fails and leaves
// the partial temporary PDF and that page's JPEG behind; no memory block is left behind.
TEST_F(JpgSavePdfTest, AFailedPageLeavesThePartialPdfAndItsJpeg) {
    const std::list<CString> paths = {Input("a.png", Format::Png, MakePicture(40, 30, 24)),
                                      Input("b.gif", Format::Gif, MakePicture(20, 10, 8))};
    MemoryProbe probe;
    const int live = probe.LiveBlocks();
    int result = -1;
    const int allocations = ForEachFailingAllocation(
        probe,
        [&] {
            std::filesystem::remove_all(output.Path());
            std::filesystem::create_directory(output.Path());
            std::filesystem::remove_all(temporary.Path());
            result = CDocDesk().JPGSavePdf(paths, Target());
        },
        [&](int failed) {
            EXPECT_EQ(0, result) << "failing allocation " << failed;
            EXPECT_EQ(live, probe.LiveBlocks());
            EXPECT_EQ(std::vector<std::string>({"out.pdf.tmp"}), FilesIn(output.Path()));
            // The writer's table and the first JPEG are read on the first page, the second JPEG
            // on the second.
            const std::string page = failed <= 2 ? "a.png.jpg" : "b.gif.jpg";
            EXPECT_EQ(std::vector<std::string>({page}), FilesIn(temporary.Path()));
        });
    EXPECT_EQ(3, allocations);
    EXPECT_NE(0, result);
    EXPECT_EQ(live, probe.LiveBlocks());
    ExpectPages(output.File("out.pdf"), {{40, 30}, {20, 10}});
}

TEST_F(JpgSavePdfTest, AHundredPages) {
    std::list<CString> paths;
    std::vector<std::pair<double, double>> sizes;
    for (int i = 0; i < 100; ++i) {
        const int width = 16 + i, height = 12 + (i * 7) % 50;
        paths.push_back(Input("page" + std::to_string(i) + ".png", Format::Png,
                              MakePicture(width, height, 24)));
        sizes.emplace_back(width, height);
    }
    EXPECT_NE(0, CDocDesk().JPGSavePdf(paths, Target()));
    ExpectPages(output.File("out.pdf"), sizes);
    EXPECT_TRUE(FilesIn(temporary.Path()).empty());
}

}  // namespace
}  // namespace imgdesk::test
