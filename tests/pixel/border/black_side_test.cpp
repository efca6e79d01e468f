#include <gtest/gtest.h>

#include <cstdint>
#include <utility>
#include <vector>

#include "pixel/DataHandler.h"
#include "support/MemoryProbe.h"
#include "support/PixelPictures.h"

namespace {

using namespace imgdesk::test;

// The fill as its contract describes it: a stack of (x, y) whose top entry whitens and pushes its
// first dark neighbour (above, left, below, right), or is removed when it has none.
unsigned long ReferenceFill(Bytes& g, int w, int h, int seedY, int seedX) {
    std::vector<std::pair<int, int>> stack{{seedX, seedY}};
    g[seedY * w + seedX] = 255;
    unsigned long count = 1;
    while (!stack.empty()) {
        const auto [x, y] = stack.back();
        const std::pair<int, int> around[] = {{x, y - 1}, {x - 1, y}, {x, y + 1}, {x + 1, y}};
        bool pushed = false;
        for (auto [nx, ny] : around)
            if (!pushed && nx >= 0 && ny >= 0 && nx < w && ny < h && g[ny * w + nx] < 125) {
                g[ny * w + nx] = 255;
                stack.push_back({nx, ny});
                ++count, pushed = true;
            }
        if (!pushed)
            stack.pop_back();
    }
    return count;
}

// Levels dark with the given probability (per 256), else bright, with many 124s and 125s.
Bytes DarkAndBright(int w, int h, int darkPer256, std::uint32_t seed) {
    Bytes g = RandomBytes(size_t(w) * h, seed);
    const Bytes dark = RandomBytes(g.size(), seed + 1);
    for (size_t i = 0; i < g.size(); ++i)
        g[i] = dark[i] < darkPer256 ? (g[i] % 8 ? g[i] % 125 : 124)
                                    : (g[i] % 8 ? 125 + g[i] % 131 : 125);
    return g;
}

unsigned long Fill(Bytes& g, int w, int h, int seedY, int seedX) {
    return CDataHandler().DelBlackSide(g.data(), w, h, seedY, seedX);
}

TEST(DelBlackSide, WhitensWhatTheStackFillWhitens) {
    std::uint32_t seed = 7;
    for (auto [w, h] :
         {std::pair{1, 1}, {1, 9}, {9, 1}, {7, 5}, {33, 21}, {64, 48}, {1, 1000}, {512, 512}})
        for (int dark : {60, 140, 200, 256})
            for (int trial = 0; trial < 4; ++trial) {
                Bytes expected = DarkAndBright(w, h, dark, seed += 977), actual = expected;
                const int sx = static_cast<int>(seed % w), sy = static_cast<int>((seed >> 8) % h);
                ASSERT_EQ(ReferenceFill(expected, w, h, sy, sx), Fill(actual, w, h, sy, sx))
                    << w << "x" << h << " " << seed;
                ASSERT_EQ(expected, actual) << w << "x" << h << " seed " << seed;
            }
}

TEST(DelBlackSide, SeedsThresholdAndDiagonals) {
    // A bright seed counts and fills on; 125 stops the fill, 124 does not; diagonals stay apart.
    Bytes small = {124, 125, 10, 0, 255, 10, 10, 124, 30}, diagonal = {0, 200, 200, 0};
    EXPECT_EQ(8u, Fill(small, 3, 3, 1, 1));
    EXPECT_EQ((Bytes{255, 125, 255, 255, 255, 255, 255, 255, 255}), small);
    EXPECT_EQ(1u, Fill(diagonal, 2, 2, 0, 0));
    EXPECT_EQ((Bytes{255, 200, 200, 0}), diagonal);
}

TEST(DelBlackSide, RefusalsAndFailingAllocations) {
    Bytes g = {0};
    EXPECT_EQ(0u, CDataHandler().DelBlackSide(nullptr, 1, 1, 0, 0));
    EXPECT_EQ(0u, Fill(g, 0, 1, 0, 0));
    EXPECT_EQ(0u, Fill(g, 1, 0, 0, 0));
    EXPECT_EQ(0, g[0]);
    // A fill too large for its first working block: when memory runs out it puts every level back.
    const Bytes original = DarkAndBright(300, 200, 230, 99);
    Bytes expected = original, work;
    const unsigned long count = ReferenceFill(expected, 300, 200, 100, 150);
    unsigned long result = 0;
    const int allocations =
        ExpectCleanFailures([&] { work = original, result = Fill(work, 300, 200, 100, 150); },
                            [&](int failed) {
                                EXPECT_EQ(failed ? 0u : count, result);
                                EXPECT_EQ(failed ? original : expected, work);
                            });
    EXPECT_GE(allocations, 3);
}

}  // namespace
