#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <list>
#include <string>
#include <vector>

#include "document/DocDesk.h"
#include "platform/codecs/Codecs.h"
#include "support/ArchiveTools.h"
#include "support/MemoryProbe.h"
#include "support/PdfTools.h"
#include "support/TempDir.h"
#include "support/TestImages.h"

namespace imgdesk::test {
namespace {

using codecs::Format;
using Names = std::vector<std::string>;

// A picture in four coloured quadrants (top-left red, top-right green, bottom-left blue,
// bottom-right white), so that a page drawn upside down or mirrored shows.
codecs::Dib Quadrants(int width, int height) {
    codecs::Dib dib;
    codecs::AllocateDib(dib, width, height, 24);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const bool right = x >= width / 2, bottom = y >= height / 2;
            unsigned char* p = dib.Row(height - 1 - y) + x * 3;
            p[0] = bottom ? 255 : 0, p[1] = right ? 255 : 0, p[2] = bottom == right ? 255 : 0;
        }
    return dib;
}

class JpgSavePdfTest : public ::testing::Test {
protected:
    void SetUp() override { IMGDESK_REQUIRE_PDF_TOOLS(); }

    // Writes an encoded picture into the input folder; its wide path.
    CString Input(const std::string& name, Format format, const codecs::Dib& dib) {
        return Utf8ToWide(inputs.Write(name, AsString(EncodeBytes(format, dib))).c_str());
    }
    int Save(const std::list<CString>& paths) { return CDocDesk().JPGSavePdf(paths, Target()); }
    CString Target() const { return output.WideFile("out.pdf"); }

    TempDir inputs, output, temporary;
    ScopedEnv temporaryFolder{"IMGDESK_TEMP_DIR", temporary.Path()};
};

// Each format the image class reads gives one page of its pixel size, in list order (a PNG of
// 800 x 600 a page of 800 by 600); the pages show the pictures the right way up. Missing,
// non-image and damaged files give no page; two inputs of the same name in different folders
// share a temporary JPEG name and still give two pages. Nothing is left in the temporary folder.
TEST_F(JpgSavePdfTest, EveryReadableFileBecomesAPageOfItsPixelSize) {
    std::string damaged = AsString(EncodeBytes(Format::Png, MakePicture(20, 20, 24)));
    damaged.resize(damaged.size() / 2);
    TempDir other;
    const std::list<CString> paths = {
        Input("p1.png", Format::Png, Quadrants(800, 600)),
        Input("photo.jpg", Format::Jpeg, Quadrants(64, 48)),
        inputs.WideFile("missing.png"),
        Input("scan.tif", Format::Tiff, MakePicture(50, 70, 24)),
        Utf8ToWide(inputs.Write("notes.png", "not a picture").c_str()),
        Input("anim.gif", Format::Gif, MakePicture(33, 21, 8)),
        Utf8ToWide(inputs.Write("damaged.png", damaged).c_str()),
        Input("grey.bmp", Format::Bmp, MakePicture(17, 9, 8, true)),
        Utf8ToWide(
            other.Write("p1.png", AsString(EncodeBytes(Format::Png, MakePicture(30, 14, 24))))
                .c_str()),
    };
    EXPECT_NE(0, Save(paths));
    ExpectPdf(output.File("out.pdf"),
              {{800, 600}, {64, 48}, {50, 70}, {33, 21}, {17, 9}, {30, 14}});
    EXPECT_EQ(Names{"out.pdf"}, FolderTree(output.Path()));
    EXPECT_TRUE(FolderTree(temporary.Path()).empty());

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
            EXPECT_LE(std::max({std::abs(e.r - p[0]), std::abs(e.g - p[1]), std::abs(e.b - p[2])}),
                      40)
                << "page " << page << " at " << e.x << "," << e.y;
        }
    }
}

// A list of only unreadable files still gives a valid document without pages.
TEST_F(JpgSavePdfTest, OnlyUnreadableFilesGiveAnEmptyDocument) {
    EXPECT_NE(0, Save({inputs.WideFile("missing.bmp"),
                       Utf8ToWide(inputs.Write("x.jpg", "nothing").c_str())}));
    ExpectPdf(output.File("out.pdf"), {});
    EXPECT_EQ(Names{"out.pdf"}, FolderTree(output.Path()));
}

// Refusals write nothing. An existing target is never replaced: the complete PDF stays under the
// temporary name.
TEST_F(JpgSavePdfTest, NothingIsLostWhenTheCallIsRefusedOrTheTargetExists) {
    const std::list<CString> one = {Input("a.png", Format::Png, MakePicture(40, 30, 24))};
    EXPECT_EQ(0, CDocDesk().JPGSavePdf(one, nullptr));
    EXPECT_EQ(0, Save({}));
    EXPECT_EQ(0, CDocDesk().JPGSavePdf(one, output.WideFile("missing/out.pdf")));
    EXPECT_TRUE(FolderTree(output.Path()).empty());

    output.Write("out.pdf", "the user's own file");
    EXPECT_EQ(0, Save(one));
    EXPECT_EQ("the user's own file", ReadBytes(output.File("out.pdf")));
    ExpectPdf(output.File("out.pdf.tmp"), {{40, 30}});
    EXPECT_TRUE(FolderTree(temporary.Path()).empty());
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
            result = Save(paths);
        },
        [&](int failed) {
            EXPECT_EQ(0, result) << "failing allocation " << failed;
            EXPECT_EQ(live, probe.LiveBlocks());
            EXPECT_EQ(Names{"out.pdf.tmp"}, FolderTree(output.Path()));
            // The writer's table and the first JPEG are read on the first page, the second JPEG
            // on the second.
            EXPECT_EQ(Names{failed <= 2 ? "a.png.jpg" : "b.gif.jpg"}, FolderTree(temporary.Path()));
        });
    EXPECT_EQ(3, allocations);
    EXPECT_NE(0, result);
    EXPECT_EQ(live, probe.LiveBlocks());
    ExpectPdf(output.File("out.pdf"), {{40, 30}, {20, 10}});
}

}  // namespace
}  // namespace imgdesk::test
