#include "platform/atlimage/AtlImage.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/gdi/Gdi.h"
#include "platform/gdiplus/GdiPlus.h"
#include "platform/gdiplus/ImageData.h"
#include "support/HeapProbe.h"
#include "support/TempDir.h"
#include "support/TestImages.h"

namespace imgdesk::test {
namespace {

using codecs::Dib;
using codecs::Format;

class AtlImage : public ::testing::Test {
protected:
    CString Write(const std::string& name, Format format, const Dib& dib) {
        dir_.Write(name, AsString(EncodeBytes(format, dib)));
        return dir_.WideFile(name);
    }
    TempDir dir_;
};

unsigned char* At(ATL::CImage& image, int x, int y) {
    return static_cast<unsigned char*>(image.GetPixelAddress(x, y));
}

// Blue, green, red of pixel (x, y) (y from the top) through the image's colour table if it has one.
void ColourAt(ATL::CImage& image, int x, int y, unsigned char bgr[3]) {
    const unsigned char* p = At(image, x, y);
    RGBQUAD entry;
    if (image.GetBPP() == 8)
        image.GetColorTable(*p, 1, &entry);
    else
        entry = {p[0], p[1], p[2], 0};
    bgr[0] = entry.rgbBlue, bgr[1] = entry.rgbGreen, bgr[2] = entry.rgbRed;
}

void ExpectSamePicture(ATL::CImage& image, const Dib& dib) {
    ASSERT_EQ(image.GetWidth(), dib.width);
    ASSERT_EQ(image.GetHeight(), dib.height);
    for (int y = 0; y < dib.height; ++y)
        for (int x = 0; x < dib.width; ++x) {
            unsigned char expected[4], actual[3];
            PixelOf(dib, x, y, expected);
            ColourAt(image, x, y, actual);
            ASSERT_EQ(0, std::memcmp(expected, actual, 3)) << "at " << x << ", " << y;
        }
}

TEST_F(AtlImage, LoadGivesEachFormatsBitDepthAndPixelsAndRefusesWhatItCannotRead) {
    const struct {
        const char* name;
        Format format;
        int bitCount;
        bool grey, alpha;
    } cases[] = {{"colour.png", Format::Png, 24, false, false},
                 {"alpha.tif", Format::Tiff, 32, false, true},
                 {"grey.png", Format::Png, 8, true, false},
                 {"palette.gif", Format::Gif, 8, false, false},
                 {"colour.jpg", Format::Jpeg, 24, false, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Dib dib = MakePicture(7, 5, c.bitCount, c.grey, c.alpha);
        ATL::CImage image;
        ASSERT_EQ(S_OK, image.Load(Write(c.name, c.format, dib)));
        EXPECT_EQ(c.bitCount, image.GetBPP());
        EXPECT_EQ(-static_cast<int>(dib.Stride()), image.GetPitch());
        if (c.format != Format::Jpeg)
            ExpectSamePicture(image, dib);
    }
    ATL::CImage image;
    ASSERT_EQ(S_OK, image.Load(dir_.WideFile("colour.png")));
    EXPECT_TRUE(FAILED(image.Load(dir_.WideFile("missing.png"))));
    EXPECT_TRUE(image.IsNull());
    dir_.Write("junk.png", "not a picture");
    EXPECT_EQ(E_FAIL, image.Load(dir_.WideFile("junk.png")));
    EXPECT_TRUE(image.IsNull());
}

TEST_F(AtlImage, FailingHeapAllocationsInALoadLeaveNoPictureAndNoBlock) {
    const CString path = Write("p.png", Format::Png, MakePicture(9, 4, 24));
    HeapProbe probe;
    const int allocations = ForEachFailingHeapAllocation(
        probe,
        [&] {
            ATL::CImage image;
            const bool loaded = SUCCEEDED(image.Load(path));
            EXPECT_EQ(loaded, !image.IsNull());
        },
        [&](int n) { EXPECT_EQ(0, probe.LiveBlocks()) << n; });
    EXPECT_GT(allocations, 0);
}

TEST_F(AtlImage, SaveChoosesTheEncoderByExtension) {
    const Dib dib = MakePicture(6, 3, 24);
    ATL::CImage image, back;
    ASSERT_EQ(S_OK, image.Load(Write("in.bmp", Format::Bmp, dib)));
    for (const std::string name : {"out.PNG", "out.tiff", "out.bmp", "out.gif", "out.jpeg"}) {
        SCOPED_TRACE(name);
        ASSERT_EQ(S_OK, image.Save(dir_.WideFile(name)));
        ASSERT_EQ(S_OK, back.Load(dir_.WideFile(name)));
        EXPECT_EQ(6, back.GetWidth());
        if (name != "out.jpeg" && name != "out.gif")
            ExpectSamePicture(back, dib);
    }
    EXPECT_EQ(E_FAIL, image.Save(dir_.WideFile("no-extension")));
    EXPECT_EQ(E_FAIL, image.Save(dir_.WideFile("nowhere/out.png")));
    EXPECT_EQ(E_FAIL, ATL::CImage().Save(dir_.WideFile("empty.png")));
}

TEST_F(AtlImage, CreateLaysOutBottomUpAndTopDownSectionsAndLoadStartsGdiplus) {
    ATL::CImage image;
    ASSERT_TRUE(image.Create(5, 3, 24));
    EXPECT_EQ(-16, image.GetPitch());
    EXPECT_EQ(At(image, 0, 0) + 2 * -16 + 4 * 3, At(image, 4, 2));
    ASSERT_TRUE(image.Create(5, -3, 8));
    EXPECT_EQ(3, image.GetHeight());
    EXPECT_EQ(8, image.GetPitch());
    RGBQUAD entry;
    image.GetColorTable(77, 1, &entry);
    EXPECT_EQ(77, entry.rgbRed);
    const struct { int width, height, bpp; } refused[] = {{5, 3, 16}, {0, 3, 24}, {3, 0, 24}};
    for (const auto& r : refused) {
        EXPECT_FALSE(image.Create(r.width, r.height, r.bpp));
        EXPECT_TRUE(image.IsNull());
    }
    image.Destroy();  // twice is harmless

    const CString path = Write("p.bmp", Format::Bmp, MakePicture(2, 2, 24));
    ATL::CImage::ReleaseGDIPlus();
    EXPECT_FALSE(gdiplus::IsStarted());
    ASSERT_EQ(S_OK, image.Load(path));
    EXPECT_TRUE(gdiplus::IsStarted());
    ATL::CImage::ReleaseGDIPlus();
    EXPECT_FALSE(gdiplus::IsStarted());
    EXPECT_EQ(S_OK, image.Load(path));
    ATL::CImage::ReleaseGDIPlus();
}

TEST(AtlImageDc, NestsDrawsOnThePictureAndGoesWithIt) {
    ATL::CImage image;
    ASSERT_TRUE(image.Create(3, 2, 32));
    HDC dc = image.GetDC();
    EXPECT_EQ(dc, image.GetDC());
    image.ReleaseDC();
    SetPixel(dc, 2, 0, RGB(1, 2, 3));
    EXPECT_EQ(BLACKONWHITE, SetStretchBltMode(dc, COLORONCOLOR));
    EXPECT_EQ(0, SetStretchBltMode(dc, 9));
    EXPECT_EQ(COLORONCOLOR, GetStretchBltMode(dc));
    image.ReleaseDC();
    EXPECT_EQ(3, At(image, 2, 0)[0]);
    EXPECT_EQ(1, At(image, 2, 0)[2]);
    image.GetDC();
    image.Destroy();  // with a context still out
    EXPECT_EQ(nullptr, image.GetDC());

    // Colour tables: only on 8-bit sections, clipped to 256 entries.
    ATL::CImage indexed, rgb;
    ASSERT_TRUE(indexed.Create(1, 1, 8));
    ASSERT_TRUE(rgb.Create(1, 1, 24));
    RGBQUAD colours[4] = {{1, 2, 3, 0}, {4, 5, 6, 0}, {7, 8, 9, 0}, {10, 11, 12, 0}}, back[4];
    EXPECT_EQ(2u, SetDIBColorTable(indexed.GetDC(), 254, 4, colours));
    EXPECT_EQ(1u, GetDIBColorTable(indexed.GetDC(), 255, 4, back));
    EXPECT_EQ(4, back[0].rgbBlue);
    EXPECT_EQ(0u, GetDIBColorTable(indexed.GetDC(), 256, 1, back));
    EXPECT_EQ(0u, SetDIBColorTable(rgb.GetDC(), 0, 1, colours));
}

// An 8-bit grey DIB whose levels are given top row first.
struct GreyDib {
    GreyDib(int width, int height, const std::vector<unsigned char>& levels, bool bottomUp = true) {
        header = {40, width, bottomUp ? height : -height, 1, 8, BI_RGB, 0, 0, 0, 0, 0};
        for (int i = 0; i < 256; ++i)
            colours[i] = {BYTE(i), BYTE(i), BYTE(i), 0};
        const int stride = (width + 3) / 4 * 4;
        rows.assign(static_cast<std::size_t>(stride) * height, 0);
        for (int y = 0; y < height; ++y)
            std::memcpy(&rows[(bottomUp ? height - 1 - y : y) * stride], &levels[y * width], width);
    }
    const BITMAPINFO* Info() const { return reinterpret_cast<const BITMAPINFO*>(&header); }
    BITMAPINFOHEADER header;
    RGBQUAD colours[256];
    std::vector<unsigned char> rows;
};

int Draw(ATL::CImage& image, int x, int y, int w, int h, int sx, int sy, int sw, int sh,
         const GreyDib& dib, UINT usage = DIB_RGB_COLORS, DWORD rop = SRCCOPY) {
    const int rows = StretchDIBits(image.IsNull() ? nullptr : image.GetDC(), x, y, w, h, sx, sy, sw,
                                   sh, dib.rows.data(), dib.Info(), usage, rop);
    if (!image.IsNull())
        image.ReleaseDC();
    return rows;
}

TEST(StretchDIBits, DrawsGreyOverEveryDepthInTheNearestColoursKeepingTheTable) {
    const GreyDib dib(2, 2, {0, 255, 130, 90});
    ATL::CImage rgb, rgba, indexed;
    ASSERT_TRUE(rgb.Create(2, 2, 24));
    ASSERT_TRUE(rgba.Create(2, 2, 32, ATL::CImage::createAlphaChannel));
    ASSERT_TRUE(indexed.Create(2, 2, 8));
    RGBQUAD table[256], after[256];
    for (RGBQUAD& entry : table)
        entry = {0, 0, 255, 0};
    table[7] = {250, 250, 250, 0};
    table[9] = {10, 10, 10, 0};
    indexed.SetColorTable(0, 256, table);
    for (ATL::CImage* image : {&rgb, &rgba, &indexed})
        EXPECT_EQ(2, Draw(*image, 0, 0, 2, 2, 0, 0, 2, 2, dib));
    EXPECT_EQ(255, At(rgb, 1, 0)[1]);
    EXPECT_EQ(90, At(rgb, 1, 1)[2]);
    EXPECT_EQ(130, At(rgba, 0, 1)[0]);
    EXPECT_EQ(255, At(rgba, 0, 1)[3]) << "drawing over alpha is opaque";
    EXPECT_EQ(9, *At(indexed, 0, 0));
    EXPECT_EQ(7, *At(indexed, 1, 0));
    EXPECT_EQ(7, *At(indexed, 0, 1)) << "130 is as near to 250 as to 10: the lower index wins";
    EXPECT_EQ(9, *At(indexed, 1, 1));
    indexed.GetColorTable(0, 256, after);
    EXPECT_EQ(0, std::memcmp(table, after, sizeof after));
}

// Source rows count from the bottom of a bottom-up DIB; what falls outside the target is dropped.
TEST(StretchDIBits, ScalesClipsCountsSourceRowsFromTheBottomAndRefusesBadInput) {
    const GreyDib dib(2, 2, {10, 20, 30, 40}), topDown(2, 2, {10, 20, 30, 40}, false);
    ATL::CImage image, none;
    ASSERT_TRUE(image.Create(4, 4, 24));
    EXPECT_EQ(2, Draw(image, 0, 0, 4, 4, 0, 0, 2, 2, dib));
    EXPECT_EQ(10, At(image, 1, 1)[0]);
    EXPECT_EQ(40, At(image, 3, 3)[0]);
    Draw(image, 1, 1, 1, 1, 0, 0, 1, 1, dib);
    EXPECT_EQ(30, At(image, 1, 1)[0]);
    Draw(image, 1, 1, 1, 1, 0, 0, 1, 1, topDown);
    EXPECT_EQ(10, At(image, 1, 1)[0]);
    EXPECT_EQ(2, Draw(image, 3, 3, 2, 2, 0, 0, 2, 2, dib));
    EXPECT_EQ(10, At(image, 3, 3)[0]);
    GreyDib fourBits = dib;
    fourBits.header.biBitCount = 4;
    ASSERT_TRUE(image.Create(2, 2, 24));
    EXPECT_EQ(0, Draw(none, 0, 0, 2, 2, 0, 0, 2, 2, dib));
    EXPECT_EQ(0, Draw(image, 0, 0, 2, 2, 0, 0, 2, 2, dib, 1));  // palette indices: unsupported
    EXPECT_EQ(0, Draw(image, 0, 0, 2, 2, 0, 0, 2, 2, dib, DIB_RGB_COLORS, BLACKNESS));
    EXPECT_EQ(0, Draw(image, 0, 0, 2, 2, 0, 0, 2, 2, fourBits));
    EXPECT_EQ(0, At(image, 0, 0)[0]);
}

}  // namespace
}  // namespace imgdesk::test
