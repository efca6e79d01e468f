#include <gtest/gtest.h>

#include "LineFixtures.h"
#include "pixel/internal/PixelLayout.h"
#include "support/MemoryProbe.h"

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

Bytes Pattern(int w, int h, int bpp) {
    Bytes p(static_cast<size_t>(RowStride(w, bpp)) * h);
    for (size_t i = 0; i < p.size(); ++i)
        p[i] = static_cast<unsigned char>(i * 7 + i / 251);
    return p;
}

TEST(RotateGreenFrame, UprightFrameCopiesItsWindowExactly) {
    for (int bpp : {8, 24, 32}) {
        SCOPED_TRACE(bpp);
        const int w = 201, h = 120;
        Bytes picture = Pattern(w, h, bpp);
        _STRAIGHTLINE lines[4] = {{0, 110, 0}, {0, 70, 45}, {0, 10, 0}, {0, 20, 45}};
        Output out;
        ASSERT_EQ(out.Rotate(picture, w, h, bpp, lines), 1);
        ASSERT_EQ(out.width, 100);
        ASSERT_EQ(out.height, 50);
        const int bytesPerPixel = bpp / 8, stride = RowStride(w, bpp);
        const int outStride = RowStride(100, bpp);
        // Columns 10 ... 109 of rows 19 ... 68: the near B line's offset is 20 - 0.5, truncated.
        for (int row = 0; row < 50; ++row)
            for (int i = 0; i < 100 * bytesPerPixel; ++i)
                ASSERT_EQ(out.bits[row * outStride + i],
                          picture[(row + 19) * stride + 10 * bytesPerPixel + i])
                    << row << "," << i;
    }
}

// A bright turned rectangle on a dark picture comes out upright and bright throughout.
TEST(RotateGreenFrame, TurnedFramesComeOutUpright) {
    const int w = 300, h = 240;
    for (int a : {0, 3, 12, 22, 23, 30, 44, 45, 46, 60, 67, 68, 80, 89}) {
        SCOPED_TRACE(a);
        const Frame f = Centred(a, 150, 120, 60, 40);
        const int b = (a + 45) % 90;
        Bytes picture(static_cast<size_t>(RowStride(w, 8)) * h, 0);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const int ra = Distance(a, x, y), rb = Distance(b, x, y);
                if (ra >= f.nearA && ra <= f.farA && rb >= f.nearB && rb <= f.farB)
                    picture[y * RowStride(w, 8) + x] = 200;
            }
        _STRAIGHTLINE lines[4] = {{0, f.farA, a}, {0, f.farB, b}, {0, f.nearA, a}, {0, f.nearB, b}};
        Output out;
        ASSERT_EQ(out.Rotate(picture, w, h, 8, lines), 1);
        // The pair nearer to vertical gives the width.
        const bool aNearVertical = a <= 22 || a >= 68;
        EXPECT_EQ(out.width, aNearVertical ? 120 : 80);
        EXPECT_EQ(out.height, aNearVertical ? 80 : 120);
        const int stride = RowStride(out.width, 8);
        int dark = 0;
        for (int row = 2; row < out.height - 2; ++row)
            for (int col = 2; col < out.width - 2; ++col)
                dark += out.bits[row * stride + col] < 150;
        EXPECT_EQ(dark, 0);
    }
}

TEST(RotateGreenFrame, FramePartlyOutsideLeavesTheRestZero) {
    const int w = 64, h = 48;
    Bytes picture(static_cast<size_t>(RowStride(w, 24)) * h, 90);
    // Upright frame reaching 20 columns past the right edge.
    _STRAIGHTLINE lines[4] = {{0, 84, 0}, {0, 40, 45}, {0, 44, 0}, {0, 10, 45}};
    Output out;
    ASSERT_EQ(out.Rotate(picture, w, h, 24, lines), 1);
    ASSERT_EQ(out.width, 40);
    const int stride = RowStride(40, 24);
    for (int row = 0; row < out.height; ++row)
        for (int col = 0; col < 40; ++col)
            for (int ch = 0; ch < 3; ++ch)
                ASSERT_EQ(out.bits[row * stride + col * 3 + ch], col < 20 ? 90 : 0)
                    << row << "," << col;
}

TEST(RotateGreenFrame, DegenerateAndInvertedFrames) {
    Bytes picture = Pattern(40, 30, 8);
    Output out;
    _STRAIGHTLINE flat[4] = {{0, 20, 0}, {0, 10, 45}, {0, 5, 0}, {0, 10, 45}};
    ASSERT_EQ(out.Rotate(picture, 40, 30, 8, flat), 1);  // no rows: a buffer and nothing more
    EXPECT_NE(out.bits, nullptr);
    EXPECT_EQ(out.width, 15);
    EXPECT_EQ(out.height, 0);
    _STRAIGHTLINE inverted[4] = {{0, 5, 0}, {0, 10, 45}, {0, 20, 0}, {0, 2, 45}};
    EXPECT_EQ(out.Rotate(picture, 40, 30, 8, inverted), 0);
    EXPECT_EQ(out.bits, nullptr);  // the earlier buffer is released all the same
    EXPECT_EQ(out.width, 15);
}

TEST(RotateGreenFrame, FailedAllocationReleasesTheOldBuffer) {
    imgdesk::test::MemoryProbe probe;
    const int live = probe.LiveBlocks();
    Bytes picture = Pattern(40, 30, 24);
    _STRAIGHTLINE lines[4] = {{0, 30, 46}, {0, 25, 1}, {0, 5, 46}, {0, 3, 1}};
    Output out;
    out.bits = static_cast<unsigned char*>(NewMem(16));
    probe.FailAllocation(1);
    EXPECT_EQ(out.Rotate(picture, 40, 30, 24, lines), 0);
    EXPECT_TRUE(probe.FailureInjected());
    EXPECT_EQ(out.bits, nullptr);
    EXPECT_EQ(out.width, -7);
    EXPECT_EQ(probe.LiveBlocks(), live);

    ASSERT_EQ(out.Rotate(picture, 40, 30, 24, lines), 1);
    EXPECT_EQ(out.width, 22);  // angle 46: the width comes from records 1 and 3
    EXPECT_EQ(out.height, 25);
}

}  // namespace
