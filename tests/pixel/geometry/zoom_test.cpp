#include <gtest/gtest.h>

#include <cstring>

#include "pixel/DataHandler.h"
#include "pixel/internal/PixelLayout.h"
#include "support/MemoryProbe.h"
#include "support/PixelPictures.h"

namespace {

using imgdesk::pixel::RowStride;
using namespace imgdesk::test;

TEST(ZoomData, EveryPixelFromItsNearestSource) {
    for (int bits : {8, 24, 32})
        for (int width : {1, 2, 3, 4, 5, 6, 7, 33})
            for (float scale : {1.0f, 2.0f, 0.5f, 0.25f, 1.7f}) {
                Bytes source = PatternPicture(width, 9, bits);
                unsigned char* out = nullptr;
                int w = int(width * double(scale) + 0.5), h = int(9 * double(scale) + 0.5), ow, oh;
                const int result =
                    CDataHandler().ZoomData(source.data(), width, 9, bits, scale, out, ow, oh);
                ASSERT_EQ(w > 0 ? 1 : 0, result);  // a side of 0 is refused
                if (!result)
                    continue;
                ASSERT_EQ(w, ow);
                ASSERT_EQ(h, oh);
                // Unwritten pixels and padding keep the zero fill.
                const int b = bits / 8, stride = RowStride(w, bits);
                Bytes expected(size_t(stride) * h, 0);
                for (int y = 0; y < h; ++y)
                    for (int x = 0; x < w; ++x) {
                        const int sx = int(x / double(scale) + 0.5),
                                  sy = int(y / double(scale) + 0.5);
                        if (sx < width && sy < 9)
                            std::memcpy(&expected[y * stride + x * b],
                                        &source[sy * RowStride(width, bits) + sx * b], b);
                    }
                ASSERT_EQ(expected, FromBuffer(out, w, h, bits))
                    << bits << " " << width << " " << scale;
                DelMem(out);
            }
}

TEST(ZoomData, WorkedColumns) {
    // Scale 2 on three pixels: columns 0, 1, 1, 2, 2, and a sixth from column 3, which does not
    // exist and is not written; scale 0.5 on five: columns 0, 2, 4.
    for (auto [width, scale, expected] :
         {std::tuple{3, 2.0f, Bytes{1, 2, 2, 3, 3, 0}}, {5, 0.5f, Bytes{1, 3, 5}}}) {
        Bytes row = {1, 2, 3, 4, 5, 0, 0, 0};
        unsigned char* out = nullptr;
        int w = 0, h = 0;
        ASSERT_EQ(1, CDataHandler().ZoomData(row.data(), width, 1, 8, scale, out, w, h));
        EXPECT_EQ(expected, Bytes(out, out + w));
        DelMem(out);
    }
}

TEST(ZoomData, RefusalsAndFailingAllocation) {
    Bytes source = PatternPicture(5, 4, 24);
    unsigned char marker = 0;
    unsigned char* out = &marker;
    int w = -7, h = -7;
    // Scale 0, negative, or so small that a side rounds to 0 (0.1: 5 to 1 but 4 to 0); a null
    // source, an empty width, an unsupported bit count.
    unsigned char* s = source.data();
    // clang-format off
    for (auto [data, width, bits, scale] : {std::tuple{s, 5, 24, 0.0f}, {s, 5, 24, -1.0f}, {s, 5, 24, 0.09f},
                                            {s, 5, 24, 0.1f}, {nullptr, 5, 24, 1.0f}, {s, 0, 24, 1.0f}, {s, 5, 16, 1.0f}}) {
        // clang-format on
        EXPECT_EQ(0, CDataHandler().ZoomData(data, width, 4, bits, scale, out, w, h));
        EXPECT_EQ(&marker, out);
        EXPECT_EQ(-7, w);
    }
    int result = -1;
    ExpectCleanFailures(
        [&] { result = CDataHandler().ZoomData(source.data(), 5, 4, 24, 2.0f, out, w, h); },
        [&](int failed) {
            EXPECT_EQ(failed ? 0 : 1, result);
            EXPECT_EQ(failed ? -7 : 10, w);
            EXPECT_EQ(failed ? nullptr : out, out);
            DelMem(out);
            out = &marker;
        });
}

}  // namespace
