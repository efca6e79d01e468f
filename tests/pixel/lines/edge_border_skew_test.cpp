#include <gtest/gtest.h>

#include <cmath>

#include "LineFixtures.h"
#include "pixel/internal/PixelLayout.h"
#include "support/MemoryProbe.h"
#include "support/Printers.h"

namespace {

using namespace lines_test;
using imgdesk::pixel::RowStride;

constexpr double kDegree = 3.141592653589793 / 180;

// A bright page (the frame f filled) on a dark background.
Bytes Page(int w, int h, int bpp, const Frame& f) {
    const int b = (f.a + 45) % 90, stride = RowStride(w, bpp), bytes = bpp / 8;
    Bytes picture(static_cast<size_t>(stride) * h, 30);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const int ra = Distance(f.a, x, y), rb = Distance(b, x, y);
            if (ra >= f.nearA && ra <= f.farA && rb >= f.nearB && rb <= f.farB)
                for (int c = 0; c < bytes; ++c)
                    picture[y * stride + x * bytes + c] = 220;
        }
    return picture;
}

float Skew(Bytes& picture, int w, int h, int bpp) {
    return CDataHandler().CheckRotatePictureEx(picture.data(), w, h, bpp, nullptr);
}

TEST(CheckRotatePictureEx, TurnedPagesGiveTheirSkew) {
    const int w = 640, h = 480;
    for (int skew = -44; skew <= 44; skew += 2) {
        SCOPED_TRACE(skew);
        // The horizontal edges' normal lies at 90 - skew degrees.
        Bytes picture = Page(w, h, 24, Centred((90 - skew) / 2, 320, 240, 110, 170));
        EXPECT_EQ(Skew(picture, w, h, 24), static_cast<float>(skew * kDegree));
    }
}

TEST(CheckRotatePictureEx, BlankRefusedAndOtherBitCounts) {
    Bytes blank(static_cast<size_t>(RowStride(100, 24)) * 50, 128);
    EXPECT_EQ(Skew(blank, 100, 50, 24), 0.0f);
    EXPECT_EQ(CDataHandler().CheckRotatePictureEx(nullptr, 100, 50, 24, nullptr), 0.0f);
    EXPECT_EQ(Skew(blank, 0, 50, 24), 0.0f);
    // 32 bits per pixel has no check of its own; a page turned by 2 degrees (normal at 88).
    Bytes page = Page(400, 300, 32, Centred(44, 200, 150, 80, 120));
    EXPECT_EQ(Skew(page, 400, 300, 32), static_cast<float>(2 * kDegree));
}

TEST(CheckRotatePictureEx, FailedAllocationsLeaveNoBlock) {
    imgdesk::test::MemoryProbe probe;
    const int live = probe.LiveBlocks();
    Bytes page = Page(200, 150, 24, Centred(46, 100, 75, 40, 60));
    float result = 1.0f;
    imgdesk::test::ForEachFailingAllocation(
        probe, [&] { result = Skew(page, 200, 150, 24); },
        [&](int) { EXPECT_EQ(probe.LiveBlocks(), live); });
    EXPECT_EQ(result, static_cast<float>(-2 * kDegree));
    EXPECT_EQ(probe.LiveBlocks(), live);
}

CRect PageRect(Bytes& picture, int w, int h, int bpp, CRect search) {
    return CDataHandler().GetBlackSideRectEx(picture.data(), w, h, bpp, nullptr, search);
}

void ExpectNear(const CRect& r, const CRect& expected, int tolerance) {
    EXPECT_NEAR(r.left, expected.left, tolerance) << r;
    EXPECT_NEAR(r.top, expected.top, tolerance) << r;
    EXPECT_NEAR(r.right, expected.right, tolerance) << r;
    EXPECT_NEAR(r.bottom, expected.bottom, tolerance) << r;
}

TEST(GetBlackSideRectEx, FindsTheUprightPageRelativeToTheSearchRegion) {
    const int w = 640, h = 480;
    // Page columns 100 ... 500, rows 80 ... 400.
    for (int bpp : {24, 8}) {
        SCOPED_TRACE(bpp);
        Bytes picture = Page(w, h, bpp, Frame{0, 100, 500, 80, 400});
        tagRGBQUAD grey[256];
        for (int i = 0; i < 256; ++i)
            grey[i] = tagRGBQUAD{BYTE(i), BYTE(i), BYTE(i), 0};
        const CRect whole =
            CDataHandler().GetBlackSideRectEx(picture.data(), w, h, bpp, grey, CRect(0, 0, w, h));
        ExpectNear(whole, CRect(100, 80, 500, 400), 6);
        // No offset for the region's place: measured from its clipped left and top.
        const CRect shifted = CDataHandler().GetBlackSideRectEx(picture.data(), w, h, bpp, grey,
                                                                CRect(60, 40, 900, 700));
        ExpectNear(shifted, CRect(40, 40, 440, 360), 6);
    }
}

TEST(GetBlackSideRectEx, Refusals) {
    Bytes picture = Page(64, 48, 32, Frame{0, 10, 50, 10, 40});
    EXPECT_EQ(PageRect(picture, 64, 48, 32, CRect(0, 0, 64, 48)), CRect(0, 0, 0, 0));
    Bytes colour = Page(64, 48, 24, Frame{0, 10, 50, 10, 40});
    EXPECT_EQ(PageRect(colour, 64, 48, 24, CRect(64, 0, 80, 48)), CRect(0, 0, 0, 0));
    EXPECT_EQ(PageRect(colour, 64, 48, 24, CRect(30, 0, 10, 48)), CRect(0, 0, 0, 0));
    EXPECT_EQ(CDataHandler().GetBlackSideRectEx(nullptr, 64, 48, 24, nullptr, CRect(0, 0, 9, 9)),
              CRect(0, 0, 0, 0));
}

TEST(GetBlackSideRectEx, FailedAllocationsGiveTheEmptyRectangleAndLeaveNoBlock) {
    imgdesk::test::MemoryProbe probe;
    const int live = probe.LiveBlocks();
    Bytes picture = Page(160, 120, 24, Frame{0, 20, 140, 15, 100});
    CRect result;
    imgdesk::test::ForEachFailingAllocation(
        probe, [&] { result = PageRect(picture, 160, 120, 24, CRect(0, 0, 160, 120)); },
        [&](int n) {
            EXPECT_EQ(probe.LiveBlocks(), live);
            // Region, zoom and edge buffer fail the whole call; later ones only its detectors.
            if (n <= 3) {
                EXPECT_EQ(result, CRect(0, 0, 0, 0)) << n;
            }
        });
    ExpectNear(result, CRect(20, 15, 140, 100), 3);
    EXPECT_EQ(probe.LiveBlocks(), live);
}

}  // namespace
