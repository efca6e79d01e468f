#include <gtest/gtest.h>

#include "LineFixtures.h"

namespace {

using namespace lines_test;

struct Rect4 {
    _SEGMENT s[4];
    Rect4() {
        for (auto& x : s)
            x = _SEGMENT{-9, -9, -9, -9};
    }
};

void ExpectSegment(const _SEGMENT& s, int x1, int y1, int x2, int y2) {
    EXPECT_EQ(s.x1, x1);
    EXPECT_EQ(s.y1, y1);
    EXPECT_EQ(s.x2, x2);
    EXPECT_EQ(s.y2, y2);
}

void FrameLines(_STRAIGHTLINE* l, const Frame& f) {
    const int b = (f.a + 45) % 90;
    l[0] = {0, f.farA, f.a};
    l[1] = {0, f.farB, b};
    l[2] = {0, f.nearA, f.a};
    l[3] = {0, f.nearB, b};
}

TEST(SearchRect, UprightFrameOnTheOutermostPixels) {
    Bytes grid(6 * 5, 0);
    _STRAIGHTLINE l[4] = {{0, 5, 0}, {0, 4, 45}, {0, 0, 0}, {0, 0, 45}};
    Rect4 r;
    ASSERT_EQ(CDataHandler().SearchRect(grid.data(), 6, 5, l, r.s), 1);
    // Each corner is the last position within 1 of both its lines.
    ExpectSegment(r.s[0], 5, 1, 5, 4);
    ExpectSegment(r.s[1], 5, 4, 1, 4);
    ExpectSegment(r.s[2], 1, 4, 1, 1);
    ExpectSegment(r.s[3], 1, 1, 5, 1);
}

TEST(SearchRect, TurnedFrameInsideIsAClosedOutlineWhateverTheContents) {
    const Frame f = Centred(10, 100, 80, 50, 30);
    _STRAIGHTLINE l[4];
    FrameLines(l, f);
    Bytes blank(200 * 160, 0), full(200 * 160, 255);
    Rect4 r, again;
    ASSERT_EQ(CDataHandler().SearchRect(blank.data(), 200, 160, l, r.s), 1);
    ASSERT_EQ(CDataHandler().SearchRect(full.data(), 200, 160, l, again.s), 1);
    for (int k = 0; k < 4; ++k) {
        SCOPED_TRACE(k);
        ExpectSegment(again.s[k], r.s[k].x1, r.s[k].y1, r.s[k].x2, r.s[k].y2);
        // Each side ends where the next begins, and both ends lie within 1 of its line.
        const _SEGMENT& s = r.s[k];
        const _SEGMENT& next = r.s[(k + 1) % 4];
        EXPECT_EQ(s.x2, next.x1);
        EXPECT_EQ(s.y2, next.y1);
        EXPECT_NEAR(Distance(l[k].angle, s.x1, s.y1), l[k].distance, 1);
        EXPECT_NEAR(Distance(l[k].angle, s.x2, s.y2), l[k].distance, 1);
    }
}

TEST(SearchRect, CornerOutsideTheGridEndsTwoSidesAtTheBorder) {
    // The far-far corner (0-1) lies below the last row; the other three inside.
    const Frame f = Centred(10, 140, 130, 50, 30);
    _STRAIGHTLINE l[4];
    FrameLines(l, f);
    Bytes grid(200 * 160, 0);
    Rect4 r;
    ASSERT_EQ(CDataHandler().SearchRect(grid.data(), 200, 160, l, r.s), 1);
    // Side 0 runs from its border crossing inside the frame to corner 3-0.
    EXPECT_EQ(r.s[0].y1, 159);
    EXPECT_EQ(Distance(10, r.s[0].x1, r.s[0].y1), f.farA);
    EXPECT_GT(Distance(55, r.s[0].x1, r.s[0].y1), f.nearB);
    EXPECT_EQ(r.s[0].x2, r.s[3].x2);
    EXPECT_EQ(r.s[0].y2, r.s[3].y2);
    // Side 1 from its crossing (on the frame's side of line 2) to corner 1-2.
    EXPECT_EQ(r.s[1].y1, 159);
    EXPECT_EQ(Distance(55, r.s[1].x1, r.s[1].y1), f.farB);
    EXPECT_GT(Distance(10, r.s[1].x1, r.s[1].y1), f.nearA);
    EXPECT_EQ(r.s[1].x2, r.s[2].x1);
    EXPECT_EQ(r.s[1].y2, r.s[2].y1);
    EXPECT_LT(r.s[1].y2, 159);
    // The other two sides join their corners.
    EXPECT_EQ(r.s[2].x2, r.s[3].x1);
    EXPECT_EQ(r.s[2].y2, r.s[3].y1);
}

TEST(SearchRect, LinesMissingTheGridAndRefusals) {
    Bytes grid(40 * 30, 0);
    _STRAIGHTLINE l[4] = {{0, 300, 0}, {0, 300, 45}, {0, 200, 0}, {0, 200, 45}};
    Rect4 r;
    ASSERT_EQ(CDataHandler().SearchRect(grid.data(), 40, 30, l, r.s), 1);
    for (const auto& s : r.s)
        ExpectSegment(s, -1, -1, -1, -1);

    Rect4 untouched;
    EXPECT_EQ(CDataHandler().SearchRect(nullptr, 40, 30, l, untouched.s), 0);
    EXPECT_EQ(CDataHandler().SearchRect(grid.data(), 40, 0, l, untouched.s), 0);
    ExpectSegment(untouched.s[0], -9, -9, -9, -9);
}

TEST(SearchRect, UprightFrameWiderThanTheGridUsesCrossings) {
    // Vertical lines outside left and right: every corner is missing, sides 1 and 3 run from
    // border to border along their rows, sides 0 and 2 have no crossing.
    Bytes grid(50 * 40, 0);
    _STRAIGHTLINE l[4] = {{0, 80, 0}, {0, 30, 45}, {0, -20, 0}, {0, 10, 45}};
    Rect4 r;
    ASSERT_EQ(CDataHandler().SearchRect(grid.data(), 50, 40, l, r.s), 1);
    ExpectSegment(r.s[0], -1, -1, -1, -1);
    ExpectSegment(r.s[1], 0, 30, 49, 30);
    ExpectSegment(r.s[2], -1, -1, -1, -1);
    ExpectSegment(r.s[3], 0, 10, 49, 10);
}

}  // namespace
