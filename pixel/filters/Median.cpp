// The 3 x 3 mean filters of grey and 24-bit buffers and the impulse suppressor of 24-bit buffers.
// All three write over their input row by row and keep aside the two rows a 3 x 3 window still
// needs (InPlaceRows) instead of copying the whole buffer.
#include <algorithm>
#include <cstring>

#include "pixel/DataHandler.h"
#include "pixel/internal/InPlaceRows.h"
#include "pixel/internal/PixelLayout.h"
#include "pixel/internal/ScratchBuffer.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace imgdesk::pixel {
namespace {

constexpr int kChunk = 512;  // bytes of output per pass
// floor(s / 9) == (s x 7282) >> 16 for every sum s of nine bytes (0..2295).
constexpr unsigned kNinthMultiplier = 7282;

// out[i] = (sum of the 3 x 3 block around byte i) / 9 for i in [0, count), where the horizontal
// neighbours of byte i lie step bytes away and above, centre, below are the three rows (already
// offset to the first output byte).
void BoxMeanRow(const unsigned char* above, const unsigned char* centre, const unsigned char* below,
                int step, int count, unsigned char* out) {
    alignas(16) unsigned short columns[kChunk + 2 * 4 + 8];
    for (int start = 0; start < count; start += kChunk) {
        const int n = std::min(kChunk, count - start);
        // Column sums from byte start - step to start + n - 1 + step; columns[k] holds byte
        // start - step + k.
        const int spanned = n + 2 * step;
        const int offset = start - step;
        int k = 0;
#if defined(__SSE2__)
        const __m128i zero = _mm_setzero_si128();
        for (; k + 8 <= spanned; k += 8) {
            const auto load = [&](const unsigned char* row) {
                return _mm_unpacklo_epi8(
                    _mm_loadl_epi64(reinterpret_cast<const __m128i*>(row + offset + k)), zero);
            };
            _mm_store_si128(reinterpret_cast<__m128i*>(columns + k),
                            _mm_add_epi16(_mm_add_epi16(load(above), load(centre)), load(below)));
        }
#endif
        for (; k < spanned; ++k)
            columns[k] = static_cast<unsigned short>(above[offset + k] + centre[offset + k] +
                                                     below[offset + k]);

        int i = 0;
#if defined(__SSE2__)
        const __m128i ninth = _mm_set1_epi16(static_cast<short>(kNinthMultiplier));
        for (; i + 16 <= n; i += 16) {
            const auto mean = [&](int j) {
                const auto at = [&](int index) {
                    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(columns + index));
                };
                const __m128i sum =
                    _mm_add_epi16(_mm_add_epi16(at(j), at(j + step)), at(j + 2 * step));
                return _mm_mulhi_epu16(sum, ninth);
            };
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + start + i),
                             _mm_packus_epi16(mean(i), mean(i + 8)));
        }
#endif
        for (; i < n; ++i) {
            const unsigned sum = columns[i] + columns[i + step] + columns[i + 2 * step];
            out[start + i] = static_cast<unsigned char>(sum * kNinthMultiplier >> 16);
        }
    }
}

// A pixel is an impulse when each of its three channels is strictly below (or each strictly
// above) the same channel of all four edge neighbours.
bool IsImpulse(const unsigned char* pixel, const unsigned char* const neighbours[4]) {
    bool darker = true;
    bool brighter = true;
    for (int n = 0; n < 4; ++n) {
        for (int c = 0; c < 3; ++c) {
            darker = darker && pixel[c] < neighbours[n][c];
            brighter = brighter && pixel[c] > neighbours[n][c];
        }
    }
    return darker || brighter;
}

}  // namespace
}  // namespace imgdesk::pixel

using namespace imgdesk::pixel;

int CDataHandler::MedianFilter(unsigned char* buffer, int width, int height) {
    if (buffer == nullptr || width < 1 || height < 1)
        return 0;
    const auto saved = NewScratch(2LL * width);
    if (!saved)
        return 0;
    if (width < 3 || height < 3) {
        std::memset(buffer, 0, static_cast<size_t>(width) * height);
        return 1;
    }

    // Rows 1 .. height - 2 first: rows 0 and height - 1 are read by them and cleared afterwards.
    InPlaceRows rows(buffer, width, width, saved.get(), 2, 1);
    for (int y = 1; y < height - 1; ++y) {
        rows.BeginRow(y);
        unsigned char* out = rows.Row(y);
        BoxMeanRow(rows.Original(y - 1) + 1, rows.Original(y) + 1, rows.Original(y + 1) + 1, 1,
                   width - 2, out + 1);
        out[0] = 0;
        out[width - 1] = 0;
    }
    std::memset(rows.Row(0), 0, static_cast<size_t>(width));
    std::memset(rows.Row(height - 1), 0, static_cast<size_t>(width));
    return 1;
}

int CDataHandler::Colour24MedianFilter(unsigned char* buffer, int width, int height) {
    const int stride = RowStride(width, 24);
    const auto saved = NewScratch(2LL * stride);
    if (!saved)
        return 0;
    if (width < 3 || height < 3)
        return 1;

    InPlaceRows rows(buffer, stride, stride, saved.get(), 2, 1);
    for (int y = 1; y < height - 1; ++y) {
        rows.BeginRow(y);
        BoxMeanRow(rows.Original(y - 1) + 3, rows.Original(y) + 3, rows.Original(y + 1) + 3, 3,
                   3 * (width - 2), rows.Row(y) + 3);
    }
    return 1;
}

int CDataHandler::Colour24MedianFilterEx(unsigned char* buffer, int width, int height) {
    const int stride = RowStride(width, 24);
    const auto saved = NewScratch(2LL * stride);
    if (!saved)
        return 0;
    if (width < 3 || height < 3)
        return 1;

    InPlaceRows rows(buffer, stride, stride, saved.get(), 2, 1);
    for (int y = 1; y < height - 1; ++y) {
        rows.BeginRow(y);
        const unsigned char* above = rows.Original(y - 1);
        const unsigned char* centre = rows.Original(y);
        const unsigned char* below = rows.Original(y + 1);
        unsigned char* out = rows.Row(y);
        for (int x = 1; x < width - 1; ++x) {
            const int at = 3 * x;
            const unsigned char* const neighbours[4] = {above + at, below + at, centre + at - 3,
                                                        centre + at + 3};
            if (!IsImpulse(centre + at, neighbours))
                continue;
            for (int c = 0; c < 3; ++c) {
                const int sum =
                    neighbours[0][c] + neighbours[1][c] + neighbours[2][c] + neighbours[3][c];
                out[at + c] = static_cast<unsigned char>(sum / 4);
            }
        }
    }
    return 1;
}
