#include <gtest/gtest.h>

#include <cstring>
#include <tuple>
#include <utility>

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

TEST(ZoomData, WorkedColumnsRefusalsAndFailingAllocation) {
    // Scale 2 on three pixels: columns 0, 1, 1, 2, 2, and a sixth from column 3, which does not
    // exist and is not written; 0.5 on five: columns 0, 2, 4. Refused, output untouched: scale 0,
    // negative, or so small that a side rounds to 0 (0.1: 5 to 1 but 1 to 0); a null source, an
    // empty width, an unsupported bit count.
    Bytes row = {1, 2, 3, 4, 5, 0, 0, 0};
    unsigned char* r = row.data();
    for (auto [data, width, bits, scale, expected] :
         {std::tuple{r, 3, 8, 2.0f, Bytes{1, 2, 2, 3, 3, 0}},
          {r, 5, 8, 0.5f, Bytes{1, 3, 5}},
          {r, 5, 8, 0.0f, Bytes{}},
          {r, 5, 8, -1.0f, Bytes{}},
          {r, 5, 8, 0.09f, Bytes{}},
          {r, 5, 8, 0.1f, Bytes{}},
          {(unsigned char*)nullptr, 5, 8, 1.0f, Bytes{}},
          {r, 0, 8, 1.0f, Bytes{}},
          {r, 1, 16, 1.0f, Bytes{}}}) {
        unsigned char marker = 0, *out = &marker;
        int w = -7, h = -7, result = -1;
        ExpectCleanFailures(
            [&] { result = CDataHandler().ZoomData(data, width, 1, bits, scale, out, w, h); },
            [&](int failed) {
                const bool done = !failed && !expected.empty();
                EXPECT_EQ(done, result) << width << " " << scale;
                if (done) {
                    EXPECT_EQ(expected, Bytes(out, out + w));
                    DelMem(out);
                } else {
                    EXPECT_EQ(std::pair(failed ? nullptr : &marker, -7),
                              std::pair(out, w));  // a failure leaves null
                }
                out = &marker, w = h = -7;
            });
    }
}

}  // namespace
