// Tone adjustment: the worked figures, the vector passes against the byte formulas, and the HSL
// model.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <climits>
#include <cstdlib>
#include <tuple>
#include <vector>

#include "pixel/DataHandler.h"
#include "pixel/internal/PixelLayout.h"
#include "support/MemoryProbe.h"
#include "support/PixelPictures.h"

namespace {

using imgdesk::pixel::RowStride;
using namespace imgdesk::test;

Bytes AllLevels() {
    Bytes levels(256);
    for (int v = 0; v < 256; ++v)
        levels[v] = static_cast<unsigned char>(v);
    return levels;
}

TEST(PixelLayout, RowStrideFollowsThePlatformBitmapRows) {
    for (auto [width, s8, s24, s32] : {std::array{1, 4, 4, 4},
                                       {3, 4, 12, 12},
                                       {4, 4, 12, 16},
                                       {5, 8, 16, 20},
                                       {641, 644, 1924, 2564}})
        EXPECT_EQ((std::array{s8, s24, s32}),
                  (std::array{RowStride(width, 8), RowStride(width, 24), RowStride(width, 32)}));
    CDataHandler a, b;
    EXPECT_EQ(&a, &(a = b));  // the object has no state: assignment copies nothing
}

TEST(ToneAdjust, WorkedFigures) {
    CDataHandler h;
    const Bytes px{0, 1, 100, 200, 255};
    for (auto [amount, result, expected] : {std::tuple{0, 0, px},
                                            {100, 1, Bytes{0, 2, 200, 255, 255}},
                                            {INT_MAX, 1, Bytes{0, 255, 255, 255, 255}},
                                            {-100, 1, Bytes(5, 0)}}) {
        Bytes work = px;
        EXPECT_EQ(result, h.AdjustLuminosity(work.data(), 5, 1, 8, amount));
        EXPECT_EQ(expected, work) << amount;
    }
    // 127 splits at 127 | 128; from 128 up 121 ... 127 become 17, 34, ... 119; from -128 down
    // every level lands in 120 ... 135 in order; 0 is refused.
    for (int amount : {0, 127, 128, 200, INT_MAX, -128, -200, INT_MIN}) {
        Bytes work = AllLevels();
        EXPECT_EQ(amount != 0, h.AdjustContrast(work.data(), 256, 1, 8, amount));
        for (int v = 0; v < 256 && amount >= 0; ++v)
            ASSERT_EQ(amount == 0     ? v
                      : amount == 127 ? (v <= 127 ? 0 : 255)
                      : v <= 120      ? 0
                      : v >= 128      ? 255
                                      : 17 * (v - 120),
                      work[v])
                << amount << " " << v;
        if (amount < 0) {
            EXPECT_TRUE(work[0] == 120 && work[255] == 135 &&
                        std::is_sorted(work.begin(), work.end()));
        }
    }
}

int ContrastOfByte(int v, int amount) {
    if (amount < 0) {
        const int divisor = amount <= -128 ? 15 : 255 + 2 * amount;
        return v * divisor / 255 + (amount <= -128 ? 120 : -amount);
    }
    const int low = amount >= 128 ? 120 : amount, high = amount >= 128 ? 127 : 255 - amount;
    const int divisor = amount >= 128 ? 15 : 255 - 2 * amount;
    return v <= low ? 0 : v > high ? 255 : (v - low) * 255 / divisor;
}

// The vector and table passes against the byte formulas: every amount that selects a different
// form, every width residue and bit count (fourth bytes and palette indices are pixel bytes too),
// padding never touched.
TEST(TonePasses, EveryPixelByteFollowsTheFormula) {
    CDataHandler h;
    for (int bits : {8, 24, 32})
        for (int width : {1, 2, 3, 5, 7, 107}) {
            const Bytes before = PatternPicture(width, 3, bits);
            const int stride = RowStride(width, bits), rowBytes = width * bits / 8;
            const auto check = [&](const Bytes& work, auto formula) {
                for (size_t i = 0; i < work.size(); ++i) {
                    const int x = int(i % stride);
                    ASSERT_EQ(x < rowBytes ? formula(before[i], x % (bits / 8)) : 0xEE, work[i])
                        << bits << " bits, width " << width << ", byte " << i;
                }
            };
            for (int amount = -140; amount <= 320; ++amount) {
                Bytes lum = before, con = before;
                h.AdjustLuminosity(lum.data(), width, 3, bits, amount);
                h.AdjustContrast(con.data(), width, 3, bits, amount);
                check(lum, [&](int v, int) {
                    return amount ? std::clamp(v * (amount + 100) / 100, 0, 255) : v;
                });
                check(con, [&](int v, int) { return amount ? ContrastOfByte(v, amount) : v; });
            }
            Bytes gains = before;
            ASSERT_EQ(bits != 8, h.SaturationAlter(gains.data(), width, 3, bits, 64, 128, 192));
            check(gains,
                  [&](int v, int c) { return bits == 8 || c == 3 ? v : v * (192 - 64 * c) / 255; });
        }
}

TEST(TonePasses, RefuseUnsupportedBitCountsAndAllocateNothing) {
    MemoryProbe probe;
    CDataHandler h;
    Bytes p = PatternPicture(4, 2, 16);
    const Bytes before = p;
    EXPECT_EQ(0, h.AdjustLuminosity(p.data(), 4, 2, 16, 50) +
                     h.AdjustContrast(p.data(), 4, 2, 16, 50) +
                     h.AdjustSaturation(p.data(), 4, 2, 16, 50) +
                     h.SaturationAlter(p.data(), 4, 2, 16, 10, 10, 10));
    EXPECT_EQ(before, p);
    Bytes q = PatternPicture(13, 5, 24);
    h.AdjustSaturation(q.data(), 13, 5, 24, 20);
    h.SaturationAlter(q.data(), 13, 5, 24, 1, 2, 3);
    EXPECT_EQ(0, probe.Allocations());
}

TEST(AdjustSaturation, WorkedColoursLimitsAndFourthBytes) {
    CDataHandler h;
    for (int amount : {-100, -37, 50, 1000}) {  // grey bytes come back unchanged
        auto grey = AllLevels();
        EXPECT_EQ(1, h.AdjustSaturation(grey.data(), 256, 1, 8, amount));
        EXPECT_EQ(AllLevels(), grey) << amount;
    }
    // Red 200, green 100, blue 0 has saturation 1 already; -100 turns it grey. 32-bit pixels
    // keep their fourth byte; amounts above 100 act as 100.
    for (auto [bits, amount, input, expected] :
         {std::tuple{24, 50, Bytes{0, 100, 200, 0}, Bytes{0, 100, 200, 0}},
          {24, -100, Bytes{0, 100, 200, 0}, Bytes{100, 100, 100, 0}},
          {32, -100, Bytes{0, 100, 200, 77, 10, 20, 30, 99},
           Bytes{100, 100, 100, 77, 20, 20, 20, 99}}}) {
        EXPECT_EQ(1, h.AdjustSaturation(input.data(), int(input.size()) / 4, 1, bits, amount));
        EXPECT_EQ(expected, input) << bits << " " << amount;
    }
    Bytes a = PatternPicture(7, 3, 24), b = a;
    h.AdjustSaturation(a.data(), 7, 3, 24, 100);
    h.AdjustSaturation(b.data(), 7, 3, 24, INT_MAX);
    EXPECT_EQ(a, b);
}

TEST(SaturationAlter, GainsPerChannel) {
    // Gains 255, 255, 255 change nothing and return 0; gain 0 clears a channel, others are
    // limited to 0 ... 255.
    CDataHandler h;
    Bytes px{200, 100, 50, 9, 255, 255, 255, 9};
    EXPECT_EQ(0, h.SaturationAlter(px.data(), 2, 1, 32, 255, 255, 255));
    EXPECT_EQ(1, h.SaturationAlter(px.data(), 2, 1, 32, 0, 128, 300));
    EXPECT_EQ((Bytes{200, 50, 0, 9, 255, 128, 0, 9}), px);
    EXPECT_EQ(1, h.SaturationAlter(px.data(), 2, 1, 32, 255, 255, -5));
    EXPECT_EQ(0, px[0]);
}

TEST(HslModel, WorkedFiguresRoundTripsAndLimits) {
    CDataHandler h;
    float hue, saturation, lightness;
    for (auto [r, g, b, hueOf, saturationOf, lightnessOf] :
         {std::tuple{255, 0, 0, 360.0f, 1.0f, 0.5f},
          {128, 128, 128, 0.0f, 0.0f, float(256.0 / 510.0)},
          {255, 255, 0, 60.0f, 1.0f, 0.5f},
          {0, 255, 0, 120.0f, 1.0f, 0.5f},
          {0, 255, 255, 180.0f, 1.0f, 0.5f},
          {0, 0, 255, 240.0f, 1.0f, 0.5f},
          {255, 0, 255, 300.0f, 1.0f, 0.5f}}) {
        h.RGBtoHSL(r, g, b, &hue, &saturation, &lightness);
        EXPECT_EQ((std::array{hueOf, saturationOf, lightnessOf}),
                  (std::array{hue, saturation, lightness}));
        EXPECT_EQ(static_cast<unsigned long>(r | g << 8 | b << 16),
                  h.HSLtoRGB(hue, saturation, lightness));
    }
    EXPECT_EQ(0xFFFFFFul, h.HSLtoRGB(0, 0, 1));
    EXPECT_EQ(255ul, h.HSLtoRGB(0, 1, 0.5f));
    EXPECT_EQ(0xFFFFFFul, h.HSLtoRGB(10.0f, 0.0f, 7.0f));  // lightness above 1 acts as 1
    // Round trips stay within one level, greys exactly; hues lie in (0, 360] or are 0.
    for (int r = 0; r < 256; r += 15)
        for (int g = 0; g < 256; g += 17)
            for (int b = 0; b < 256; b += 5) {
                h.RGBtoHSL(r, g, b, &hue, &saturation, &lightness);
                ASSERT_TRUE(hue == 0.0f || (hue > 0.0f && hue <= 360.0f)) << hue;
                const unsigned long c = h.HSLtoRGB(hue, saturation, lightness);
                ASSERT_LE(std::abs(int(c & 0xFF) - r), r == g && g == b ? 0 : 1);
                ASSERT_LE(std::abs(int(c >> 8 & 0xFF) - g), 1);
                ASSERT_LE(std::abs(int(c >> 16 & 0xFF) - b), 1);
            }
    // Hues turn by whole turns (360 stays: the t1 band), results are limited to 0 ... 255, and a
    // hue too large to turn ends instead of spinning.
    EXPECT_EQ(h.HueToRGB(0.0f, 1.0f, 30.0f), h.HueToRGB(0.0f, 1.0f, 390.0f));
    EXPECT_EQ(h.HueToRGB(0.0f, 1.0f, 30.0f), h.HueToRGB(0.0f, 1.0f, -330.0f));
    for (auto [t1, t2, hueOf, expected] : {std::tuple{0.0f, 1.0f, 360.0f, 0},
                                           {0.0f, 2.0f, 120.0f, 255},
                                           {-1.0f, -1.0f, 300.0f, 0},
                                           {0.0f, 1.0f, 1e30f, 0}})
        EXPECT_EQ(expected, h.HueToRGB(t1, t2, hueOf)) << hueOf;
}

}  // namespace
