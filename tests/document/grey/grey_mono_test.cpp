#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "document/DocDesk.h"
#include "support/HeapProbe.h"
#include "support/MemoryProbe.h"
#include "support/TempDir.h"
#include "support/TestImages.h"

namespace {

using imgdesk::codecs::Dib;
using imgdesk::codecs::Format;
using imgdesk::test::HeapProbe;
using imgdesk::test::MemoryProbe;

bool IsText(int x, int y) {
    return x >= 10 && x < 15 && y >= 8 && y < 11;
}

// A scanned page: paper of level 200, a dark frame 3 pixels wide along every edge, and a dark
// block of "text" (IsText, rows from the top). The 8-bit page's palette shows index i as grey
// 255 - i, so only a conversion through the palette sees the page the right way round.
Dib MakePage(int width, int height, int bitCount) {
    Dib dib;
    imgdesk::codecs::AllocateDib(dib, width, height, bitCount);
    if (bitCount == 8) {
        for (int i = 0; i < 256; ++i)
            dib.palette[i] = {BYTE(255 - i), BYTE(255 - i), BYTE(255 - i), 0};
        dib.paletteSize = 256;
    }
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const bool frame = x < 3 || y < 3 || x >= width - 3 || y >= height - 3;
            const int level = frame ? 20 : IsText(x, y) ? 30 : 200;
            unsigned char* p = dib.Row(height - 1 - y) + x * (bitCount / 8);
            std::memset(p, bitCount == 8 ? 255 - level : level, bitCount / 8);
        }
    return dib;
}

// Puts a DIB into an image of the same depth and colour table.
void Fill(ATL::CImage& image, const Dib& dib) {
    ASSERT_TRUE(image.Create(dib.width, dib.height, dib.bitCount));
    if (dib.bitCount == 8)
        image.SetColorTable(0, 256, dib.palette);
    for (int y = 0; y < dib.height; ++y)
        std::memcpy(image.GetPixelAddress(0, y), dib.Row(dib.height - 1 - y),
                    static_cast<std::size_t>(dib.width * dib.bitCount / 8));
}

// The whole pixel memory of a bottom-up image, from its bottom row.
unsigned char* Memory(ATL::CImage& image) {
    return static_cast<unsigned char*>(image.GetPixelAddress(0, image.GetHeight() - 1));
}
std::vector<unsigned char> Pixels(ATL::CImage& image) {
    return {Memory(image), Memory(image) + std::abs(image.GetPitch()) * image.GetHeight()};
}

std::vector<RGBQUAD> Palette(ATL::CImage& image) {
    std::vector<RGBQUAD> table(256);
    if (image.GetBPP() == 8)
        image.GetColorTable(0, 256, table.data());
    return table;
}

// The grey level the image shows at (x, y), y from the top.
int LevelAt(ATL::CImage& image, int x, int y) {
    const auto* p = static_cast<const unsigned char*>(image.GetPixelAddress(x, y));
    if (image.GetBPP() != 8)
        return p[0] == p[1] && p[1] == p[2] ? p[0] : -1;
    RGBQUAD entry;
    image.GetColorTable(*p, 1, &entry);
    return entry.rgbBlue;
}

// Black exactly where the text is (nowhere when allWhite), white everywhere else, frame included.
void ExpectCleanPage(ATL::CImage& image, bool allWhite = false) {
    for (int y = 0; y < image.GetHeight(); ++y)
        for (int x = 0; x < image.GetWidth(); ++x)
            ASSERT_EQ(IsText(x, y) && !allWhite ? 0 : 255, LevelAt(image, x, y)) << x << ", " << y;
}

TEST(ImageToGray, AveragesTheThreeBytesAndKeepsOrientation) {
    ATL::CImage source, target;
    ASSERT_TRUE(source.Create(3, 2, 24));
    const struct {
        int x, y, b, g, r, grey;
    } pixels[] = {{0, 0, 10, 20, 31, 20},
                  {1, 0, 255, 255, 255, 255},
                  {2, 1, 0, 0, 2, 0},
                  {0, 1, 254, 255, 255, 254},
                  {1, 1, 0, 0, 0, 0}};  // 764 / 3 truncates
    for (const auto& p : pixels) {
        auto* bytes = static_cast<unsigned char*>(source.GetPixelAddress(p.x, p.y));
        bytes[0] = BYTE(p.b), bytes[1] = BYTE(p.g), bytes[2] = BYTE(p.r);
    }
    ASSERT_TRUE(target.Create(9, 9, 32));  // replaced
    ASSERT_EQ(1, CDocDesk().ImageToGray(source, target));
    ASSERT_EQ(8, target.GetBPP());
    ASSERT_EQ(3, target.GetWidth());
    ASSERT_EQ(2, target.GetHeight());
    EXPECT_LT(target.GetPitch(), 0);
    for (const auto& p : pixels)
        EXPECT_EQ(p.grey, *static_cast<unsigned char*>(target.GetPixelAddress(p.x, p.y)));
    const std::vector<RGBQUAD> palette = Palette(target);
    for (int i = 0; i < 256; ++i) {
        const RGBQUAD& e = palette[i];
        ASSERT_TRUE(e.rgbRed == i && e.rgbGreen == i && e.rgbBlue == i && !e.rgbReserved) << i;
    }
}

TEST(ImageToGray, RefusesSourcesThatAreNot24Bit) {
    CDocDesk desk;
    ATL::CImage source, target;
    for (int bits : {32, 8}) {
        ASSERT_TRUE(source.Create(4, 4, bits));
        EXPECT_EQ(0, desk.ImageToGray(source, target));
        // Created, grey palette set, not filled.
        ASSERT_EQ(8, target.GetBPP());
        EXPECT_EQ(9, Palette(target)[9].rgbGreen);
    }
    source.Destroy();
    EXPECT_EQ(0, desk.ImageToGray(source, target));
    EXPECT_TRUE(target.IsNull());
    // A target whose pixel memory cannot be had ends without a bitmap.
    ASSERT_TRUE(source.Create(4, 4, 24));
    HeapProbe probe;
    probe.FailAllocation(1);
    EXPECT_EQ(0, desk.ImageToGray(source, target));
    EXPECT_TRUE(target.IsNull());
}

// Every depth, made in memory or loaded from a file: the frame turns white, the text stays black,
// the depth and an 8-bit palette survive, and no block is left behind.
TEST(ImageToSingle, WhitensTheFrameAndKeepsTheTextAtEveryDepthAndFormat) {
    imgdesk::test::TempDir dir;
    const struct {
        const char* name;  // null: made in memory
        Format format;
        int bits;
    } cases[] = {{nullptr, Format::Png, 24},     {nullptr, Format::Png, 32},
                 {nullptr, Format::Png, 8},      {"page.png", Format::Png, 24},
                 {"page.jpg", Format::Jpeg, 24}, {"page.tif", Format::Tiff, 24},
                 {"page.gif", Format::Gif, 8},   {"page.bmp", Format::Bmp, 8},
                 {"grey.png", Format::Png, 8}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.name ? c.name : "memory") + " " + std::to_string(c.bits));
        const Dib page = MakePage(c.name ? 31 : 24, 20, c.bits);
        ATL::CImage image;
        if (c.name) {
            dir.Write(c.name, imgdesk::test::AsString(imgdesk::test::EncodeBytes(c.format, page)));
            ASSERT_EQ(S_OK, image.Load(dir.WideFile(c.name)));
        } else {
            Fill(image, page);
        }
        ASSERT_EQ(c.bits, image.GetBPP());
        const std::vector<RGBQUAD> palette = Palette(image);
        MemoryProbe probe;
        ASSERT_EQ(1, CDocDesk().ImageToSingle(image));
        EXPECT_EQ(0, probe.LiveBlocks());
        EXPECT_EQ(c.bits, image.GetBPP());
        ExpectCleanPage(image);
        EXPECT_EQ(0, std::memcmp(palette.data(), Palette(image).data(), 1024)) << "palette kept";
    }
}

// Every pixel of a one-pixel-wide or one-row-high picture is an edge pixel: the dark ones all seed
// a fill and end white. An image without a bitmap is refused.
TEST(ImageToSingle, ThinPicturesAndNoBitmap) {
    for (auto size : {std::pair<int, int>{1, 6}, {6, 1}, {1, 1}}) {
        ATL::CImage image;
        ASSERT_TRUE(image.Create(size.first, size.second, 24));
        for (int y = 0; y < size.second; ++y)
            for (int x = 0; x < size.first; ++x)
                std::memset(image.GetPixelAddress(x, y), (x + y) % 2 ? 220 : 10, 3);
        ASSERT_EQ(1, CDocDesk().ImageToSingle(image));
        for (int y = 0; y < size.second; ++y)
            for (int x = 0; x < size.first; ++x)
                EXPECT_EQ(255, LevelAt(image, x, y)) << x << ", " << y;
    }
    ATL::CImage image;
    EXPECT_EQ(0, CDocDesk().ImageToSingle(image));
    EXPECT_TRUE(image.IsNull());
}

// Failing memory for the grey buffer (the first NewMem block), the DIB rows (the last) or the DIB
// header (the platform heap) refuses the call with the picture untouched; without memory for the
// palette an 8-bit picture converts without it, every level then reading 0, so all ends white. No
// block is left behind either way.
TEST(ImageToSingle, FailingAllocationsLeaveThePictureOrFinishIt) {
    for (int bits : {24, 32, 8}) {
        SCOPED_TRACE(bits);
        ATL::CImage image;
        Fill(image, MakePage(24, 20, bits));
        const std::vector<unsigned char> original = Pixels(image);
        int result = 0;
        auto run = [&] {
            std::memcpy(Memory(image), original.data(), original.size());
            result = CDocDesk().ImageToSingle(image);
        };
        MemoryProbe probe;
        const int allocations = imgdesk::test::ForEachFailingAllocation(probe, run, [&](int n) {
            EXPECT_EQ(0, probe.LiveBlocks()) << n;
            if (bits == 8 && n == 2) {
                EXPECT_EQ(1, result);
                ExpectCleanPage(image, true);
            } else if (result == 0 || n == 1) {
                EXPECT_EQ(0, result) << n;
                EXPECT_EQ(original, Pixels(image)) << n;
            }
        });
        EXPECT_EQ(1, result);
        EXPECT_GE(allocations, bits == 8 ? 3 : 2);
        probe.FailAllocation(allocations);
        run();
        EXPECT_EQ(0, result) << "the DIB rows";
        EXPECT_EQ(original, Pixels(image));

        HeapProbe heap;
        const int heapBefore = heap.LiveBlocks();
        imgdesk::test::ForEachFailingHeapAllocation(heap, run, [&](int n) {
            EXPECT_EQ(0, result) << n;
            EXPECT_EQ(original, Pixels(image)) << n;
            EXPECT_EQ(heapBefore, heap.LiveBlocks());
            EXPECT_EQ(0, probe.LiveBlocks());
        });
        EXPECT_EQ(1, result);
        ExpectCleanPage(image);
    }
}

}  // namespace
