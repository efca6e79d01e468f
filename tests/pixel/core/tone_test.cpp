// Tone adjustment: the worked figures, the buffer layout (strides, padding, fourth bytes), the
// vector paths against the byte formulas, and the HSL model.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <functional>
#include <vector>

#include "pixel/DataHandler.h"
#include "pixel/internal/PixelLayout.h"
#include "support/MemoryProbe.h"

namespace {

using imgdesk::pixel::RowStride;
using Bytes = std::vector<unsigned char>;

// A buffer whose pixel bytes run through many values and whose padding bytes are 0xA5, so that a
// write into the padding shows.
struct Picture {
    Picture(int w, int h, int bpp) : width(w), height(h), bits(bpp), stride(RowStride(w, bpp)) {
        bytes.assign(static_cast<size_t>(stride) * h, 0xA5);
        for (int y = 0, value = 7; y < h; ++y) {
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
    int width, height, bits, stride;
    Bytes bytes;
};

Bytes AllLevels() {
    Bytes levels(256);
    for (int v = 0; v < 256; ++v)
        levels[v] = static_cast<unsigned char>(v);
    return levels;
}

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
    CDataHandler a, b;
    EXPECT_EQ(&a, &(a = b));  // the object has no state: assignment copies nothing
}

TEST(AdjustLuminosity, WorkedFiguresAndExtremeAmounts) {
    CDataHandler h;
    Bytes px{0, 1, 100, 200, 255};
    EXPECT_EQ(0, h.AdjustLuminosity(px.data(), 5, 1, 8, 0));
    EXPECT_EQ((Bytes{0, 1, 100, 200, 255}), px);
    EXPECT_EQ(1, h.AdjustLuminosity(px.data(), 5, 1, 8, 100));
    EXPECT_EQ((Bytes{0, 2, 200, 255, 255}), px);
    EXPECT_EQ(1, h.AdjustLuminosity(px.data(), 5, 1, 8, INT_MAX));  // saturates, no overflow
    EXPECT_EQ((Bytes{0, 255, 255, 255, 255}), px);
    EXPECT_EQ(1, h.AdjustLuminosity(px.data(), 5, 1, 8, -100));
    EXPECT_EQ((Bytes{0, 0, 0, 0, 0}), px);
}

TEST(AdjustContrast, WorkedFigures) {
    CDataHandler h;
    auto strong = AllLevels();
    EXPECT_EQ(1, h.AdjustContrast(strong.data(), 256, 1, 8, 127));
    for (int v = 0; v < 256; ++v)
        ASSERT_EQ(v <= 127 ? 0 : 255, strong[v]) << v;
    for (int amount : {128, 200, INT_MAX}) {
        auto stretched = AllLevels();
        h.AdjustContrast(stretched.data(), 256, 1, 8, amount);
        for (int v = 0; v < 256; ++v) {
            ASSERT_EQ(v <= 120   ? 0
                      : v >= 128 ? 255
                                 : 17 * (v - 120),
                      stretched[v])
                << v;  // 17, 34, ... 119
        }
    }
    for (int amount : {-128, -200, INT_MIN}) {
        auto compressed = AllLevels();
        h.AdjustContrast(compressed.data(), 256, 1, 8, amount);
        EXPECT_EQ(120, compressed[0]);
        EXPECT_EQ(135, compressed[255]);
        EXPECT_TRUE(std::is_sorted(compressed.begin(), compressed.end()));
    }
    auto unchanged = AllLevels();
    EXPECT_EQ(0, h.AdjustContrast(unchanged.data(), 256, 1, 8, 0));
    EXPECT_EQ(AllLevels(), unchanged);
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

// The vector and table paths against the byte formulas, for every amount that selects a different
// form, on rows long enough for whole vector blocks and a tail.
TEST(TonePasses, EveryByteFollowsTheFormulaForEveryAmount) {
    CDataHandler h;
    for (int amount = -140; amount <= 320; ++amount) {
        if (amount == 0)
            continue;
        Bytes row(256 + 61);
        for (size_t i = 0; i < row.size(); ++i)
            row[i] = static_cast<unsigned char>(i * 7);
        auto lum = row, con = row;
        h.AdjustLuminosity(lum.data(), static_cast<int>(row.size()), 1, 8, amount);
        h.AdjustContrast(con.data(), static_cast<int>(row.size()), 1, 8, amount);
        for (size_t i = 0; i < row.size(); ++i) {
            ASSERT_EQ(std::clamp(row[i] * (amount + 100) / 100, 0, 255), lum[i])
                << amount << " " << int(row[i]);
            ASSERT_EQ(ContrastOfByte(row[i], amount), con[i]) << amount << " " << int(row[i]);
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
            ASSERT_EQ(1, h.AdjustLuminosity(lum.bytes.data(), width, 3, bits, -100));
            ASSERT_EQ(1, h.AdjustContrast(con.bytes.data(), width, 3, bits, 127));
            EXPECT_TRUE(lum.PaddingIntact() && con.PaddingIntact())
                << bits << " bits, width " << width;
            const Picture before(width, 3, bits);
            for (int y = 0; y < 3; ++y) {
                for (int i = 0; i < width * bits / 8; ++i) {
                    ASSERT_EQ(0, lum.bytes[y * lum.stride + i]);
                    ASSERT_EQ(before.bytes[y * lum.stride + i] <= 127 ? 0 : 255,
                              con.bytes[y * con.stride + i]);
                }
            }
        }
    }
}

TEST(TonePasses, RefuseUnsupportedBitCountsAndAllocateNothing) {
    imgdesk::test::MemoryProbe probe;
    CDataHandler h;
    Picture p(4, 2, 16);
    const auto before = p.bytes;
    EXPECT_EQ(0, h.AdjustLuminosity(p.bytes.data(), 4, 2, 16, 50));
    EXPECT_EQ(0, h.AdjustContrast(p.bytes.data(), 4, 2, 16, 50));
    EXPECT_EQ(0, h.AdjustSaturation(p.bytes.data(), 4, 2, 16, 50));
    EXPECT_EQ(0, h.SaturationAlter(p.bytes.data(), 4, 2, 16, 10, 10, 10));
    EXPECT_EQ(before, p.bytes);
    Picture q(13, 5, 24);
    h.AdjustLuminosity(q.bytes.data(), 13, 5, 24, 20);
    h.AdjustContrast(q.bytes.data(), 13, 5, 24, -20);
    h.AdjustSaturation(q.bytes.data(), 13, 5, 24, 20);
    h.SaturationAlter(q.bytes.data(), 13, 5, 24, 1, 2, 3);
    EXPECT_EQ(0, probe.Allocations());
}

TEST(AdjustSaturation, GreyBytesComeBackUnchanged) {
    CDataHandler h;
    for (int amount : {-100, -37, 50, 1000}) {
        auto grey = AllLevels();
        EXPECT_EQ(1, h.AdjustSaturation(grey.data(), 256, 1, 8, amount));
        EXPECT_EQ(AllLevels(), grey) << amount;
    }
}

TEST(AdjustSaturation, WorkedColoursLimitsAndFourthBytes) {
    CDataHandler h;
    Bytes px{0, 100, 200, 0};  // blue 0, green 100, red 200, padding
    EXPECT_EQ(1, h.AdjustSaturation(px.data(), 1, 1, 24, 50));  // saturation 1 already
    EXPECT_EQ((Bytes{0, 100, 200, 0}), px);
    EXPECT_EQ(1, h.AdjustSaturation(px.data(), 1, 1, 24, -100));
    EXPECT_EQ((Bytes{100, 100, 100, 0}), px);

    Picture a(7, 3, 24), b(7, 3, 24);
    h.AdjustSaturation(a.bytes.data(), 7, 3, 24, 100);
    h.AdjustSaturation(b.bytes.data(), 7, 3, 24, INT_MAX);  // amounts above 100 act as 100
    EXPECT_EQ(a.bytes, b.bytes);
    EXPECT_TRUE(a.PaddingIntact());

    Bytes wide{0, 100, 200, 77, 10, 20, 30, 99};  // 32-bit pixels keep their fourth byte
    EXPECT_EQ(1, h.AdjustSaturation(wide.data(), 2, 1, 32, -100));
    EXPECT_EQ((Bytes{100, 100, 100, 77, 20, 20, 20, 99}), wide);
}

TEST(SaturationAlter, GainsPerChannel) {
    CDataHandler h;
    Bytes px{200, 100, 50, 9, 255, 255, 255, 9};  // two 32-bit pixels
    EXPECT_EQ(0, h.SaturationAlter(px.data(), 2, 1, 32, 255, 255, 255));
    EXPECT_EQ(0, h.SaturationAlter(px.data(), 2, 1, 8, 0, 0, 0));
    EXPECT_EQ(1, h.SaturationAlter(px.data(), 2, 1, 32, 0, 128,
                                   300));  // red cleared, blue limited to 255
    EXPECT_EQ((Bytes{200, 50, 0, 9, 255, 128, 0, 9}), px);
    EXPECT_EQ(1, h.SaturationAlter(px.data(), 2, 1, 32, 255, 255, -5));  // limited to 0
    EXPECT_EQ(0, px[0]);

    for (int width = 1; width <= 21; ++width) {  // 24-bit rows: vector blocks, tails, padding
        Picture p(width, 2, 24);
        const auto before = p.bytes;
        ASSERT_EQ(1, h.SaturationAlter(p.bytes.data(), width, 2, 24, 64, 128, 192));
        EXPECT_TRUE(p.PaddingIntact());
        for (int y = 0; y < 2; ++y) {
            for (int i = 0; i < 3 * width; ++i) {
                const size_t at = y * p.stride + i;
                ASSERT_EQ(before[at] * (192 - 64 * (i % 3)) / 255, p.bytes[at]);
            }
        }
    }
}

TEST(HslModel, WorkedFiguresAndPrimaryHues) {
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
    struct Case {
        int r, g, b;
        float hue;
    };
    for (Case c : {Case{255, 255, 0, 60}, Case{0, 255, 0, 120}, Case{0, 255, 255, 180},
                   Case{0, 0, 255, 240}, Case{255, 0, 255, 300}}) {
        h.RGBtoHSL(c.r, c.g, c.b, &hue, &saturation, &lightness);
        EXPECT_EQ(c.hue, hue) << c.r << "," << c.g << "," << c.b;
        EXPECT_EQ(static_cast<unsigned long>(c.r | c.g << 8 | c.b << 16),
                  h.HSLtoRGB(hue, saturation, lightness));
    }
}

TEST(HslModel, RoundTripsStayWithinOneLevelAndGreysAreExact) {
    CDataHandler h;
    for (int r = 0; r < 256; r += 15) {
        for (int g = 0; g < 256; g += 17) {
            for (int b = 0; b < 256; b += 5) {
                float hue, saturation, lightness;
                h.RGBtoHSL(r, g, b, &hue, &saturation, &lightness);
                ASSERT_TRUE(hue == 0.0f || (hue > 0.0f && hue <= 360.0f)) << hue;
                const unsigned long c = h.HSLtoRGB(hue, saturation, lightness);
                ASSERT_LE(std::abs(int(c & 0xFF) - r), r == g && g == b ? 0 : 1);
                ASSERT_LE(std::abs(int(c >> 8 & 0xFF) - g), 1);
                ASSERT_LE(std::abs(int(c >> 16 & 0xFF) - b), 1);
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
