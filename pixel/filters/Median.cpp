// The 3 x 3 mean filters of grey and 24-bit buffers and the impulse suppressor of 24-bit buffers.
// All three write over their input row by row and keep aside the two rows a 3 x 3 window still
// needs (InPlaceRows) instead of copying the whole buffer.
#include <algorithm>

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

// A 3 x 3 filter of a 24-bit buffer, written in place, whose one-pixel frame keeps its values:
// rowPass(above, centre, below, out) rewrites each interior row. Returns 0 when the two rows of
// scratch cannot be had (buffer untouched), else 1.
template <typename RowPass>
int Colour24PassKeepingFrame(unsigned char* buffer, int width, int height, RowPass rowPass) {
    const int stride = RowStride(width, 24);
    const auto saved = NewScratch(2LL * stride);
    if (!saved)
        return 0;
    if (width < 3 || height < 3)
        return 1;
    ForEachInteriorRow(buffer, stride, stride, height, saved.get(), rowPass);
    return 1;
}

}  // namespace
}  // namespace imgdesk::pixel

using namespace imgdesk::pixel;

int CDataHandler::MedianFilter(unsigned char* buffer, int width, int height) {
    const auto meanRow = [width](const unsigned char* above, const unsigned char* centre,
                                 const unsigned char* below, unsigned char* out) {
        BoxMeanRow(above + 1, centre + 1, below + 1, 1, width - 2, out + 1);
    };
    return GreyPassClearingFrame(buffer, width, height, meanRow);
}

int CDataHandler::Colour24MedianFilter(unsigned char* buffer, int width, int height) {
    const auto meanRow = [width](const unsigned char* above, const unsigned char* centre,
                                 const unsigned char* below, unsigned char* out) {
        BoxMeanRow(above + 3, centre + 3, below + 3, 3, 3 * (width - 2), out + 3);
    };
    return Colour24PassKeepingFrame(buffer, width, height, meanRow);
}

int CDataHandler::Colour24MedianFilterEx(unsigned char* buffer, int width, int height) {
    const auto suppressImpulses = [width](const unsigned char* above, const unsigned char* centre,
                                          const unsigned char* below, unsigned char* out) {
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
    };
    return Colour24PassKeepingFrame(buffer, width, height, suppressImpulses);
}
