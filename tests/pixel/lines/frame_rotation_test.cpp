#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <tuple>
#include <utility>

#include "LineFixtures.h"
#include "support/MemoryProbe.h"
#include "support/PixelPictures.h"

namespace {

using namespace lines_test;
using imgdesk::pixel::RowStride;

struct Output {
    unsigned char* bits = nullptr;
    int width = -7, height = -7;
    ~Output() { DelMem(bits); }
    int Rotate(Bytes& picture, int w, int h, int bpp, _STRAIGHTLINE* lines) {
        return CDataHandler().RotateGreenFrame(picture.data(), w, h, bpp, lines, bits, width,
                                               height);
    }
};

TEST(RotateGreenFrame, UprightFramesCopyTheirWindow) {
    // Near lines 10 and 20, far 110 and 70: columns 10 ... 109 of rows 19 ... 68 (the near B
    // line's offset is 20 - 0.5, truncated). A frame reaching 20 columns past the right edge
    // leaves the outside part 0.
    for (int bpp : {8, 24, 32}) {
        Bytes picture = imgdesk::test::PatternPicture(201, 120, bpp);
        _STRAIGHTLINE lines[4] = {{0, 110, 0}, {0, 70, 45}, {0, 10, 0}, {0, 20, 45}};
        Output out;
        ASSERT_EQ(1, out.Rotate(picture, 201, 120, bpp, lines));
        ASSERT_EQ(std::pair(100, 50), std::pair(out.width, out.height));
        const int b = bpp / 8, stride = RowStride(201, bpp), outStride = RowStride(100, bpp);
        for (int row = 0; row < 50; ++row)
            for (int i = 0; i < 100 * b; ++i)
                ASSERT_EQ(picture[(row + 19) * stride + 10 * b + i], out.bits[row * outStride + i])
                    << bpp << " " << row << "," << i;
    }
    Bytes grey(size_t(RowStride(64, 24)) * 48, 90);
    _STRAIGHTLINE beyond[4] = {{0, 84, 0}, {0, 40, 45}, {0, 44, 0}, {0, 10, 45}};
    Output out;
    ASSERT_EQ(1, out.Rotate(grey, 64, 48, 24, beyond));
    ASSERT_EQ(40, out.width);
    for (int i = 0; i < RowStride(40, 24) * out.height; ++i)
        ASSERT_EQ(i % RowStride(40, 24) < 60 ? 90 : 0, out.bits[i]) << i;
}

TEST(RotateGreenFrame, TurnedFramesComeOutUpright) {
    // A bright turned rectangle comes out bright throughout; the pair nearer to vertical gives
    // the width.
    for (int a : {0, 3, 12, 22, 23, 30, 44, 45, 46, 60, 67, 68, 80, 89}) {
        const Frame f = Centred(a, 150, 120, 60, 40);
        Bytes picture = Draw(300, 240, 8, f, false, 200);
        _STRAIGHTLINE lines[4];
        FrameLines(lines, f);
        Output out;
        ASSERT_EQ(1, out.Rotate(picture, 300, 240, 8, lines));
        const bool aNearVertical = a <= 22 || a >= 68;
        EXPECT_EQ(aNearVertical ? 120 : 80, out.width) << a;
        EXPECT_EQ(aNearVertical ? 80 : 120, out.height) << a;
        int dark = 0;
        for (int row = 2; row < out.height - 2; ++row)
            for (int col = 2; col < out.width - 2; ++col)
                dark += out.bits[row * RowStride(out.width, 8) + col] < 150;
        EXPECT_EQ(0, dark) << a;
    }
}

TEST(RotateGreenFrame, RefusalsAndFailingAllocations) {
    // The caller's earlier buffer is released on every path. A frame with no rows still gets a
    // buffer; an inverted one is refused with the size untouched. Angle 46: width from records 1
    // and 3.
    Bytes picture = imgdesk::test::PatternPicture(40, 30, 24);
    using Lines = std::array<_STRAIGHTLINE, 4>;
    for (auto [lines, result, width, height] :
         {std::tuple{Lines{{{0, 30, 46}, {0, 25, 1}, {0, 5, 46}, {0, 3, 1}}}, 1, 22, 25},
          {Lines{{{0, 20, 0}, {0, 10, 45}, {0, 5, 0}, {0, 10, 45}}}, 1, 15, 0},
          {Lines{{{0, 5, 0}, {0, 10, 45}, {0, 20, 0}, {0, 2, 45}}}, 0, -7, -7}}) {
        Output out;
        int got = -1;
        imgdesk::test::ExpectCleanFailures(
            [&] { got = out.Rotate(picture, 40, 30, 24, lines.data()); },
            [&](int failed) {
                EXPECT_EQ(failed ? 0 : result, got);
                EXPECT_EQ(failed || !result, out.bits == nullptr);
                EXPECT_EQ(failed ? std::pair(-7, -7) : std::pair(width, height),
                          std::pair(out.width, out.height));
                DelMem(out.bits);
                out.bits = nullptr;
            },
            [&] {
                out.bits = static_cast<unsigned char*>(NewMem(16));
                out.width = out.height = -7;
            });
    }
}

// Distances near the ends of the int range: spans and origins are computed wide, so a window far
// off the picture comes out blank and one wider than any buffer is refused.
TEST(RotateGreenFrame, DistancesNearTheIntLimitsDoNotOverflow) {
    Bytes picture = imgdesk::test::PatternPicture(40, 30, 24);
    using Lines = std::array<_STRAIGHTLINE, 4>;
    constexpr int kFar = 2147483600, kNear = -2147483600;
    for (auto [lines, result, width, height] :
         {std::tuple{Lines{{{0, kFar, 0}, {0, 10, 45}, {0, kNear, 0}, {0, 5, 45}}}, 0, -7, -7},
          {Lines{{{0, kFar, 0}, {0, 70, 45}, {0, kFar - 100, 0}, {0, 60, 45}}}, 1, 100, 10},
          {Lines{{{0, 20, 0}, {0, kFar, 45}, {0, 10, 0}, {0, kFar - 3, 45}}}, 1, 10, 3},
          {Lines{{{0, kNear + 100, 80}, {0, 20, 10}, {0, kNear, 80}, {0, 10, 10}}}, 1, 100, 10}}) {
        Output out;
        EXPECT_EQ(result, out.Rotate(picture, 40, 30, 24, lines.data()));
        EXPECT_EQ(std::pair(width, height), std::pair(out.width, out.height));
        if (result) {
            // Nothing of the picture lies that far out: the window stays blank.
            const int bytes = RowStride(width, 24) * height;
            EXPECT_EQ(std::count(out.bits, out.bits + bytes, 0), bytes);
        }
    }
}

}  // namespace
