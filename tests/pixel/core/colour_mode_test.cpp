#include <gtest/gtest.h>

#include <functional>
#include <initializer_list>
#include <vector>

#include "pixel/DataHandler.h"
#include "pixel/internal/PixelLayout.h"
#include "support/MemoryProbe.h"
#include "support/PixelPictures.h"

namespace {

using imgdesk::pixel::RowStride;
using namespace imgdesk::test;

TEST(ColourToGreyScale, EveryColourMatchesTheDoublePrecisionSum) {
    // All 2^24 colours, one per pixel of a 4096 x 4096 picture, at 24 and 32 bits (fourth bytes
    // set, to be ignored).
    for (int bits : {24, 32}) {
        const size_t b = bits / 8, pixels = size_t(4096) * 4096;
        Bytes colours(pixels * b, 0x5A), grey(pixels);
        for (size_t n = 0; n < pixels; ++n)
            for (size_t c = 0; c < 3; ++c)
                colours[b * n + c] = static_cast<unsigned char>(n >> (8 * c));
        ASSERT_EQ(1, CDataHandler().ColourToGreyScale(colours.data(), 4096, 4096, bits, nullptr,
                                                      grey.data(), 0));
        size_t mismatches = 0;
        for (size_t n = 0; n < pixels; ++n)
            mismatches += grey[n] != GreyLevel(n & 0xFF, n >> 8 & 0xFF, n >> 16 & 0xFF);
        EXPECT_EQ(0u, mismatches) << bits;
    }
}

TEST(ColourToGreyScale, WorkedLevelsRowLayoutAndPalettes) {
    // White, green, red, blue, white: 255, 150, 76, 28, 255, in rows 5 bytes apart (flag 0) or 8.
    for (int bits : {24, 32}) {
        Picture source(5, 2, bits, 255);
        for (int y = 0; y < 2; ++y)
            for (int x = 1; x < 4; ++x) {
                source.Set(x, y, 0);
                source.At(x, y)[x - 1 == 0 ? 1 : x - 1 == 1 ? 2 : 0] = 255;
            }
        Bytes packed(10, 0xAA), padded(16, 0xAA);
        CDataHandler().ColourToGreyScale(source.data(), 5, 2, bits, nullptr, packed.data(), 0);
        CDataHandler().ColourToGreyScale(source.data(), 5, 2, bits, nullptr, padded.data(), 1);
        EXPECT_EQ((Bytes{255, 150, 76, 28, 255, 255, 150, 76, 28, 255}), packed) << bits;
        EXPECT_EQ((Bytes{255, 150, 76, 28, 255, 0, 0, 0, 255, 150, 76, 28, 255, 0, 0, 0}), padded)
            << bits;
    }
    // 8-bit levels come through the palette; without one every level is 0.
    tagRGBQUAD palette[256] = {};
    palette[1] = {0, 255, 0, 0};
    palette[2] = {255, 255, 255, 0};
    Bytes source = {1, 2, 0, 0xEE}, grey(4, 0xAA);
    EXPECT_EQ(1, CDataHandler().ColourToGreyScale(source.data(), 3, 1, 8, palette, grey.data(), 1));
    EXPECT_EQ((Bytes{150, 255, 0, 0}), grey);
    EXPECT_EQ(1, CDataHandler().ColourToGreyScale(source.data(), 3, 1, 8, nullptr, grey.data(), 1));
    EXPECT_EQ(Bytes(4, 0), grey);
}

TEST(ColourToSingle, ThresholdIsStrict) {
    // Palette grey 128 sums to just below 128 in double precision (level 127); 129 gives 129.
    // Without a palette every level is 0: black from threshold 0 up, white below.
    const auto grey = GreyPalette();
    Bytes source = {127, 128, 129, 255, 0, 0xEE, 0xEE, 0xEE}, out(8);
    for (auto [palette, threshold, expected] :
         {std::tuple{grey.data(), 127, Bytes{0, 0, 255, 255, 0, 0, 0, 0}},
          {grey.data(), 126, Bytes{255, 255, 255, 255, 0, 0, 0, 0}},
          {nullptr, 0, Bytes(8, 0)},
          {nullptr, -1, Bytes{255, 255, 255, 255, 255, 0, 0, 0}}}) {
        CDataHandler().ColourToSingle(source.data(), 5, 1, 8, const_cast<tagRGBQUAD*>(palette),
                                      out.data(), threshold);
        EXPECT_EQ(expected, out) << threshold;
    }
}

TEST(ColourModes, PalettesAndNegatives) {
    // A grey-ramp palette expands to three equal bytes, padding 0.
    auto ramp = GreyPalette();
    Bytes indices = {10, 200, 3, 0xEE}, out(12, 0xAA);
    EXPECT_EQ(1,
              CDataHandler().GreyScaleToColour24(indices.data(), 3, 1, 8, ramp.data(), out.data()));
    EXPECT_EQ((Bytes{10, 10, 10, 200, 200, 200, 3, 3, 3, 0, 0, 0}), out);
    // 8 bits: the pixels are copied and the palette inverted; twice restores it.
    CDataHandler().ColourToReversed(indices.data(), 3, 1, 8, ramp.data(), out.data());
    EXPECT_EQ(indices, Bytes(out.begin(), out.begin() + 4));
    EXPECT_EQ(255 - 7, ramp[7].rgbRed);
    CDataHandler().ColourToReversed(indices.data(), 3, 1, 8, ramp.data(), out.data());
    EXPECT_EQ(7, ramp[7].rgbRed);
    // Colour pixels are inverted with the fourth byte 0.
    Bytes wide = {0, 100, 255, 42, 1, 2, 3, 4};
    CDataHandler().ColourToReversed(wide.data(), 2, 1, 32, nullptr, out.data());
    EXPECT_EQ((Bytes{255, 155, 0, 0, 254, 253, 252, 0}), Bytes(out.begin(), out.begin() + 8));
}

TEST(ColourModes, ReliefAndSharpen) {
    // Flat v: relief 128 and sharpen v + 32 (mod 256), except column 0 (and the last row for
    // sharpen), which stay 0 like the padding.
    for (int bits : {8, 24}) {
        Picture flat(5, 3, bits, 240);
        const int b = bits / 8, stride = flat.stride;
        Bytes relief(flat.bytes.size(), 0xAA), sharp(flat.bytes.size(), 0xAA);
        CDataHandler().ColourToRelief(flat.data(), 5, 3, bits, relief.data());
        CDataHandler().ColourToSharpen(flat.data(), 5, 3, bits, sharp.data());
        for (int i = 0; i < 3 * stride; ++i) {
            const bool pixel = i % stride >= b && i % stride < 5 * b;
            ASSERT_EQ(pixel ? 128 : 0, relief[i]) << bits << " " << i;
            ASSERT_EQ(pixel && i / stride < 2 ? (240 + 32) % 256 : 0, sharp[i]) << bits << " " << i;
        }
    }
    // Steps 0 | 255 and 255 | 0 give 129 and 127; a single row sharpens to all 0.
    Bytes steps = {0, 255, 0, 0}, single = {50, 50, 50, 0}, out(4, 0xAA);
    CDataHandler().ColourToRelief(steps.data(), 3, 1, 8, out.data());
    EXPECT_EQ((Bytes{0, 129, 127, 0}), out);
    CDataHandler().ColourToSharpen(single.data(), 1, 1, 24, out.data());
    EXPECT_EQ(Bytes(4, 0), out);
}

TEST(ColourModes, UnsupportedBitCountsAreRefusedUntouched) {
    Bytes source(64, 1), out(64, 0xAA);
    CDataHandler h;
    unsigned char *s = source.data(), *o = out.data();
    for (const auto& call : std::initializer_list<std::function<int()>>{
             [&] { return h.ColourToGreyScale(s, 2, 2, 16, nullptr, o, 1); },
             [&] { return h.ColourToSingle(s, 2, 2, 16, nullptr, o, 1); },
             [&] { return h.GreyScaleToColour24(s, 2, 2, 16, nullptr, o); },
             [&] { return h.ColourToReversed(s, 2, 2, 16, nullptr, o); },
             [&] { return h.ColourToRelief(s, 2, 2, 16, o); },
             [&] { return h.ColourToSharpen(s, 2, 2, 16, o); }}) {
        int result = -1;
        EXPECT_EQ(
            0, ExpectCleanFailures([&] { result = call(); }, [&](int) { EXPECT_EQ(0, result); }));
        EXPECT_EQ(Bytes(64, 0xAA), out);
    }
}

}  // namespace
