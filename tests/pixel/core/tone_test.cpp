// Tone adjustment: the worked figures, the buffer layout (strides, padding, fourth bytes), the
// vector paths against the byte formulas, and the HSL model.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <vector>

#include "pixel/DataHandler.h"
#include "pixel/internal/PixelLayout.h"
#include "support/MemoryProbe.h"

namespace {

using imgdesk::pixel::RowStride;
using imgdesk::test::MemoryProbe;

// A buffer whose pixel bytes run through every value and whose padding bytes are marked 0xA5, so
// that a write into the padding shows.
struct Picture {
    Picture(int w, int h, int bpp) : width(w), height(h), bits(bpp), stride(RowStride(w, bpp)) {
        bytes.assign(static_cast<size_t>(stride) * h, 0xA5);
        int value = 7;
        for (int y = 0; y < h; ++y) {
            for (int i = 0; i < w * bpp / 8; ++i)
                bytes[y * stride + i] = static_cast<unsigned char>(value++ * 37);
        }
    }
    bool PaddingIntact() const {
        for (int y = 0; y < height; ++y) {
            for (int i = width * bits / 8; i < stride; ++i) {
                if (bytes[y * stride + i] != 0xA5)
                    return false;
            }
        }
        return true;
    }
    unsigned char* data() { return bytes.data(); }
    int width, height, bits, stride;
    std::vector<unsigned char> bytes;
};

TEST(PixelLayout, RowStrideFollowsThePlatformBitmapRows) {
    struct Row {
        int width, s8, s24, s32;
    };
    for (Row r : {Row{1, 4, 4, 4}, Row{2, 4, 8, 8}, Row{3, 4, 12, 12}, Row{4, 4, 12, 16},
                  Row{5, 8, 16, 20}, Row{639, 640, 1920, 2556}, Row{641, 644, 1924, 2564}}) {
        EXPECT_EQ(r.s8, RowStride(r.width, 8)) << r.width;
        EXPECT_EQ(r.s24, RowStride(r.width, 24)) << r.width;
        EXPECT_EQ(r.s32, RowStride(r.width, 32)) << r.width;
    }
}

TEST(CDataHandlerObject, CopyAssignmentCopiesNothingAndReturnsTheTarget) {
    CDataHandler a, b;
    EXPECT_EQ(&a, &(a = b));
    static_assert(sizeof(CDataHandler) == 1, "no data members");
}

TEST(AdjustLuminosity, WorkedFigures) {
    CDataHandler h;
    unsigned char px[4] = {0, 100, 200, 255};
    EXPECT_EQ(0, h.AdjustLuminosity(px, 4, 1, 8, 0));
    EXPECT_EQ(100, px[1]);
    EXPECT_EQ(1, h.AdjustLuminosity(px, 4, 1, 8, 100));
    EXPECT_EQ((std::vector<unsigned char>{0, 200, 255, 255}),
              std::vector<unsigned char>(px, px + 4));
    EXPECT_EQ(1, h.AdjustLuminosity(px, 4, 1, 8, -100));
    EXPECT_EQ((std::vector<unsigned char>{0, 0, 0, 0}), std::vector<unsigned char>(px, px + 4));
}

TEST(AdjustLuminosity, ExtremeAmountsSaturateWithoutOverflow) {
    CDataHandler h;
    unsigned char px[4] = {0, 1, 128, 255};
    EXPECT_EQ(1, h.AdjustLuminosity(px, 4, 1, 8, INT_MAX));
    EXPECT_EQ((std::vector<unsigned char>{0, 255, 255, 255}),
              std::vector<unsigned char>(px, px + 4));
    EXPECT_EQ(1, h.AdjustLuminosity(px, 4, 1, 8, INT_MIN));
    EXPECT_EQ((std::vector<unsigned char>{0, 0, 0, 0}), std::vector<unsigned char>(px, px + 4));
}

// The vector and table paths against the byte formula, for every amount that selects a different
// form, on rows long enough for whole vector blocks and a tail.
TEST(AdjustLuminosity, EveryByteFollowsTheFormulaForEveryAmountForm) {
    CDataHandler h;
    for (int amount = -120; amount <= 320; ++amount) {
        if (amount == 0)
            continue;
        std::vector<unsigned char> row(256 + 61);
        for (size_t i = 0; i < row.size(); ++i)
            row[i] = static_cast<unsigned char>(i * 7);
        const std::vector<unsigned char> before = row;
        h.AdjustLuminosity(row.data(), static_cast<int>(row.size()), 1, 8, amount);
        for (size_t i = 0; i < row.size(); ++i) {
            const int expected = std::clamp(before[i] * (amount + 100) / 100, 0, 255);
            ASSERT_EQ(expected, row[i]) << "amount " << amount << " byte " << int(before[i]);
        }
    }
}

TEST(AdjustContrast, WorkedFigures) {
    CDataHandler h;
    std::vector<unsigned char> all(256);
    for (int v = 0; v < 256; ++v)
        all[v] = static_cast<unsigned char>(v);

    auto strong = all;
    EXPECT_EQ(1, h.AdjustContrast(strong.data(), 256, 1, 8, 127));
    for (int v = 0; v < 256; ++v)
        ASSERT_EQ(v <= 127 ? 0 : 255, strong[v]) << v;

    for (int amount : {128, 200, INT_MAX}) {
        auto stretched = all;
        h.AdjustContrast(stretched.data(), 256, 1, 8, amount);
        for (int v = 0; v <= 120; ++v)
            ASSERT_EQ(0, stretched[v]);
        for (int v = 121; v <= 127; ++v)
            ASSERT_EQ(17 * (v - 120), stretched[v]) << v;  // 17, 34, ... 119
        for (int v = 128; v < 256; ++v)
            ASSERT_EQ(255, stretched[v]);
    }

    for (int amount : {-128, -200, INT_MIN}) {
        auto compressed = all;
        h.AdjustContrast(compressed.data(), 256, 1, 8, amount);
        EXPECT_EQ(120, compressed[0]);
        EXPECT_EQ(135, compressed[255]);
        EXPECT_TRUE(std::is_sorted(compressed.begin(), compressed.end()));
    }
    auto unchanged = all;
    EXPECT_EQ(0, h.AdjustContrast(unchanged.data(), 256, 1, 8, 0));
    EXPECT_EQ(all, unchanged);
}

TEST(AdjustContrast, EveryBandFollowsTheFormula) {
    CDataHandler h;
    for (int amount = -130; amount <= 130; ++amount) {
        if (amount == 0)
            continue;
        int low = amount, high = 255 - amount, divisor = 255 - 2 * amount, lift = -amount;
        if (amount >= 128)
            low = 120, high = 127, divisor = 15;
        if (amount < 0)
            divisor = amount <= -128 ? 15 : 255 + 2 * amount, lift = amount <= -128 ? 120 : -amount;
        std::vector<unsigned char> row(256 + 53);
        for (size_t i = 0; i < row.size(); ++i)
            row[i] = static_cast<unsigned char>(i * 11);
        const auto before = row;
        h.AdjustContrast(row.data(), static_cast<int>(row.size()), 1, 8, amount);
        for (size_t i = 0; i < row.size(); ++i) {
            const int v = before[i];
            const int expected = amount < 0 ? v * divisor / 255 + lift
                                 : v <= low ? 0
                                 : v > high ? 255
                                            : (v - low) * 255 / divisor;
            ASSERT_EQ(expected, row[i]) << "amount " << amount << " byte " << v;
        }
    }
}

// Byte-wise passes change every pixel byte (fourth bytes and palette indices too) and never the
// row padding, for every width residue and bit count.
TEST(TonePasses, TouchEveryPixelByteAndNoPadding) {
    CDataHandler h;
    for (int bits : {8, 24, 32}) {
        for (int width = 1; width <= 8; ++width) {
            Picture lum(width, 3, bits), con(width, 3, bits);
            const auto before = lum.bytes;
            ASSERT_EQ(1, h.AdjustLuminosity(lum.data(), width, 3, bits, -100));
            ASSERT_EQ(1, h.AdjustContrast(con.data(), width, 3, bits, 127));
            EXPECT_TRUE(lum.PaddingIntact() && con.PaddingIntact())
                << bits << " bits, width " << width;
            for (int y = 0; y < 3; ++y) {
                for (int i = 0; i < width * bits / 8; ++i) {
                    ASSERT_EQ(0, lum.bytes[y * lum.stride + i]);
                    ASSERT_EQ(before[y * lum.stride + i] <= 127 ? 0 : 255,
                              con.bytes[y * con.stride + i]);
                }
            }
        }
    }
}

TEST(TonePasses, UnsupportedBitCountsAreRefusedUntouched) {
    CDataHandler h;
    Picture p(4, 2, 16);
    const auto before = p.bytes;
    EXPECT_EQ(0, h.AdjustLuminosity(p.data(), 4, 2, 16, 50));
    EXPECT_EQ(0, h.AdjustContrast(p.data(), 4, 2, 16, 50));
    EXPECT_EQ(0, h.AdjustSaturation(p.data(), 4, 2, 16, 50));
    EXPECT_EQ(0, h.SaturationAlter(p.data(), 4, 2, 16, 10, 10, 10));
    EXPECT_EQ(before, p.bytes);
}

TEST(TonePasses, AllocateNothing) {
    MemoryProbe probe;
    CDataHandler h;
    Picture p(13, 5, 24);
    h.AdjustLuminosity(p.data(), 13, 5, 24, 20);
    h.AdjustContrast(p.data(), 13, 5, 24, -20);
    h.AdjustSaturation(p.data(), 13, 5, 24, 20);
    h.SaturationAlter(p.data(), 13, 5, 24, 1, 2, 3);
    EXPECT_EQ(0, probe.Allocations());
    EXPECT_EQ(0, probe.LiveBlocks());
}

TEST(AdjustSaturation, GreyBytesComeBackUnchanged) {
    CDataHandler h;
    for (int amount : {-100, -37, 50, 100, 1000}) {
        std::vector<unsigned char> grey(256);
        for (int v = 0; v < 256; ++v)
            grey[v] = static_cast<unsigned char>(v);
        const auto before = grey;
        EXPECT_EQ(1, h.AdjustSaturation(grey.data(), 256, 1, 8, amount));
        EXPECT_EQ(before, grey) << amount;
    }
}

TEST(AdjustSaturation, WorkedColour) {
    CDataHandler h;
    unsigned char px[4] = {0, 100, 200, 0};  // blue 0, green 100, red 200
    EXPECT_EQ(1, h.AdjustSaturation(px, 1, 1, 24, 50));
    EXPECT_EQ((std::vector<unsigned char>{0, 100, 200}), std::vector<unsigned char>(px, px + 3));
    EXPECT_EQ(1, h.AdjustSaturation(px, 1, 1, 24, -100));
    EXPECT_EQ((std::vector<unsigned char>{100, 100, 100}), std::vector<unsigned char>(px, px + 3));
    EXPECT_EQ(0, px[3]);  // padding
}

TEST(AdjustSaturation, AmountsBeyondOneHundredActAsOneHundred) {
    CDataHandler h;
    Picture a(7, 3, 24), b(7, 3, 24);
    h.AdjustSaturation(a.data(), 7, 3, 24, 100);
    h.AdjustSaturation(b.data(), 7, 3, 24, INT_MAX);
    EXPECT_EQ(a.bytes, b.bytes);
    EXPECT_TRUE(a.PaddingIntact());
}

TEST(AdjustSaturation, ThirtyTwoBitPixelsKeepTheirFourthByte) {
    CDataHandler h;
    unsigned char px[8] = {0, 100, 200, 77, 10, 20, 30, 99};
    EXPECT_EQ(1, h.AdjustSaturation(px, 2, 1, 32, -100));
    EXPECT_EQ((std::vector<unsigned char>{100, 100, 100, 77}),
              std::vector<unsigned char>(px, px + 4));
    EXPECT_EQ(99, px[7]);
    EXPECT_EQ(px[4], px[5]);
    EXPECT_EQ(px[5], px[6]);
}

TEST(SaturationAlter, GainsPerChannel) {
    CDataHandler h;
    unsigned char px[8] = {200, 100, 50, 9, 255, 255, 255, 9};  // two 32-bit pixels
    EXPECT_EQ(0, h.SaturationAlter(px, 2, 1, 32, 255, 255, 255));
    EXPECT_EQ(0, h.SaturationAlter(px, 2, 1, 8, 0, 0, 0));
    EXPECT_EQ(200, px[0]);
    EXPECT_EQ(
        1, h.SaturationAlter(px, 2, 1, 32, 0, 128, 300));  // red cleared, blue gain limited to 255
    EXPECT_EQ((std::vector<unsigned char>{200, 50, 0, 9, 255, 128, 0, 9}),
              std::vector<unsigned char>(px, px + 8));
    EXPECT_EQ(1, h.SaturationAlter(px, 2, 1, 32, 255, 255, -5));  // negative gain limited to 0
    EXPECT_EQ(0, px[0]);
}

TEST(SaturationAlter, TwentyFourBitRowsOfEveryWidthKeepTheirPadding) {
    CDataHandler h;
    for (int width = 1; width <= 21; ++width) {
        Picture p(width, 2, 24);
        const auto before = p.bytes;
        ASSERT_EQ(1, h.SaturationAlter(p.data(), width, 2, 24, 64, 128, 192));
        EXPECT_TRUE(p.PaddingIntact());
        for (int y = 0; y < 2; ++y) {
            for (int x = 0; x < width; ++x) {
                const size_t at = y * p.stride + 3 * x;
                ASSERT_EQ(before[at] * 192 / 255, p.bytes[at]);
                ASSERT_EQ(before[at + 1] * 128 / 255, p.bytes[at + 1]);
                ASSERT_EQ(before[at + 2] * 64 / 255, p.bytes[at + 2]);
            }
        }
    }
}

TEST(HslModel, WorkedFigures) {
    CDataHandler h;
    float hue, saturation, lightness;
    h.RGBtoHSL(255, 0, 0, &hue, &saturation, &lightness);
    EXPECT_EQ(360.0f, hue);
    EXPECT_EQ(1.0f, saturation);
    EXPECT_EQ(0.5f, lightness);
    h.RGBtoHSL(128, 128, 128, &hue, &saturation, &lightness);
    EXPECT_EQ(0.0f, hue);
    EXPECT_EQ(0.0f, saturation);
    EXPECT_EQ(static_cast<float>(256.0 / 510.0), lightness);
    EXPECT_EQ(0xFFFFFFul, h.HSLtoRGB(0, 0, 1));
    EXPECT_EQ(255ul, h.HSLtoRGB(0, 1, 0.5f));
}

TEST(HslModel, PrimaryAndSecondaryHues) {
    CDataHandler h;
    struct Case {
        int r, g, b;
        float hue;
    };
    for (Case c : {Case{255, 255, 0, 60}, Case{0, 255, 0, 120}, Case{0, 255, 255, 180},
                   Case{0, 0, 255, 240}, Case{255, 0, 255, 300}}) {
        float hue, saturation, lightness;
        h.RGBtoHSL(c.r, c.g, c.b, &hue, &saturation, &lightness);
        EXPECT_EQ(c.hue, hue) << c.r << "," << c.g << "," << c.b;
        const unsigned long packed = h.HSLtoRGB(hue, saturation, lightness);
        EXPECT_EQ(static_cast<unsigned long>(c.r | c.g << 8 | c.b << 16), packed);
    }
}

TEST(HslModel, RoundTripsStayWithinOneLevel) {
    CDataHandler h;
    for (int r = 0; r < 256; r += 15) {
        for (int g = 0; g < 256; g += 17) {
            for (int b = 0; b < 256; b += 5) {
                float hue, saturation, lightness;
                h.RGBtoHSL(r, g, b, &hue, &saturation, &lightness);
                ASSERT_GE(lightness, 0.0f);
                ASSERT_LE(saturation, 1.0f);
                ASSERT_TRUE(hue == 0.0f || (hue > 0.0f && hue <= 360.0f)) << hue;
                const unsigned long c = h.HSLtoRGB(hue, saturation, lightness);
                ASSERT_LE(std::abs(int(c & 0xFF) - r), 1);
                ASSERT_LE(std::abs(int(c >> 8 & 0xFF) - g), 1);
                ASSERT_LE(std::abs(int(c >> 16 & 0xFF) - b), 1);
                if (r == g && g == b) {
                    ASSERT_EQ(static_cast<unsigned long>(r | r << 8 | r << 16), c);
                }
            }
        }
    }
}

TEST(HslModel, HueTurnsAndLimits) {
    CDataHandler h;
    EXPECT_EQ(h.HueToRGB(0.0f, 1.0f, 30.0f), h.HueToRGB(0.0f, 1.0f, 390.0f));
    EXPECT_EQ(h.HueToRGB(0.0f, 1.0f, 30.0f), h.HueToRGB(0.0f, 1.0f, -330.0f));
    EXPECT_EQ(0, h.HueToRGB(0.0f, 1.0f, 360.0f));          // 360 stays 360: the t1 band
    EXPECT_EQ(255, h.HueToRGB(0.0f, 2.0f, 120.0f));        // limited to 255
    EXPECT_EQ(0, h.HueToRGB(-1.0f, -1.0f, 300.0f));        // limited to 0
    EXPECT_EQ(0, h.HueToRGB(0.0f, 1.0f, 1e30f));           // too large to turn: ends, does not spin
    EXPECT_EQ(0xFFFFFFul, h.HSLtoRGB(10.0f, 0.0f, 7.0f));  // lightness above 1 acts as 1
}

}  // namespace
