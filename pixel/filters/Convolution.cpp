// Kernel convolution of grey buffers and the Sobel and Laplacian-of-Gaussian edge detectors built
// on it.
//
// Every output pixel is the sum of weight x pixel over its window in window order, each partial
// sum rounded to single precision. Two paths compute it:
// - kernels of whole-number weights whose sums cannot leave the int16 range (the Sobel and LoG
//   kernels among them) sum in 16-bit integers: every partial sum is then a whole number below
//   2^24, so single-precision rounding never changes it and integer order does not matter;
// - any other kernel repeats the rounding sequence exactly, two output pixels per SIMD lane pair.
// Output is written over the input row by row; the rows a window still needs are kept aside
// (InPlaceRows), so no copy of the whole buffer is made.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "pixel/DataHandler.h"
#include "pixel/internal/InPlaceRows.h"
#include "pixel/internal/ScratchBuffer.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace imgdesk::pixel {
namespace {

constexpr int kChunk = 256;              // output pixels computed per pass over the window
constexpr int kCachedKernelWidth = 256;  // wider kernels convert their pixels tap by tap
constexpr int kMaxIntegerTaps = 64;
constexpr int kInt16Limit = 32767;

struct PreparedKernel {
    const double* weights = nullptr;
    int width = 0;
    int height = 0;
    int centreX = 0;
    int centreY = 0;
    double coefficient = 1.0;
    bool integral = false;         // the 16-bit integer path applies
    bool unitCoefficient = false;  // coefficient +-1: the magnitude is |sum| itself
    short integerWeights[kMaxIntegerTaps] = {};
};

PreparedKernel Prepare(const double* weights, int width, int height, double coefficient) {
    PreparedKernel kernel;
    kernel.weights = weights;
    kernel.width = width;
    kernel.height = height;
    kernel.centreX = width / 2;
    kernel.centreY = height / 2;
    kernel.coefficient = coefficient;
    kernel.unitCoefficient = coefficient == 1.0 || coefficient == -1.0;

    const int taps = width * height;
    if (taps > kMaxIntegerTaps)
        return kernel;
    double reach = 0.0;  // the largest |partial sum| any window can produce
    for (int i = 0; i < taps; ++i) {
        const double weight = weights[i];
        if (!(std::fabs(weight) <= kInt16Limit) || weight != std::trunc(weight))
            return kernel;
        reach += std::fabs(weight) * 255.0;
        kernel.integerWeights[i] = static_cast<short>(weight);
    }
    kernel.integral = reach <= kInt16Limit;
    return kernel;
}

// The stored level of a window sum: |sum x coefficient| rounded to single precision, limited to
// 255, rounded half up.
inline unsigned char Level(double sum, double coefficient) {
    float magnitude = std::fabs(static_cast<float>(sum * coefficient));
    if (magnitude > 255.0f) {
        magnitude = 255.0f;
    } else if (!(magnitude >= 0.0f)) {
        magnitude = 0.0f;  // not a number: infinite weights or coefficient; black is the safe level
    }
    return static_cast<unsigned char>(static_cast<int>(magnitude + 0.5));
}

// sums[i] += weight x pixels[i], each sum rounded to single precision (kept in a double).
void AccumulateTap(double* sums, const double* pixels, double weight, int count) {
    int i = 0;
#if defined(__SSE2__)
    const __m128d w = _mm_set1_pd(weight);
    for (; i + 2 <= count; i += 2) {
        const __m128d sum =
            _mm_add_pd(_mm_load_pd(sums + i), _mm_mul_pd(w, _mm_loadu_pd(pixels + i)));
        _mm_store_pd(sums + i, _mm_cvtps_pd(_mm_cvtpd_ps(sum)));
    }
#endif
    for (; i < count; ++i)
        sums[i] = static_cast<float>(sums[i] + weight * pixels[i]);
}

void ToDoubles(const unsigned char* bytes, int count, double* out) {
    for (int i = 0; i < count; ++i)
        out[i] = bytes[i];
}

// acc[i] += weight x pixels[i] in 16 bits.
void AccumulateIntegerTap(short* acc, const unsigned char* pixels, short weight, int count) {
    int i = 0;
#if defined(__SSE2__)
    const __m128i zero = _mm_setzero_si128();
    const __m128i w = _mm_set1_epi16(weight);
    for (; i + 8 <= count; i += 8) {
        const __m128i p =
            _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(pixels + i)), zero);
        __m128i* target = reinterpret_cast<__m128i*>(acc + i);
        _mm_store_si128(target, _mm_add_epi16(_mm_load_si128(target), _mm_mullo_epi16(p, w)));
    }
#endif
    for (; i < count; ++i)
        acc[i] = static_cast<short>(acc[i] + weight * pixels[i]);
}

// min(|acc[i]|, 255): the level of a whole-number sum below 2^24 with coefficient +-1.
void UnitLevels(const short* acc, int count, unsigned char* out) {
    int i = 0;
#if defined(__SSE2__)
    const __m128i zero = _mm_setzero_si128();
    for (; i + 16 <= count; i += 16) {
        const __m128i a = _mm_load_si128(reinterpret_cast<const __m128i*>(acc + i));
        const __m128i b = _mm_load_si128(reinterpret_cast<const __m128i*>(acc + i + 8));
        const __m128i absA = _mm_max_epi16(a, _mm_sub_epi16(zero, a));
        const __m128i absB = _mm_max_epi16(b, _mm_sub_epi16(zero, b));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), _mm_packus_epi16(absA, absB));
    }
#endif
    for (; i < count; ++i)
        out[i] = static_cast<unsigned char>(std::min(std::abs(static_cast<int>(acc[i])), 255));
}

// Levels of count consecutive output pixels from firstX on; rowAt(r) is window row r as it was
// on entry, already offset so that index 0 is the window's first column for output firstX.
template <typename RowAt>
void ConvolveIntegral(const PreparedKernel& kernel, const RowAt& rowAt, int count,
                      unsigned char* out) {
    alignas(16) short acc[kChunk] = {};
    for (int r = 0; r < kernel.height; ++r) {
        const unsigned char* row = rowAt(r);
        for (int c = 0; c < kernel.width; ++c) {
            const short weight = kernel.integerWeights[r * kernel.width + c];
            if (weight != 0)
                AccumulateIntegerTap(acc, row + c, weight, count);
        }
    }
    if (kernel.unitCoefficient) {
        UnitLevels(acc, count, out);
    } else {
        for (int i = 0; i < count; ++i)
            out[i] = Level(acc[i], kernel.coefficient);
    }
}

// A zero weight adds an exact zero, so skipping it changes at most the sign of a zero sum, which
// the magnitude drops.
template <typename RowAt>
void ConvolveExact(const PreparedKernel& kernel, const RowAt& rowAt, int count,
                   unsigned char* out) {
    alignas(16) double sums[kChunk] = {};
    alignas(16) double pixels[kChunk + kCachedKernelWidth];
    const bool cacheRow = kernel.width <= kCachedKernelWidth;
    for (int r = 0; r < kernel.height; ++r) {
        const unsigned char* row = rowAt(r);
        if (cacheRow)
            ToDoubles(row, count + kernel.width - 1, pixels);
        for (int c = 0; c < kernel.width; ++c) {
            const double weight = kernel.weights[r * kernel.width + c];
            if (weight == 0.0)
                continue;
            if (cacheRow) {
                AccumulateTap(sums, pixels + c, weight, count);
            } else {
                ToDoubles(row + c, count, pixels);
                AccumulateTap(sums, pixels, weight, count);
            }
        }
    }
    for (int i = 0; i < count; ++i)
        out[i] = Level(sums[i], kernel.coefficient);
}

#if defined(__SSE2__)
constexpr int kBlockedRows = 8;
constexpr int kBlockedRowLength = kChunk + 64;  // kernels up to 64 wide take the blocked path
constexpr int kBlockedTaps = kBlockedRows * 65;

// Levels of two pixels from their sums, as Level does: 32-bit results in the low half.
inline __m128i LevelPair(__m128d sums, __m128d coefficient) {
    const __m128 absMask = _mm_castsi128_ps(_mm_set1_epi32(0x7FFFFFFF));
    const __m128 magnitude = _mm_and_ps(_mm_cvtpd_ps(_mm_mul_pd(sums, coefficient)), absMask);
    // min takes 255 for a magnitude above it (or not a number, which the ordered mask then zeroes).
    const __m128 limited =
        _mm_and_ps(_mm_min_ps(magnitude, _mm_set1_ps(255.0f)), _mm_cmpord_ps(magnitude, magnitude));
    return _mm_cvttpd_epi32(_mm_add_pd(_mm_cvtps_pd(limited), _mm_set1_pd(0.5)));
}

// ConvolveExact with the window rows converted once and eight sums kept in registers across all
// taps. Returns false, doing nothing, for kernels too large for its stack tables.
template <typename RowAt>
bool ConvolveExactBlocked(const PreparedKernel& kernel, const RowAt& rowAt, int count,
                          unsigned char* out) {
    if (kernel.height > kBlockedRows || kernel.width > kBlockedRowLength - kChunk)
        return false;
    alignas(16) double pixels[kBlockedRows][kBlockedRowLength];
    int tapOffset[kBlockedTaps];
    double tapWeight[kBlockedTaps];
    int taps = 0;
    const int span = count + kernel.width - 1;
    for (int r = 0; r < kernel.height; ++r) {
        const unsigned char* row = rowAt(r);
        const __m128i zero = _mm_setzero_si128();
        int k = 0;
        for (; k + 4 <= span; k += 4) {
            int32_t four;
            std::memcpy(&four, row + k, 4);
            const __m128i words =
                _mm_unpacklo_epi16(_mm_unpacklo_epi8(_mm_cvtsi32_si128(four), zero), zero);
            _mm_storeu_pd(pixels[r] + k, _mm_cvtepi32_pd(words));
            _mm_storeu_pd(pixels[r] + k + 2, _mm_cvtepi32_pd(_mm_srli_si128(words, 8)));
        }
        for (; k < span; ++k)
            pixels[r][k] = row[k];
        for (int c = 0; c < kernel.width; ++c) {
            const double weight = kernel.weights[r * kernel.width + c];
            if (weight == 0.0)
                continue;
            tapOffset[taps] = r * kBlockedRowLength + c;
            tapWeight[taps] = weight;
            ++taps;
        }
    }
    const double* base = &pixels[0][0];
    const __m128d coefficient = _mm_set1_pd(kernel.coefficient);
    int i = 0;
    // Sixteen pixels per block: the rounding chain of a tap is long, and eight independent sums
    // keep the converters busy while each waits.
    for (; i + 16 <= count; i += 16) {
        __m128d sums[8];
        for (auto& sum : sums)
            sum = _mm_setzero_pd();
        for (int t = 0; t < taps; ++t) {
            const double* p = base + tapOffset[t] + i;
            const __m128d w = _mm_set1_pd(tapWeight[t]);
            for (int v = 0; v < 8; ++v)
                sums[v] = _mm_cvtps_pd(
                    _mm_cvtpd_ps(_mm_add_pd(sums[v], _mm_mul_pd(w, _mm_loadu_pd(p + 2 * v)))));
        }
        for (int half = 0; half < 2; ++half) {
            const __m128d* s4 = sums + 4 * half;
            const __m128i low =
                _mm_unpacklo_epi64(LevelPair(s4[0], coefficient), LevelPair(s4[1], coefficient));
            const __m128i high =
                _mm_unpacklo_epi64(LevelPair(s4[2], coefficient), LevelPair(s4[3], coefficient));
            const __m128i words = _mm_packs_epi32(low, high);
            _mm_storel_epi64(reinterpret_cast<__m128i*>(out + i + 8 * half),
                             _mm_packus_epi16(words, words));
        }
    }
    for (; i < count; ++i) {
        double sum = 0.0;
        for (int t = 0; t < taps; ++t)
            sum = static_cast<float>(sum + tapWeight[t] * base[tapOffset[t] + i]);
        out[i] = Level(sum, kernel.coefficient);
    }
    return true;
}
#endif

template <typename RowAt>
void ConvolveChunk(const PreparedKernel& kernel, const RowAt& rowAt, int count,
                   unsigned char* out) {
    if (kernel.integral) {
        ConvolveIntegral(kernel, rowAt, count, out);
        return;
    }
#if defined(__SSE2__)
    if (ConvolveExactBlocked(kernel, rowAt, count, out))
        return;
#endif
    ConvolveExact(kernel, rowAt, count, out);
}

void MaxBytes(const unsigned char* a, const unsigned char* b, int count, unsigned char* out) {
    int i = 0;
#if defined(__SSE2__)
    for (; i + 16 <= count; i += 16) {
        const __m128i va = _mm_loadu_si128(reinterpret_cast<const __m128i*>(a + i));
        const __m128i vb = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + i));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), _mm_max_epu8(va, vb));
    }
#endif
    for (; i < count; ++i)
        out[i] = std::max(a[i], b[i]);
}

// The plain Sobel magnitudes from column sums: with s = above + 2 centre + below and
// d = below - above per column, the horizontal sum is s[x+1] - s[x-1] and the vertical one
// d[x-1] + 2 d[x] + d[x+1]. Both are whole numbers below 2^11, so this gives the window-order
// sums of the definition exactly, eight pixels per 16-bit vector. rowAt(r) starts at column x - 1.
template <typename RowAt>
void PlainSobelChunk(const RowAt& rowAt, int count, unsigned char* out) {
    alignas(16) short smooth[kChunk + 2];
    alignas(16) short slope[kChunk + 2];
    const unsigned char* above = rowAt(0);
    const unsigned char* centre = rowAt(1);
    const unsigned char* below = rowAt(2);
    const int columns = count + 2;
    int k = 0;
#if defined(__SSE2__)
    const __m128i zero = _mm_setzero_si128();
    const auto load = [&](const unsigned char* row) {
        return _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(row + k)), zero);
    };
    for (; k + 8 <= columns; k += 8) {
        const __m128i a = load(above), b = load(centre), c = load(below);
        _mm_store_si128(reinterpret_cast<__m128i*>(smooth + k),
                        _mm_add_epi16(_mm_add_epi16(a, c), _mm_add_epi16(b, b)));
        _mm_store_si128(reinterpret_cast<__m128i*>(slope + k), _mm_sub_epi16(c, a));
    }
#endif
    for (; k < columns; ++k) {
        smooth[k] = static_cast<short>(above[k] + 2 * centre[k] + below[k]);
        slope[k] = static_cast<short>(below[k] - above[k]);
    }
    int i = 0;
#if defined(__SSE2__)
    const auto at = [](const short* column, int index) {
        return _mm_loadu_si128(reinterpret_cast<const __m128i*>(column + index));
    };
    const auto magnitude = [&](int j) {
        const __m128i across = _mm_sub_epi16(at(smooth, j + 2), at(smooth, j));
        const __m128i middle = at(slope, j + 1);
        const __m128i along = _mm_add_epi16(_mm_add_epi16(at(slope, j), at(slope, j + 2)),
                                            _mm_add_epi16(middle, middle));
        const __m128i absAcross = _mm_max_epi16(across, _mm_sub_epi16(zero, across));
        const __m128i absAlong = _mm_max_epi16(along, _mm_sub_epi16(zero, along));
        return _mm_max_epi16(absAcross, absAlong);
    };
    for (; i + 16 <= count; i += 16)
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i),
                         _mm_packus_epi16(magnitude(i), magnitude(i + 8)));
#endif
    for (; i < count; ++i) {
        const int across = std::abs(smooth[i + 2] - smooth[i]);
        const int along = std::abs(slope[i] + 2 * slope[i + 1] + slope[i + 2]);
        out[i] = static_cast<unsigned char>(std::min(std::max(across, along), 255));
    }
}

// Runs chunk(rowAt, count, out) over the interior of a 3 x 3 filter, writing in place; the
// one-pixel frame keeps its values.
template <typename Chunk>
int InteriorPass3x3(unsigned char* buffer, int width, int height, const Chunk& chunk) {
    if (buffer == nullptr || width < 3 || height < 3)
        return 0;
    const auto saved = NewScratch(2LL * width);
    if (!saved)
        return 0;

    ForEachInteriorRow(buffer, width, width, height, saved.get(),
                       [&](const unsigned char* above, const unsigned char* centre,
                           const unsigned char* below, unsigned char* out) {
                           const unsigned char* const window[3] = {above, centre, below};
                           for (int x = 1; x < width - 1; x += kChunk) {
                               const int count = std::min(kChunk, width - 1 - x);
                               const auto rowAt = [&](int r) { return window[r] + (x - 1); };
                               chunk(rowAt, count, out + x);
                           }
                       });
    return 1;
}

}  // namespace
}  // namespace imgdesk::pixel

using namespace imgdesk::pixel;

int CDataHandler::Template(unsigned char* buffer, int width, int height, double* kernel,
                           int kernelWidth, int kernelHeight, double coefficient) {
    if (buffer == nullptr || kernel == nullptr || kernelWidth < 1 || kernelHeight < 1)
        return 0;
    if (width < kernelWidth || height < kernelHeight)
        return 0;
    const PreparedKernel prepared = Prepare(kernel, kernelWidth, kernelHeight, coefficient);
    const int centreX = prepared.centreX;
    const int centreY = prepared.centreY;
    const auto saved = NewScratch(static_cast<long long>(centreY + 1) * width);
    if (!saved)
        return 0;

    InPlaceRows rows(buffer, width, width, saved.get(), centreY + 1, centreY);
    const int lastX = width - kernelWidth + centreX;
    for (int y = centreY; y <= height - kernelHeight + centreY; ++y) {
        rows.BeginRow(y);
        for (int x = centreX; x <= lastX; x += kChunk) {
            const int count = std::min(kChunk, lastX - x + 1);
            const auto rowAt = [&](int r) {
                return rows.Original(y - centreY + r) + (x - centreX);
            };
            ConvolveChunk(prepared, rowAt, count, rows.Row(y) + x);
        }
    }
    return 1;
}

// Per pixel the larger of the horizontal and vertical magnitudes (equal to the larger of the two
// clamped, rounded levels).
int CDataHandler::EdgeDetectionSobel(unsigned char* buffer, int width, int height) {
    return InteriorPass3x3(buffer, width, height,
                           [](const auto& rowAt, int count, unsigned char* out) {
                               PlainSobelChunk(rowAt, count, out);
                           });
}

int CDataHandler::EdgeDetectionSobelEx(unsigned char* buffer, int width, int height) {
    const double root2 = std::sqrt(2.0);
    const double horizontal[9] = {-1, 0, 1, -root2, 0, root2, -1, 0, 1};
    const double vertical[9] = {-1, -root2, -1, 0, 0, 0, 1, root2, 1};
    const PreparedKernel across = Prepare(horizontal, 3, 3, 1.0);
    const PreparedKernel along = Prepare(vertical, 3, 3, 1.0);
    return InteriorPass3x3(buffer, width, height,
                           [&](const auto& rowAt, int count, unsigned char* out) {
                               alignas(16) unsigned char first[kChunk];
                               alignas(16) unsigned char second[kChunk];
                               ConvolveChunk(across, rowAt, count, first);
                               ConvolveChunk(along, rowAt, count, second);
                               MaxBytes(first, second, count, out);
                           });
}

int CDataHandler::EdgeDetectionLog(unsigned char* buffer, int width, int height) {
    if (buffer == nullptr || width < 1 || height < 1)
        return 0;
    double kernel[25] = {-2, -4, -4, -4, -2,  //
                         -4, 0,  8,  0,  -4,  //
                         -4, 8,  24, 8,  -4,  //
                         -4, 0,  8,  0,  -4,  //
                         -2, -4, -4, -4, -2};
    return Template(buffer, width, height, kernel, 5, 5, 1.0);
}
