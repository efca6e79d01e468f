#include <gtest/gtest.h>

#include <array>

#include "pixel/DataHandler.h"
#include "pixel/internal/PixelLayout.h"
#include "support/MemoryProbe.h"
#include "support/PixelPictures.h"

namespace {

using imgdesk::pixel::RowStride;
using namespace imgdesk::test;

// 3 x 3 truncated mean of the interior, each of bytesPerPixel channels alone; the frame gets
// frameValue, or keeps its value when frameValue is negative.
Bytes ReferenceMean(const Bytes& in, int width, int height, int stride, int bytesPerPixel,
                    int frameValue) {
    Bytes out = in;
    for (int y = 0; y < height; ++y)
        for (int i = 0; i < width * bytesPerPixel; ++i) {
            const size_t at = size_t(y) * stride + i;
            const int x = i / bytesPerPixel;
            if (x == 0 || y == 0 || x == width - 1 || y == height - 1) {
                out[at] = frameValue < 0 ? in[at] : static_cast<unsigned char>(frameValue);
                continue;
            }
            int sum = 0;
            for (int dy = -1; dy <= 1; ++dy)
                for (int dx = -1; dx <= 1; ++dx)
                    sum += in[at + dy * stride + dx * bytesPerPixel];
            out[at] = static_cast<unsigned char>(sum / 9);
        }
    return out;
}

TEST(MedianFilter, BoxMeanWithClearedFrame) {
    for (auto [width, height] : {std::pair{3, 3}, {17, 6}, {1100, 4}, {2, 5}}) {  // 2 x 5: all 0
        const Bytes input = RandomBytes(size_t(width) * height, width, 1, 255);
        EXPECT_EQ(ReferenceMean(input, width, height, width, 1, 0),
                  ExpectCleanRefusals(input,
                                      [&](unsigned char* b) {
                                          return CDataHandler().MedianFilter(b, width, height);
                                      }))
            << width << "x" << height;
    }
    // Uniform 90 keeps 90 inside; a block summing to 17 gives 1.
    Bytes uniform(6 * 5, 90), seventeen = {9, 0, 0, 0, 8, 0, 0, 0, 0};
    ASSERT_EQ(1, CDataHandler().MedianFilter(uniform.data(), 6, 5));
    ASSERT_EQ(1, CDataHandler().MedianFilter(seventeen.data(), 3, 3));
    EXPECT_EQ(90, uniform[6 + 1]);
    EXPECT_EQ(1, seventeen[4]);
    unsigned char byte = 7;
    EXPECT_EQ(0, CDataHandler().MedianFilter(nullptr, 3, 3));
    EXPECT_EQ(0, CDataHandler().MedianFilter(&byte, 0, 1));
    EXPECT_EQ(0, CDataHandler().MedianFilter(&byte, 1, -1));
    EXPECT_EQ(7, byte);
}

TEST(Colour24MedianFilter, PerChannelMeanKeepsFrameAndPadding) {
    for (auto [width, height] : {std::pair{5, 4}, {3, 3}, {250, 3}, {2, 6}}) {
        const Bytes input = RandomBytes(size_t(RowStride(width, 24)) * height, height * 13 + width);
        EXPECT_EQ(ReferenceMean(input, width, height, RowStride(width, 24), 3, -1),
                  ExpectCleanRefusals(input,
                                      [&](unsigned char* b) {
                                          return CDataHandler().Colour24MedianFilter(b, width,
                                                                                     height);
                                      }))
            << width << "x" << height;
    }
}

TEST(Colour24MedianFilterEx, ReplacesOnlyStrictImpulses) {
    // 3 x 3 pixels, rows of 12 bytes: the centre at byte 15, its neighbours above, below, left and
    // right at 3, 27, 12 and 18.
    const auto make = [](std::array<int, 3> centre, std::array<int, 4> neighbours,
                         int redOffset = 0) {
        Bytes b(36, 0);
        for (int c = 0; c < 3; ++c) {
            b[15 + c] = static_cast<unsigned char>(centre[c]);
            for (int k = 0; k < 4; ++k)
                b[std::array{3, 27, 12, 18}[k] + c] =
                    static_cast<unsigned char>(neighbours[k] + c + (c == 2) * redOffset);
        }
        return b;
    };
    const auto run = [](Bytes b) {
        EXPECT_EQ(1, CDataHandler().Colour24MedianFilterEx(b.data(), 3, 3));
        return b;
    };
    EXPECT_EQ(make({0, 1, 2}, {0, 0, 0, 0}),
              run(make({255, 255, 255}, {0, 0, 0, 0})));                // white speck
    for (const Bytes& kept : {make({255, 255, 2}, {0, 0, 0, 0}),        // one channel ties
                              make({200, 200, 10}, {0, 0, 0, 0}, 48)})  // darker in red only
        EXPECT_EQ(kept, run(kept));
    // A dark impulse takes the truncated mean of its four neighbours: 101, 105, 109 over 4.
    const Bytes dark = make({5, 5, 5}, {10, 20, 30, 41});
    const Bytes cleaned = ExpectCleanRefusals(
        dark, [](unsigned char* b) { return CDataHandler().Colour24MedianFilterEx(b, 3, 3); });
    EXPECT_EQ((Bytes{25, 26, 27}), Bytes(&cleaned[15], &cleaned[18]));
    // Decisions read the input: two neighbouring white specks are no impulses, a lone one is.
    Picture specks(7, 3, 24, 0);
    for (int x : {1, 2, 5})
        specks.Set(x, 1, 255);
    ASSERT_EQ(1, CDataHandler().Colour24MedianFilterEx(specks.data(), 7, 3));
    EXPECT_EQ(255, *specks.At(1, 1));
    EXPECT_EQ(255, *specks.At(2, 1));
    EXPECT_EQ(0, *specks.At(5, 1));
}

}  // namespace
