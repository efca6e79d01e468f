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
            for (int w : {1, 2, 3, 4, 5, 6, 7, 130})
                for (int h : {1, 2, 3, 5, 67}) {
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

// The core's rule pixel by pixel, a point on the far edge taking the last column or row.
Bytes ReferenceTurn(const Bytes& src, int w, int h, int b, double angle, unsigned& W, unsigned& H) {
    const double s = std::sin(angle), c = std::cos(angle);
    W = unsigned(
        std::max(std::fabs((w - 1) * c + (h - 1) * s), std::fabs((w - 1) * c - (h - 1) * s)) + 1.5);
    H = unsigned(
        std::max(std::fabs((h - 1) * c - (w - 1) * s), std::fabs((h - 1) * c + (w - 1) * s)) + 1.5);
    Bytes out(size_t(W) * H * b, 0);
    auto p = [&](int x, int y, int k) { return double(src[(size_t(y) * w + x) * b + k]); };
    for (unsigned j = 0; j < H; ++j)
        for (unsigned i = 0; i < W; ++i) {
            const double sx = (i * c + j * s) + (w / 2.0 - (W / 2.0 * c + H / 2.0 * s));
            const double sy = (j * c - i * s) + (h / 2.0 + (W / 2.0 * s - H / 2.0 * c));
            if (!(sx >= 0 && sx <= w && sy >= 0 && sy <= h))
                continue;
            const int x0 = std::min(int(sx), w - 1), y0 = std::min(int(sy), h - 1);
            const double fx = sx - int(sx), fy = sy - int(sy);
            const bool inX = sx < w - 1, inY = sy < h - 1;
            for (int k = 0; k < b; ++k) {
                const double row0 =
                    inX ? p(x0, y0, k) * (1 - fx) + p(x0 + 1, y0, k) * fx : p(x0, y0, k);
                const double row1 = !inY  ? 0
                                    : inX ? p(x0, y0 + 1, k) * (1 - fx) + p(x0 + 1, y0 + 1, k) * fx
                                          : p(x0, y0 + 1, k);
                out[(size_t(j) * W + i) * b + k] =
                    static_cast<unsigned char>(inY ? row0 * (1 - fy) + row1 * fy : row0);
            }
        }
    return out;
}

TEST(RotateInterpolation, CoreAndRotatePictureFollowThePixelRule) {
    // Exact-size heap copies, so that a read past the last column or row shows under
    // AddressSanitizer; the half turn lands sample points exactly on the far edges. RotatePicture
    // turns the same pixels cut out of a larger picture at (1, 2), its rectangle clamped.
    for (int b : {1, 3, 4})
        for (auto [w, h] : {std::pair{1, 1}, {2, 3}, {5, 6}, {8, 1}, {10, 4}, {11, 3}})
            for (double angle : {0.0, 0.05, -0.7, M_PI / 2, M_PI, -M_PI, 2.5, 3 * M_PI / 2}) {
                const Bytes packed = RandomBytes(size_t(w) * h * b, w * 7 + h);
                std::unique_ptr<unsigned char[]> src(new unsigned char[packed.size()]);
                std::memcpy(src.get(), packed.data(), packed.size());
                unsigned char* out = nullptr;
                unsigned W = 0, H = 0, refW, refH;
                CDataHandler().RotateInterpolation(src.get(), w, h, b, out, W, H, angle);
                std::unique_ptr<unsigned char[]> owned(out);
                const Bytes expected = ReferenceTurn(packed, w, h, b, angle, refW, refH);
                ASSERT_EQ(refW, W);
                ASSERT_EQ(refH, H);
                ASSERT_EQ(expected, Bytes(out, out + expected.size()))
                    << b << " " << w << " x " << h << " " << angle;
                if (angle == 0.0) {
                    ASSERT_EQ(packed, expected);  // W = w, H = h, every sample on a whole pixel
                }

                Picture picture(w + 3, h + 2, 8 * b);
                for (int y = 0; y < h; ++y)
                    std::memcpy(picture.At(1, y + 2), &packed[size_t(y) * w * b], size_t(w) * b);
                unsigned char* buffer = ToNewMem(picture.bytes);
                long pw = w + 3, ph = h + 2;
                ASSERT_EQ(1, CDataHandler().RotatePicture(buffer, pw, ph, 8 * b,
                                                          CRect(1, 2, w + 1, h + 9), angle));
                ASSERT_EQ(long(W), pw);
                ASSERT_EQ(long(H), ph);
                const int stride = RowStride(int(W), 8 * b);
                for (unsigned j = 0; j < H; ++j)
                    for (int k = 0; k < stride; ++k)  // padding 0
                        ASSERT_EQ(k < int(W) * b ? expected[j * W * b + k] : 0,
                                  buffer[j * stride + k]);
                DelMem(buffer);
            }
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
