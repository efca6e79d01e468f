#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "platform/atlimage/AtlImage.h"
#include "platform/gdi/Gdi.h"

namespace {

// An 8-bit grey DIB whose pixel levels are given top row first.
struct GreyDib {
    BITMAPINFOHEADER header{};
    RGBQUAD colours[256];
    std::vector<unsigned char> rows;

    GreyDib(int width, int height, const std::vector<unsigned char>& topDown,
            bool bottomUp = true) {
        header.biSize = sizeof header;
        header.biWidth = width;
        header.biHeight = bottomUp ? height : -height;
        header.biPlanes = 1;
        header.biBitCount = 8;
        for (int i = 0; i < 256; ++i)
            colours[i] = {BYTE(i), BYTE(i), BYTE(i), 0};
        const int stride = (width + 3) / 4 * 4;
        rows.assign(static_cast<std::size_t>(stride) * height, 0);
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                rows[(bottomUp ? height - 1 - y : y) * stride + x] = topDown[y * width + x];
    }
    const BITMAPINFO* Info() const { return reinterpret_cast<const BITMAPINFO*>(&header); }
};

int Draw(ATL::CImage& image, int x, int y, int w, int h, int sx, int sy, int sw, int sh,
         const GreyDib& dib) {
    HDC dc = image.GetDC();
    const int rows = StretchDIBits(dc, x, y, w, h, sx, sy, sw, sh, dib.rows.data(), dib.Info(),
                                   DIB_RGB_COLORS, SRCCOPY);
    image.ReleaseDC();
    return rows;
}

unsigned char* At(ATL::CImage& image, int x, int y) {
    return static_cast<unsigned char*>(image.GetPixelAddress(x, y));
}

TEST(StretchDIBits, DrawsGreyOverEveryDepthInTheNearestColours) {
    const GreyDib dib(2, 2, {0, 255, 130, 90});
    ATL::CImage rgb, rgba, indexed;
    ASSERT_TRUE(rgb.Create(2, 2, 24));
    ASSERT_TRUE(rgba.Create(2, 2, 32, ATL::CImage::createAlphaChannel));
    ASSERT_TRUE(indexed.Create(2, 2, 8));
    RGBQUAD table[256];
    for (RGBQUAD& entry : table)
        entry = {0, 0, 255, 0};
    table[7] = {250, 250, 250, 0};
    table[9] = {10, 10, 10, 0};
    indexed.SetColorTable(0, 256, table);

    EXPECT_EQ(2, Draw(rgb, 0, 0, 2, 2, 0, 0, 2, 2, dib));
    EXPECT_EQ(255, At(rgb, 1, 0)[1]);
    EXPECT_EQ(90, At(rgb, 1, 1)[2]);
    EXPECT_EQ(2, Draw(rgba, 0, 0, 2, 2, 0, 0, 2, 2, dib));
    EXPECT_EQ(130, At(rgba, 0, 1)[0]);
    EXPECT_EQ(255, At(rgba, 0, 1)[3]) << "drawing over alpha is opaque";

    EXPECT_EQ(2, Draw(indexed, 0, 0, 2, 2, 0, 0, 2, 2, dib));
    EXPECT_EQ(9, *At(indexed, 0, 0));
    EXPECT_EQ(7, *At(indexed, 1, 0));
    EXPECT_EQ(7, *At(indexed, 0, 1)) << "130 is as near to 250 as to 10: the lower index wins";
    EXPECT_EQ(9, *At(indexed, 1, 1));
    RGBQUAD after[256];
    indexed.GetColorTable(0, 256, after);
    EXPECT_EQ(0, std::memcmp(table, after, sizeof after)) << "the colour table is kept";
}

TEST(StretchDIBits, ScalesMirrorsClipsAndCountsSourceRowsFromTheBottom) {
    const GreyDib dib(2, 2, {10, 20, 30, 40});
    ATL::CImage image;
    ASSERT_TRUE(image.Create(4, 4, 24));
    EXPECT_EQ(2, Draw(image, 0, 0, 4, 4, 0, 0, 2, 2, dib));
    EXPECT_EQ(10, At(image, 1, 1)[0]);
    EXPECT_EQ(20, At(image, 2, 0)[0]);
    EXPECT_EQ(40, At(image, 3, 3)[0]);

    // Source row 0 of a bottom-up DIB is its bottom row: (0, 0, 1, 1) is the level 30.
    ASSERT_TRUE(image.Create(4, 4, 24));
    Draw(image, 1, 1, 1, 1, 0, 0, 1, 1, dib);
    EXPECT_EQ(30, At(image, 1, 1)[0]);
    const GreyDib topDown(2, 2, {10, 20, 30, 40}, false);
    Draw(image, 1, 1, 1, 1, 0, 0, 1, 1, topDown);
    EXPECT_EQ(10, At(image, 1, 1)[0]);

    // A negative width mirrors; parts outside the picture are dropped.
    Draw(image, 3, 0, -2, 2, 0, 0, 2, 2, dib);
    EXPECT_EQ(20, At(image, 1, 0)[0]);
    EXPECT_EQ(10, At(image, 2, 0)[0]);
    EXPECT_EQ(2, Draw(image, 3, 3, 2, 2, 0, 0, 2, 2, dib));
    EXPECT_EQ(10, At(image, 3, 3)[0]);
    EXPECT_EQ(2, Draw(image, -10, -10, 2, 2, 0, 0, 2, 2, dib));
}

TEST(StretchDIBits, RefusesWhatItCannotDraw) {
    const GreyDib dib(2, 2, {1, 2, 3, 4});
    ATL::CImage image;
    ASSERT_TRUE(image.Create(2, 2, 24));
    HDC dc = image.GetDC();
    EXPECT_EQ(0, StretchDIBits(nullptr, 0, 0, 2, 2, 0, 0, 2, 2, dib.rows.data(), dib.Info(),
                               DIB_RGB_COLORS, SRCCOPY));
    EXPECT_EQ(
        0, StretchDIBits(dc, 0, 0, 2, 2, 0, 0, 2, 2, nullptr, dib.Info(), DIB_RGB_COLORS, SRCCOPY));
    EXPECT_EQ(0,
              StretchDIBits(dc, 0, 0, 2, 2, 0, 0, 2, 2, dib.rows.data(), dib.Info(), 1, SRCCOPY));
    EXPECT_EQ(0, StretchDIBits(dc, 0, 0, 2, 2, 0, 0, 2, 2, dib.rows.data(), dib.Info(),
                               DIB_RGB_COLORS, BLACKNESS));
    EXPECT_EQ(0, StretchDIBits(dc, 0, 0, 0, 2, 0, 0, 2, 2, dib.rows.data(), dib.Info(),
                               DIB_RGB_COLORS, SRCCOPY));
    GreyDib bad = dib;
    bad.header.biBitCount = 4;
    EXPECT_EQ(0, StretchDIBits(dc, 0, 0, 2, 2, 0, 0, 2, 2, bad.rows.data(), bad.Info(),
                               DIB_RGB_COLORS, SRCCOPY));
    EXPECT_EQ(0, At(image, 0, 0)[0]);
    image.ReleaseDC();
}

TEST(StretchBltMode, ReturnsThePreviousMode) {
    ATL::CImage image;
    ASSERT_TRUE(image.Create(1, 1, 24));
    HDC dc = image.GetDC();
    EXPECT_EQ(BLACKONWHITE, SetStretchBltMode(dc, COLORONCOLOR));
    EXPECT_EQ(COLORONCOLOR, SetStretchBltMode(dc, HALFTONE));
    EXPECT_EQ(0, SetStretchBltMode(dc, 9));
    EXPECT_EQ(HALFTONE, GetStretchBltMode(dc));
    EXPECT_EQ(0, SetStretchBltMode(nullptr, COLORONCOLOR));
    image.ReleaseDC();
}

TEST(DIBColorTable, WorksOnlyOnSelected8BitSections) {
    ATL::CImage indexed, rgb;
    ASSERT_TRUE(indexed.Create(1, 1, 8));
    ASSERT_TRUE(rgb.Create(1, 1, 24));
    RGBQUAD colours[4] = {{1, 2, 3, 0}, {4, 5, 6, 0}, {7, 8, 9, 0}, {10, 11, 12, 0}};
    HDC dc = indexed.GetDC();
    EXPECT_EQ(2u, SetDIBColorTable(dc, 254, 4, colours));
    RGBQUAD back[4] = {};
    EXPECT_EQ(1u, GetDIBColorTable(dc, 255, 4, back));
    EXPECT_EQ(4, back[0].rgbBlue);
    EXPECT_EQ(0u, GetDIBColorTable(dc, 256, 1, back));
    indexed.ReleaseDC();
    dc = rgb.GetDC();
    EXPECT_EQ(0u, SetDIBColorTable(dc, 0, 1, colours));
    EXPECT_EQ(0u, GetDIBColorTable(dc, 0, 1, back));
    rgb.ReleaseDC();
    HDC bare = CreateCompatibleDC(nullptr);
    EXPECT_EQ(0u, GetDIBColorTable(bare, 0, 1, back));
    DeleteDC(bare);
}

}  // namespace
