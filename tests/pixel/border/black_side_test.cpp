#include <gtest/gtest.h>

#include <cstdint>
#include <utility>
#include <vector>

#include "pixel/DataHandler.h"
#include "support/MemoryProbe.h"
#include "support/PixelPictures.h"

namespace {

using namespace imgdesk::test;

// The fill as its contract describes it, recursively (small pictures only): a whitened pixel
// goes on to its dark neighbours above, left, below and right, in that order.
unsigned long ReferenceFill(Bytes& g, int w, int h, int y, int x) {
    g[y * w + x] = 255;
    unsigned long count = 1;
    for (auto [nx, ny] : {std::pair{x, y - 1}, {x - 1, y}, {x, y + 1}, {x + 1, y}})
        if (nx >= 0 && ny >= 0 && nx < w && ny < h && g[ny * w + nx] < 125)
            count += ReferenceFill(g, w, h, ny, nx);
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

TEST(DelBlackSide, WhitensWhatTheReferenceFillWhitens) {
    Bytes expected = DarkAndBright(64, 48, 140, 7), actual = expected;
    ASSERT_EQ(ReferenceFill(expected, 64, 48, 20, 30), Fill(actual, 64, 48, 20, 30));
    EXPECT_EQ(expected, actual);
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
    const unsigned long count = Fill(expected, 300, 200, 100, 150);
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
