// Contrast stretch between trimmed histogram limits, thresholding at a given level, and
// thresholding at a level found by a steered intermeans iteration.
#include <algorithm>
#include <cstring>

#include "pixel/DataHandler.h"
#include "pixel/internal/ByteTable.h"
#include "pixel/internal/Histogram.h"
#include "pixel/internal/ScratchBuffer.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace imgdesk::pixel {
namespace {

constexpr int kStretchMargin = 30;
constexpr int kMinimumStretchRange = 5;

// Levels held by a single pixel are taken for noise and do not set a limit.
int FirstPopulatedLevel(const Histogram& histogram) {
    for (int level = 0; level < 256; ++level)
        if (histogram[level] > 1)
            return level;
    return 256;
}

int LastPopulatedLevel(const Histogram& histogram) {
    for (int level = 255; level >= 0; --level)
        if (histogram[level] > 1)
            return level;
    return -1;
}

// Writes 255 over bytes above the threshold and 0 over the others.
void Threshold(unsigned char* bytes, long long count, int threshold) {
    if (threshold < 0 || threshold >= 255) {
        std::memset(bytes, threshold < 0 ? 255 : 0, static_cast<size_t>(count));
        return;
    }
    long long i = 0;
#if defined(__SSE2__)
    // Unsigned comparison through the signed one: flipping the top bit keeps the order.
    const __m128i flip = _mm_set1_epi8(static_cast<char>(0x80));
    const __m128i limit = _mm_set1_epi8(static_cast<char>(threshold ^ 0x80));
    for (; i + 64 <= count; i += 64) {
        for (int k = 0; k < 64; k += 16) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + i + k));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(bytes + i + k),
                             _mm_cmpgt_epi8(_mm_xor_si128(v, flip), limit));
        }
    }
#endif
    for (; i < count; ++i)
        bytes[i] = bytes[i] > threshold ? 255 : 0;
}

// The intermeans threshold. Sums and counts are single-precision values accumulated level by
// level; each product level x count is formed in 64 bits (a level holding more than 2^31 / 255
// pixels would overflow the 32-bit product, and such buffers are ordinary at camera resolutions).
float IntermeansThreshold(const Histogram& histogram) {
    const auto accumulate = [](float sum, double term) { return static_cast<float>(sum + term); };

    float levelSum = 0.0f;
    float pixelSum = 0.0f;
    for (int level = 0; level < 256; ++level) {
        levelSum = accumulate(
            levelSum, static_cast<double>(static_cast<long long>(level) * histogram[level]));
        pixelSum = accumulate(pixelSum, histogram[level]);
    }
    float threshold = static_cast<float>(levelSum / static_cast<double>(pixelSum));
    float balance = 0.6f;

    // The iteration ends when the rounded threshold repeats or a class empties; the cap only
    // guards against a cycle that never repeats a rounded value on consecutive steps.
    constexpr int kIterationCap = 100000;
    for (int iteration = 0; iteration < kIterationCap; ++iteration) {
        const int split = static_cast<int>(threshold + 1.5);
        float lowSum = 0.0f, lowCount = 0.0f, highSum = 0.0f, highCount = 0.0f;
        for (int level = 0; level < 256; ++level) {
            const double weighted =
                static_cast<double>(static_cast<long long>(level) * histogram[level]);
            if (level < split) {
                lowSum = accumulate(lowSum, weighted);
                lowCount = accumulate(lowCount, histogram[level]);
            } else {
                highSum = accumulate(highSum, weighted);
                highCount = accumulate(highCount, histogram[level]);
            }
        }
        if (lowCount == 0.0f || highCount == 0.0f)
            break;
        const float lowMean = static_cast<float>(lowSum / static_cast<double>(lowCount));
        const double highMean = highSum / static_cast<double>(highCount);
        const float next = static_cast<float>((lowMean + highMean) * balance);
        if (static_cast<int>(next + 0.5) == static_cast<int>(threshold + 0.5))
            break;

        const float ratio = static_cast<float>(static_cast<double>(lowCount) / highCount);
        if (ratio > 2.5f) {
            balance = static_cast<float>(balance - 0.001);
        } else if (ratio < 1.8) {  // a double bound: 9 : 5 in single precision lies below it
            balance = static_cast<float>(balance + 0.001);
        }
        threshold = next;
    }
    return threshold;
}

}  // namespace
}  // namespace imgdesk::pixel

using namespace imgdesk::pixel;

int CDataHandler::GreyDegreeExtend(unsigned char* buffer, int width, int height) {
    const long long count = static_cast<long long>(width) * height;
    // The stretch maps each byte from its own old value, so it runs in place; the working block
    // is still claimed, so that a host short of memory gets the refusal it has always had.
    const auto reserve = NewScratch(count);
    if (!reserve)
        return 0;

    const Histogram histogram = CountLevels(buffer, count);
    const int first = FirstPopulatedLevel(histogram);
    const int last = LastPopulatedLevel(histogram);
    const int low = first + kStretchMargin >= 255 ? first : first + kStretchMargin;
    const int high = last - kStretchMargin > low ? last - kStretchMargin : last;
    const int range = high - low;
    if (range < kMinimumStretchRange)
        return 0;

    const float scale = static_cast<float>(255.0 / (range + 1));
    ByteTable table{};
    for (int level = 0; level < 256; ++level) {
        const int stretched = static_cast<int>(static_cast<double>(level - low) * scale + 0.5);
        table[level] = static_cast<unsigned char>(std::clamp(stretched, 0, 255));
    }
    ApplyByteTable(buffer, count, table);
    return 1;
}

int CDataHandler::GreyDegreeSingle(unsigned char* buffer, int width, int height, int threshold) {
    if (buffer == nullptr || width < 1 || height < 1)
        return 0;
    Threshold(buffer, static_cast<long long>(width) * height, threshold);
    return 1;
}

// Thresholding maps each byte from its own old value, so no working copy is needed and the
// operation cannot fail.
int CDataHandler::Binarization(unsigned char* buffer, int width, int height) {
    const long long count = static_cast<long long>(width) * height;
    const float threshold = IntermeansThreshold(CountLevels(buffer, count));
    ByteTable table{};
    for (int level = 0; level < 256; ++level)
        table[level] = level <= threshold ? 0 : 255;
    ApplyByteTable(buffer, count, table);
    return 1;
}
