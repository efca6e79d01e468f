#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "FilterTestSupport.h"
#include "pixel/DataHandler.h"

using imgdesk::test::Bytes;
using imgdesk::test::ExpectCleanRefusals;
using imgdesk::test::RandomBytes;

namespace {

// A picture from rows of text: '#' bright (200), '+' bright (130), '.' dark (0), digits dark
// (digit).
Bytes Picture(const std::vector<std::string>& rows) {
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
    const Bytes input = Picture({
        "#########",
        "#.......#",
        "#.#####.#",
        "#.#####.#",
        "#.#####.#",
        "#.#####.#",
        "#.#####.#",
        "#.......#",
        "#.+++++.#",
        ".........",
    });
    const Bytes out = ExpectCleanRefusals(
        input, [](unsigned char* b) { return CDataHandler().RegionCorrosion(b, 9, 10); });
    EXPECT_EQ(Picture({
                  ".........",
                  ".........",
                  "...###...",
                  "..#####..",
                  "..#####..",
                  "..#####..",
                  "...###...",
                  ".........",
                  ".........",
                  ".........",
              }),
              out);

    Bytes small = RandomBytes(2 * 7, 3, 126, 255);
    ASSERT_EQ(1, CDataHandler().RegionCorrosion(small.data(), 2, 7));
    EXPECT_EQ(Bytes(14, 0), small);
    EXPECT_EQ(0, CDataHandler().RegionCorrosion(nullptr, 3, 3));
    EXPECT_EQ(0, CDataHandler().RegionCorrosion(small.data(), 3, 0));
}

// Keeping the largest region the way it was first written: a fill per region into a cleared copy.
Bytes ReferenceLargestRegion(const Bytes& in, int width, int height) {
    Bytes marks(in.size(), 0), copy(in.size()), best(in.size(), 0);
    unsigned long bestSize = 0;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const size_t at = static_cast<size_t>(y) * width + x;
            if (marks[at] || in[at] <= 125)
                continue;
            std::fill(copy.begin(), copy.end(), 0);
            Bytes source = in;
            const unsigned long size = CDataHandler().AnalysisPotEx(
                source.data(), width, height, marks.data(), y, x, copy.data());
            if (size > bestSize) {
                bestSize = size;
                best = copy;
            }
        }
    return bestSize > 0 ? best : in;
}

TEST(RegionAnalysis, KeepsTheLargestRegionWithItsValues) {
    const Bytes input = Picture({
        "##3......###",
        "#....##..#+#",
        "#...#....###",
        "#...#...4#..",
        "##.#....#...",
        "#..#........",
    });
    const Bytes out = ExpectCleanRefusals(
        input, [](unsigned char* b) { return CDataHandler().RegionAnalysis(b, 12, 6); });
    // Left region: 8 pixels, right region: 10; pixels touching only at a corner, such as (8, 4),
    // stay apart.
    EXPECT_EQ(Picture({
                  ".........###",
                  ".........#+#",
                  ".........###",
                  ".........#..",
                  "............",
                  "............",
              }),
              out);
}

TEST(RegionAnalysis, TiesGoToTheRegionMetFirstAndDarkBuffersStay) {
    const Bytes input = Picture({
        "......##",
        "##....##",
        "##......",
    });
    Bytes out = input;
    ASSERT_EQ(1, CDataHandler().RegionAnalysis(out.data(), 8, 3));
    EXPECT_EQ(Picture({"......##", "......##", "........"}), out);

    const Bytes dark = RandomBytes(40, 8, 0, 125);
    out = ExpectCleanRefusals(
        dark, [](unsigned char* b) { return CDataHandler().RegionAnalysis(b, 8, 5); });
    EXPECT_EQ(dark, out);
    EXPECT_EQ(0, CDataHandler().RegionAnalysis(nullptr, 8, 5));
}

TEST(RegionAnalysis, AgreesWithFillingEveryRegion) {
    // Noise of several densities gives many regions of every shape, ties included; width 150
    // crosses the 64-pixel scanning blocks.
    for (int density : {20, 45, 55, 70}) {
        for (auto [width, height] :
             {std::pair{150, 40}, std::pair{7, 9}, std::pair{64, 3}, std::pair{1, 30}}) {
            Bytes input = RandomBytes(static_cast<size_t>(width) * height, density * 97 + width);
            for (auto& b : input)
                b = b * 100 / 255 < density ? static_cast<unsigned char>(126 + b % 130) : b % 126;
            Bytes out = input;
            ASSERT_EQ(1, CDataHandler().RegionAnalysis(out.data(), width, height));
            ASSERT_EQ(ReferenceLargestRegion(input, width, height), out)
                << density << " " << width << "x" << height;
        }
    }
}

TEST(AnalysisPot, BothFillsAgreeAndMarksCarryOver) {
    const Bytes input = Picture({
        "###..#",
        "#.#.##",
        "###..#",
        "...#.#",
    });
    for (auto fill : {&CDataHandler::AnalysisPot, &CDataHandler::AnalysisPotEx}) {
        Bytes source = input, marks(input.size(), 0), copy(input.size(), 0);
        EXPECT_EQ(8u, (CDataHandler().*fill)(source.data(), 6, 4, marks.data(), 0, 0, copy.data()));
        EXPECT_EQ(Picture({"###...", "#.#...", "###...", "......"}), copy);
        EXPECT_EQ(input, source);
        // A dark seed is taken as it is and spreads into bright unmarked neighbours: (4, 1) -> (5,
        // *).
        EXPECT_EQ(6u, (CDataHandler().*fill)(source.data(), 6, 4, marks.data(), 1, 3, copy.data()));
        EXPECT_EQ(Picture({"###..#", "#.#.##", "###..#", ".....#"}), copy);
        // Marks carry over: a new fill from a marked pixel fills only itself.
        EXPECT_EQ(1u, (CDataHandler().*fill)(source.data(), 6, 4, marks.data(), 1, 0, copy.data()));
        int marked = 0;
        for (auto m : marks)
            marked += m;
        EXPECT_EQ(14, marked);

        EXPECT_EQ(0u, (CDataHandler().*fill)(nullptr, 6, 4, marks.data(), 0, 0, copy.data()));
        EXPECT_EQ(0u, (CDataHandler().*fill)(source.data(), 6, 4, nullptr, 0, 0, copy.data()));
        EXPECT_EQ(0u, (CDataHandler().*fill)(source.data(), 0, 4, marks.data(), 0, 0, copy.data()));
        EXPECT_EQ(0u, (CDataHandler().*fill)(source.data(), 6, 0, marks.data(), 0, 0, copy.data()));
    }
}

TEST(AnalysisPot, TenMillionPixelRegion) {
    // One region of 10 million pixels: a recursion per pixel would exhaust any call stack.
    const int width = 4000, height = 2500;
    Bytes source(static_cast<size_t>(width) * height, 200);
    source[5] = 100;  // one dark pixel in the first row
    for (auto fill : {&CDataHandler::AnalysisPot, &CDataHandler::AnalysisPotEx}) {
        Bytes marks(source.size(), 0), copy(source.size(), 0);
        EXPECT_EQ(10000000ul - 1, (CDataHandler().*fill)(source.data(), width, height, marks.data(),
                                                         height / 2, width / 2, copy.data()));
        EXPECT_EQ(0, marks[5]);
        EXPECT_EQ(1, marks[0]);
        EXPECT_EQ(1, marks.back());
        EXPECT_EQ(200, copy[width]);
    }
}

TEST(FillRegion, RowSpansThenColumnSpans) {
    const int width = 12, height = 8;
    Bytes source(width * height, 200);
    Bytes region(width * height, 0);
    region[5 * width + 2] = 255;
    region[5 * width + 8] = 255;
    EXPECT_EQ(14, CDataHandler().FillRegion(source.data(), width, height, region.data()));
    for (int i = 0; i < width * height; ++i)
        EXPECT_EQ(i >= 5 * width + 2 && i <= 5 * width + 8 ? 200 : 0, region[i]);

    // The column pass works on the row pass's result: column 2 was bright at row 0 before the row
    // pass copied a dark source pixel there, so it spans row 2 alone.
    Bytes source2 = Picture({"##.##", "#####", "#####"});
    Bytes region2 = Picture({"#.#.#", ".....", "..#.."});
    EXPECT_EQ(5 + 1 + 5, CDataHandler().FillRegion(source2.data(), 5, 3, region2.data()));
    EXPECT_EQ(Picture({"##.##", ".....", "..#.."}), region2);
}

}  // namespace
