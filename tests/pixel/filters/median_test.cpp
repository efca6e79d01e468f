#include <gtest/gtest.h>

#include <array>

#include "pixel/DataHandler.h"
#include "pixel/internal/PixelLayout.h"
#include "support/MemoryProbe.h"
#include "support/PixelPictures.h"

namespace {

using imgdesk::pixel::RowStride;
using namespace imgdesk::test;

// 3 x 3 truncated mean of the interior, each channel alone; the frame becomes 0 (grey) or stays
// (colour).
Bytes ReferenceMean(const Bytes& in, int width, int height, int bytesPerPixel) {
    const int stride = bytesPerPixel == 1 ? width : RowStride(width, 24);
    Bytes out = in;
    for (int y = 0; y < height; ++y)
        for (int i = 0; i < width * bytesPerPixel; ++i) {
            const size_t at = size_t(y) * stride + i;
            const int x = i / bytesPerPixel;
            int sum = 0;
            for (int k = 0; k < 9; ++k)
                sum += x == 0 || y == 0 || x == width - 1 || y == height - 1
                           ? 0
                           : in[at + (k / 3 - 1) * stride + (k % 3 - 1) * bytesPerPixel];
            out[at] = sum || bytesPerPixel == 1 ? static_cast<unsigned char>(sum / 9) : in[at];
        }
    return out;
}

TEST(MedianFilters, BoxMeanOfEachChannel) {
    // Grey: the frame cleared (2 x 5: all 0); colour: frame and padding kept. Inputs avoid 0 so
    // that a kept frame shows.
    for (int b : {1, 3})
        for (auto [width, height] : {std::pair{3, 3}, {17, 6}, {1100, 4}, {2, 5}, {250, 3}}) {
            const int stride = b == 1 ? width : RowStride(width, 24);
            const Bytes input = RandomBytes(size_t(stride) * height, width + b, 1, 255);
            EXPECT_EQ(ReferenceMean(input, width, height, b),
                      ExpectCleanRefusals(
                          input,
                          [&](unsigned char* p) {
                              return b == 1 ? CDataHandler().MedianFilter(p, width, height)
                                            : CDataHandler().Colour24MedianFilter(p, width, height);
                          }))
                << b << " " << width << "x" << height;
        }
    // Uniform 90 keeps 90 inside; a block summing to 17 gives 1.
    Bytes uniform(6 * 5, 90), seventeen = {9, 0, 0, 0, 8, 0, 0, 0, 0};
    CDataHandler().MedianFilter(uniform.data(), 6, 5);
    CDataHandler().MedianFilter(seventeen.data(), 3, 3);
    EXPECT_EQ(std::pair(90, 1), std::pair(int(uniform[7]), int(seventeen[4])));
    unsigned char byte = 7;
    EXPECT_EQ(0, CDataHandler().MedianFilter(nullptr, 3, 3) +
                     CDataHandler().MedianFilter(&byte, 0, 1) +
                     CDataHandler().MedianFilter(&byte, 1, -1));
    EXPECT_EQ(7, byte);
}

TEST(Colour24MedianFilterEx, ReplacesOnlyStrictImpulses) {
    // 3 x 3 pixels, rows of 12 bytes: the centre at byte 15, its cross at 3, 27, 12 and 18. A
    // white speck takes the neighbours' mean; one channel tying, or darker in red only: kept. A
    // dark impulse takes the truncated mean of its four neighbours: 101, 105, 109 over 4.
    const auto make = [](std::array<int, 3> centre, std::array<int, 4> cross, int redOffset = 0) {
        Bytes b(36, 0);
        for (int c = 0; c < 3; ++c) {
            b[15 + c] = static_cast<unsigned char>(centre[c]);
            for (int k = 0; k < 4; ++k)
                b[std::array{3, 27, 12, 18}[k] + c] =
                    static_cast<unsigned char>(cross[k] + c + (c == 2) * redOffset);
        }
        return b;
    };
    Bytes dark = make({25, 26, 27}, {10, 20, 30, 41});
    dark[15] = dark[16] = dark[17] = 5;
    for (auto [input, expected] :
         {std::pair{make({255, 255, 255}, {0, 0, 0, 0}), make({0, 1, 2}, {0, 0, 0, 0})},
          {make({255, 255, 2}, {0, 0, 0, 0}), make({255, 255, 2}, {0, 0, 0, 0})},
          {make({200, 200, 10}, {0, 0, 0, 0}, 48), make({200, 200, 10}, {0, 0, 0, 0}, 48)},
          {dark, make({25, 26, 27}, {10, 20, 30, 41})}})
        EXPECT_EQ(expected, ExpectCleanRefusals(input, [](unsigned char* b) {
                      return CDataHandler().Colour24MedianFilterEx(b, 3, 3);
                  }));
    // Decisions read the input: two neighbouring white specks are no impulses, a lone one is.
    Picture specks(7, 3, 24, 0);
    for (int x : {1, 2, 5})
        specks.Set(x, 1, 255);
    ASSERT_EQ(1, CDataHandler().Colour24MedianFilterEx(specks.data(), 7, 3));
    EXPECT_EQ((std::array{255, 255, 0}),
              (std::array{int(*specks.At(1, 1)), int(*specks.At(2, 1)), int(*specks.At(5, 1))}));
}

}  // namespace
