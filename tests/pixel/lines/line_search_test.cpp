#include <gtest/gtest.h>

#include "LineFixtures.h"
#include "support/MemoryProbe.h"

namespace {

using namespace lines_test;

struct Lines {
    _STRAIGHTLINE r[4];
    Lines() {
        for (auto& l : r)
            l = _STRAIGHTLINE{-5, -5, -5};
    }
};

void ExpectFrame(const Lines& l, int a, int farA, int farB, int nearA, int nearB) {
    const int b = (a + 45) % 90;
    EXPECT_EQ(l.r[0].angle, a);
    EXPECT_EQ(l.r[2].angle, a);
    EXPECT_EQ(l.r[1].angle, b);
    EXPECT_EQ(l.r[3].angle, b);
    EXPECT_EQ(l.r[0].distance, farA);
    EXPECT_EQ(l.r[1].distance, farB);
    EXPECT_EQ(l.r[2].distance, nearA);
    EXPECT_EQ(l.r[3].distance, nearB);
    for (const auto& line : l.r)
        EXPECT_EQ(line.votes, -5);  // never written
}

TEST(GetDistance, WorkedFigures) {
    for (int a = 0; a < 90; ++a)
        EXPECT_EQ(Distance(a, 0, 0), 0);
    EXPECT_EQ(Distance(0, 10, 0), 10);
    EXPECT_EQ(Distance(45, 0, 10), 10);
    EXPECT_EQ(Distance(89, 10, 0), -10);
    EXPECT_EQ(Distance(45, 7, 0), 0);  // a tiny positive distance rounds to 0
    EXPECT_EQ(Distance(30, 3, 4), 5);  // 3 cos 60 + 4 sin 60 = 4.96
}

TEST(SearchLine, FindsTheExactFrameOfTurnedOutlines) {
    for (int a = 0; a < 90; a += 5) {
        SCOPED_TRACE(a);
        const Frame f = Centred(a, 100, 80, 50, 30);
        Bytes edges = Outline(200, 160, f);
        Lines l;
        _STRAIGHTLINE seed{0, 0, a};
        ASSERT_EQ(CDataHandler().SearchLine(edges.data(), 200, 160, seed, l.r), 1);
        ExpectFrame(l, a, f.farA, f.farB, f.nearA, f.nearB);
    }
}

TEST(SearchLine, WithoutEdgesTheFrameIsInvertedAndGetPositionRefusesIt) {
    Bytes blank(40 * 30, 125);
    Lines l;
    _STRAIGHTLINE seed{9, 9, 60};
    ASSERT_EQ(CDataHandler().SearchLine(blank.data(), 40, 30, seed, l.r), 1);
    ExpectFrame(l, 60, 0, 0, 50, 50);  // b = 15, D = 50
    int x = -3, y = -4;
    EXPECT_EQ(CDataHandler().GetPosition(l.r, 0, 0, x, y), 0);

    // A single edge pixel: the near and far lines coincide, still refused.
    Set(blank, 40, 12, 7);
    ASSERT_EQ(CDataHandler().SearchLine(blank.data(), 40, 30, seed, l.r), 1);
    EXPECT_EQ(l.r[0].distance, l.r[2].distance);
    EXPECT_EQ(l.r[1].distance, l.r[3].distance);
    EXPECT_EQ(CDataHandler().GetPosition(l.r, 0, 0, x, y), 0);
    EXPECT_EQ(x, -3);
    EXPECT_EQ(y, -4);
}

TEST(SearchLine, RefusalsAndFailedHistogram) {
    Bytes edges = Outline(60, 50, 0, 5, 50, 5, 40);
    Lines l;
    _STRAIGHTLINE seed{0, 0, 0};
    CDataHandler h;
    EXPECT_EQ(h.SearchLine(nullptr, 60, 50, seed, l.r), 0);
    EXPECT_EQ(h.SearchLine(edges.data(), 60, 0, seed, l.r), 0);
    EXPECT_EQ(l.r[0].angle, -5);

    imgdesk::test::MemoryProbe probe;
    const int live = probe.LiveBlocks();
    int result = -1;
    const int allocations = imgdesk::test::ForEachFailingAllocation(
        probe,
        [&] {
            l = Lines();
            result = h.SearchLine(edges.data(), 60, 50, seed, l.r);
        },
        [&](int) {
            EXPECT_EQ(result, 0);
            ExpectFrame(l, 0, 0, 0, 78, 78);  // starting values, D = 78
            EXPECT_EQ(probe.LiveBlocks(), live);
        });
    EXPECT_EQ(allocations, 1);
    ExpectFrame(l, 0, 50, 40, 5, 5);
    EXPECT_EQ(probe.LiveBlocks(), live);
}

TEST(GetPosition, CornersOfFrames) {
    CDataHandler h;
    int x = -3, y = -4;
    // Horizontal lines first, vertical second: offsets count from the near lines.
    Lines l;
    l.r[0] = {0, 90, 45};
    l.r[2] = {0, 20, 45};
    l.r[1] = {0, 70, 0};
    l.r[3] = {0, 10, 0};
    ASSERT_EQ(h.GetPosition(l.r, 0, 0, x, y), 1);
    EXPECT_EQ(x, 10);
    EXPECT_EQ(y, 20);
    ASSERT_EQ(h.GetPosition(l.r, 70, 60, x, y), 1);
    EXPECT_EQ(x, 70);
    EXPECT_EQ(y, 90);
    // Offsets outside the frame, an upright first direction, parallel directions: refused.
    x = -3, y = -4;
    EXPECT_EQ(h.GetPosition(l.r, 71, 0, x, y), 0);
    EXPECT_EQ(h.GetPosition(l.r, 0, -1, x, y), 0);
    EXPECT_EQ(h.GetPosition(l.r, 0, 61, x, y), 0);
    Lines upright = l;
    for (int k = 0; k < 4; ++k)
        upright.r[k].angle = k % 2 ? 45 : 0;
    EXPECT_EQ(h.GetPosition(upright.r, 0, 0, x, y), 0);
    Lines parallel = l;
    parallel.r[1].angle = parallel.r[3].angle = 45;
    EXPECT_EQ(h.GetPosition(parallel.r, 0, 0, x, y), 0);
    EXPECT_EQ(x, -3);
    EXPECT_EQ(y, -4);

    // On a turned frame the point lies on the two lines it was asked for.
    const Frame f = Centred(50, 100, 80, 50, 30);
    Lines t;
    t.r[0] = {0, f.farA, 50};
    t.r[2] = {0, f.nearA, 50};
    t.r[1] = {0, f.farB, 5};
    t.r[3] = {0, f.nearB, 5};
    ASSERT_EQ(h.GetPosition(t.r, 10, 20, x, y), 1);
    EXPECT_NEAR(Distance(50, x, y), f.nearA + 10, 1);
    EXPECT_NEAR(Distance(5, x, y), f.nearB + 20, 1);
}

TEST(DrawStraightLine, MarksEveryPixelOnTheLines) {
    Bytes image(12 * 9, 7);
    Lines l;
    for (auto& line : l.r)
        line = {0, 5, 0};
    CDataHandler h;
    ASSERT_EQ(h.DrawStraightLine(image.data(), 12, 9, l.r), 1);
    for (int y = 0; y < 9; ++y)
        for (int x = 0; x < 12; ++x)
            EXPECT_EQ(image[y * 12 + x], x == 5 ? 255 : 7);

    // A frame drawn is the outline that SearchLine finds again.
    const Frame f = Centred(20, 50, 40, 20, 12);
    Lines frame;
    frame.r[0] = {0, f.farA, 20};
    frame.r[2] = {0, f.nearA, 20};
    frame.r[1] = {0, f.farB, 65};
    frame.r[3] = {0, f.nearB, 65};
    Bytes drawn(100 * 80, 0);
    ASSERT_EQ(h.DrawStraightLine(drawn.data(), 100, 80, frame.r), 1);
    for (int y = 0; y < 80; ++y) {
        for (int x = 0; x < 100; ++x) {
            if (Distance(20, x, y) == f.farA) {
                ASSERT_EQ(drawn[y * 100 + x], 255);
            }
        }
    }
    EXPECT_EQ(h.DrawStraightLine(nullptr, 12, 9, l.r), 0);
    EXPECT_EQ(h.DrawStraightLine(image.data(), 0, 9, l.r), 0);
}

}  // namespace
