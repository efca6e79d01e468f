#include <gtest/gtest.h>

#include <cstring>

#include "pixel/DataHandler.h"
#include "pixel/geometry/PictureFixtures.h"
#include "support/MemoryProbe.h"

namespace {

using imgdesk::pixel::RowStride;
using namespace imgdesk::test;

struct Zoomed {
    unsigned char* bits = nullptr;
    int width = -1, height = -1;
    int result = -1;
    ~Zoomed() { DelMem(bits); }
};

void Zoom(const Bytes& source, int width, int height, int bits, float scale, Zoomed& out) {
    out.result = CDataHandler().ZoomData(const_cast<unsigned char*>(source.data()), width, height,
                                         bits, scale, out.bits, out.width, out.height);
}

// Source column (or row) of each output column for a one-row 8-bit source.
std::vector<int> SourceColumns(int width, float scale) {
    Bytes row(RowStride(width, 8));
    for (int x = 0; x < width; ++x)
        row[x] = static_cast<unsigned char>(x + 1);
    Zoomed out;
    Zoom(row, width, 1, 8, scale, out);
    std::vector<int> columns;
    for (int x = 0; x < out.width; ++x)
        columns.push_back(out.bits[x] - 1);  // -1: not written
    return columns;
}

TEST(ZoomData, WorkedColumns) {
    EXPECT_EQ((std::vector<int>{0, 1, 1, 2, 2, -1}), SourceColumns(3, 2.0f));
    EXPECT_EQ((std::vector<int>{0, 2, 4}), SourceColumns(5, 0.5f));
    EXPECT_EQ((std::vector<int>{0, 1, 2, 3, 4}), SourceColumns(5, 1.0f));
}

TEST(ZoomData, EveryBitCountAndWidthResidue) {
    MemoryProbe probe;
    for (int bits : {8, 24, 32})
        for (int width : {1, 2, 3, 4, 5, 6, 7, 33})
            for (float scale : {1.0f, 2.0f, 0.5f, 0.25f, 1.7f}) {
                const int height = 9;
                const Bytes source = PatternPicture(width, height, bits);
                Zoomed out;
                Zoom(source, width, height, bits, scale, out);
                if (out.result == 0) {
                    // Only a side that rounds to 0 is refused.
                    ASSERT_LT(int(width * double(scale) + 0.5), 1) << width << " " << scale;
                    continue;
                }
                ASSERT_EQ(int(width * double(scale) + 0.5), out.width);
                ASSERT_EQ(int(height * double(scale) + 0.5), out.height);
                const int b = bits / 8, stride = RowStride(out.width, bits);
                for (int y = 0; y < out.height; ++y) {
                    const int sy = int(y / double(scale) + 0.5);
                    for (int x = 0; x < out.width; ++x) {
                        const int sx = int(x / double(scale) + 0.5);
                        const unsigned char* got = out.bits + y * stride + x * b;
                        if (sx < width && sy < height) {
                            ASSERT_EQ(0, std::memcmp(got, PixelAt(source, width, bits, sx, sy), b));
                        } else {
                            for (int k = 0; k < b; ++k)
                                ASSERT_EQ(0, got[k]);  // zero-filled
                        }
                    }
                    for (int k = out.width * b; k < stride; ++k)
                        ASSERT_EQ(0, out.bits[y * stride + k]);
                }
                if (scale == 1.0f) {
                    ASSERT_EQ(out.height * stride, int(source.size()));
                }
            }
    EXPECT_EQ(0, probe.LiveBlocks());
}

TEST(ZoomData, RefusalsLeaveTheReferencesAlone) {
    const Bytes source = PatternPicture(5, 4, 24);
    unsigned char marker = 0;
    for (float scale : {0.0f, -1.0f, 0.09f /* 5 x 0.09 + 0.5 < 1 */}) {
        unsigned char* out = &marker;
        int w = -7, h = -7;
        EXPECT_EQ(0, CDataHandler().ZoomData(const_cast<unsigned char*>(source.data()), 5, 4, 24,
                                             scale, out, w, h));
        EXPECT_EQ(&marker, out);
        EXPECT_EQ(-7, w);
    }
    unsigned char* out = &marker;
    int w = -7, h = -7;
    EXPECT_EQ(0, CDataHandler().ZoomData(nullptr, 5, 4, 24, 1.0f, out, w, h));
    EXPECT_EQ(0, CDataHandler().ZoomData(const_cast<unsigned char*>(source.data()), 0, 4, 24, 1.0f,
                                         out, w, h));
    EXPECT_EQ(0, CDataHandler().ZoomData(const_cast<unsigned char*>(source.data()), 5, 4, 16, 1.0f,
                                         out, w, h));
    EXPECT_EQ(&marker, out);
    // 0.1 rounds 5 to 1 but 4 to 0: still refused.
    EXPECT_EQ(0, CDataHandler().ZoomData(const_cast<unsigned char*>(source.data()), 5, 4, 24, 0.1f,
                                         out, w, h));
}

TEST(ZoomData, FailedAllocationLeavesANullOutput) {
    MemoryProbe probe;
    const Bytes source = PatternPicture(5, 4, 8);
    unsigned char marker = 0;
    unsigned char* out = &marker;
    int w = -7, h = -7;
    probe.FailAllocation(1);
    EXPECT_EQ(0, CDataHandler().ZoomData(const_cast<unsigned char*>(source.data()), 5, 4, 8, 2.0f,
                                         out, w, h));
    EXPECT_EQ(nullptr, out);
    EXPECT_EQ(-7, w);
    EXPECT_EQ(-7, h);
    EXPECT_EQ(0, probe.LiveBlocks());
}

}  // namespace
