#include <gtest/gtest.h>

#include "platform/Rect.h"
#include "support/Printers.h"

namespace {

// Right and bottom are exclusive: rectangles that share an edge do not meet, and a failed
// intersection leaves an all-zero rectangle. Sides are signed 32-bit.
TEST(Rect, IntersectOffsetAndInflate) {
    static_assert(sizeof(RECT) == 16, "four 32-bit sides");
    const CRect a(0, 0, 10, 10);
    const struct {
        CRect other;
        BOOL meets;
        CRect common;
    } cases[] = {{CRect(5, -5, 20, 7), TRUE, CRect(5, 0, 10, 7)},
                 {CRect(10, 0, 20, 10), FALSE, CRect(0, 0, 0, 0)},
                 {CRect(3, 3, 3, 8), FALSE, CRect(0, 0, 0, 0)}};
    for (const auto& c : cases) {
        CRect result(1, 2, 3, 4);
        EXPECT_EQ(c.meets, IntersectRect(&result, &a, &c.other));
        EXPECT_EQ(c.common, result);
    }
    CRect r(10, 20, 30, 40);
    OffsetRect(&r, -15, 7);
    EXPECT_EQ(CRect(-5, 27, 15, 47), r);
    InflateRect(&r, 2, -3);
    EXPECT_EQ(CRect(-7, 30, 17, 44), r);
    EXPECT_TRUE(r.PtInRect({-7, 30}));
    EXPECT_FALSE(r.PtInRect({17, 31}));
}

}  // namespace
