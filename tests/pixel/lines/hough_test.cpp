#include <gtest/gtest.h>

#include "LineFixtures.h"
#include "support/MemoryProbe.h"

namespace {

using namespace lines_test;

_STRAIGHTLINE Hough(Bytes& edges, int width, int height, int* result = nullptr) {
    _STRAIGHTLINE line{-1, -1, -1};
    const int r = CDataHandler().HoughTrans(edges.data(), width, height, line);
    if (result)
        *result = r;
    return line;
}

void ExpectLine(const _STRAIGHTLINE& line, int votes, int distance, int angle) {
    EXPECT_EQ(line.votes, votes);
    EXPECT_EQ(line.distance, distance);
    EXPECT_EQ(line.angle, angle);
}

TEST(HoughTrans, RefusesWithoutTouchingTheLine) {
    Bytes edges(16, 255);
    _STRAIGHTLINE line{7, 8, 9};
    CDataHandler h;
    EXPECT_EQ(h.HoughTrans(nullptr, 4, 4, line), 0);
    EXPECT_EQ(h.HoughTrans(edges.data(), 0, 4, line), 0);
    EXPECT_EQ(h.HoughTrans(edges.data(), 4, -1, line), 0);
    ExpectLine(line, 7, 8, 9);
}

TEST(HoughTrans, NoLineGivesTheZeroRecord) {
    int result = 0;
    Bytes blank(64 * 48, 125);  // 125 is background
    ExpectLine(Hough(blank, 64, 48, &result), 0, 0, 0);
    EXPECT_EQ(result, 1);

    // One perfectly horizontal run spans a single row: the threshold is 0.
    Bytes run(64 * 48, 0);
    for (int x = 5; x < 60; ++x)
        Set(run, 64, x, 20);
    ExpectLine(Hough(run, 64, 48, &result), 0, 0, 0);
    EXPECT_EQ(result, 1);
}

TEST(HoughTrans, UprightOutlineGivesItsStrongestSide) {
    // Horizontal sides of 100 pixels at rows 40 and 99, vertical sides of 60 at columns 50, 149.
    Bytes edges = Outline(320, 256, 0, 50, 149, 40, 99);
    // The two long sides tie; the one visited first (smaller distance) wins.
    ExpectLine(Hough(edges, 320, 256), 100, 40, 45);
    // Bytes of 126 are edges just as 255 is.
    Bytes faint = Outline(320, 256, 0, 50, 149, 40, 99, 126);
    ExpectLine(Hough(faint, 320, 256), 100, 40, 45);
}

TEST(HoughTrans, EqualPeaksOfEqualClosenessGoToTheFirstVisited) {
    // A horizontal line at row 5 and a vertical one at column 100, 60 pixels each.
    Bytes edges(160 * 120, 0);
    for (int i = 0; i < 60; ++i) {
        Set(edges, 160, 20 + i, 5);
        Set(edges, 160, 100, 40 + i);
    }
    ExpectLine(Hough(edges, 160, 120), 60, 5, 45);
}

TEST(HoughTrans, TurnedOutlinesGiveTheirDirection) {
    for (int a = 0; a < 90; a += 7) {
        SCOPED_TRACE(a);
        Bytes edges = Outline(320, 256, Centred(a, 160, 128, 70, 40));
        const _STRAIGHTLINE line = Hough(edges, 320, 256);
        ASSERT_GT(line.votes, 0);
        EXPECT_TRUE(line.angle == a || line.angle == (a + 45) % 90) << line.angle;
    }
}

TEST(HoughTrans, FailedAccumulatorLeavesNoBlockAndNoLine) {
    imgdesk::test::MemoryProbe probe;
    const int live = probe.LiveBlocks();
    Bytes edges = Outline(120, 100, 0, 10, 100, 10, 80);
    _STRAIGHTLINE line{};
    int result = -1;
    const int allocations = imgdesk::test::ForEachFailingAllocation(
        probe,
        [&] {
            line = _STRAIGHTLINE{7, 8, 9};
            result = CDataHandler().HoughTrans(edges.data(), 120, 100, line);
        },
        [&](int) {
            EXPECT_EQ(result, 0);
            ExpectLine(line, 7, 8, 9);
            EXPECT_EQ(probe.LiveBlocks(), live);
        });
    EXPECT_EQ(allocations, 1);
    EXPECT_EQ(result, 1);
    ExpectLine(line, 91, 10, 45);
    EXPECT_EQ(probe.LiveBlocks(), live);
}

}  // namespace
