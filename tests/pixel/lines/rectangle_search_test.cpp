#include <gtest/gtest.h>

#include <array>
#include <tuple>

#include "LineFixtures.h"
#include "support/MemoryProbe.h"

namespace {

using namespace lines_test;

std::vector<int> Of(const _SEGMENT* s) {
    std::vector<int> ends;
    for (int k = 0; k < 4; ++k)
        ends.insert(ends.end(), {s[k].x1, s[k].y1, s[k].x2, s[k].y2});
    return ends;
}

using Sides = std::array<_SEGMENT, 4>;
const Sides kMissing = {{{-1, -1, -1, -1}, {-1, -1, -1, -1}, {-1, -1, -1, -1}, {-1, -1, -1, -1}}};
// An upright frame on the outermost pixels of a 6 x 5 grid: each corner is the last position
// within 1 of both its lines.
const Sides kOutermost = {{{5, 1, 5, 4}, {5, 4, 1, 4}, {1, 4, 1, 1}, {1, 1, 5, 1}}};

TEST(SearchRect, WorkedFrames) {
    // Lines that miss the grid leave every end (-1, -1); an upright frame wider than the grid has
    // no corners, and its horizontal sides run from border to border.
    const std::tuple<int, int, std::array<_STRAIGHTLINE, 4>, Sides> cases[] = {
        {6, 5, {{{0, 5, 0}, {0, 4, 45}, {0, 0, 0}, {0, 0, 45}}}, kOutermost},
        {40, 30, {{{0, 300, 0}, {0, 300, 45}, {0, 200, 0}, {0, 200, 45}}}, kMissing},
        {50,
         40,
         {{{0, 80, 0}, {0, 30, 45}, {0, -20, 0}, {0, 10, 45}}},
         {{{-1, -1, -1, -1}, {0, 30, 49, 30}, {-1, -1, -1, -1}, {0, 10, 49, 10}}}},
    };
    for (auto [width, height, lines, expected] : cases) {
        Bytes grid(size_t(width) * height, 0);
        Sides sides;
        ASSERT_EQ(
            1, CDataHandler().SearchRect(grid.data(), width, height, lines.data(), sides.data()));
        EXPECT_EQ(Of(expected.data()), Of(sides.data())) << width;
    }
}

TEST(SearchRect, TurnedFramesInsideAndAcrossTheBorder) {
    // Inside: a closed outline, each side's ends within 1 of its line, whatever the contents.
    _STRAIGHTLINE l[4];
    FrameLines(l, Centred(10, 100, 80, 50, 30));
    Bytes blank(200 * 160, 0), full(200 * 160, 255);
    Sides r, again;
    ASSERT_EQ(1, CDataHandler().SearchRect(blank.data(), 200, 160, l, r.data()));
    ASSERT_EQ(1, CDataHandler().SearchRect(full.data(), 200, 160, l, again.data()));
    EXPECT_EQ(Of(r.data()), Of(again.data()));
    for (int k = 0; k < 4; ++k) {
        EXPECT_EQ(std::pair(r[k].x2, r[k].y2), std::pair(r[(k + 1) % 4].x1, r[(k + 1) % 4].y1));
        EXPECT_NEAR(l[k].distance, Distance(l[k].angle, r[k].x1, r[k].y1), 1) << k;
        EXPECT_NEAR(l[k].distance, Distance(l[k].angle, r[k].x2, r[k].y2), 1) << k;
    }
    // Corner 0-1 below the last row: sides 0 and 1 start at their crossings of the border on the
    // frame's side, then join the corners found.
    const Frame f = Centred(10, 140, 130, 50, 30);
    FrameLines(l, f);
    ASSERT_EQ(1, CDataHandler().SearchRect(blank.data(), 200, 160, l, r.data()));
    EXPECT_EQ(159, r[0].y1);
    EXPECT_EQ(f.farA, Distance(10, r[0].x1, r[0].y1));
    EXPECT_GT(Distance(55, r[0].x1, r[0].y1), f.nearB);
    EXPECT_EQ(159, r[1].y1);
    EXPECT_EQ(f.farB, Distance(55, r[1].x1, r[1].y1));
    EXPECT_GT(Distance(10, r[1].x1, r[1].y1), f.nearA);
    EXPECT_LT(r[1].y2, 159);
    for (auto [k, x, y] :
         {std::tuple{0, r[3].x2, r[3].y2}, {1, r[2].x1, r[2].y1}, {2, r[3].x1, r[3].y1}})
        EXPECT_EQ(std::pair(x, y), std::pair(r[k].x2, r[k].y2)) << k;
}

TEST(SearchRect, RefusalsAndFailingAllocations) {
    Bytes grid(6 * 5, 0);
    _STRAIGHTLINE l[4] = {{0, 5, 0}, {0, 4, 45}, {0, 0, 0}, {0, 0, 45}};
    const Sides untouched = {
        {{-9, -9, -9, -9}, {-9, -9, -9, -9}, {-9, -9, -9, -9}, {-9, -9, -9, -9}}};
    for (auto [data, height] :
         {std::tuple{grid.data(), 5}, {(unsigned char*)nullptr, 5}, {grid.data(), 0}}) {
        Sides sides;
        int result = -1;
        imgdesk::test::ExpectCleanFailures(
            [&] { result = CDataHandler().SearchRect(data, 6, height, l, sides.data()); },
            [&](int failed) {
                const bool valid = data && height > 0;
                EXPECT_EQ(valid && !failed, result);
                if (!valid || !failed) {
                    EXPECT_EQ(Of((valid ? kOutermost : untouched).data()), Of(sides.data()));
                }
            },
            [&] { sides = untouched; });
    }
}

}  // namespace
