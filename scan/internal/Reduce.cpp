#include "scan/internal/Reduce.h"

#include <algorithm>
#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace imgdesk::scan {

int ReductionFactor(const SourcePicture& source, int longSide) {
    const int longer = std::max(source.width, source.height);
    return std::clamp((longer + longSide - 1) / longSide, 1, kMaxFactor);
}

namespace {

// Adds one display row into per-byte column sums (16 bits: a block is at most kMaxFactor rows
// of bytes). Palette pictures are expanded to blue, green, red first.
void AddRowBytes(const unsigned char* row, int bytes, uint16_t* sums) {
    int i = 0;
#if defined(__SSE2__)
    const __m128i zero = _mm_setzero_si128();
    for (; i + 16 <= bytes; i += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + i));
        __m128i* s = reinterpret_cast<__m128i*>(sums + i);
        _mm_storeu_si128(s, _mm_add_epi16(_mm_loadu_si128(s), _mm_unpacklo_epi8(v, zero)));
        _mm_storeu_si128(s + 1, _mm_add_epi16(_mm_loadu_si128(s + 1), _mm_unpackhi_epi8(v, zero)));
    }
#endif
    for (; i < bytes; ++i)
        sums[i] += row[i];
}

}  // namespace

void Reduce(const SourcePicture& source, int colourFactor, int greyFactor, ReducedColour& colour,
            ReducedGrey& grey) {
    // One pass at the grey reduction, in colour; the colour reduction pools its blocks.
    const int pool = (colourFactor + greyFactor - 1) / greyFactor;
    const int gw = std::max(1, source.width / greyFactor);
    const int gh = std::max(1, source.height / greyFactor);
    const int cw = std::max(1, gw / pool);
    const int ch = std::max(1, gh / pool);
    grey.factor = greyFactor;
    grey.grey = Plane<float>(gw, gh);
    colour.factor = greyFactor * pool;
    colour.blue = Plane<float>(cw, ch);
    colour.green = Plane<float>(cw, ch);
    colour.red = Plane<float>(cw, ch);
    Plane<float> blue(gw, gh), green(gw, gh), red(gw, gh);

    // Palette pictures are summed as the blue, green and red their palette gives.
    const int pixelBytes = source.bits == 8 ? 3 : source.bits / 8;
    const int usedWidth = std::min(source.width, gw * greyFactor);
    Plane<uint16_t> sums(usedWidth * pixelBytes, 1);
    Plane<unsigned char> expanded(source.bits == 8 ? usedWidth * 3 : 1, 1);
    const float scale = 1.0f / (float(greyFactor) * greyFactor);
    const int rows = std::min(source.height, gh * greyFactor);
    for (int y = 0; y < rows; ++y) {
        const unsigned char* row = source.DisplayRow(y);
        if (source.bits == 8) {
            for (int x = 0; x < usedWidth; ++x) {
                const tagRGBQUAD& c = source.palette[row[x]];
                expanded.At(3 * x, 0) = c.rgbBlue;
                expanded.At(3 * x + 1, 0) = c.rgbGreen;
                expanded.At(3 * x + 2, 0) = c.rgbRed;
            }
            AddRowBytes(expanded.Data(), usedWidth * pixelBytes, sums.Data());
        } else {
            AddRowBytes(row, usedWidth * pixelBytes, sums.Data());
        }
        if ((y + 1) % greyFactor != 0)
            continue;
        const int j = y / greyFactor;
        const uint16_t* s = sums.Data();
        for (int i = 0; i < gw; ++i) {
            uint32_t b = 0, g = 0, r = 0;
            for (int k = 0; k < greyFactor; ++k, s += pixelBytes) {
                b += s[0];
                g += s[1];
                r += s[2];
            }
            blue.At(i, j) = b * scale;
            green.At(i, j) = g * scale;
            red.At(i, j) = r * scale;
            grey.grey.At(i, j) = Luminance(b * scale, g * scale, r * scale);
        }
        std::fill(sums.Data(), sums.Data() + usedWidth * pixelBytes, uint16_t(0));
    }
    const float poolScale = 1.0f / (float(pool) * pool);
    for (int j = 0; j < ch; ++j) {
        for (int i = 0; i < cw; ++i) {
            float b = 0, g = 0, r = 0;
            for (int dy = 0; dy < pool; ++dy) {
                for (int dx = 0; dx < pool; ++dx) {
                    b += blue.At(i * pool + dx, j * pool + dy);
                    g += green.At(i * pool + dx, j * pool + dy);
                    r += red.At(i * pool + dx, j * pool + dy);
                }
            }
            colour.blue.At(i, j) = b * poolScale;
            colour.green.At(i, j) = g * poolScale;
            colour.red.At(i, j) = r * poolScale;
        }
    }
}

}  // namespace imgdesk::scan
