#include <gtest/gtest.h>

#include <cstdint>
#include <utility>
#include <vector>

#include "pixel/DataHandler.h"
#include "support/MemoryProbe.h"

namespace {

using imgdesk::test::MemoryProbe;
using Grey = std::vector<unsigned char>;

// The fill as its contract describes it: a stack of (x, y) on which the top entry whitens and
// pushes its first dark neighbour (above, left, below, right), or is removed when it has none.
unsigned long ReferenceFill(Grey& g, int w, int h, int seedY, int seedX) {
    std::vector<std::pair<int, int>> stack{{seedX, seedY}};
    g[seedY * w + seedX] = 255;
    unsigned long count = 1;
    while (!stack.empty()) {
        const auto [x, y] = stack.back();
        const std::pair<int, int> around[] = {{x, y - 1}, {x - 1, y}, {x, y + 1}, {x + 1, y}};
        bool pushed = false;
        for (auto [nx, ny] : around) {
            if (nx < 0 || ny < 0 || nx >= w || ny >= h || g[ny * w + nx] >= 125)
                continue;
            g[ny * w + nx] = 255;
            stack.push_back({nx, ny});
            ++count;
            pushed = true;
            break;
        }
        if (!pushed)
            stack.pop_back();
    }
    return count;
}

unsigned long Fill(Grey& g, int w, int h, int seedY, int seedX) {
    return CDataHandler().DelBlackSide(g.data(), w, h, seedY, seedX);
}

// Random levels, dark with the given probability (per 256), else bright; some 124 and 125.
Grey RandomPicture(int w, int h, int darkPer256, std::uint32_t seed) {
    Grey g(static_cast<size_t>(w) * h);
    for (auto& level : g) {
        seed = seed * 1664525u + 1013904223u;
        const int r = seed >> 24;
        const int v = (seed >> 8) & 0xFF;
        level = static_cast<unsigned char>(r < darkPer256 ? (v % 8 == 0 ? 124 : v % 125)
                                                          : (v % 8 == 0 ? 125 : 125 + v % 131));
    }
    return g;
}

TEST(DelBlackSide, WhitensWhatTheStackFillWhitens) {
    const std::pair<int, int> sizes[] = {{1, 1}, {1, 9}, {9, 1}, {7, 5}, {33, 21}, {64, 48}};
    std::uint32_t seed = 7;
    for (auto [w, h] : sizes) {
        for (int dark : {60, 140, 200, 256}) {
            for (int trial = 0; trial < 6; ++trial) {
                const Grey original = RandomPicture(w, h, dark, seed += 977);
                const int sx = static_cast<int>(seed % w), sy = static_cast<int>((seed >> 8) % h);
                Grey expected = original, actual = original;
                const unsigned long count = ReferenceFill(expected, w, h, sy, sx);
                ASSERT_EQ(Fill(actual, w, h, sy, sx), count) << w << "x" << h << " seed " << seed;
                ASSERT_EQ(actual, expected) << w << "x" << h << " seed " << seed;
            }
        }
    }
}

TEST(DelBlackSide, FrameAroundAPageBecomesWhite) {
    const int w = 20, h = 16;
    Grey g(w * h, 200);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            if (x < 2 || y < 2 || x >= w - 2 || y >= h - 2)
                g[y * w + x] = 0;
    g[8 * w + 8] = 0;  // a mark inside the page stays
    EXPECT_EQ(Fill(g, w, h, 0, 0), static_cast<unsigned long>(w * h - (w - 4) * (h - 4)));
    for (int i = 0; i < w * h; ++i)
        EXPECT_EQ(g[i], i == 8 * w + 8 ? 0 : (g[i] == 255 ? 255 : 200));
    EXPECT_EQ(g[0], 255);
    EXPECT_EQ(g[(h - 1) * w + w - 1], 255);
}

TEST(DelBlackSide, ThresholdDiagonalsAndBrightSeeds) {
    // 3 x 3, rows in memory order.
    Grey g = {124, 125, 10,  //
              0,   255, 10,  //
              10,  124, 30};
    // Seeded on the bright centre: it counts and fills its dark edge neighbours onwards; 125 and
    // the corner reached only diagonally... the corner (2, 0) is reached through (2, 1).
    EXPECT_EQ(Fill(g, 3, 3, 1, 1), 8u);
    EXPECT_EQ(g, Grey({255, 125, 255, 255, 255, 255, 255, 255, 255}));

    Grey diagonal = {0, 200, 200, 0};
    EXPECT_EQ(Fill(diagonal, 2, 2, 0, 0), 1u);
    EXPECT_EQ(diagonal, Grey({255, 200, 200, 0}));

    Grey white = {255, 255, 255};
    EXPECT_EQ(Fill(white, 3, 1, 0, 1), 1u);
}

TEST(DelBlackSide, RefusesNullAndEmptyBuffers) {
    Grey g = {0};
    EXPECT_EQ(CDataHandler().DelBlackSide(nullptr, 1, 1, 0, 0), 0u);
    EXPECT_EQ(Fill(g, 0, 1, 0, 0), 0u);
    EXPECT_EQ(Fill(g, 1, 0, 0, 0), 0u);
    EXPECT_EQ(g[0], 0);
}

TEST(DelBlackSide, SmallFillsTakeNoMemory) {
    MemoryProbe probe;
    Grey g(100 * 100, 200);
    for (int i = 0; i < 200; ++i)
        g[i] = 0;  // two rows of 100
    EXPECT_EQ(Fill(g, 100, 100, 0, 50), 200u);
    EXPECT_EQ(probe.Allocations(), 0);
}

TEST(DelBlackSide, RunningOutOfMemoryRestoresTheBuffer) {
    MemoryProbe probe;
    const int w = 300, h = 200;
    const Grey original = RandomPicture(w, h, 230, 99);
    Grey expected = original;
    const unsigned long count = ReferenceFill(expected, w, h, 100, 150);
    ASSERT_GT(count, 20000u);  // several blocks of working memory
    Grey g;
    unsigned long result = 0;
    const int allocations = imgdesk::test::ForEachFailingAllocation(
        probe,
        [&] {
            g = original;
            result = Fill(g, w, h, 100, 150);
        },
        [&](int n) {
            EXPECT_EQ(result, 0u) << "allocation " << n;
            EXPECT_TRUE(g == original) << "allocation " << n;
            EXPECT_EQ(probe.LiveBlocks(), 0);
        });
    EXPECT_GE(allocations, 3);
    EXPECT_EQ(result, count);
    EXPECT_TRUE(g == expected);
    EXPECT_EQ(probe.LiveBlocks(), 0);
}

TEST(DelBlackSide, FillsAWholeDarkPicture) {
    // Every pixel dark: the working memory grows to (and never beyond) one entry per pixel.
    for (auto [w, h] : {std::pair{1, 1000}, {257, 3}, {512, 512}}) {
        Grey g(static_cast<size_t>(w) * h, 0);
        EXPECT_EQ(Fill(g, w, h, h - 1, w - 1), static_cast<unsigned long>(w * h));
        EXPECT_EQ(g, Grey(g.size(), 255));
    }
}

}  // namespace
