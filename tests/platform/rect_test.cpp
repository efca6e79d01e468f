#include <gtest/gtest.h>

#include "platform/Rect.h"
#include "support/Printers.h"

namespace {

TEST(Rect, IntersectionOfOverlappingRectangles) {
    CRect a(0, 0, 10, 10), b(5, -5, 20, 7), common;
    EXPECT_EQ(TRUE, IntersectRect(&common, &a, &b));
    EXPECT_EQ(CRect(5, 0, 10, 7), common);
}

TEST(Rect, EmptyIntersectionGivesAllZeroRectangle) {
    CRect result(1, 2, 3, 4);
    CRect a(0, 0, 10, 10), touching(10, 0, 20, 10), empty(3, 3, 3, 8);
    EXPECT_EQ(FALSE,
              IntersectRect(&result, &a, &touching));  // shared edge only: right is exclusive
    EXPECT_EQ(CRect(0, 0, 0, 0), result);
    result.SetRect(1, 2, 3, 4);
    EXPECT_EQ(FALSE, IntersectRect(&result, &a, &empty));
    EXPECT_TRUE(result.IsRectNull());
}

TEST(Rect, OffsetAndInflateMoveEverySide) {
    CRect r(10, 20, 30, 40);
    OffsetRect(&r, -5, 7);
    EXPECT_EQ(CRect(5, 27, 25, 47), r);
    InflateRect(&r, 2, -3);
    EXPECT_EQ(CRect(3, 30, 27, 44), r);
    EXPECT_EQ(24, r.Width());
    EXPECT_EQ(14, r.Height());
}

TEST(Rect, PointInsideTakesLeftTopInclusiveRightBottomExclusive) {
    CRect r(0, 0, 2, 2);
    EXPECT_TRUE(r.PtInRect({0, 0}));
    EXPECT_TRUE(r.PtInRect({1, 1}));
    EXPECT_FALSE(r.PtInRect({2, 1}));
    EXPECT_FALSE(r.PtInRect({1, 2}));
}

TEST(Rect, UnionIgnoresEmptyRectanglesAndNormalizeSwapsSides) {
    CRect a(0, 0, 2, 2), empty, joined;
    EXPECT_EQ(TRUE, UnionRect(&joined, &a, &empty));
    EXPECT_EQ(a, joined);
    CRect b(5, 5, 6, 9);
    joined.UnionRect(&a, &b);
    EXPECT_EQ(CRect(0, 0, 6, 9), joined);
    CRect inverted(9, 8, 1, 2);
    inverted.NormalizeRect();
    EXPECT_EQ(CRect(1, 2, 9, 8), inverted);
}

TEST(Rect, SidesAreSignedThirtyTwoBit) {
    static_assert(sizeof(RECT) == 16, "four 32-bit sides");
    CRect r(-5, -6, -1, -2);
    EXPECT_EQ(4, r.Width());
    EXPECT_FALSE(r.IsRectEmpty());
}

}  // namespace
