#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <memory>
#include <vector>

#include "pixel/DataHandler.h"
#include "pixel/internal/PixelLayout.h"
#include "support/MemoryProbe.h"
#include "support/PixelPictures.h"
#include "support/Printers.h"

namespace {

using imgdesk::pixel::RowStride;
using namespace imgdesk::test;

const rotation_degree kTurns[] = {rotation_clockwise, rotation_half, rotation_counterclockwise,
                                  rotation_mirror_rows, rotation_mirror_columns};

TEST(RotationImageData, EveryTurnFollowsItsTable) {
    for (int bits : {8, 24, 32})
        for (rotation_degree turn : kTurns)
            for (int w : {1, 2, 3, 4, 130})
                for (int h : {5}) {
                    const Bytes old = PatternPicture(w, h, bits);
                    unsigned char* buffer = ToNewMem(old);
                    long width = w, height = h;
                    ASSERT_EQ(1,
                              CDataHandler().RotationImageData(buffer, width, height, bits, turn));
                    const bool swaps =
                        turn == rotation_clockwise || turn == rotation_counterclockwise;
                    const int b = bits / 8, oldStride = RowStride(w, bits);
                    const long nw = swaps ? h : w, nh = swaps ? w : h;
                    const int stride = RowStride(int(nw), bits);
                    // Rebuilt rows have zero padding; the row mirror copies whole rows.
                    Bytes expected(size_t(stride) * nh, 0);
                    for (int j = 0; j < nh; ++j)
                        for (int i = 0; i < nw; ++i) {
                            // clang-format off
                            const std::pair<int, int> from[] = {
                                {w - 1 - j, i}, {w - 1 - i, h - 1 - j}, {j, h - 1 - i}, {i, h - 1 - j}, {w - 1 - i, j}};
                            // clang-format on
                            const auto [x, y] = from[turn - 1];
                            std::memcpy(&expected[j * stride + i * b], &old[y * oldStride + x * b],
                                        b);
                            if (turn == rotation_mirror_rows)
                                std::memcpy(&expected[j * stride], &old[(h - 1 - j) * oldStride],
                                            stride);
                        }
                    ASSERT_EQ(nw, width);
                    ASSERT_EQ(nh, height);
                    ASSERT_EQ(expected, FromBuffer(buffer, width, height, bits))
                        << bits << " bits, turn " << turn << ", " << w << " x " << h;
                    DelMem(buffer);
                }
    // A B in one row: clockwise puts B in row 0, counter-clockwise A.
    for (auto [turn, first] : {std::pair{rotation_clockwise, 4}, {rotation_counterclockwise, 1}}) {
        unsigned char* buffer = ToNewMem({1, 2, 3, 4, 5, 6, 0, 0});
        long width = 2, height = 1;
        ASSERT_EQ(1, CDataHandler().RotationImageData(buffer, width, height, 24, turn));
        EXPECT_EQ(first, buffer[0]);
        EXPECT_EQ(5 - first, buffer[4]);
        DelMem(buffer);
    }
}

TEST(RotationImage, ZeroAndNinetyDegrees) {
    // Pixel (x, y) of a 3 x 2 picture holds 10 y + x + 1. At 0 degrees the rectangle's pixels stay
    // and all else, padding included, turns white. At 90 degrees c is about -4.4e-8, not 0: every
    // row above row 0 shifts by one source row, and new pixel (0, 0) maps to (0, 2), outside:
    // white.
    struct Case {
        int degrees;
        CRect rect, newRect;
        long width, height;
        std::vector<int> levels;
    };
    for (const Case& c : {Case{0, {1, 0, 3, 1}, {1, 0, 3, 1}, 3, 2, {255, 2, 3, 255, 255, 255}},
                          Case{90, {0, 0, 3, 2}, {0, 0, 2, 3}, 2, 3, {255, 11, 12, 2, 13, 3}}}) {
        Picture old(3, 2, 24);
        for (int k = 0; k < 6; ++k)
            old.Set(k % 3, k / 3, static_cast<unsigned char>(10 * (k / 3) + k % 3 + 1));
        unsigned char* buffer = ToNewMem(old.bytes);
        long w = 3, h = 2;
        CRect rect = c.rect;
        ASSERT_EQ(1, CDataHandler().RotationImage(buffer, w, h, rect, 24, c.degrees));
        EXPECT_EQ(c.width, w);
        EXPECT_EQ(c.height, h);
        EXPECT_EQ(c.newRect, rect);
        const int stride = RowStride(int(w), 24);
        for (int k = 0; k < stride * h; ++k)
            EXPECT_EQ(k % stride / 3 < w ? c.levels[k / stride * w + k % stride / 3] : 255,
                      buffer[k])
                << c.degrees << " byte " << k;
        DelMem(buffer);
    }
}

// Turns an exact-size heap copy of src, so that a read past the last column or row shows under
// AddressSanitizer. Checks that RotatePicture gives the same pixels from a larger picture with the
// same pixels at (1, 2), its rectangle clamped, and padding 0.
Bytes Turn(const Bytes& src, int w, int h, int b, double angle, unsigned& W, unsigned& H) {
    std::unique_ptr<unsigned char[]> exact(new unsigned char[src.size()]);
    std::memcpy(exact.get(), src.data(), src.size());
    unsigned char* out = nullptr;
    CDataHandler().RotateInterpolation(exact.get(), w, h, b, out, W, H, angle);
    std::unique_ptr<unsigned char[]> owned(out);
    const Bytes turned(out, out + size_t(W) * H * b);

    Picture picture(w + 3, h + 2, 8 * b);
    for (int y = 0; y < h; ++y)
        std::memcpy(picture.At(1, y + 2), &src[size_t(y) * w * b], size_t(w) * b);
    unsigned char* buffer = ToNewMem(picture.bytes);
    long pw = w + 3, ph = h + 2;
    EXPECT_EQ(1, CDataHandler().RotatePicture(buffer, pw, ph, 8 * b, {1, 2, w + 1, h + 9}, angle));
    const int stride = RowStride(int(W), 8 * b);
    Bytes padded(size_t(stride) * H, 0);
    for (unsigned j = 0; j < H; ++j)
        std::memcpy(&padded[j * stride], &turned[j * W * b], W * b);
    EXPECT_EQ(padded, FromBuffer(buffer, pw, ph, 8 * b)) << angle;
    DelMem(buffer);
    return turned;
}

// Checks a turned pixel against the source pixel it should take, within one level (a blend
// weight of about 1e-16 may take one off). Samples on the far edge may instead fall a rounding
// error outside and stay black; reached counts those that took the last row or column.
void ExpectTaken(int expected, int actual, bool farEdge, int& reached) {
    if (farEdge && actual == 0 && expected > 1)
        return;
    EXPECT_NEAR(expected, actual, 1);
    reached += farEdge;
}

TEST(RotateInterpolation, AnglesZeroQuarterHalfAndCorners) {
    unsigned W = 0, H = 0;
    int reached = 0;
    for (int b : {1, 3, 4})
        for (auto [w, h] : {std::pair{1, 1}, {5, 6}, {11, 3}}) {
            const Bytes src = RandomBytes(size_t(w) * h * b, w * 7 + h);
            // Angle 0: every sample on a whole pixel, the picture unchanged.
            EXPECT_EQ(src, Turn(src, w, h, b, 0.0, W, H));
            EXPECT_EQ(unsigned(w), W);
            EXPECT_EQ(unsigned(h), H);
            // Half turn: new (i, j) takes old (w - i, h - j); row 0 and column 0 sample the far
            // edges, which give the last row and column.
            const Bytes half = Turn(src, w, h, b, M_PI, W, H);
            ASSERT_EQ(unsigned(w), W);
            ASSERT_EQ(unsigned(h), H);
            for (size_t n = 0; n < half.size(); ++n) {
                const int i = int(n / b % w), j = int(n / b / w);
                ExpectTaken(
                    src[(size_t(std::min(h - j, h - 1)) * w + std::min(w - i, w - 1)) * b + n % b],
                    half[n], i == 0 || j == 0, reached);
            }
        }
    // A quarter turn of 10 x 4 is 4 x 10: new (i, j) takes old (j, 4 - i), column 0 the last row.
    const Bytes src = RandomBytes(40, 5);
    const Bytes quarter = Turn(src, 10, 4, 1, M_PI / 2, W, H);
    ASSERT_EQ(4u, W);
    ASSERT_EQ(10u, H);
    for (int j = 0; j < 10; ++j)
        for (int i = 0; i < 4; ++i)
            ExpectTaken(src[std::min(4 - i, 3) * 10 + j], quarter[j * 4 + i], i == 0, reached);
    EXPECT_GT(reached, 20);
    // A white picture turned by 0.7: the corners of the larger result are black, its centre white.
    const Bytes white(size_t(12) * 8 * 3, 255);
    const Bytes turned = Turn(white, 12, 8, 3, 0.7, W, H);
    for (unsigned at : {0u, W - 1, (H - 1) * W, H * W - 1})
        EXPECT_EQ(0, turned[at * 3]) << at;
    EXPECT_GE(turned[(H / 2 * W + W / 2) * 3], 254);
}

// Refusals take no memory and change nothing; a failed scratch block changes nothing; a failed
// final block loses the picture (null buffer), with the size and rectangle each operation states.
TEST(Rotations, RefusalsAndFailingAllocations) {
    const Bytes old = PatternPicture(6, 5, 24);
    unsigned char* buffer = nullptr;
    long w = 0, h = 0, zero = 0;
    CRect rect;
    CDataHandler d;
    struct Case {
        std::function<int()> call;
        int result;
        long lostWidth = 0, lostHeight = 0;
        CRect lostRect = {};
    };
    const Case cases[] = {
        // clang-format off
        {[&] { return d.RotationImageData(buffer, w, h, 24, rotation_clockwise); }, 1, 0, 0, {0, 0, 6, 5}},
        {[&] { return d.RotationImage(buffer, w, h, rect, 24, 90); }, 1, 0, 0, {0, 0, 5, 6}},
        {[&] { return d.RotatePicture(buffer, w, h, 24, rect, 1.0); }, 1, 6, 5, {0, 0, 6, 5}},
        {[&] { return d.RotationImageData(buffer, w, h, 24, rotation_degree(0)); }, 0},
        {[&] { return d.RotationImageData(buffer, w, h, 24, rotation_degree(6)); }, 0},
        {[&] { return d.RotationImage(buffer, w, h, rect, 8, 30); }, 0},
        {[&] { return d.RotationImage(buffer, w, h, rect, 32, 30); }, 0},
        {[&] { return d.RotatePicture(buffer, w, h, 24, CRect(6, 0, 9, 5), 1.0); }, 0},  // clamped empty
        {[&] { return d.RotatePicture(buffer, w, h, 24, CRect(4, 3, 2, 5), 1.0); }, 0},  // inverted
        {[&] { return d.RotatePicture(buffer, w, h, 16, rect, 1.0); }, 0},
        {[&] { return d.RotatePicture(buffer, zero, h, 24, rect, 1.0); }, 0},
        // clang-format on
    };
    for (const Case& c : cases) {
        int result = -1;
        ExpectCleanFailures(
            [&] { result = c.call(); },
            [&](int failed) {
                EXPECT_EQ(failed ? 0 : c.result, result);
                if (failed == 2) {
                    EXPECT_EQ(nullptr, buffer);
                    EXPECT_EQ(c.lostWidth, w);
                    EXPECT_EQ(c.lostHeight, h);
                    EXPECT_EQ(c.lostRect, rect);
                } else if (failed == 1 || c.result == 0) {
                    EXPECT_EQ(old, FromBuffer(buffer, w, h, 24));
                    EXPECT_EQ(CRect(0, 0, 6, 5), rect);
                }
                DelMem(buffer);
            },
            [&] { buffer = ToNewMem(old), w = 6, h = 5, rect = CRect(0, 0, 6, 5); });
    }
    unsigned char* none = nullptr;
    EXPECT_EQ(0, d.RotationImageData(none, w, h, 24, rotation_half));
    EXPECT_EQ(0, d.RotatePicture(none, w, h, 24, rect, 1.0));
}

}  // namespace
