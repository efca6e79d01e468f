#include <gtest/gtest.h>

#include <array>
#include <tuple>
#include <vector>

#include "pixel/DataHandler.h"
#include "support/MemoryProbe.h"
#include "support/PixelPictures.h"
#include "support/Printers.h"

namespace {

using namespace imgdesk::test;

// A black picture with white pages, searched in rect; 8-bit pictures through a grey palette.
CRect Search(int width, int height, int bits, std::vector<CRect> pages, CRect rect,
             bool palette = true) {
    Picture picture(width, height, bits, 0);
    for (const CRect& page : pages)
        picture.Fill(page.left, page.top, page.right, page.bottom, 255);
    return CDataHandler().GetBlackSideRect(picture.data(), width, height, bits,
                                           palette ? GreyPalette().data() : nullptr, rect);
}

TEST(GetBlackSideRect, FindsTheBestBandPair) {
    const CRect all(0, 0, 200, 150), page(40, 30, 160, 120);
    struct Case {
        int width, height, bits;
        std::vector<CRect> pages;
        CRect rect, expected;
    } const cases[] = {
        // clang-format off
        // The worked example: erosion leaves columns 42..157 and rows 32..117; the bands run from
        // samples 40 to 120 and 50 to 160, and the candidate grows by 10.
        {200, 150, 8, {page}, all, {40, 30, 170, 130}},
        {200, 150, 24, {page}, all, {40, 30, 170, 130}},
        {200, 150, 24, {all}, all, {0, 0, 200, 150}},  // white: candidate (10, 10, 190, 140)
        // No band: the grown empty rectangle, which misses a search rectangle away from the origin.
        {200, 150, 24, {}, all, {0, 0, 10, 10}},
        {200, 150, 24, {{40, 30, 71, 120}}, all, {0, 0, 10, 10}},  // 27 wide after erosion
        {200, 150, 24, {}, {20, 20, 200, 150}, {}},
        // A page reaching the last row closes at the last row sample.
        {200, 150, 24, {{40, 30, 160, 150}}, all, {40, 30, 170, 150}},
        // Exactly 30 bright pixels (columns 42..71) open a band at row 40 and close it at 50.
        {200, 150, 8, {{40, 30, 74, 100}}, all, {40, 30, 90, 60}},
        // Of equal scores the first stays; one more bright column lets the second win.
        {300, 150, 24, {{40, 30, 100, 120}, {160, 30, 220, 120}}, {0, 0, 300, 150}, {40, 30, 110, 130}},
        {300, 150, 24, {{40, 30, 100, 120}, {160, 30, 221, 120}}, {0, 0, 300, 150}, {160, 30, 230, 130}},
        // A strip only the last column sample sees opens a column band no scan closes: it is never
        // scored and does not disturb later row bands.
        {200, 150, 24, {{0, 20, 151, 60}, {0, 80, 151, 140}, {186, 20, 200, 140}}, {20, 0, 200, 150}, {20, 80, 160, 150}},
        // The search rectangle is clamped, and the erosion works inside it.
        {200, 150, 24, {page}, {-50, -40, 400, 300}, {40, 30, 170, 130}},
        {200, 150, 24, {page}, {100, 0, 300, 150}, {100, 30, 170, 130}},
        {200, 150, 24, {page}, {200, 0, 300, 150}, {}},
        {200, 150, 24, {page}, {50, 50, 50, 100}, {}},
        // clang-format on
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.expected, Search(c.width, c.height, c.bits, c.pages, c.rect)) << &c - cases;
    // 8-bit levels come from the palette: none means all 0, an inverted one shows a dark page.
    EXPECT_EQ(CRect(0, 0, 10, 10), Search(200, 150, 8, {page}, all, false));
    Picture inverted(200, 150, 8, 255);
    inverted.Fill(40, 30, 160, 120, 0);
    EXPECT_EQ(CRect(40, 30, 170, 130),
              CDataHandler().GetBlackSideRect(inverted.data(), 200, 150, 8,
                                              GreyPalette(true).data(), all));
}

TEST(GetBlackSideRect, RefusalsAndFailingAllocations) {
    // Grey buffer, two erosions, two profiles; a failed erosion leaves the grey buffer as it was.
    Picture picture(200, 150, 24, 0);
    picture.Fill(40, 30, 160, 120, 255);
    const CRect all(0, 0, 200, 150);
    for (auto [data, width, height, bits] : {std::tuple{picture.data(), 200, 150, 24},
                                             {(unsigned char*)nullptr, 200, 150, 24},
                                             {picture.data(), 0, 150, 24},
                                             {picture.data(), 200, 0, 24},
                                             {picture.data(), 200, 150, 16}}) {
        CRect result;
        const int allocations = ExpectCleanFailures(
            [&] {
                result = CDataHandler().GetBlackSideRect(data, width, height, bits, nullptr, all);
            },
            [&](int failed) {
                EXPECT_EQ(failed || bits != 24 || !data || !width || !height
                              ? CRect()
                              : CRect(40, 30, 170, 130),
                          result);
            });
        EXPECT_EQ(bits == 24 && data && width && height ? 5 : 0, allocations);
    }
    Picture grey(7, 6, 8, 200);
    grey.Set(3, 3, 20);
    ExpectCleanRefusals(grey.bytes, [](unsigned char* g) {
        return CDataHandler().GreyRust(g, 7, 6, CRect(0, 0, 7, 6));
    });
}

TEST(GreyRust, ErodesWithTheCrossAndClearsOutsideTheRectangle) {
    // 128 survives erosion but is not counted; 127 removes itself and its cross; the frame of the
    // buffer is cleared even when the rectangle covers it all: 7 x 7 inner pixels, less 5 and 1.
    CDataHandler d;
    Picture grey(9, 9, 8, 200);
    grey.Set(4, 4, 128);
    grey.Set(2, 2, 127);
    ASSERT_EQ(1, d.GreyRust(grey.data(), 9, 9, CRect(0, 0, 9, 9)));
    EXPECT_EQ(128, *grey.At(4, 4));
    for (auto [x, y] :
         {std::pair{2, 2}, {1, 2}, {3, 2}, {2, 1}, {2, 3}, {0, 4}, {8, 4}, {4, 0}, {4, 8}})
        EXPECT_EQ(0, *grey.At(x, y)) << x << "," << y;
    EXPECT_EQ(49u - 6u, d.StatisticsWhiteSpots(grey.data(), 9, 9, CRect(0, 0, 9, 9)));
    // Outside the clamped rectangle everything becomes 0; an empty one clears the whole buffer.
    Picture part(6, 5, 8, 255), empty(6, 5, 8, 255);
    d.GreyRust(part.data(), 6, 5, CRect(2, 1, 4, 9));
    d.GreyRust(empty.data(), 6, 5, CRect(3, 3, 3, 3));
    EXPECT_EQ(6u, d.StatisticsWhiteSpots(part.data(), 6, 5, CRect(2, 1, 4, 4)));
    EXPECT_EQ(6u, d.StatisticsWhiteSpots(part.data(), 6, 5, CRect(0, 0, 6, 5)));
    EXPECT_EQ(0u, d.StatisticsWhiteSpots(empty.data(), 6, 5, CRect(0, 0, 6, 5)));
}

TEST(StatisticsWhiteSpots, CountsAbove128InsideTheClampedRectangle) {
    Picture grey(7, 5, 8, 129);  // stride 8: the padding byte must not count
    grey.Set(0, 0, 128);
    CDataHandler d;
    for (auto [rect, count] : {std::pair{CRect(-5, -5, 50, 50), 34u},
                               {CRect(1, 1, 3, 4), 6u},
                               {CRect(3, 1, 3, 4), 0u},
                               {CRect(1, 4, 3, 2), 0u},
                               {CRect(7, 0, 9, 5), 0u}})
        EXPECT_EQ(count, d.StatisticsWhiteSpots(grey.data(), 7, 5, rect)) << rect.left;
    EXPECT_EQ(0u, d.StatisticsWhiteSpots(nullptr, 7, 5, CRect(0, 0, 7, 5)) +
                      d.StatisticsWhiteSpots(grey.data(), 0, 5, CRect(0, 0, 7, 5)));
    // ExpandRustCompare looks at the five cross pixels around (2, 2): 128 and diagonals are
    // neither kind; then a 129 above and a 127 to the right. From (1, 2), (3, 2) is two away.
    Picture cross(5, 5, 8, 128);
    cross.Set(1, 1, 255);
    cross.Set(3, 3, 0);
    const auto at = [&](int x, int mode) {
        return d.ExpandRustCompare(cross.data(), 8, 5, x, 2, mode);
    };
    EXPECT_EQ(0, at(2, 1) + at(2, 0));
    cross.Set(2, 1, 129);
    cross.Set(3, 2, 127);
    EXPECT_EQ((std::array{1, 1, 0, 1}), (std::array{at(2, 7), at(2, 0), at(1, 0), at(1, 1)}));
}

}  // namespace
