#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <tuple>

#include "pixel/DataHandler.h"
#include "pixel/internal/PixelLayout.h"
#include "support/MemoryProbe.h"
#include "support/PixelPictures.h"

namespace {

using imgdesk::pixel::RowStride;
using namespace imgdesk::test;

// The caller's three variables, released at the end as a host would.
struct Stored {
    unsigned char* bits = nullptr;
    int width = -7, height = -7;
    ~Stored() { DelMem(bits); }
};

enum Op { Dynamic, Static, PointNum, PointNumEx };

int Call(Op op, unsigned char* frame, int width, int height, int bits, Stored& s,
         tagRGBQUAD* palette = nullptr) {
    using Plain = int (CDataHandler::*)(unsigned char*, int, int, int, unsigned char*&, int&, int&);
    const Plain plain[] = {&CDataHandler::DynamicDistinguish, &CDataHandler::StaticDistinguish,
                           &CDataHandler::DynamicPointNum};
    CDataHandler d;
    return op == PointNumEx
               ? d.DynamicPointNumEx(frame, width, height, bits, palette, s.bits, s.width, s.height)
               : (d.*plain[op])(frame, width, height, bits, s.bits, s.width, s.height);
}

TEST(FrameDifference, VerdictsAndCountsAtTheirBoundaries) {
    // `changed` pixels of a grey-100 frame rise by `delta` levels (100, 130, 131, 140 and 141 are
    // grey levels of themselves). Motion above a quarter, stillness below a tenth, counts above 40;
    // 8-bit frames are all 0 to these operations.
    struct Case {
        int bits, side, changed, delta, dynamic, still, count;
    } const cases[] = {
        {24, 4, 5, 31, 1, 0, 0},   {24, 4, 5, 30, 0, 1, 0},    {32, 10, 0, 0, 0, 1, 0},
        {24, 10, 9, 41, 0, 1, 9},  {24, 10, 10, 41, 0, 0, 10}, {32, 10, 25, 41, 0, 0, 25},
        {24, 10, 26, 40, 1, 0, 0}, {24, 3, 0, 0, 0, 0, 0},     {8, 10, 26, 41, 0, 1, 0}};
    for (const Case& c : cases) {
        Picture before(c.side, c.side, c.bits, 100), after = before;
        for (int k = 0; k < c.changed; ++k)
            after.Set(k % c.side, k / c.side, static_cast<unsigned char>(100 + c.delta));
        const int expected[] = {c.dynamic, c.still, c.count};
        for (Op op : {Dynamic, Static, PointNum}) {
            Stored s;  // the first call has nothing to compare with
            EXPECT_EQ(op == Static && c.side * c.side >= 10,
                      Call(op, before.data(), c.side, c.side, c.bits, s));
            EXPECT_EQ(expected[op], Call(op, after.data(), c.side, c.side, c.bits, s))
                << op << " " << c.changed;
        }
    }
}

TEST(FrameDifference, SequencesCountTheGreyDifference) {
    // Random colours at every width residue, one stored frame throughout: each new width starts
    // over with a count of 0. The stored frame is the grey frame with padded rows.
    Stored s;
    for (int bits : {24, 32})
        for (int width : {1, 2, 3, 5, 16, 17, 50}) {
            const int stride = RowStride(width, bits), g = RowStride(width, 8), height = 4;
            Bytes previous;
            for (int n = 0; n < 4; ++n) {
                Bytes frame =
                    n == 2 ? previous : RandomBytes(size_t(stride) * height, width * 10 + n);
                const auto grey = [&](const Bytes& f, int k) {
                    const unsigned char* p = &f[k / g * stride + k % g * bits / 8];
                    return GreyLevel(p[0], p[1], p[2]);
                };
                int expected = 0;
                for (int k = 0; k < g * height && n > 0; ++k)
                    expected += k % g < width && std::abs(grey(frame, k) - grey(previous, k)) > 40;
                ASSERT_EQ(expected, Call(PointNum, frame.data(), width, height, bits, s));
                ASSERT_EQ(width, s.width);
                for (int k = 0; k < g * height; ++k)
                    ASSERT_EQ(k % g < width ? grey(frame, k) : 0, s.bits[k]) << width;
                previous = frame;
            }
        }
}

TEST(FrameDifference, EdgeVariantComparesSmoothedEdgesAtTheWorkingSize) {
    // 640 x 480 is compared at 320 x 240, 100 x 50 enlarged to 320 x 160 (each a new size: 0);
    // 8-bit frames go through the palette. The expected edges come from the public operations.
    auto palette = GreyPalette();
    Stored s;
    for (auto [width, height, bits, w, h] :
         {std::array{640, 480, 24, 320, 240}, {100, 50, 24, 320, 160}, {64, 48, 8, 320, 240}}) {
        Picture frames[2] = {{width, height, bits, 20}, {width, height, bits, 20}};
        frames[0].Fill(width / 8, height / 4, width * 3 / 8, height / 2, 220);
        frames[1].Fill(width / 4, height / 4, width / 2, height / 2, 220);
        Bytes edges[2];
        for (int k = 0; k < 2; ++k) {
            CDataHandler d;
            unsigned char* zoomed = nullptr;
            int zw, zh;
            const float f = static_cast<float>(std::max(width, height) / 320.0);
            d.ZoomData(frames[k].data(), width, height, bits, float(1.0 / f), zoomed, zw, zh);
            edges[k].resize(size_t(zw) * zh);
            d.ColourToGreyScale(zoomed, zw, zh, bits, palette.data(), edges[k].data(), 0);
            DelMem(zoomed);
            d.EdgeDetectionSobelEx(edges[k].data(), zw, zh);
            d.MedianFilter(edges[k].data(), zw, zh);
        }
        int expected = 0;
        for (size_t i = 0; i < edges[0].size(); ++i)
            expected += std::abs(edges[0][i] - edges[1][i]) > 100;
        EXPECT_GT(expected, 0);
        EXPECT_EQ(0, Call(PointNumEx, frames[0].data(), width, height, bits, s, palette.data()));
        EXPECT_EQ(w, s.width);
        EXPECT_EQ(h, s.height);
        EXPECT_EQ(expected,
                  Call(PointNumEx, frames[1].data(), width, height, bits, s, palette.data()));
        EXPECT_EQ(edges[1], Bytes(s.bits, s.bits + edges[1].size()));
    }
}

// Refusals and a failed scratch block leave the stored frame; a failed new stored frame leaves
// the reference null (once per operation) with the size unchanged.
TEST(FrameDifference, RefusalsAndFailingAllocations) {
    Picture before(40, 30, 24, 0), after(40, 30, 24, 100), line(2000, 1, 24, 9);
    before.Fill(0, 0, 20, 30, 200);
    for (Op op : {Dynamic, Static, PointNum, PointNumEx}) {
        const int failure = op == Dynamic || op == Static ? 0 : -1;
        // A working height that rounds to 0 is refused by the edge variant.
        for (auto [frame, width, height, bits] :
             {std::tuple{after.data(), 40, 30, 24},
              {(unsigned char*)nullptr, 40, 30, 24},
              {after.data(), 0, 30, 24},
              {after.data(), 40, -1, 24},
              {after.data(), 40, 30, 16},
              {line.data(), op == PointNumEx ? 2000 : 0, 1, 24}}) {
            const bool valid = width == 40 && height == 30 && bits == 24 && frame;
            Stored s;
            Bytes kept;
            int result = 0, emptied = 0;
            ExpectCleanFailures(
                [&] { result = Call(op, frame, width, height, bits, s); },
                [&](int failed) {
                    if (failed || !valid) {
                        EXPECT_EQ(failure, result) << op << " " << failed;
                        EXPECT_EQ(op == PointNumEx ? 320 : 40, s.width);
                        EXPECT_EQ(kept, s.bits ? Bytes(s.bits, s.bits + kept.size()) : kept);
                        emptied += !s.bits;
                    }
                    DelMem(s.bits);
                    s.bits = nullptr;
                },
                [&] {
                    Call(op, before.data(), 40, 30, 24, s);
                    kept.assign(s.bits, s.bits + s.width * s.height);
                });
            EXPECT_EQ(valid, emptied) << op;
        }
    }
}

}  // namespace
