#include <gtest/gtest.h>

#include <array>
#include <tuple>
#include <utility>

#include "LineFixtures.h"
#include "support/MemoryProbe.h"

namespace {

using namespace lines_test;

TEST(GetDistance, WorkedFigures) {
    for (int a = 0; a < 90; ++a)
        EXPECT_EQ(0, Distance(a, 0, 0));
    // A tiny positive distance rounds to 0; 3 cos 60 + 4 sin 60 = 4.96 to 5.
    for (auto [angle, x, y, distance] : {std::array{0, 10, 0, 10},
                                         {45, 0, 10, 10},
                                         {89, 10, 0, -10},
                                         {45, 7, 0, 0},
                                         {30, 3, 4, 5}})
        EXPECT_EQ(distance, Distance(angle, x, y)) << angle << " " << x << "," << y;
}

TEST(SearchLine, FindsTheFrameOfTheEdgePixels) {
    // Turned outlines give their exact frame; without edges the frame is inverted (far 0, near
    // the diagonal D = 50; b = 15 for a seed at 60); a single pixel makes near and far coincide.
    // GetPosition refuses both, x and y untouched.
    for (int a = 0; a < 90; a += 5) {
        const Frame f = Centred(a, 100, 80, 50, 30);
        Bytes edges = Outline(200, 160, f);
        _STRAIGHTLINE seed{0, 0, a}, lines[4], expected[4];
        FrameLines(lines, Frame{}, -5);
        FrameLines(expected, f, -5);  // votes never written
        ASSERT_EQ(1, CDataHandler().SearchLine(edges.data(), 200, 160, seed, lines));
        EXPECT_EQ(Of(expected), Of(lines)) << a;
    }
    Bytes blank(40 * 30, 125), single = blank;
    single[7 * 40 + 12] = 255;
    const int d12 = Distance(60, 12, 7), d15 = Distance(15, 12, 7);
    for (auto [edges, frame] : {std::pair{blank.data(), Frame{60, 50, 0, 50, 0}},
                                {single.data(), {60, d12, d12, d15, d15}}}) {
        _STRAIGHTLINE seed{9, 9, 60}, lines[4], expected[4];
        FrameLines(lines, Frame{}, -5);
        FrameLines(expected, frame, -5);
        ASSERT_EQ(1, CDataHandler().SearchLine(edges, 40, 30, seed, lines));
        EXPECT_EQ(Of(expected), Of(lines));
        int x = -3, y = -4;
        EXPECT_EQ(0, CDataHandler().GetPosition(lines, 0, 0, x, y));
        EXPECT_EQ(std::pair(-3, -4), std::pair(x, y));
    }
}

TEST(GetPosition, CornersOfFrames) {
    // Horizontal lines first (20 ... 90), vertical second (10 ... 70): offsets from the near lines.
    _STRAIGHTLINE l[4];
    FrameLines(l, Frame{45, 20, 90, 10, 70});
    CDataHandler h;
    for (auto [offsetA, offsetB, result, ex, ey] : {std::array{0, 0, 1, 10, 20},
                                                    {70, 60, 1, 70, 90},
                                                    {71, 0, 0, -3, -4},
                                                    {0, -1, 0, -3, -4},
                                                    {0, 61, 0, -3, -4}}) {
        int x = -3, y = -4;
        EXPECT_EQ(result, h.GetPosition(l, offsetA, offsetB, x, y)) << offsetA << "," << offsetB;
        EXPECT_EQ(ex, x);
        EXPECT_EQ(ey, y);
    }
    // An upright first direction and parallel directions are refused.
    _STRAIGHTLINE upright[4], parallel[4];
    FrameLines(upright, Frame{0, 20, 90, 10, 70});
    FrameLines(parallel, Frame{45, 20, 90, 10, 70});
    parallel[1].angle = parallel[3].angle = 45;
    int x = -3, y = -4;
    EXPECT_EQ(0, h.GetPosition(upright, 0, 0, x, y) + h.GetPosition(parallel, 0, 0, x, y));
    // On a turned frame the point lies on the two lines asked for.
    const Frame f = Centred(50, 100, 80, 50, 30);
    FrameLines(l, f);
    ASSERT_EQ(1, h.GetPosition(l, 10, 20, x, y));
    EXPECT_NEAR(f.nearA + 10, Distance(50, x, y), 1);
    EXPECT_NEAR(f.nearB + 20, Distance(5, x, y), 1);
}

TEST(DrawStraightLine, MarksEveryPixelOnTheLines) {
    Bytes image(12 * 9, 7);
    _STRAIGHTLINE column[4] = {{0, 5, 0}, {0, 5, 0}, {0, 5, 0}, {0, 5, 0}};
    CDataHandler h;
    ASSERT_EQ(1, h.DrawStraightLine(image.data(), 12, 9, column));
    for (int i = 0; i < 12 * 9; ++i)
        EXPECT_EQ(i % 12 == 5 ? 255 : 7, image[i]) << i;
    // A turned frame: exactly the pixels at the lines' rounded distances.
    const Frame f = Centred(20, 50, 40, 20, 12);
    _STRAIGHTLINE frame[4];
    FrameLines(frame, f);
    Bytes drawn(100 * 80, 0);
    ASSERT_EQ(1, h.DrawStraightLine(drawn.data(), 100, 80, frame));
    for (int i = 0; i < 100 * 80; ++i) {
        const int ra = Distance(20, i % 100, i / 100), rb = Distance(65, i % 100, i / 100);
        const bool on = ra == f.nearA || ra == f.farA || rb == f.nearB || rb == f.farB;
        ASSERT_EQ(on ? 255 : 0, drawn[i]) << i;
    }
    EXPECT_EQ(0, h.DrawStraightLine(nullptr, 12, 9, column));
    EXPECT_EQ(0, h.DrawStraightLine(image.data(), 0, 9, column));
}

TEST(SearchLine, RefusalsAndFailingAllocations) {
    // Refusals leave the lines; a failed histogram leaves the starting values (D = 78).
    Bytes edges = Outline(60, 50, Frame{0, 5, 50, 5, 40});
    for (auto [data, height] :
         {std::tuple{edges.data(), 50}, {(unsigned char*)nullptr, 50}, {edges.data(), 0}}) {
        _STRAIGHTLINE seed{0, 0, 0}, lines[4], found[4], start[4], untouched[4];
        FrameLines(found, Frame{0, 5, 50, 5, 40}, -5);
        FrameLines(start, Frame{0, 78, 0, 78, 0}, -5);
        FrameLines(untouched, Frame{}, -5);
        int result = -1;
        imgdesk::test::ExpectCleanFailures(
            [&] { result = CDataHandler().SearchLine(data, 60, height, seed, lines); },
            [&](int failed) {
                const bool valid = data && height > 0;
                EXPECT_EQ(valid && !failed, result);
                EXPECT_EQ(Of(!valid ? untouched : failed ? start : found), Of(lines)) << failed;
            },
            [&] { FrameLines(lines, Frame{}, -5); });
    }
}

}  // namespace
