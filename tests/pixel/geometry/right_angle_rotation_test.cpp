#include <gtest/gtest.h>

#include <cstring>

#include "pixel/DataHandler.h"
#include "pixel/geometry/PictureFixtures.h"
#include "support/MemoryProbe.h"

namespace {

using imgdesk::pixel::RowStride;
using namespace imgdesk::test;

// Where new pixel (i, j) comes from, straight from the table of turns.
void OldPixelOf(rotation_degree turn, int w, int h, int i, int j, int& x, int& y) {
    switch (turn) {
        case rotation_clockwise:
            x = w - 1 - j, y = i;
            break;
        case rotation_half:
            x = w - 1 - i, y = h - 1 - j;
            break;
        case rotation_counterclockwise:
            x = j, y = h - 1 - i;
            break;
        case rotation_mirror_rows:
            x = i, y = h - 1 - j;
            break;
        default:
            x = w - 1 - i, y = j;
            break;
    }
}

TEST(RotationImageData, EveryTurnEveryBitCountEveryWidthResidue) {
    MemoryProbe probe;
    for (int bits : {8, 24, 32})
        for (rotation_degree turn : {rotation_clockwise, rotation_half, rotation_counterclockwise,
                                     rotation_mirror_rows, rotation_mirror_columns})
            for (int w : {1, 2, 3, 4, 5, 6, 7, 130})
                for (int h : {1, 2, 3, 5, 67}) {
                    const Bytes old = PatternPicture(w, h, bits);
                    unsigned char* buffer = ToNewMem(old);
                    long width = w, height = h;
                    ASSERT_EQ(1,
                              CDataHandler().RotationImageData(buffer, width, height, bits, turn));
                    const bool swaps =
                        turn == rotation_clockwise || turn == rotation_counterclockwise;
                    ASSERT_EQ(swaps ? h : w, width);
                    ASSERT_EQ(swaps ? w : h, height);
                    const Bytes now = FromBuffer(buffer, width, height, bits);
                    const int b = bits / 8, stride = RowStride(int(width), bits);
                    for (int j = 0; j < height; ++j) {
                        for (int i = 0; i < width; ++i) {
                            int x, y;
                            OldPixelOf(turn, w, h, i, j, x, y);
                            ASSERT_EQ(0, std::memcmp(PixelAt(now, int(width), bits, i, j),
                                                     PixelAt(old, w, bits, x, y), b))
                                << bits << " bits, turn " << turn << ", " << w << " x " << h;
                        }
                        // Rebuilt rows have zero padding; the row mirror copies whole rows.
                        const unsigned char expected = turn == rotation_mirror_rows ? 0xEE : 0;
                        for (int k = int(width) * b; k < stride; ++k)
                            ASSERT_EQ(expected, now[j * stride + k]);
                    }
                    DelMem(buffer);
                }
    EXPECT_EQ(0, probe.LiveBlocks());
}

TEST(RotationImageData, WorkedQuarterTurnsOfTwoPixels) {
    // A B in one 24-bit row; clockwise puts B in row 0, counter-clockwise puts A there.
    const Bytes ab = {1, 2, 3, 4, 5, 6, 0, 0};
    for (auto [turn, first] : {std::pair{rotation_clockwise, 4}, {rotation_counterclockwise, 1}}) {
        unsigned char* buffer = ToNewMem(ab);
        long width = 2, height = 1;
        ASSERT_EQ(1, CDataHandler().RotationImageData(buffer, width, height, 24, turn));
        EXPECT_EQ(1, width);
        EXPECT_EQ(2, height);
        EXPECT_EQ(first, buffer[0]);
        EXPECT_EQ(5 - first, buffer[4]);  // row 1 starts after a stride of 4
        DelMem(buffer);
    }
    // 24-bit 5 x 3 turned: 3 x 5 with rows of 12 bytes.
    unsigned char* buffer = ToNewMem(PatternPicture(5, 3, 24));
    long width = 5, height = 3;
    CDataHandler().RotationImageData(buffer, width, height, 24, rotation_clockwise);
    EXPECT_EQ(12, RowStride(int(width), 24));
    DelMem(buffer);
}

TEST(RotationImageData, PairsOfTurnsRestoreThePicture) {
    const std::pair<rotation_degree, rotation_degree> pairs[] = {
        {rotation_clockwise, rotation_counterclockwise},
        {rotation_counterclockwise, rotation_clockwise},
        {rotation_half, rotation_half},
        {rotation_mirror_rows, rotation_mirror_rows},
        {rotation_mirror_columns, rotation_mirror_columns}};
    for (int bits : {8, 24, 32})
        for (int w : {3, 6, 9, 12})
            for (const auto& [there, back] : pairs) {
                // Zero padding, as the turns build it.
                Bytes old = PatternPicture(w, 7, bits);
                for (auto& byte : old)
                    byte = byte == 0xEE ? 0 : byte;
                unsigned char* buffer = ToNewMem(old);
                long width = w, height = 7;
                CDataHandler().RotationImageData(buffer, width, height, bits, there);
                CDataHandler().RotationImageData(buffer, width, height, bits, back);
                ASSERT_EQ(w, width);
                ASSERT_EQ(old, FromBuffer(buffer, width, height, bits)) << bits << " " << w;
                DelMem(buffer);
            }
}

TEST(RotationImageData, RefusalsAndFailuresWithoutLeaks) {
    MemoryProbe probe;
    const Bytes old = PatternPicture(5, 3, 8);
    unsigned char* buffer = ToNewMem(old);
    long width = 5, height = 3;
    for (int value : {0, 6, -1}) {
        EXPECT_EQ(
            0, CDataHandler().RotationImageData(buffer, width, height, 8, rotation_degree(value)));
    }
    EXPECT_EQ(old, FromBuffer(buffer, width, height, 8));
    EXPECT_EQ(5, width);
    unsigned char* none = nullptr;
    EXPECT_EQ(0, CDataHandler().RotationImageData(none, width, height, 8, rotation_half));
    DelMem(buffer);

    const int before = probe.LiveBlocks();
    // First the scratch block fails (nothing changes), then the final one (the picture is gone).
    for (int failing : {1, 2}) {
        buffer = ToNewMem(old);
        width = 5, height = 3;
        probe.FailAllocation(failing);
        EXPECT_EQ(0,
                  CDataHandler().RotationImageData(buffer, width, height, 8, rotation_clockwise));
        if (failing == 1) {
            EXPECT_EQ(old, FromBuffer(buffer, width, height, 8));
            EXPECT_EQ(5, width);
            EXPECT_EQ(3, height);
            DelMem(buffer);
        } else {
            EXPECT_EQ(nullptr, buffer);
            EXPECT_EQ(0, width);
            EXPECT_EQ(0, height);
        }
        EXPECT_EQ(before, probe.LiveBlocks());
    }
    probe.FailAllocation(0);
}

TEST(RotationImage, ZeroDegreesKeepsTheRectangleAndWhitensTheRest) {
    MemoryProbe probe;
    const Bytes old = PatternPicture(5, 4, 24);
    unsigned char* buffer = ToNewMem(old);
    long width = 5, height = 4;
    CRect rect(1, 1, 4, 3);
    ASSERT_EQ(1, CDataHandler().RotationImage(buffer, width, height, rect, 24, 0));
    EXPECT_EQ(5, width);
    EXPECT_EQ(4, height);
    EXPECT_EQ(CRect(1, 1, 4, 3), rect);
    const Bytes now = FromBuffer(buffer, width, height, 24);
    for (int y = 0; y < 4; ++y) {
        for (int x = 0; x < 5; ++x) {
            const bool kept = x >= 1 && x < 4 && y >= 1 && y < 3;
            const unsigned char white[3] = {255, 255, 255};
            ASSERT_EQ(0, std::memcmp(PixelAt(now, 5, 24, x, y),
                                     kept ? PixelAt(old, 5, 24, x, y) : white, 3))
                << x << " " << y;
        }
        EXPECT_EQ(255, now[y * 16 + 15]);  // padding is white too
    }
    DelMem(buffer);
    EXPECT_EQ(0, probe.LiveBlocks());
}

TEST(RotationImage, QuarterTurnFeelsTheSinglePrecisionCosine) {
    // At 90 degrees c is about -4.4e-8, not 0: the truncations shift every row above row 0 by
    // one source row, and new pixel (0, 0) maps to (0, 2), outside the picture, so it is white.
    Bytes old(16 * 2, 0);  // 24-bit 3 x 2 (stride 12); pixel (x, y) holds 10 y + x + 1
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x)
            std::memset(&old[y * 12 + 3 * x], 10 * y + x + 1, 3);
    old.resize(24);
    unsigned char* buffer = ToNewMem(old);
    long width = 3, height = 2;
    CRect rect(0, 0, 3, 2);
    ASSERT_EQ(1, CDataHandler().RotationImage(buffer, width, height, rect, 24, 90));
    EXPECT_EQ(2, width);
    EXPECT_EQ(3, height);
    EXPECT_EQ(CRect(0, 0, 2, 3), rect);
    const int expected[3][2] = {{255, 11}, {12, 2}, {13, 3}};
    for (int j = 0; j < 3; ++j)
        for (int i = 0; i < 2; ++i)
            EXPECT_EQ(expected[j][i], buffer[j * 8 + 3 * i]) << i << " " << j;
    DelMem(buffer);
}

TEST(RotationImage, SizesOfOtherAngles) {
    for (int degrees : {90, -90, 180, 270, 45, 3, -17}) {
        unsigned char* buffer = ToNewMem(PatternPicture(40, 30, 24));
        long width = 40, height = 30;
        CRect rect(0, 0, 40, 30);
        ASSERT_EQ(1, CDataHandler().RotationImage(buffer, width, height, rect, 24, degrees));
        if (degrees % 180 == 0) {
            EXPECT_EQ(40, width);
            EXPECT_EQ(30, height);
        } else if (degrees % 90 == 0) {
            EXPECT_EQ(30, width);
            EXPECT_EQ(40, height);
        }
        EXPECT_LE(rect.right, width);
        EXPECT_LE(rect.bottom, height);
        DelMem(buffer);
    }
}

TEST(RotationImage, RefusalsAndFailuresWithoutLeaks) {
    MemoryProbe probe;
    for (int bits : {8, 32}) {
        const Bytes old = PatternPicture(4, 3, bits);
        unsigned char* buffer = ToNewMem(old);
        long width = 4, height = 3;
        CRect rect(0, 0, 4, 3);
        EXPECT_EQ(0, CDataHandler().RotationImage(buffer, width, height, rect, bits, 30));
        EXPECT_EQ(old, FromBuffer(buffer, width, height, bits));
        DelMem(buffer);
    }
    const Bytes old = PatternPicture(4, 3, 24);
    for (int failing : {1, 2}) {
        unsigned char* buffer = ToNewMem(old);
        long width = 4, height = 3;
        CRect rect(0, 0, 4, 3);
        probe.FailAllocation(failing);
        EXPECT_EQ(0, CDataHandler().RotationImage(buffer, width, height, rect, 24, 90));
        if (failing == 1) {
            EXPECT_EQ(old, FromBuffer(buffer, width, height, 24));
            EXPECT_EQ(CRect(0, 0, 4, 3), rect);
            DelMem(buffer);
        } else {
            EXPECT_EQ(nullptr, buffer);
            EXPECT_EQ(0, width);
            EXPECT_EQ(0, height);
            EXPECT_EQ(CRect(0, 0, 3, 4), rect);  // the rectangle keeps its new place
        }
        EXPECT_EQ(0, probe.LiveBlocks());
    }
}

}  // namespace
