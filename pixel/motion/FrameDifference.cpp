// Motion detection: each frame of a sequence is compared with the previous one, which the caller
// keeps through three reference variables (pointer, width, height) between calls.
#include <algorithm>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "pixel/DataHandler.h"
#include "pixel/internal/PixelLayout.h"
#include "pixel/internal/ScratchBuffer.h"

namespace imgdesk::pixel {
namespace {

// A pixel has changed when its grey level moved by more than the operation's threshold.
constexpr int kMotionThreshold = 30;      // DynamicDistinguish, StaticDistinguish
constexpr int kPointThreshold = 40;       // DynamicPointNum
constexpr int kEdgePointThreshold = 100;  // DynamicPointNumEx
// DynamicPointNumEx compares edge images whose long side is scaled to about this many pixels.
constexpr double kWorkingSide = 320.0;

// The number of the count bytes of two rows whose values differ by more than threshold.
long long CountChangedInRow(const unsigned char* previous, const unsigned char* current, int count,
                            int threshold) {
    int x = 0;
    long long changed = 0;
#if defined(__SSE2__)
    const __m128i limit = _mm_set1_epi8(static_cast<char>(threshold));
    const __m128i zero = _mm_setzero_si128();
    const __m128i one = _mm_set1_epi8(1);
    __m128i sums = zero;
    for (; x + 16 <= count; x += 16) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(previous + x));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(current + x));
        const __m128i difference = _mm_or_si128(_mm_subs_epu8(a, b), _mm_subs_epu8(b, a));
        // Saturating subtraction leaves a nonzero byte exactly where difference > threshold.
        const __m128i still = _mm_cmpeq_epi8(_mm_subs_epu8(difference, limit), zero);
        sums = _mm_add_epi64(sums, _mm_sad_epu8(_mm_andnot_si128(still, one), zero));
    }
    changed = _mm_cvtsi128_si32(sums) + _mm_cvtsi128_si32(_mm_srli_si128(sums, 8));
#endif
    for (; x < count; ++x) {
        const int difference = current[x] - previous[x];
        changed += (difference > threshold || -difference > threshold) ? 1 : 0;
    }
    return changed;
}

long long CountChanged(const unsigned char* previous, const unsigned char* current, int width,
                       int height, int stride, int threshold) {
    long long changed = 0;
    for (int y = 0; y < height; ++y) {
        const long long row = static_cast<long long>(y) * stride;
        changed += CountChangedInRow(previous + row, current + row, width, threshold);
    }
    return changed;
}

// Hands the current frame over as the stored one. The stored frame is released first and a new
// block taken for the current one; when that block cannot be had, the reference is left null (the
// stored size keeps its old values) and false is returned. current must hold bytes bytes.
bool ReplaceStoredFrame(ScratchPtr<>& current, long long bytes, int width, int height,
                        unsigned char*& stored, int& storedWidth, int& storedHeight) {
    DelMem(stored);
    stored = nullptr;
    // The new block is taken so that running out of memory at this point empties the stored
    // frame. It would only receive a copy of the current frame's block, which has the same size
    // and zero fill: that block is kept as the stored frame instead, and the new one goes back.
    if (!NewScratch(bytes))
        return false;
    stored = current.release();
    storedWidth = width;
    storedHeight = height;
    return true;
}

// The comparison shared by the three operations on full-size grey frames: converts the frame to
// grey rows padded to a multiple of four bytes, counts the pixels that moved by more than
// threshold from the stored frame (none when no frame of the same size is stored) and stores the
// grey frame. Returns the count, or -1 when refused or when memory runs out.
long long CompareWithStoredGrey(unsigned char* frame, int width, int height, int bitsPerPixel,
                                int threshold, unsigned char*& stored, int& storedWidth,
                                int& storedHeight) {
    // An unsupported bit count is refused like a null frame, before the stored frame is touched.
    if (!frame || width < 1 || height < 1 || !IsSupportedBitCount(bitsPerPixel))
        return -1;
    const int stride = RowStride(width, 8);
    const long long bytes = static_cast<long long>(stride) * height;
    ScratchPtr<> grey = NewScratch(bytes);
    if (!grey)
        return -1;
    // Without a palette 8-bit frames come out all 0, so they never show a change.
    CDataHandler().ColourToGreyScale(frame, width, height, bitsPerPixel, nullptr, grey.get(), 1);

    long long changed = 0;
    if (stored && storedWidth == width && storedHeight == height)
        changed = CountChanged(stored, grey.get(), width, height, stride, threshold);
    if (!ReplaceStoredFrame(grey, bytes, width, height, stored, storedWidth, storedHeight))
        return -1;
    return changed;
}

}  // namespace
}  // namespace imgdesk::pixel

using namespace imgdesk::pixel;

int CDataHandler::DynamicDistinguish(unsigned char* frame, int width, int height, int bitsPerPixel,
                                     unsigned char*& stored, int& storedWidth, int& storedHeight) {
    const long long changed = CompareWithStoredGrey(
        frame, width, height, bitsPerPixel, kMotionThreshold, stored, storedWidth, storedHeight);
    if (changed < 0)
        return 0;
    return changed > static_cast<long long>(width) * height / 4 ? 1 : 0;
}

int CDataHandler::StaticDistinguish(unsigned char* frame, int width, int height, int bitsPerPixel,
                                    unsigned char*& stored, int& storedWidth, int& storedHeight) {
    const long long changed = CompareWithStoredGrey(
        frame, width, height, bitsPerPixel, kMotionThreshold, stored, storedWidth, storedHeight);
    if (changed < 0)
        return 0;
    return changed < static_cast<long long>(width) * height / 10 ? 1 : 0;
}

int CDataHandler::DynamicPointNum(unsigned char* frame, int width, int height, int bitsPerPixel,
                                  unsigned char*& stored, int& storedWidth, int& storedHeight) {
    return static_cast<int>(CompareWithStoredGrey(
        frame, width, height, bitsPerPixel, kPointThreshold, stored, storedWidth, storedHeight));
}

int CDataHandler::DynamicPointNumEx(unsigned char* frame, int width, int height, int bitsPerPixel,
                                    tagRGBQUAD* palette, unsigned char*& stored, int& storedWidth,
                                    int& storedHeight) {
    if (!frame || width < 1 || height < 1)
        return -1;
    const float shrink = static_cast<float>(std::max(width, height) / kWorkingSide);
    const float scale = static_cast<float>(1.0 / double(shrink));
    unsigned char* zoomedBits = nullptr;
    int workingWidth = 0, workingHeight = 0;
    // ZoomData also refuses unsupported bit counts and a working side that rounds to 0.
    if (!ZoomData(frame, width, height, bitsPerPixel, scale, zoomedBits, workingWidth,
                  workingHeight))
        return -1;
    ScratchPtr<> zoomed(zoomedBits);

    const long long bytes = static_cast<long long>(workingWidth) * workingHeight;
    ScratchPtr<> edges = NewScratch(bytes);
    if (!edges)
        return -1;
    ColourToGreyScale(zoomed.get(), workingWidth, workingHeight, bitsPerPixel, palette, edges.get(),
                      0);
    zoomed.reset();

    // The Sobel step refuses working sizes under 3 x 3 and leaves them as they are (the smoothing
    // then clears them); otherwise a 0 from either step means its scratch memory ran out. That is
    // treated like a failed scratch allocation here: -1 with the stored frame left as it was,
    // rather than storing and comparing a frame that skipped a step.
    const bool sobelApplies = workingWidth >= 3 && workingHeight >= 3;
    if (!EdgeDetectionSobelEx(edges.get(), workingWidth, workingHeight) && sobelApplies)
        return -1;
    if (!MedianFilter(edges.get(), workingWidth, workingHeight))
        return -1;

    long long changed = 0;
    if (storedWidth == workingWidth && storedHeight == workingHeight && stored)
        changed = CountChanged(stored, edges.get(), workingWidth, workingHeight, workingWidth,
                               kEdgePointThreshold);
    if (!ReplaceStoredFrame(edges, bytes, workingWidth, workingHeight, stored, storedWidth,
                            storedHeight))
        return -1;
    return static_cast<int>(changed);
}
