// Brightness, contrast and saturation changes, the per-channel gain, and the HSL colour model.
#include <algorithm>
#include <cmath>

#include "pixel/DataHandler.h"
#include "pixel/internal/ByteTable.h"
#include "pixel/internal/PixelLayout.h"
#include "pixel/internal/PointPass.h"

namespace imgdesk::pixel {
namespace {

// The pass of AdjustLuminosity: every byte times (amount + 100) / 100, limited to 0..255.
PointPass LuminosityPass(int amount) {
    // 64-bit products: the amount is not limited, and large amounts must saturate, not wrap.
    const long long factor = static_cast<long long>(amount) + 100;
    ByteTable table{};
    for (int v = 0; v < 256; ++v)
        table[v] = static_cast<unsigned char>(std::clamp(v * factor / 100, 0LL, 255LL));
    LinearMap linear;
    linear.multiply[0] = static_cast<int>(std::clamp(factor, 0LL, 258LL));  // 258: no linear form
    linear.divisor = 100;
    return PointPass(1, &table, factor <= 257 ? &linear : nullptr);
}

// The pass of AdjustContrast: a stretch away from the middle for positive amounts, a compression
// towards it for negative ones.
PointPass ContrastPass(int amount) {
    ByteTable table{};
    LinearMap linear;
    if (amount > 0) {
        const int low = amount >= 128 ? 120 : amount;
        const int high = amount >= 128 ? 127 : 255 - amount;
        const int divisor = amount >= 128 ? 15 : 255 - 2 * amount;
        for (int v = 0; v < 256; ++v) {
            table[v] = v <= low   ? 0
                       : v > high ? 255
                                  : static_cast<unsigned char>((v - low) * 255 / divisor);
        }
        linear.subtract = low;
        linear.multiply[0] = 255;
        linear.divisor = divisor;
        linear.ceiling = high;
    } else {
        const int lift = amount <= -128 ? 120 : -amount;
        const int divisor = amount <= -128 ? 15 : 255 + 2 * amount;
        for (int v = 0; v < 256; ++v)
            table[v] = static_cast<unsigned char>(v * divisor / 255 + lift);
        linear.multiply[0] = divisor;
        linear.divisor = 255;
        linear.add = lift;
    }
    return PointPass(1, &table, &linear);
}

// Applies a byte-wise pass to every row of a buffer.
void ApplyToRows(const PointPass& pass, unsigned char* buffer, int width, int height,
                 int bitsPerPixel) {
    ForEachRow(buffer, width, height, bitsPerPixel,
               [&](unsigned char* row, int rowBytes) { pass.Apply(row, rowBytes); });
}

struct Hsl {
    float hue;
    float saturation;
    float lightness;
};

inline Hsl RgbToHsl(int red, int green, int blue) {
    const int maximum = std::max({red, green, blue});
    const int minimum = std::min({red, green, blue});
    Hsl hsl{0.0f, 0.0f, static_cast<float>((maximum + minimum) / 510.0)};
    if (maximum == minimum)
        return hsl;

    const double delta = maximum - minimum;
    hsl.saturation = static_cast<float>(
        hsl.lightness <= 0.5f ? delta / (maximum + minimum) : delta / (510.0 - maximum - minimum));
    const float redDistance = static_cast<float>((maximum - red) / delta);
    const float greenDistance = static_cast<float>((maximum - green) / delta);
    const float blueDistance = static_cast<float>((maximum - blue) / delta);
    // Every matching channel is tested in turn, so ties go to blue, then green.
    double hue = 0.0;
    if (red == maximum)
        hue = 60.0 * (6.0 + blueDistance - greenDistance);
    if (green == maximum)
        hue = 60.0 * (2.0 + redDistance - blueDistance);
    if (blue == maximum)
        hue = 60.0 * (4.0 + greenDistance - redDistance);
    if (hue > 360.0)
        hue -= 360.0;
    hsl.hue = static_cast<float>(hue);
    return hsl;
}

inline unsigned char HueToChannel(float term1, float term2, float hue) {
    // Each turn is rounded to single precision. A hue too large for a turn to change it, or not a
    // number at all, stops the loops where they are instead of spinning for ever.
    while (hue > 360.0f) {
        const float turned = static_cast<float>(hue - 360.0);
        if (turned == hue)
            break;
        hue = turned;
    }
    while (hue < 0.0f) {
        const float turned = static_cast<float>(hue + 360.0);
        if (turned == hue)
            break;
        hue = turned;
    }
    double value;
    if (hue < 60.0f) {
        value = term1 + (double(term2) - term1) * hue / 60.0;
    } else if (hue < 180.0f) {
        value = term2;
    } else if (hue < 240.0f) {
        value = term1 + (double(term2) - term1) * (240.0 - hue) / 60.0;
    } else {
        value = term1;
    }
    const float scaled = static_cast<float>(value * 255.0);
    if (!(scaled > 0.0f))
        return 0;  // negative, zero or not a number
    if (scaled >= 255.0f)
        return 255;
    return static_cast<unsigned char>(scaled);
}

// Packed as red | green << 8 | blue << 16.
inline unsigned long HslToPackedRgb(float hue, float saturation, float lightness) {
    if (lightness > 1.0f)
        lightness = 1.0f;
    if (saturation > 1.0f)
        saturation = 1.0f;
    if (saturation == 0.0f) {
        // Lightness has no lower limit here; a negative one gives black rather than a wrapped byte.
        const double level = std::clamp(std::trunc(double(lightness) * 255.0), 0.0, 255.0);
        const unsigned long grey = static_cast<unsigned long>(level);
        return grey | grey << 8 | grey << 16;
    }
    const float term2 = static_cast<float>(
        lightness <= 0.5f ? double(lightness) * (1.0 + saturation)
                          : double(lightness) + saturation - double(lightness) * saturation);
    const float term1 = static_cast<float>(2.0 * lightness - term2);
    const unsigned long red = HueToChannel(term1, term2, static_cast<float>(hue + 120.0));
    const unsigned long green = HueToChannel(term1, term2, hue);
    const unsigned long blue = HueToChannel(term1, term2, static_cast<float>(hue - 120.0));
    return red | green << 8 | blue << 16;
}

inline unsigned long Resaturate(int red, int green, int blue, int factor) {
    const Hsl hsl = RgbToHsl(red, green, blue);
    const float saturation = static_cast<float>(factor * double(hsl.saturation) / 100.0);
    return HslToPackedRgb(hsl.hue, saturation, hsl.lightness);
}

}  // namespace
}  // namespace imgdesk::pixel

using namespace imgdesk::pixel;

int CDataHandler::AdjustLuminosity(unsigned char* buffer, int width, int height, int bitsPerPixel,
                                   int amount) {
    if (amount == 0 || !IsSupportedBitCount(bitsPerPixel))
        return 0;
    ApplyToRows(LuminosityPass(amount), buffer, width, height, bitsPerPixel);
    return 1;
}

int CDataHandler::AdjustContrast(unsigned char* buffer, int width, int height, int bitsPerPixel,
                                 int amount) {
    if (amount == 0 || !IsSupportedBitCount(bitsPerPixel))
        return 0;
    ApplyToRows(ContrastPass(amount), buffer, width, height, bitsPerPixel);
    return 1;
}

int CDataHandler::AdjustSaturation(unsigned char* buffer, int width, int height, int bitsPerPixel,
                                   int amount) {
    if (amount == 0 || !IsSupportedBitCount(bitsPerPixel))
        return 0;
    const int factor =
        static_cast<int>(std::clamp(static_cast<long long>(amount) + 100, 0LL, 200LL));

    if (bitsPerPixel == 8) {
        // A byte is a grey level; its result depends on the byte alone.
        ByteTable table{};
        for (int v = 0; v < 256; ++v) {
            const unsigned long c = Resaturate(v, v, v, factor);
            table[v] =
                static_cast<unsigned char>(((c & 0xFF) + (c >> 8 & 0xFF) + (c >> 16 & 0xFF)) / 3);
        }
        ApplyToRows(PointPass(1, &table, nullptr), buffer, width, height, bitsPerPixel);
        return 1;
    }

    // 32-bit pixels are taken as blue, green, red and a fourth byte that is left alone, as the
    // channel gain does: walking such rows in 3-byte steps would mix alpha into the colours.
    const int bytesPerPixel = bitsPerPixel / 8;
    ForEachRow(buffer, width, height, bitsPerPixel, [&](unsigned char* row, int) {
        // Neighbouring pixels often share a colour; the last result is reused for them.
        int lastKey = -1;
        unsigned long lastColour = 0;
        for (int x = 0; x < width; ++x) {
            unsigned char* pixel = row + x * bytesPerPixel;
            const int key = pixel[0] | pixel[1] << 8 | pixel[2] << 16;
            if (key != lastKey) {
                lastColour = Resaturate(pixel[2], pixel[1], pixel[0], factor);
                lastKey = key;
            }
            pixel[0] = static_cast<unsigned char>(lastColour >> 16);
            pixel[1] = static_cast<unsigned char>(lastColour >> 8);
            pixel[2] = static_cast<unsigned char>(lastColour);
        }
    });
    return 1;
}

int CDataHandler::SaturationAlter(unsigned char* buffer, int width, int height, int bitsPerPixel,
                                  int red, int green, int blue) {
    if (red == 255 && green == 255 && blue == 255)
        return 0;
    if (bitsPerPixel != 24 && bitsPerPixel != 32)
        return 0;
    // Blue, green, red, and the fourth byte of 32-bit pixels at gain 255, which leaves it as it is.
    const int gains[4] = {std::clamp(blue, 0, 255), std::clamp(green, 0, 255),
                          std::clamp(red, 0, 255), 255};
    ByteTable tables[4];
    LinearMap linear;
    linear.divisor = 255;
    for (int channel = 0; channel < 4; ++channel) {
        for (int v = 0; v < 256; ++v)
            tables[channel][v] = static_cast<unsigned char>(v * gains[channel] / 255);
        linear.multiply[channel] = gains[channel];
    }
    ApplyToRows(PointPass(bitsPerPixel / 8, tables, &linear), buffer, width, height, bitsPerPixel);
    return 1;
}

void CDataHandler::RGBtoHSL(unsigned char red, unsigned char green, unsigned char blue, float* hue,
                            float* saturation, float* lightness) {
    const Hsl hsl = RgbToHsl(red, green, blue);
    if (hue)
        *hue = hsl.hue;
    if (saturation)
        *saturation = hsl.saturation;
    if (lightness)
        *lightness = hsl.lightness;
}

unsigned long CDataHandler::HSLtoRGB(float hue, float saturation, float lightness) {
    return HslToPackedRgb(hue, saturation, lightness);
}

unsigned char CDataHandler::HueToRGB(float term1, float term2, float hue) {
    return HueToChannel(term1, term2, hue);
}
