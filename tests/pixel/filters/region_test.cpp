#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <tuple>
#include <vector>

#include "pixel/DataHandler.h"
#include "support/MemoryProbe.h"
#include "support/PixelPictures.h"

namespace {

using namespace imgdesk::test;

// A picture from rows of text: '#' bright (200), '+' bright (130), '.' dark (0), digits dark.
Bytes Text(const std::vector<std::string>& rows) {
    Bytes bytes;
    for (const auto& row : rows)
        for (char c : row)
            bytes.push_back(c == '#'   ? 200
                            : c == '+' ? 130
                            : c == '.' ? 0
                                       : static_cast<unsigned char>(c - '0'));
    return bytes;
}

TEST(RegionCorrosion, RemovesThinPartsCornersAndFrame) {
    const Bytes input = Text({"#########", "#.......#", "#.#####.#", "#.#####.#", "#.#####.#",
                              "#.#####.#", "#.#####.#", "#.......#", "#.+++++.#", "........."});
    EXPECT_EQ(Text({".........", ".........", "...###...", "..#####..", "..#####..", "..#####..",
                    "...###...", ".........", ".........", "........."}),
              ExpectCleanRefusals(input, [](unsigned char* b) {
                  return CDataHandler().RegionCorrosion(b, 9, 10);
              }));
    Bytes small = RandomBytes(2 * 7, 3, 126, 255);
    ASSERT_EQ(1, CDataHandler().RegionCorrosion(small.data(), 2, 7));
    EXPECT_EQ(Bytes(14, 0), small);
    EXPECT_EQ(0, CDataHandler().RegionCorrosion(nullptr, 3, 3));
    EXPECT_EQ(0, CDataHandler().RegionCorrosion(small.data(), 3, 0));
}

// Keeping the largest region as first defined: a fill per region into a cleared copy.
Bytes ReferenceLargestRegion(Bytes in, int width, int height) {
    Bytes marks(in.size(), 0), copy(in.size()), best;
    unsigned long bestSize = 0;
    for (int i = 0; i < width * height; ++i) {
        if (marks[i] || in[i] <= 125)
            continue;
        std::fill(copy.begin(), copy.end(), 0);
        const unsigned long size = CDataHandler().AnalysisPotEx(
            in.data(), width, height, marks.data(), i / width, i % width, copy.data());
        if (size > bestSize)
            bestSize = size, best = copy;
    }
    return bestSize > 0 ? best : in;
}

TEST(RegionAnalysis, KeepsTheLargestRegionWithItsValues) {
    // 8 pixels left, 10 right; (8, 4) touches the right region only at a corner. Of two equal
    // regions the one met first stays; a buffer without bright pixels stays as it is.
    const std::tuple<int, Bytes, Bytes> cases[] = {
        {12,
         Text({"##3......###", "#....##..#+#", "#...#....###", "#...#...4#..", "##.#....#...",
               "#..#........"}),
         Text({".........###", ".........#+#", ".........###", ".........#..", "............",
               "............"})},
        {8, Text({"......##", "##....##", "##......"}), Text({"......##", "......##", "........"})},
        {8, RandomBytes(8 * 5, 8, 0, 125), {}},
    };
    for (const auto& [width, input, expected] : cases) {
        const int height = int(input.size()) / width;
        EXPECT_EQ(expected.empty() ? input : expected,
                  ExpectCleanRefusals(input, [&](unsigned char* b) {
                      return CDataHandler().RegionAnalysis(b, width, height);
                  }));
    }
    EXPECT_EQ(0, CDataHandler().RegionAnalysis(nullptr, 8, 5));
    // Noise of several densities gives many regions of every shape, ties included; width 150
    // crosses the 64-pixel scanning blocks.
    for (int density : {20, 45, 55, 70})
        for (auto [width, height] : {std::pair{150, 40}, {7, 9}, {64, 3}, {1, 30}}) {
            Bytes input = RandomBytes(size_t(width) * height, density * 97 + width);
            for (auto& b : input)
                b = b * 100 / 255 < density ? static_cast<unsigned char>(126 + b % 130) : b % 126;
            Bytes out = input;
            ASSERT_EQ(1, CDataHandler().RegionAnalysis(out.data(), width, height));
            ASSERT_EQ(ReferenceLargestRegion(input, width, height), out)
                << density << " " << width << "x" << height;
        }
}

TEST(AnalysisPot, BothFillsAgreeAndMarksCarryOver) {
    const Bytes input = Text({"###..#", "#.#.##", "###..#", "...#.#"});
    for (auto fill : {&CDataHandler::AnalysisPot, &CDataHandler::AnalysisPotEx}) {
        Bytes source = input, marks(input.size(), 0), copy(input.size(), 0);
        const auto run = [&](int y, int x) {
            return (CDataHandler().*fill)(source.data(), 6, 4, marks.data(), y, x, copy.data());
        };
        EXPECT_EQ(8u, run(0, 0));
        EXPECT_EQ(Text({"###...", "#.#...", "###...", "......"}), copy);
        // A dark seed is taken as it is and spreads into bright unmarked neighbours.
        EXPECT_EQ(6u, run(1, 3));
        EXPECT_EQ(Text({"###..#", "#.#.##", "###..#", ".....#"}), copy);
        EXPECT_EQ(1u, run(1, 0));  // a marked seed fills only itself
        EXPECT_EQ(14, std::count(marks.begin(), marks.end(), 1));
        EXPECT_EQ(input, source);
        EXPECT_EQ(0u, (CDataHandler().*fill)(nullptr, 6, 4, marks.data(), 0, 0, copy.data()));
        EXPECT_EQ(0u, (CDataHandler().*fill)(source.data(), 6, 4, nullptr, 0, 0, copy.data()));
        EXPECT_EQ(0u, (CDataHandler().*fill)(source.data(), 0, 4, marks.data(), 0, 0, copy.data()));
        EXPECT_EQ(0u, (CDataHandler().*fill)(source.data(), 6, 0, marks.data(), 0, 0, copy.data()));
    }
    // One region of ten million pixels: a recursion per pixel would exhaust any call stack. Both
    // entry points share this fill, so one run covers them.
    Bytes big(10000000, 200), bigMarks(big.size(), 0), bigCopy(big.size(), 0);
    big[5] = 100;
    EXPECT_EQ(10000000ul - 1, CDataHandler().AnalysisPotEx(big.data(), 4000, 2500, bigMarks.data(),
                                                           1250, 2000, bigCopy.data()));
    EXPECT_EQ(0, bigMarks[5]);
    EXPECT_EQ(1, bigMarks.back());
}

TEST(FillRegion, RowSpansThenColumnSpans) {
    // Region ends at (2, 5) and (8, 5): the row pass copies source columns 2 to 8 of row 5.
    Bytes source(12 * 8, 200), region(12 * 8, 0);
    region[5 * 12 + 2] = region[5 * 12 + 8] = 255;
    EXPECT_EQ(14, CDataHandler().FillRegion(source.data(), 12, 8, region.data()));
    for (int i = 0; i < 12 * 8; ++i)
        EXPECT_EQ(i >= 5 * 12 + 2 && i <= 5 * 12 + 8 ? 200 : 0, region[i]);
    // The column pass works on the row pass's result: column 2 was bright at row 0 before the row
    // pass copied a dark source pixel there, so it spans row 2 alone.
    Bytes source2 = Text({"##.##", "#####", "#####"}), region2 = Text({"#.#.#", ".....", "..#.."});
    EXPECT_EQ(5 + 1 + 5, CDataHandler().FillRegion(source2.data(), 5, 3, region2.data()));
    EXPECT_EQ(Text({"##.##", ".....", "..#.."}), region2);
}

}  // namespace
