#include <gtest/gtest.h>

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
using imgdesk::test::TempDir;

// Palette of the 8-bit pages: index i shows grey 255 - i, so only a conversion through the palette
// sees the page the right way round.
RGBQUAD InvertedEntry(int i) {
    const BYTE level = static_cast<BYTE>(255 - i);
    return {level, level, level, 0};
}

// A scanned page: paper of level 200, a dark frame `frame` pixels wide along every edge, and a
// dark block of "text" at columns 10..14, rows 8..10 (from the top).
int PageLevel(int x, int y, int width, int height, int frame) {
    if (x < frame || y < frame || x >= width - frame || y >= height - frame)
        return 20;
    if (x >= 10 && x < 15 && y >= 8 && y < 11)
        return 30;
    return 200;
}

bool IsText(int x, int y) {
    return x >= 10 && x < 15 && y >= 8 && y < 11;
}

Dib MakePage(int width, int height, int bitCount, int frame = 3) {
    Dib dib;
    imgdesk::codecs::AllocateDib(dib, width, height, bitCount);
    if (bitCount == 8) {
        for (int i = 0; i < 256; ++i)
            dib.palette[i] = InvertedEntry(i);
        dib.paletteSize = 256;
    }
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const int level = PageLevel(x, y, width, height, frame);
            unsigned char* p = dib.Row(height - 1 - y) + x * (bitCount / 8);
            if (bitCount == 8) {
                *p = static_cast<unsigned char>(255 - level);
            } else {
                std::memset(p, level, bitCount / 8);
            }
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

std::vector<unsigned char> Pixels(ATL::CImage& image) {
    std::vector<unsigned char> bytes;
    const int rowBytes = image.GetWidth() * image.GetBPP() / 8;
    for (int y = 0; y < image.GetHeight(); ++y) {
        const auto* row = static_cast<const unsigned char*>(image.GetPixelAddress(0, y));
        bytes.insert(bytes.end(), row, row + rowBytes);
    }
    return bytes;
}

void Restore(ATL::CImage& image, const std::vector<unsigned char>& bytes) {
    const int rowBytes = image.GetWidth() * image.GetBPP() / 8;
    for (int y = 0; y < image.GetHeight(); ++y)
        std::memcpy(image.GetPixelAddress(0, y), bytes.data() + y * rowBytes,
                    static_cast<std::size_t>(rowBytes));
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

// Black exactly where the text is, white everywhere else (the frame included).
void ExpectCleanPage(ATL::CImage& image) {
    for (int y = 0; y < image.GetHeight(); ++y)
        for (int x = 0; x < image.GetWidth(); ++x)
            ASSERT_EQ(IsText(x, y) ? 0 : 255, LevelAt(image, x, y)) << "at " << x << ", " << y;
}

TEST(ImageToGray, AveragesTheThreeBytesAndKeepsOrientation) {
    ATL::CImage source, target;
    ASSERT_TRUE(source.Create(3, 2, 24));
    auto set = [&](int x, int y, int b, int g, int r) {
        auto* p = static_cast<unsigned char*>(source.GetPixelAddress(x, y));
        p[0] = BYTE(b), p[1] = BYTE(g), p[2] = BYTE(r);
    };
    set(0, 0, 10, 20, 31);
    set(1, 0, 255, 255, 255);
    set(2, 1, 0, 0, 2);
    set(0, 1, 254, 255, 255);
    ASSERT_TRUE(target.Create(9, 9, 32));  // replaced
    ASSERT_EQ(1, CDocDesk().ImageToGray(source, target));
    ASSERT_EQ(8, target.GetBPP());
    ASSERT_EQ(3, target.GetWidth());
    ASSERT_EQ(2, target.GetHeight());
    EXPECT_LT(target.GetPitch(), 0);
    auto at = [&](int x, int y) {
        return *static_cast<unsigned char*>(target.GetPixelAddress(x, y));
    };
    EXPECT_EQ(20, at(0, 0));
    EXPECT_EQ(255, at(1, 0));
    EXPECT_EQ(0, at(2, 1));
    EXPECT_EQ(254, at(0, 1));  // 764 / 3 truncates
    EXPECT_EQ(0, at(1, 1));
    RGBQUAD entry;
    target.GetColorTable(200, 1, &entry);
    EXPECT_EQ(200, entry.rgbRed);
    EXPECT_EQ(0, entry.rgbReserved);
}

TEST(ImageToGray, RefusesSourcesThatAreNot24Bit) {
    CDocDesk desk;
    ATL::CImage source, target;
    for (int bits : {32, 8}) {
        ASSERT_TRUE(source.Create(4, 4, bits));
        EXPECT_EQ(0, desk.ImageToGray(source, target));
        // Created, grey palette set, not filled.
        ASSERT_FALSE(target.IsNull());
        EXPECT_EQ(8, target.GetBPP());
        RGBQUAD entry;
        target.GetColorTable(9, 1, &entry);
        EXPECT_EQ(9, entry.rgbGreen);
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

TEST(ImageToSingle, WhitensTheFrameAndKeepsTheTextAtEveryDepth) {
    for (int bits : {24, 32, 8}) {
        SCOPED_TRACE(bits);
        const Dib page = MakePage(24, 20, bits);
        ATL::CImage image;
        Fill(image, page);
        MemoryProbe probe;
        const int before = probe.LiveBlocks();
        ASSERT_EQ(1, CDocDesk().ImageToSingle(image));
        EXPECT_EQ(before, probe.LiveBlocks());
        EXPECT_EQ(bits, image.GetBPP());
        ExpectCleanPage(image);
        if (bits == 8) {
            RGBQUAD table[256];
            image.GetColorTable(0, 256, table);
            EXPECT_EQ(0, std::memcmp(table, page.palette, sizeof table)) << "palette survives";
        }
    }
}

TEST(ImageToSingle, ConvertsPagesLoadedFromEveryFormat) {
    TempDir dir;
    struct Case {
        const char* name;
        Format format;
        int bits;
    } cases[] = {{"page.png", Format::Png, 24},  {"page.jpg", Format::Jpeg, 24},
                 {"page.tif", Format::Tiff, 24}, {"page.gif", Format::Gif, 8},
                 {"page.bmp", Format::Bmp, 8},   {"grey.png", Format::Png, 8}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Dib page = MakePage(31, 22, c.bits);
        dir.Write(c.name, imgdesk::test::AsString(imgdesk::test::EncodeBytes(c.format, page)));
        ATL::CImage image;
        ASSERT_EQ(S_OK, image.Load(dir.WideFile(c.name)));
        ASSERT_EQ(c.bits, image.GetBPP());
        std::vector<RGBQUAD> table(256);
        if (c.bits == 8)
            image.GetColorTable(0, 256, table.data());
        ASSERT_EQ(1, CDocDesk().ImageToSingle(image));
        ExpectCleanPage(image);
        if (c.bits == 8) {
            std::vector<RGBQUAD> after(256);
            image.GetColorTable(0, 256, after.data());
            EXPECT_EQ(0, std::memcmp(table.data(), after.data(), 1024));
        }
    }
}

TEST(ImageToSingle, HandlesOnePixelWideAndOneRowHighPictures) {
    for (auto size : {std::pair<int, int>{1, 6}, {6, 1}, {1, 1}}) {
        ATL::CImage image;
        ASSERT_TRUE(image.Create(size.first, size.second, 24));
        const int count = size.first * size.second;
        for (int i = 0; i < count; ++i) {
            const int x = size.first == 1 ? 0 : i, y = size.first == 1 ? i : 0;
            std::memset(image.GetPixelAddress(x, y), i % 2 ? 220 : 10, 3);
        }
        ASSERT_EQ(1, CDocDesk().ImageToSingle(image));
        // Every pixel is an edge pixel: the dark ones all seed a fill and end white.
        for (int i = 0; i < count; ++i) {
            const int x = size.first == 1 ? 0 : i, y = size.first == 1 ? i : 0;
            EXPECT_EQ(255, LevelAt(image, x, y)) << i;
        }
    }
}

TEST(ImageToSingle, RefusesAnImageWithoutABitmap) {
    ATL::CImage image;
    EXPECT_EQ(0, CDocDesk().ImageToSingle(image));
    EXPECT_TRUE(image.IsNull());
}

TEST(ImageToSingle, FailingNewMemLeavesThePictureOrFinishesIt) {
    for (int bits : {24, 8}) {
        SCOPED_TRACE(bits);
        const Dib page = MakePage(24, 20, bits);
        ATL::CImage image;
        Fill(image, page);
        const std::vector<unsigned char> original = Pixels(image);
        MemoryProbe probe;
        const int before = probe.LiveBlocks();
        int result = 0;
        const int allocations = imgdesk::test::ForEachFailingAllocation(
            probe,
            [&] {
                Restore(image, original);
                result = CDocDesk().ImageToSingle(image);
            },
            [&](int n) {
                EXPECT_EQ(before, probe.LiveBlocks()) << n;
                if (result == 0) {
                    EXPECT_EQ(original, Pixels(image)) << n;
                }
            });
        EXPECT_EQ(1, result);
        EXPECT_GE(allocations, bits == 8 ? 3 : 2);
        ExpectCleanPage(image);

        // The grey buffer (the first block) and the DIB rows (the last) refuse the call.
        Restore(image, original);
        probe.FailAllocation(1);
        EXPECT_EQ(0, CDocDesk().ImageToSingle(image));
        EXPECT_EQ(original, Pixels(image));
        probe.FailAllocation(allocations);
        EXPECT_EQ(0, CDocDesk().ImageToSingle(image));
        EXPECT_EQ(original, Pixels(image));
        probe.FailAllocation(0);
        EXPECT_EQ(before, probe.LiveBlocks());
    }
}

TEST(ImageToSingle, WithoutMemoryForThePaletteConvertsWithoutIt) {
    const Dib page = MakePage(24, 20, 8);
    ATL::CImage image;
    Fill(image, page);
    MemoryProbe probe;
    probe.FailAllocation(2);  // the palette block follows the grey buffer
    EXPECT_EQ(1, CDocDesk().ImageToSingle(image));
    // Without a palette every level reads 0: the whole picture is dark, touches the edges and
    // ends white.
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 24; ++x)
            ASSERT_EQ(255, LevelAt(image, x, y));
}

TEST(ImageToSingle, FailingHeapHeaderLeavesThePicture) {
    const Dib page = MakePage(24, 20, 32);
    ATL::CImage image;
    Fill(image, page);
    const std::vector<unsigned char> original = Pixels(image);
    HeapProbe heap;
    MemoryProbe memory;
    const int heapBefore = heap.LiveBlocks(), memoryBefore = memory.LiveBlocks();
    int result = 0;
    imgdesk::test::ForEachFailingHeapAllocation(
        heap,
        [&] {
            Restore(image, original);
            result = CDocDesk().ImageToSingle(image);
        },
        [&](int) {
            EXPECT_EQ(0, result);
            EXPECT_EQ(original, Pixels(image));
            EXPECT_EQ(heapBefore, heap.LiveBlocks());
            EXPECT_EQ(memoryBefore, memory.LiveBlocks());
        });
    EXPECT_EQ(1, result);
    EXPECT_EQ(heapBefore, heap.LiveBlocks());
    ExpectCleanPage(image);
}

}  // namespace
