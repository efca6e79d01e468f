#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <tuple>

#include "LineFixtures.h"
#include "support/MemoryProbe.h"
#include "support/PixelPictures.h"
#include "support/Printers.h"

namespace {

using namespace lines_test;

constexpr double kDegree = 3.141592653589793 / 180;

// A bright page (the frame filled) on a dark background.
Bytes Page(int w, int h, int bpp, const Frame& f) {
    return Draw(w, h, bpp, f, false, 220, 30);
}

float Skew(Bytes& picture, int w, int h, int bpp) {
    return CDataHandler().CheckRotatePictureEx(picture.data(), w, h, bpp, nullptr);
}

bool Near(const CRect& r, const CRect& expected, int tolerance) {
    return std::abs(r.left - expected.left) <= tolerance &&
           std::abs(r.top - expected.top) <= tolerance &&
           std::abs(r.right - expected.right) <= tolerance &&
           std::abs(r.bottom - expected.bottom) <= tolerance;
}

TEST(CheckRotatePictureEx, TurnedPagesGiveTheirSkew) {
    // The horizontal edges' normal lies at 90 - skew degrees: at 92 (angle 46) the skew is -2.
    for (int skew = -44; skew <= 44; skew += 2) {
        Bytes picture = Page(640, 480, 24, Centred((90 - skew) / 2, 320, 240, 110, 170));
        EXPECT_EQ(static_cast<float>(skew * kDegree), Skew(picture, 640, 480, 24)) << skew;
    }
    // 32 bits has no check of its own; a blank picture has no line.
    Bytes page = Page(400, 300, 32, Centred(44, 200, 150, 80, 120)),
          blank(size_t(imgdesk::pixel::RowStride(100, 24)) * 50, 128);
    EXPECT_EQ(static_cast<float>(2 * kDegree), Skew(page, 400, 300, 32));
    EXPECT_EQ(0.0f, Skew(blank, 100, 50, 24));
}

TEST(GetBlackSideRectEx, FindsTheUprightPageRelativeToTheSearchRegion) {
    // Page columns 100 ... 500, rows 80 ... 400; the shifted search gets no offset for its place.
    const auto grey = imgdesk::test::GreyPalette();
    for (int bpp : {24, 8}) {
        Bytes picture = Page(640, 480, bpp, Frame{0, 100, 500, 80, 400});
        for (auto [search, expected] : {std::pair{CRect(0, 0, 640, 480), CRect(100, 80, 500, 400)},
                                        {CRect(60, 40, 900, 700), CRect(40, 40, 440, 360)}}) {
            const CRect r = CDataHandler().GetBlackSideRectEx(
                picture.data(), 640, 480, bpp, const_cast<tagRGBQUAD*>(grey.data()), search);
            EXPECT_TRUE(Near(r, expected, 6)) << bpp << " " << r;
        }
    }
}

TEST(EdgeBorderSkew, RefusalsAndFailingAllocations) {
    // Failures inside the detectors are not reported; the region, zoom and edge buffers fail the
    // rectangle whole. Refused: 32 bits, a clipped width of 0, an inverted or null search.
    Bytes page24 = Page(160, 120, 24, Frame{0, 20, 140, 15, 100}),
          page32 = Page(160, 120, 32, Frame{0, 20, 140, 15, 100}),
          turned = Page(200, 150, 24, Centred(46, 100, 75, 40, 60));
    CDataHandler d;
    float skew = 1.0f;
    imgdesk::test::ExpectCleanFailures(
        [&] { skew = Skew(turned, 200, 150, 24); },
        [&](int failed) {
            EXPECT_TRUE(failed || skew == static_cast<float>(-2 * kDegree)) << skew;
        });
    EXPECT_EQ(0.0f, d.CheckRotatePictureEx(nullptr, 100, 50, 24, nullptr));
    EXPECT_EQ(0.0f, Skew(turned, 0, 50, 24));
    for (auto [picture, bpp, search, found] :
         {std::tuple{page24.data(), 24, CRect(0, 0, 160, 120), true},
          {page32.data(), 32, CRect(0, 0, 160, 120), false},
          {page24.data(), 24, CRect(160, 0, 180, 120), false},
          {page24.data(), 24, CRect(30, 0, 10, 120), false},
          {(unsigned char*)nullptr, 24, CRect(0, 0, 9, 9), false}}) {
        CRect r;
        imgdesk::test::ExpectCleanFailures(
            [&] { r = d.GetBlackSideRectEx(picture, 160, 120, bpp, nullptr, search); },
            [&](int failed) {
                const bool page = found && !failed;
                if (!found || failed <= 3) {
                    EXPECT_TRUE(Near(r, page ? CRect(20, 15, 140, 100) : CRect(), page ? 3 : 0))
                        << failed << " " << r;
                }
            });
    }
}

}  // namespace
