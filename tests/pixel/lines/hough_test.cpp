#include <gtest/gtest.h>

#include <tuple>

#include "LineFixtures.h"
#include "support/MemoryProbe.h"

namespace {

using namespace lines_test;

TEST(HoughTrans, WorkedLines) {
    // No byte above 125, or edges within a single row (threshold 0): the all-zero record. Of an
    // upright outline's two long sides the first visited wins, 126 being an edge like 255; a
    // horizontal and a vertical line of equal votes go to the first visited too.
    Bytes run(64 * 48, 0), cross(160 * 120, 0);
    for (int x = 5; x < 60; ++x)
        run[20 * 64 + x] = 255;
    for (int i = 0; i < 60; ++i)
        cross[5 * 160 + 20 + i] = cross[(40 + i) * 160 + 100] = 255;
    const Frame upright{0, 50, 149, 40, 99};
    const std::tuple<Bytes, int, int, _STRAIGHTLINE> cases[] = {
        {Bytes(64 * 48, 125), 64, 48, {0, 0, 0}},
        {run, 64, 48, {0, 0, 0}},
        {Outline(320, 256, upright), 320, 256, {100, 40, 45}},
        {Outline(320, 256, upright, 126), 320, 256, {100, 40, 45}},
        {cross, 160, 120, {60, 5, 45}},
    };
    int k = 0;
    for (auto [edges, width, height, expected] : cases) {
        _STRAIGHTLINE line{-1, -1, -1};
        EXPECT_EQ(1, CDataHandler().HoughTrans(edges.data(), width, height, line));
        EXPECT_EQ(Of(&expected, 1), Of(&line, 1)) << k++;
    }
    // Turned outlines give one of their two directions.
    for (int a = 0; a < 90; a += 7) {
        Bytes edges = Outline(320, 256, Centred(a, 160, 128, 70, 40));
        _STRAIGHTLINE line{};
        CDataHandler().HoughTrans(edges.data(), 320, 256, line);
        EXPECT_GT(line.votes, 0) << a;
        EXPECT_TRUE(line.angle == a || line.angle == (a + 45) % 90) << a << " " << line.angle;
    }
}

TEST(HoughTrans, RefusalsAndFailingAllocations) {
    Bytes edges = Outline(120, 100, Frame{0, 10, 100, 10, 80});
    for (auto [data, width, height] : {std::tuple{edges.data(), 120, 100},
                                       {(unsigned char*)nullptr, 120, 100},
                                       {edges.data(), 0, 100},
                                       {edges.data(), 120, -1}}) {
        _STRAIGHTLINE line;
        int result = -1;
        imgdesk::test::ExpectCleanFailures(
            [&] {
                line = {7, 8, 9};
                result = CDataHandler().HoughTrans(data, width, height, line);
            },
            [&](int failed) {
                const bool done = data && width > 0 && height > 0 && !failed;
                EXPECT_EQ(done, result);
                EXPECT_EQ((done ? std::vector{91, 10, 45} : std::vector{7, 8, 9}), Of(&line, 1));
            });
    }
}

}  // namespace
