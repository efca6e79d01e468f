#include "scan/internal/Warp.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "pixel/internal/PixelLayout.h"
#include "scan/internal/Reduce.h"

namespace imgdesk::scan {
namespace {

// Positions are exact every kSpan output pixels and linear in between: over so short a stretch
// a perspective map departs from a straight line by far less than a thousandth of a pixel.
constexpr int kSpan = 16;
constexpr double kFixedOne = 65536.0;

// The output pixels [first, last) of a row whose centres land on the page rectangle. The map to
// the page is a turn and shift, so each coordinate is linear along the row.
void PageSpan(double x0, double dx, double y0, double dy, double width, double height, int count,
              int& first, int& last) {
    double lo = 0, hi = count;
    auto limit = [&](double start, double step, double maximum) {
        // start + step (u + 0.5) within [0, maximum]
        if (std::fabs(step) < 1e-12) {
            if (start < 0 || start > maximum)
                lo = hi = 0;
            return;
        }
        double a = (0 - start) / step - 0.5, b = (maximum - start) / step - 0.5;
        if (a > b)
            std::swap(a, b);
        lo = std::max(lo, std::ceil(a));
        hi = std::min(hi, std::floor(b) + 1);
    };
    limit(x0, dx, width);
    limit(y0, dy, height);
    first = static_cast<int>(std::clamp(lo, 0.0, double(count)));
    last = static_cast<int>(std::clamp(hi, double(first), double(count)));
}

// Bilinear colour (blue, green, red) between four pixels: top and bottom point at the left pair
// of a row and the row below it on screen, wx and wy weigh the right and lower pixels in 1/256.
template <int Bytes>
struct Texel {
    static void Blend(const unsigned char* top, const unsigned char* bottom, int wx, int wy,
                      const tagRGBQUAD* palette, int bgr[3]) {
        int c00[3], c10[3], c01[3], c11[3];
        Read(top, palette, c00);
        Read(top + Bytes, palette, c10);
        Read(bottom, palette, c01);
        Read(bottom + Bytes, palette, c11);
        for (int k = 0; k < 3; ++k) {
            const int upper = c00[k] * (256 - wx) + c10[k] * wx;
            const int lower = c01[k] * (256 - wx) + c11[k] * wx;
            bgr[k] = (upper * (256 - wy) + lower * wy + 32768) >> 16;
        }
    }
    static void Read(const unsigned char* p, const tagRGBQUAD* palette, int bgr[3]) {
        if constexpr (Bytes == 1) {
            const tagRGBQUAD& c = palette[*p];
            bgr[0] = c.rgbBlue, bgr[1] = c.rgbGreen, bgr[2] = c.rgbRed;
        } else {
            bgr[0] = p[0], bgr[1] = p[1], bgr[2] = p[2];
        }
    }
#if defined(__SSE2__)
    // The same blend on both pixels of each row at once: eight bytes hold a left and right pixel
    // of 24 or 32 bits. The caller makes sure eight bytes can be read at top and bottom.
    static void BlendWide(const unsigned char* top, const unsigned char* bottom, int wx, int wy,
                          int bgr[3]) {
        const __m128i zero = _mm_setzero_si128();
        const __m128i t =
            _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(top)), zero);
        const __m128i b =
            _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(bottom)), zero);
        // Vertical first: 255 x 256 still fits an unsigned 16-bit lane.
        const __m128i vertical = _mm_srli_epi16(
            _mm_add_epi16(
                _mm_add_epi16(_mm_mullo_epi16(t, _mm_set1_epi16(static_cast<short>(256 - wy))),
                              _mm_mullo_epi16(b, _mm_set1_epi16(static_cast<short>(wy)))),
                _mm_set1_epi16(128)),
            8);
        const __m128i right = _mm_srli_si128(vertical, 2 * Bytes);
        const __m128i mixed = _mm_srli_epi16(
            _mm_add_epi16(
                _mm_add_epi16(
                    _mm_mullo_epi16(vertical, _mm_set1_epi16(static_cast<short>(256 - wx))),
                    _mm_mullo_epi16(right, _mm_set1_epi16(static_cast<short>(wx)))),
                _mm_set1_epi16(128)),
            8);
        const int low = _mm_cvtsi128_si32(mixed);
        bgr[0] = low & 0xFFFF;
        bgr[1] = low >> 16;
        bgr[2] = _mm_extract_epi16(mixed, 2);
    }
#endif
};

template <int Bytes>
void WarpRows(const SourcePicture& source, const PageMapping& mapping, bool grey,
              unsigned char* out, int width, int height) {
    const int outBytes = grey ? 1 : 3;
    const int outStride = pixel::RowStride(width, grey ? 8 : 24);
    const int stride = source.Stride();
    const Homography toInput = mapping.pageToInput.After(mapping.outputToPage);
    const double* a = mapping.outputToPage.m;  // a turn and shift: its last row is 0 0 1
    const double* h = toInput.m;
    // Input pixel (i, j) has its centre at (i + .5, j + .5); bilinear sampling needs a right and
    // lower neighbour, so positions are kept on [0, size - 1) in 16.16 fixed point.
    const int32_t maxX = static_cast<int32_t>((source.width - 1) * kFixedOne) - 1;
    const int32_t maxY = static_cast<int32_t>((source.height - 1) * kFixedOne) - 1;
    const unsigned char* displayTop =
        source.pixels + static_cast<long long>(source.height - 1) * stride;
    // The upper row of a pair lies later in memory: eight bytes from it must stay in the buffer.
    const unsigned char* bufferEnd = source.pixels + static_cast<long long>(source.height) * stride;
    const unsigned char fillGrey = static_cast<unsigned char>(
        Luminance(mapping.fill[0], mapping.fill[1], mapping.fill[2]) + 0.5f);

    auto sourceAt = [&](double u, double v, double& x, double& y) {
        const double w = h[6] * u + h[7] * v + h[8];
        x = (h[0] * u + h[1] * v + h[2]) / w - 0.5;
        y = (h[3] * u + h[4] * v + h[5]) / w - 0.5;
    };
    auto fixed = [](double value, int32_t maximum) {
        return static_cast<int32_t>(std::clamp(value * kFixedOne, 0.0, double(maximum)));
    };
    for (int v = 0; v < height; ++v) {
        unsigned char* row = out + static_cast<long long>(height - 1 - v) * outStride;
        const double cy = v + 0.5;
        int first = 0, last = 0;
        PageSpan(a[1] * cy + a[2], a[0], a[4] * cy + a[5], a[3], mapping.pageWidth,
                 mapping.pageHeight, width, first, last);
        auto fill = [&](int from, int to) {
            for (int u = from; u < to; ++u) {
                if (grey) {
                    row[u] = fillGrey;
                } else {
                    row[3 * u] = mapping.fill[0];
                    row[3 * u + 1] = mapping.fill[1];
                    row[3 * u + 2] = mapping.fill[2];
                }
            }
        };
        fill(0, first);
        fill(last, width);
        double x0, y0;
        sourceAt(first + 0.5, cy, x0, y0);
        for (int start = first; start < last; start += kSpan) {
            const int end = std::min(start + kSpan, last);
            double x1, y1;
            sourceAt(end + 0.5, cy, x1, y1);
            // Clamping each end keeps every position between them inside too.
            int32_t fx = fixed(x0, maxX), fy = fixed(y0, maxY);
            const int32_t stepX = (fixed(x1, maxX) - fx) / (end - start);
            const int32_t stepY = (fixed(y1, maxY) - fy) / (end - start);
            unsigned char* o = row + start * outBytes;
            for (int u = start; u < end; ++u, fx += stepX, fy += stepY, o += outBytes) {
                const int wx = (fx >> 8) & 255, wy = (fy >> 8) & 255;
                const unsigned char* top =
                    displayTop - static_cast<long long>(fy >> 16) * stride + (fx >> 16) * Bytes;
                const unsigned char* bottom = top - stride;
                int colour[3];
#if defined(__SSE2__)
                if (Bytes > 1 && top + 8 <= bufferEnd)
                    Texel<Bytes>::BlendWide(top, bottom, wx, wy, colour);
                else
#endif
                    Texel<Bytes>::Blend(top, bottom, wx, wy, source.palette, colour);
                if (grey) {
                    o[0] = static_cast<unsigned char>(
                        (colour[0] * 1868 + colour[1] * 9617 + colour[2] * 4899 + 8192) >> 14);
                } else {
                    o[0] = static_cast<unsigned char>(colour[0]);
                    o[1] = static_cast<unsigned char>(colour[1]);
                    o[2] = static_cast<unsigned char>(colour[2]);
                }
            }
            x0 = x1, y0 = y1;
        }
    }
}

}  // namespace

void WarpPicture(const SourcePicture& source, const PageMapping& mapping, bool grey,
                 unsigned char* out, int width, int height) {
    switch (source.bits) {
        case 8:
            WarpRows<1>(source, mapping, grey, out, width, height);
            break;
        case 24:
            WarpRows<3>(source, mapping, grey, out, width, height);
            break;
        default:
            WarpRows<4>(source, mapping, grey, out, width, height);
            break;
    }
}

}  // namespace imgdesk::scan
