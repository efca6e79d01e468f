#include <gtest/gtest.h>

#include <array>

#include "FilterTestSupport.h"
#include "pixel/DataHandler.h"
#include "pixel/internal/PixelLayout.h"

using imgdesk::pixel::RowStride;
using imgdesk::test::Bytes;
using imgdesk::test::ExpectCleanRefusals;
using imgdesk::test::RandomBytes;

namespace {

// 3 x 3 truncated mean of the interior, each of bytesPerPixel channels alone; the frame gets
// frameValue, or keeps its value when frameValue is negative.
Bytes ReferenceMean(const Bytes& in, int width, int height, int stride, int bytesPerPixel,
                    int frameValue) {
    Bytes out = in;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            for (int c = 0; c < bytesPerPixel; ++c) {
                const size_t at = static_cast<size_t>(y) * stride + x * bytesPerPixel + c;
                if (x == 0 || y == 0 || x == width - 1 || y == height - 1) {
                    if (frameValue >= 0)
                        out[at] = static_cast<unsigned char>(frameValue);
                    continue;
                }
                int sum = 0;
                for (int dy = -1; dy <= 1; ++dy)
                    for (int dx = -1; dx <= 1; ++dx)
                        sum += in[at + dy * stride + dx * bytesPerPixel];
                out[at] = static_cast<unsigned char>(sum / 9);
            }
        }
    }
    return out;
}

TEST(MedianFilter, BoxMeanWithClearedFrame) {
    for (auto [width, height] : {std::pair{3, 3}, std::pair{17, 6}, std::pair{1100, 4}}) {
        const Bytes input = RandomBytes(static_cast<size_t>(width) * height, width);
        const Bytes out = ExpectCleanRefusals(
            input, [&](unsigned char* b) { return CDataHandler().MedianFilter(b, width, height); });
        EXPECT_EQ(ReferenceMean(input, width, height, width, 1, 0), out) << width << "x" << height;
    }

    Bytes uniform(6 * 5, 90);
    ASSERT_EQ(1, CDataHandler().MedianFilter(uniform.data(), 6, 5));
    EXPECT_EQ(ReferenceMean(Bytes(6 * 5, 90), 6, 5, 6, 1, 0), uniform);
    EXPECT_EQ(90, uniform[6 + 1]);

    Bytes seventeen(9, 0);
    seventeen[0] = 9;
    seventeen[4] = 8;  // the block sums to 17
    ASSERT_EQ(1, CDataHandler().MedianFilter(seventeen.data(), 3, 3));
    EXPECT_EQ(1, seventeen[4]);
}

TEST(MedianFilter, SmallBuffersBecomeBlackAndRefusals) {
    Bytes narrow = RandomBytes(2 * 5, 4, 1, 255);
    ASSERT_EQ(1, CDataHandler().MedianFilter(narrow.data(), 2, 5));
    EXPECT_EQ(Bytes(10, 0), narrow);

    unsigned char byte = 7;
    EXPECT_EQ(0, CDataHandler().MedianFilter(nullptr, 3, 3));
    EXPECT_EQ(0, CDataHandler().MedianFilter(&byte, 0, 1));
    EXPECT_EQ(0, CDataHandler().MedianFilter(&byte, 1, -1));
    EXPECT_EQ(7, byte);
}

TEST(Colour24MedianFilter, PerChannelMeanKeepsFrameAndPadding) {
    for (auto [width, height] :
         {std::pair{5, 4}, std::pair{3, 3}, std::pair{250, 3}, std::pair{2, 6}}) {
        const int stride = RowStride(width, 24);
        const Bytes input = RandomBytes(static_cast<size_t>(stride) * height, height * 13 + width);
        const Bytes out = ExpectCleanRefusals(input, [&](unsigned char* b) {
            return CDataHandler().Colour24MedianFilter(b, width, height);
        });
        EXPECT_EQ(ReferenceMean(input, width, height, stride, 3, -1), out)
            << width << "x" << height;
    }
}

TEST(Colour24MedianFilterEx, ReplacesOnlyStrictImpulses) {
    // 3 x 3 pixels, stride 12; the centre pixel starts at byte 12 + 3.
    const auto make = [](std::array<unsigned char, 3> centre) {
        Bytes b(12 * 3, 0);
        for (int c = 0; c < 3; ++c)
            b[15 + c] = centre[c];
        return b;
    };
    const auto run = [](Bytes b) {
        EXPECT_EQ(1, CDataHandler().Colour24MedianFilterEx(b.data(), 3, 3));
        return b;
    };
    EXPECT_EQ(make({0, 0, 0}), run(make({255, 255, 255})));    // white speck on black
    EXPECT_EQ(make({255, 255, 0}), run(make({255, 255, 0})));  // one channel ties
    Bytes mixed = make({200, 200, 10});
    for (int n : {3, 27, 12, 18})
        mixed[n + 2] = 50;  // neighbours brighter in red only
    EXPECT_EQ(mixed, run(mixed));

    // A dark impulse takes the truncated mean of its four neighbours.
    Bytes dark(12 * 3, 0);
    const int neighbours[4] = {3, 27, 12, 18};  // above, below, left, right
    const int values[4] = {10, 20, 30, 41};
    for (int k = 0; k < 4; ++k)
        for (int c = 0; c < 3; ++c)
            dark[neighbours[k] + c] = static_cast<unsigned char>(values[k] + c);
    for (int c = 0; c < 3; ++c)
        dark[15 + c] = 5;
    const Bytes cleaned = ExpectCleanRefusals(
        dark, [](unsigned char* b) { return CDataHandler().Colour24MedianFilterEx(b, 3, 3); });
    EXPECT_EQ(25, cleaned[15]);  // 101 / 4
    EXPECT_EQ(26, cleaned[16]);  // 105 / 4
    EXPECT_EQ(27, cleaned[17]);  // 109 / 4
}

TEST(Colour24MedianFilterEx, DecisionsReadTheInput) {
    // Two neighbouring white specks: each has the other as a neighbour, so neither is an impulse;
    // a lone one beside them is replaced although its replacement neighbour changed nothing.
    const int width = 7, height = 3, stride = RowStride(width, 24);
    Bytes b(static_cast<size_t>(stride) * height, 0);
    for (int x : {1, 2, 5})
        for (int c = 0; c < 3; ++c)
            b[stride + 3 * x + c] = 255;
    Bytes out = b;
    ASSERT_EQ(1, CDataHandler().Colour24MedianFilterEx(out.data(), width, height));
    EXPECT_EQ(255, out[stride + 3]);
    EXPECT_EQ(255, out[stride + 6]);
    EXPECT_EQ(0, out[stride + 15]);
}

}  // namespace
