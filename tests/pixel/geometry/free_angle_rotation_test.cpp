#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>

#include "pixel/DataHandler.h"
#include "pixel/geometry/PictureFixtures.h"
#include "support/MemoryProbe.h"

namespace {

using imgdesk::pixel::RowStride;
using namespace imgdesk::test;

Bytes Packed(int w, int h, int b) {
    Bytes bytes(static_cast<size_t>(w) * h * b);
    for (size_t n = 0; n < bytes.size(); ++n)
        bytes[n] = static_cast<unsigned char>(n * 53 + n / 7);
    return bytes;
}

// The turning rule written out pixel by pixel, with a far-edge point taking the last column or
// row; the library's loop is compared with it.
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
            for (int k = 0; k < b; ++k) {
                double v;
                if (sx < w - 1 && sy < h - 1)
                    v = (p(x0, y0, k) * (1 - fx) + p(x0 + 1, y0, k) * fx) * (1 - fy) +
                        (p(x0, y0 + 1, k) * (1 - fx) + p(x0 + 1, y0 + 1, k) * fx) * fy;
                else if (sx < w - 1)
                    v = p(x0, y0, k) * (1 - fx) + p(x0 + 1, y0, k) * fx;
                else if (sy < h - 1)
                    v = p(x0, y0, k) * (1 - fy) + p(x0, y0 + 1, k) * fy;
                else
                    v = p(x0, y0, k);
                out[(size_t(j) * W + i) * b + k] = static_cast<unsigned char>(v);
            }
        }
    return out;
}

struct HeapOutput {
    unsigned char* bits = nullptr;
    unsigned width = 0, height = 0;
    ~HeapOutput() { delete[] bits; }
};

TEST(RotateInterpolation, AngleZeroIsTheSourceItself) {
    for (int b : {1, 3, 4}) {
        const Bytes src = Packed(7, 5, b);
        HeapOutput out;
        CDataHandler().RotateInterpolation(const_cast<unsigned char*>(src.data()), 7, 5, b,
                                           out.bits, out.width, out.height, 0.0);
        ASSERT_NE(nullptr, out.bits);
        EXPECT_EQ(7u, out.width);
        EXPECT_EQ(5u, out.height);
        EXPECT_EQ(src, Bytes(out.bits, out.bits + src.size()));
    }
}

TEST(RotateInterpolation, QuarterTurnSwapsSidesAndCornersStayBlack) {
    const Bytes src = Packed(10, 4, 3);
    HeapOutput quarter;
    CDataHandler().RotateInterpolation(const_cast<unsigned char*>(src.data()), 10, 4, 3,
                                       quarter.bits, quarter.width, quarter.height, M_PI / 2);
    EXPECT_EQ(4u, quarter.width);
    EXPECT_EQ(10u, quarter.height);

    const Bytes white(size_t(20) * 20 * 3, 255);
    HeapOutput diagonal;
    CDataHandler().RotateInterpolation(const_cast<unsigned char*>(white.data()), 20, 20, 3,
                                       diagonal.bits, diagonal.width, diagonal.height, M_PI / 4);
    const size_t last = (size_t(diagonal.width) * diagonal.height - 1) * 3;
    EXPECT_EQ(0, diagonal.bits[0]);
    EXPECT_EQ(0, diagonal.bits[last]);
    const size_t centre = (size_t(diagonal.height / 2) * diagonal.width + diagonal.width / 2) * 3;
    EXPECT_EQ(255, diagonal.bits[centre]);
}

TEST(RotateInterpolation, MatchesThePixelRuleAndStaysInsideTheSource) {
    // Exact-size heap copies, so that a read past the last column or row shows under
    // AddressSanitizer; the half turn lands sample points exactly on the far edges.
    for (int b : {1, 3, 4})
        for (int w : {1, 2, 5, 8})
            for (int h : {1, 3, 6})
                for (double angle : {0.0, 0.05, -0.7, M_PI / 2, M_PI, -M_PI, 2.5, 3 * M_PI / 2}) {
                    const Bytes packed = Packed(w, h, b);
                    std::unique_ptr<unsigned char[]> src(new unsigned char[packed.size()]);
                    std::memcpy(src.get(), packed.data(), packed.size());
                    HeapOutput out;
                    CDataHandler().RotateInterpolation(src.get(), w, h, b, out.bits, out.width,
                                                       out.height, angle);
                    unsigned W, H;
                    const Bytes expected = ReferenceTurn(packed, w, h, b, angle, W, H);
                    ASSERT_EQ(W, out.width);
                    ASSERT_EQ(H, out.height);
                    ASSERT_EQ(expected, Bytes(out.bits, out.bits + expected.size()))
                        << b << " " << w << " x " << h << " " << angle;
                }
}

TEST(RotatePicture, TurnsTheClampedPieceLikeTheCore) {
    MemoryProbe probe;
    for (int bits : {8, 24, 32})
        for (int width : {9, 10, 11, 12}) {
            const Bytes old = PatternPicture(width, 8, bits);
            unsigned char* buffer = ToNewMem(old);
            long w = width, h = 8;
            // Reaches past the left and bottom: clamped to columns 0..6 and rows 2..7.
            ASSERT_EQ(1,
                      CDataHandler().RotatePicture(buffer, w, h, bits, CRect(-3, 2, 7, 20), 0.3));

            const int b = bits / 8;
            Bytes piece;
            for (int y = 2; y < 8; ++y) {
                const unsigned char* row = PixelAt(old, width, bits, 0, y);
                piece.insert(piece.end(), row, row + 7 * b);
            }
            unsigned W, H;
            const Bytes expected = ReferenceTurn(piece, 7, 6, b, 0.3, W, H);
            ASSERT_EQ(long(W), w);
            ASSERT_EQ(long(H), h);
            const int stride = RowStride(int(W), bits);
            const Bytes now = FromBuffer(buffer, w, h, bits);
            for (unsigned j = 0; j < H; ++j) {
                ASSERT_EQ(0, std::memcmp(&now[j * stride], &expected[j * W * b], W * b))
                    << bits << " " << j;
                for (int k = int(W) * b; k < stride; ++k)
                    ASSERT_EQ(0, now[j * stride + k]);
            }
            DelMem(buffer);
        }
    EXPECT_EQ(0, probe.LiveBlocks());
}

TEST(RotatePicture, AngleZeroCutsThePieceOut) {
    const Bytes old = PatternPicture(6, 5, 24);
    unsigned char* buffer = ToNewMem(old);
    long w = 6, h = 5;
    ASSERT_EQ(1, CDataHandler().RotatePicture(buffer, w, h, 24, CRect(1, 1, 4, 4), 0.0));
    EXPECT_EQ(3, w);
    EXPECT_EQ(3, h);
    for (int y = 0; y < 3; ++y)
        EXPECT_EQ(0, std::memcmp(buffer + y * 12, PixelAt(old, 6, 24, 1, y + 1), 9));
    DelMem(buffer);
}

TEST(RotatePicture, RefusalsAndFailuresWithoutLeaks) {
    MemoryProbe probe;
    const Bytes old = PatternPicture(6, 5, 8);
    unsigned char* buffer = ToNewMem(old);
    long w = 6, h = 5;
    CDataHandler handler;
    EXPECT_EQ(0, handler.RotatePicture(buffer, w, h, 8, CRect(6, 0, 9, 5), 1.0));   // clamped empty
    EXPECT_EQ(0, handler.RotatePicture(buffer, w, h, 8, CRect(4, 3, 2, 5), 1.0));   // inverted
    EXPECT_EQ(0, handler.RotatePicture(buffer, w, h, 16, CRect(0, 0, 6, 5), 1.0));  // bit count
    long zero = 0;
    EXPECT_EQ(0, handler.RotatePicture(buffer, zero, h, 8, CRect(0, 0, 6, 5), 1.0));
    EXPECT_EQ(old, FromBuffer(buffer, w, h, 8));
    unsigned char* none = nullptr;
    EXPECT_EQ(0, handler.RotatePicture(none, w, h, 8, CRect(0, 0, 6, 5), 1.0));
    DelMem(buffer);

    for (int failing : {1, 2}) {
        buffer = ToNewMem(old);
        w = 6, h = 5;
        probe.FailAllocation(failing);
        EXPECT_EQ(0, handler.RotatePicture(buffer, w, h, 8, CRect(0, 0, 6, 5), 1.0));
        EXPECT_EQ(6, w);  // both failures keep the old size
        EXPECT_EQ(5, h);
        if (failing == 1) {
            EXPECT_EQ(old, FromBuffer(buffer, w, h, 8));
            DelMem(buffer);
        } else {
            EXPECT_EQ(nullptr, buffer);
        }
        EXPECT_EQ(0, probe.LiveBlocks());
    }
}

}  // namespace
