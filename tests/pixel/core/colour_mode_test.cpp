#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "pixel/DataHandler.h"
#include "pixel/internal/PixelLayout.h"

namespace {

using imgdesk::pixel::RowStride;
using Bytes = std::vector<unsigned char>;

// A buffer whose pixel bytes follow a pattern and whose padding bytes are 0xEE, so that reading
// padding as pixels shows.
Bytes Pattern(int width, int height, int bitsPerPixel, int seed = 7) {
    const int stride = RowStride(width, bitsPerPixel);
    Bytes bytes(static_cast<size_t>(stride) * height, 0xEE);
    for (int y = 0; y < height; ++y)
        for (int i = 0; i < width * bitsPerPixel / 8; ++i)
            bytes[y * stride + i] = static_cast<unsigned char>((y * 131 + i * 37 + seed) * 29 >> 2);
    return bytes;
}

Bytes Filled(int width, int height, int bitsPerPixel, unsigned char value) {
    Bytes bytes(static_cast<size_t>(RowStride(width, bitsPerPixel)) * height, 0);
    const int stride = RowStride(width, bitsPerPixel);
    for (int y = 0; y < height; ++y)
        std::memset(&bytes[y * stride], value, width * bitsPerPixel / 8);
    return bytes;
}

int ReferenceGrey(int blue, int green, int red) {
    return static_cast<int>((green * 0.59 + red * 0.3) + blue * 0.11);
}

TEST(ColourToGreyScale, EveryColourMatchesTheDoublePrecisionSum) {
    // All 2^24 colours, one per pixel of a 4096 x 4096 picture, at 24 and 32 bits (fourth bytes
    // set, to be ignored).
    const int side = 4096;
    for (int bits : {24, 32}) {
        const int b = bits / 8;
        Bytes colours(static_cast<size_t>(side) * side * b, 0x5A);
        for (size_t n = 0; n < size_t(side) * side; ++n) {
            colours[b * n] = static_cast<unsigned char>(n);
            colours[b * n + 1] = static_cast<unsigned char>(n >> 8);
            colours[b * n + 2] = static_cast<unsigned char>(n >> 16);
        }
        Bytes grey(static_cast<size_t>(side) * side);
        ASSERT_EQ(1, CDataHandler().ColourToGreyScale(colours.data(), side, side, bits, nullptr,
                                                      grey.data(), 0));
        int mismatches = 0;
        for (size_t n = 0; n < grey.size(); ++n)
            mismatches += grey[n] != ReferenceGrey(n & 0xFF, n >> 8 & 0xFF, n >> 16 & 0xFF);
        EXPECT_EQ(0, mismatches) << bits;
        EXPECT_EQ(255, grey.back());  // white
    }
}

TEST(ColourToGreyScale, WorkedLevelsAndRowLayout) {
    // White, green, red, blue, white on a row of five; 32-bit fourth bytes are ignored.
    for (int bits : {24, 32}) {
        const int b = bits / 8;
        Bytes source(static_cast<size_t>(RowStride(5, bits)) * 2, 0);
        const unsigned char colours[5][4] = {
            {255, 255, 255, 9}, {0, 255, 0, 9}, {0, 0, 255, 9}, {255, 0, 0, 9}, {255, 255, 255, 9}};
        for (int y = 0; y < 2; ++y)
            for (int x = 0; x < 5; ++x)
                std::memcpy(&source[y * RowStride(5, bits) + x * b], colours[x], b);
        Bytes packed(10, 0xAA), padded(16, 0xAA);
        CDataHandler().ColourToGreyScale(source.data(), 5, 2, bits, nullptr, packed.data(), 0);
        CDataHandler().ColourToGreyScale(source.data(), 5, 2, bits, nullptr, padded.data(), 1);
        EXPECT_EQ((Bytes{255, 150, 76, 28, 255, 255, 150, 76, 28, 255}), packed) << bits;
        EXPECT_EQ((Bytes{255, 150, 76, 28, 255, 0, 0, 0, 255, 150, 76, 28, 255, 0, 0, 0}), padded)
            << bits;
    }
}

TEST(ColourToGreyScale, EightBitGoesThroughThePaletteOrIsBlackWithout) {
    tagRGBQUAD palette[256] = {};
    palette[1] = {0, 255, 0, 0};      // green
    palette[2] = {255, 255, 255, 0};  // white
    Bytes source = {1, 2, 0, 0xEE};   // width 3: one padding byte
    Bytes grey(4, 0xAA);
    EXPECT_EQ(1, CDataHandler().ColourToGreyScale(source.data(), 3, 1, 8, palette, grey.data(), 1));
    EXPECT_EQ((Bytes{150, 255, 0, 0}), grey);
    std::fill(grey.begin(), grey.end(), 0xAA);
    EXPECT_EQ(1, CDataHandler().ColourToGreyScale(source.data(), 3, 1, 8, nullptr, grey.data(), 1));
    EXPECT_EQ(Bytes(4, 0), grey);
}

TEST(ColourToSingle, ThresholdIsStrict) {
    tagRGBQUAD palette[256];
    for (int i = 0; i < 256; ++i)
        palette[i] = {BYTE(i), BYTE(i), BYTE(i), 0};
    // The weighted sum of grey 128 falls just below 128 in double precision, so that entry gives
    // level 127 and stays black; grey 129 gives 129.
    Bytes source = {127, 128, 129, 255, 0};  // width 5: rows of 8
    Bytes out(8, 0xAA);
    CDataHandler().ColourToSingle(source.data(), 5, 1, 8, palette, out.data(), 127);
    EXPECT_EQ((Bytes{0, 0, 255, 255, 0, 0, 0, 0}), out);
    CDataHandler().ColourToSingle(source.data(), 5, 1, 8, palette, out.data(), 126);
    EXPECT_EQ((Bytes{255, 255, 255, 255, 0, 0, 0, 0}), out);
    // Without palette every level is 0: black for thresholds from 0, white below.
    CDataHandler().ColourToSingle(source.data(), 5, 1, 8, nullptr, out.data(), 0);
    EXPECT_EQ(Bytes(8, 0), out);
    CDataHandler().ColourToSingle(source.data(), 5, 1, 8, nullptr, out.data(), -1);
    EXPECT_EQ((Bytes{255, 255, 255, 255, 255, 0, 0, 0}), out);
    // 24-bit: pure green is 150.
    Bytes green = {0, 255, 0, 0};
    CDataHandler().ColourToSingle(green.data(), 1, 1, 24, nullptr, out.data(), 149);
    EXPECT_EQ(255, out[0]);
    CDataHandler().ColourToSingle(green.data(), 1, 1, 24, nullptr, out.data(), 150);
    EXPECT_EQ(0, out[0]);
}

TEST(GreyScaleToColour24, ExpandsPalettesAndDropsFourthBytes) {
    tagRGBQUAD ramp[256];
    for (int i = 0; i < 256; ++i)
        ramp[i] = {BYTE(i), BYTE(i), BYTE(i), 77};
    Bytes indices = {10, 200, 3, 0xEE, 4, 5, 6, 0xEE};  // 3 x 2
    Bytes out(24, 0xAA);
    EXPECT_EQ(1, CDataHandler().GreyScaleToColour24(indices.data(), 3, 2, 8, ramp, out.data()));
    EXPECT_EQ(
        (Bytes{10, 10, 10, 200, 200, 200, 3, 3, 3, 0, 0, 0, 4, 4, 4, 5, 5, 5, 6, 6, 6, 0, 0, 0}),
        out);

    Bytes wide = {1, 2, 3, 4, 5, 6, 7, 8};  // 32-bit, 2 x 1
    Bytes narrow(8, 0xAA);
    CDataHandler().GreyScaleToColour24(wide.data(), 2, 1, 32, nullptr, narrow.data());
    EXPECT_EQ((Bytes{1, 2, 3, 5, 6, 7, 0, 0}), narrow);
    Bytes copy(8, 0xAA);
    Bytes same = {1, 2, 3, 5, 6, 7, 0xEE, 0xEE};
    CDataHandler().GreyScaleToColour24(same.data(), 2, 1, 24, nullptr, copy.data());
    EXPECT_EQ((Bytes{1, 2, 3, 5, 6, 7, 0, 0}), copy);
}

TEST(ColourToReversed, EightBitInvertsThePaletteOnly) {
    tagRGBQUAD palette[256];
    for (int i = 0; i < 256; ++i)
        palette[i] = {BYTE(i), BYTE(i + 1), BYTE(i + 2), BYTE(i + 3)};
    Bytes source = Pattern(5, 3, 8);
    Bytes out(source.size(), 0xAA);
    CDataHandler().ColourToReversed(source.data(), 5, 3, 8, palette, out.data());
    EXPECT_EQ(source, out);  // padding included
    EXPECT_EQ(255 - 7, palette[7].rgbBlue);
    EXPECT_EQ(255 - 8, palette[7].rgbGreen);
    EXPECT_EQ(255 - 9, palette[7].rgbRed);
    EXPECT_EQ(10, palette[7].rgbReserved);
    CDataHandler().ColourToReversed(source.data(), 5, 3, 8, palette, out.data());
    for (int i = 0; i < 256; ++i)
        ASSERT_EQ(BYTE(i + 2), palette[i].rgbRed);
    EXPECT_EQ(1, CDataHandler().ColourToReversed(source.data(), 5, 3, 8, nullptr, out.data()));
}

TEST(ColourToReversed, ColourPixelsInvertedFourthByteAndPaddingZero) {
    Bytes source = {0, 100, 255, 0, 1, 2, 0xEE, 0xEE};  // 24-bit 2 x 1
    Bytes out(8, 0xAA);
    CDataHandler().ColourToReversed(source.data(), 2, 1, 24, nullptr, out.data());
    EXPECT_EQ((Bytes{255, 155, 0, 255, 254, 253, 0, 0}), out);
    Bytes wide = {0, 100, 255, 42, 1, 2, 3, 4};
    CDataHandler().ColourToReversed(wide.data(), 2, 1, 32, nullptr, out.data());
    EXPECT_EQ((Bytes{255, 155, 0, 0, 254, 253, 252, 0}), out);
}

TEST(ColourToRelief, FlatAndStepEdges) {
    for (int bits : {8, 24, 32}) {
        const int b = bits / 8, stride = RowStride(3, bits);
        Bytes flat = Filled(3, 2, bits, 90);
        Bytes out(flat.size(), 0xAA);
        CDataHandler().ColourToRelief(flat.data(), 3, 2, bits, out.data());
        for (int y = 0; y < 2; ++y)
            for (int i = 0; i < stride; ++i)
                ASSERT_EQ(i < b || i >= 3 * b ? 0 : 128, out[y * stride + i]) << bits << " " << i;
    }
    Bytes up = {0, 255, 255, 0}, down = {255, 0, 0, 0}, out(4);
    CDataHandler().ColourToRelief(up.data(), 3, 1, 8, out.data());
    EXPECT_EQ((Bytes{0, 129, 128, 0}), out);
    CDataHandler().ColourToRelief(down.data(), 3, 1, 8, out.data());
    EXPECT_EQ((Bytes{0, 127, 128, 0}), out);
}

TEST(ColourToSharpen, FlatPictureAndDiagonalNeighbour) {
    for (int bits : {8, 24, 32}) {
        const int b = bits / 8, stride = RowStride(5, bits);
        Bytes flat = Filled(5, 3, bits, 240);
        Bytes out(flat.size(), 0xAA);
        CDataHandler().ColourToSharpen(flat.data(), 5, 3, bits, out.data());
        for (int y = 0; y < 3; ++y)
            for (int i = 0; i < stride; ++i) {
                const bool written = y < 2 && i >= b && i < 5 * b;
                ASSERT_EQ(written ? (240 + 32) % 256 : 0, out[y * stride + i])
                    << bits << " " << y << " " << i;
            }
    }
    // c = 200 over n = 10 one to the left in the next row: d = (190 + 128) mod 256 = 62, 200 + 15.
    Bytes source = {0, 200, 0, 0, 10, 0, 0, 0};
    Bytes out(8, 0xAA);
    CDataHandler().ColourToSharpen(source.data(), 2, 2, 8, out.data());
    EXPECT_EQ((Bytes{0, 215, 0, 0, 0, 0, 0, 0}), out);
    Bytes single = Filled(3, 1, 24, 50), none(single.size(), 0xAA);
    CDataHandler().ColourToSharpen(single.data(), 3, 1, 24, none.data());
    EXPECT_EQ(Bytes(single.size(), 0), none);
}

TEST(ColourModes, UnsupportedBitCountsAreRefusedUntouched) {
    Bytes source(64, 1), out(64, 0xAA);
    CDataHandler h;
    EXPECT_EQ(0, h.ColourToGreyScale(source.data(), 2, 2, 16, nullptr, out.data(), 1));
    EXPECT_EQ(0, h.ColourToSingle(source.data(), 2, 2, 16, nullptr, out.data(), 1));
    EXPECT_EQ(0, h.GreyScaleToColour24(source.data(), 2, 2, 16, nullptr, out.data()));
    EXPECT_EQ(0, h.ColourToReversed(source.data(), 2, 2, 16, nullptr, out.data()));
    EXPECT_EQ(0, h.ColourToRelief(source.data(), 2, 2, 16, out.data()));
    EXPECT_EQ(0, h.ColourToSharpen(source.data(), 2, 2, 16, out.data()));
    EXPECT_EQ(Bytes(64, 0xAA), out);
}

}  // namespace
